// The line reader from memory: a small bound delivers the same lines in
// pieces, and for 8-bit text the lines and their endings give back the input.

#include "fuzz_util.h"
#include "platform/lines.h"

#include <cstdint>
#include <utility>

using namespace keyloom;

namespace {

std::string_view endingText(LineEnding ending)
{
    switch (ending) {
    case LineEnding::CrLf:
        return "\r\n";
    case LineEnding::Cr:
        return "\r";
    case LineEnding::Lf:
        return "\n";
    case LineEnding::None:
        break;
    }
    return "";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t bound = LineReader::kMinMaxLine + data[0] % 48;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    std::vector<std::pair<std::string, LineEnding>> lines;
    LineReader whole(LineReader::FromMemory{}, bytes);
    std::string_view line;
    while (whole.next(line)) {
        FUZZ_CHECK(!whole.partial() && !whole.continuation());
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string_view::npos);
        lines.emplace_back(line, whole.ending());
    }
    FUZZ_CHECK(!whole.failed());

    LineReader pieces(LineReader::FromMemory{}, bytes, bound);
    std::string current;
    std::size_t index = 0;
    bool previousPartial = false;
    while (pieces.next(line)) {
        FUZZ_CHECK(pieces.continuation() == previousPartial);
        FUZZ_CHECK(pieces.partial() ? line.size() == bound && pieces.ending() == LineEnding::None
                                    : line.size() <= bound);
        current += line;
        if (!pieces.partial()) {
            FUZZ_CHECK(index < lines.size());
            FUZZ_CHECK(current == lines[index].first);
            FUZZ_CHECK(pieces.ending() == lines[index].second);
            ++index;
            current.clear();
        }
        previousPartial = pieces.partial();
    }
    FUZZ_CHECK(index == lines.size() && !previousPartial);
    FUZZ_CHECK(pieces.encoding() == whole.encoding());

    // Only a last line lacks an ending; 8-bit text comes back byte for byte.
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        FUZZ_CHECK(lines[i].second != LineEnding::None);
    if (whole.encoding() == Encoding::Bytes || whole.encoding() == Encoding::Utf8Bom) {
        std::string rebuilt = whole.encoding() == Encoding::Utf8Bom ? "\xEF\xBB\xBF" : "";
        for (const auto& [text, ending] : lines)
            rebuilt.append(text).append(endingText(ending));
        FUZZ_CHECK(rebuilt == bytes);
    }
    return 0;
}

// The section scan: one entry per header line, the marker found where a line
// starts with it, the REGEDIT4 text made of the lines after the last marker
// (as they stand unless a value whose data are text is among them).

#include "document/document.h"
#include "document/regvalue.h"
#include "fuzz_util.h"
#include "platform/lines.h"

#include <cstdint>

using namespace keyloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const QString path = fuzz::scratchPath("x.reg");
    fuzz::writeFile(path, bytes);
    const LoadResult load = loadFile(path);
    FUZZ_CHECK(load.opened);

    const std::string marker = "\xFF\xFEWindows";
    std::vector<std::string> sections;
    std::string regedit4;
    bool textLists = false;
    bool utf8 = true;
    bool beyondAscii = false;
    const std::vector<std::string> lines = fuzz::linesOf(path);
    for (const std::string& line : lines) {
        if (line.size() >= 2 && line[0] == '[')
            sections.push_back(line.substr(1, line.size() - 2));
        utf8 = utf8 && isValidUtf8(line);
        beyondAscii = beyondAscii || scanUtf8(line) == Utf8Scan::Utf8;
        if (!regedit4.empty()) {
            regedit4 += line + "\r\n";
            const std::optional<std::size_t> value = valueStartOf(line);
            const std::optional<HexHead> head = value ? hexHeadOf(line.substr(*value)) : std::nullopt;
            textLists = textLists || (head && (head->type == 1 || head->type == 2 || head->type == 7));
        }
        if (line.compare(0, marker.size(), marker) == 0) {
            regedit4 = "REGEDIT4\r\n";
            textLists = false;
        }
    }
    FUZZ_CHECK(load.sections == sections);
    FUZZ_CHECK(load.markerFound == !regedit4.empty());
    FUZZ_CHECK(load.regedit4 == regedit4 || textLists);
    // What the text cannot hold comes with the line of the first.
    FUZZ_CHECK((load.unconvertible == 0) == (load.firstUnconvertibleLine == 0));
    FUZZ_CHECK(load.firstUnconvertibleLine <= lines.size());
    FUZZ_CHECK(load.unconvertible == 0 || load.markerFound);
    if (!fuzz::isUtf16(bytes) && !textLists)
        FUZZ_CHECK(load.unconvertible == 0);
    // Plain ASCII is Windows-1252 unless the UTF-8 mark says otherwise; a
    // UTF-16 file that is no export is read as Unicode, in UTF-8.
    const bool utf8Mark = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    LineReader reader(path);
    std::string_view first;
    reader.next(first);
    const bool unicodeText = fuzz::isUtf16(bytes) && reader.unicodeText();
    FUZZ_CHECK((load.codec == TextCodec::Utf8) ==
               (unicodeText || (utf8 && (beyondAscii || utf8Mark) && !fuzz::isUtf16(bytes))));
    return 0;
}

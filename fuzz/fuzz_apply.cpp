// The registry rewrite: every line comes back in its place, unchanged unless
// it is a key line of the section, which becomes the prefix and the new
// value; a key that matches nothing keeps every line's bytes. A UTF-16 file
// is written in place, byte for byte as the plain walk over every line
// writes it.

#include "common/inplace_reference.h"
#include "document/document.h"
#include "document/linerules.h"
#include "edit/apply.h"
#include "fuzz_util.h"

#include <fuzzer/FuzzedDataProvider.h>

using namespace keyloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider input(data, size);
    const int choice = input.ConsumeIntegral<std::uint8_t>();
    std::string value = input.ConsumeRandomLengthString(40);
    const std::string before = input.ConsumeRemainingBytesAsString();
    const QString path = fuzz::scratchPath("x.reg");
    const QString backup = fuzz::scratchPath("x.re_");
    QFile::remove(backup);
    fuzz::writeFile(path, before);
    const std::vector<std::string> linesBefore = fuzz::linesOf(path);

    // A section and a key from the file, or ones that match nothing.
    const LoadResult load = loadFile(path);
    std::string section = "\x01no section";
    std::string key = "\x01no key";
    if (!load.sections.empty() && choice % 4 != 0) {
        section = load.sections[(choice >> 2) % load.sections.size()];
        const KeyListing listed = listKeys(path, section, FileKind::Registry);
        if (!listed.keys.empty() && choice % 4 != 1)
            key = listed.keys[(choice >> 2) % listed.keys.size()];
    }
    const EditResult r = applyRegistryValue(path, nullptr, {}, ApplyValues{section, key, value});
    FUZZ_CHECK(!r.pendingUsed);
    FUZZ_CHECK(fuzz::readAll(backup) == "<missing>");
    const bool lineBreak = value.find_first_of("\r\n") != std::string::npos;
    if (lineBreak) {
        // A value that would split its line is refused input.
        FUZZ_CHECK(r.status == EditStatus::Invalid);
        FUZZ_CHECK(fuzz::readAll(path) == before);
        return 0;
    }
    FUZZ_CHECK(r.status == EditStatus::Done);

    const std::string header = '[' + section + ']';
    const std::string prefix = key == "@" ? std::string("@=") : '"' + key + "\"=";
    if (fuzz::isUtf16(before)) {
        // The apply's rule, every line asked.
        bool inSection = false;
        bool dropping = false;
        const LineRule rule = [&](std::string_view line, bool whole) -> LineEdit {
            if (dropping) {
                dropping = whole && continuesOnNextLine(line);
                return kDropLine;
            }
            if (isHeaderLine(line)) {
                inSection = whole && line == header;
                return {};
            }
            if (!inSection || line.substr(0, prefix.size()) != prefix)
                return {};
            dropping = whole && hexHeadOf(line.substr(prefix.size())) && continuesOnNextLine(line);
            return {false, value, false, prefix.size()};
        };
        FUZZ_CHECK(fuzz::readAll(path) == test::referenceInPlace(before, rule));
        return 0;
    }
    const std::vector<std::string> linesAfter = fuzz::linesOf(path);
    FUZZ_CHECK(linesAfter.size() == linesBefore.size());
    bool inSection = false;
    for (std::size_t i = 0; i < linesBefore.size(); ++i) {
        const std::string& old = linesBefore[i];
        if (!old.empty() && old[0] == '[')
            inSection = old == header;
        else if (inSection && old.compare(0, prefix.size(), prefix) == 0) {
            FUZZ_CHECK(linesAfter[i] == prefix + value);
            continue;
        }
        FUZZ_CHECK(linesAfter[i] == old);
    }
    // Only the line ends may change, and only to the file's own.
    const std::string after = fuzz::readAll(path);
    FUZZ_CHECK((before.substr(0, 3) == "\xEF\xBB\xBF") == (after.substr(0, 3) == "\xEF\xBB\xBF"));
    return 0;
}

// The value lookup: a value found is the rest of one line of the file after
// the key's prefix, less one pair of quotes exactly when quoteState is 2; the
// box is disabled exactly when the text shown begins with "hex".

#include "document/document.h"
#include "fuzz_util.h"

#include <algorithm>
#include <cstdint>

using namespace keyloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const QString path = fuzz::scratchPath("x.reg");
    fuzz::writeFile(path, bytes);
    const std::string currentText = data[0] & 1 ? "hex:00" : "shown";

    const LoadResult load = loadFile(path);
    const std::string section = load.sections.empty() ? "S" : load.sections[(data[0] >> 1) % load.sections.size()];
    std::vector<std::string> keys = listKeys(path, section, FileKind::Registry).keys;
    keys.push_back("@");
    keys.push_back("missing");
    const std::vector<std::string> lines = fuzz::linesOf(path);
    for (std::size_t i = 0; i < keys.size() && i < 8; ++i) {
        const std::string& key = keys[i];
        const RegistryLookup r = lookupRegistryValue(path, section, key, currentText);
        FUZZ_CHECK(!r.cut);
        if (r.found) {
            FUZZ_CHECK(r.quoteState == 0 || r.quoteState == 2);
            const std::string value = r.quoteState == 2 ? '"' + r.text + '"' : r.text;
            const bool fromALine = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
                return line == '"' + key + "\"=" + value || (key.size() == 1 && line == key + "=" + value);
            });
            FUZZ_CHECK(fromALine);
            if (r.quoteState == 0)
                FUZZ_CHECK(!(value.size() >= 2 && value.front() == '"' && value.back() == '"'));
        }
        if (r.examined && !r.failed) {
            const std::string_view shown = r.found ? std::string_view(r.text) : std::string_view(currentText);
            FUZZ_CHECK(r.enabled == (shown.substr(0, 3) != "hex"));
        }
        if (!r.examined)
            FUZZ_CHECK(!r.found);
    }
    return 0;
}

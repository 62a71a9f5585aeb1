// The key listing: every entry comes from a key line of the file, as its
// name part (INI) or its name part less the enclosing bytes (registry).

#include "document/document.h"
#include "fuzz_util.h"

#include <algorithm>
#include <cstdint>

using namespace keyloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const FileKind kind = data[0] & 1 ? FileKind::Registry : FileKind::Ini;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    const QString path = fuzz::scratchPath(kind == FileKind::Registry ? "x.reg" : "x.ini");
    fuzz::writeFile(path, bytes);

    const LoadResult load = loadFile(path);
    const std::string section = load.sections.empty() ? "S" : load.sections[(data[0] >> 1) % load.sections.size()];
    const KeyListing listing = listKeys(path, section, kind);
    const std::vector<std::string> lines = fuzz::linesOf(path);
    for (const std::string& key : listing.keys) {
        FUZZ_CHECK(!key.empty());
        const bool fromALine = std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
            if (kind == FileKind::Ini)
                return line.compare(0, key.size() + 1, key + "=") == 0;
            if (key == "@" && line[0] == '@')
                return true;
            return line.size() > key.size() + 2 && line.compare(1, key.size(), key) == 0 && line[key.size() + 2] == '=';
        });
        FUZZ_CHECK(fromALine);
    }
    // A second listing reads the same file the same way.
    const KeyListing again = listKeys(path, section, kind);
    FUZZ_CHECK(again.keys == listing.keys && again.failed == listing.failed);
    return 0;
}

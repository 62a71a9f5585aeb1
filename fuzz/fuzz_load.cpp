// The section scan: one entry per header line, the marker found where a line
// starts with it, the REGEDIT4 text made of the lines after the last marker.

#include "document/document.h"
#include "fuzz_util.h"

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
    bool utf8 = true;
    for (const std::string& line : fuzz::linesOf(path)) {
        if (line.size() >= 2 && line[0] == '[')
            sections.push_back(line.substr(1, line.size() - 2));
        utf8 = utf8 && isValidUtf8(line);
        if (!regedit4.empty())
            regedit4 += line + "\r\n";
        if (line.compare(0, marker.size(), marker) == 0)
            regedit4 = "REGEDIT4\r\n";
    }
    FUZZ_CHECK(load.sections == sections);
    FUZZ_CHECK(load.markerFound == !regedit4.empty());
    FUZZ_CHECK(load.regedit4 == regedit4);
    FUZZ_CHECK((load.codec == TextCodec::Utf8) == (utf8 && !fuzz::isUtf16(bytes)));
    return 0;
}

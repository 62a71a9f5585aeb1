// The space insertion: it only adds empty lines, each right before a header
// line, and running it again changes nothing.

#include "filecommands/spacing.h"
#include "fuzz_util.h"

#include <cstdint>

using namespace keyloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string before(reinterpret_cast<const char*>(data), size);
    const QString path = fuzz::scratchPath("x.ini");
    QFile::remove(fuzz::scratchPath("x.in_"));
    fuzz::writeFile(path, before);
    const std::vector<std::string> linesBefore = fuzz::linesOf(path);

    const EditStatus status = insertSpaces(path).status;
    FUZZ_CHECK(fuzz::readAll(fuzz::scratchPath("x.in_")) == "<missing>");
    if (fuzz::isUtf16(before)) {
        FUZZ_CHECK(status == EditStatus::Refused);
        FUZZ_CHECK(fuzz::readAll(path) == before);
        return 0;
    }
    FUZZ_CHECK(status == EditStatus::Done);
    const std::string once = fuzz::readAll(path);

    const std::vector<std::string> linesAfter = fuzz::linesOf(path);
    std::size_t i = 0;
    for (std::size_t j = 0; j < linesAfter.size(); ++j) {
        if (i < linesBefore.size() && linesAfter[j] == linesBefore[i]) {
            ++i;
            continue;
        }
        // An added line: empty, and followed by a header that did not follow
        // an empty line.
        FUZZ_CHECK(linesAfter[j].empty());
        FUZZ_CHECK(i < linesBefore.size() && i > 0 && linesBefore[i][0] == '[' && !linesBefore[i - 1].empty());
    }
    FUZZ_CHECK(i == linesBefore.size());

    FUZZ_CHECK(insertSpaces(path).status == EditStatus::Done);
    FUZZ_CHECK(fuzz::readAll(path) == once);
    return 0;
}

// The search: what it finds the lists and the value box show, a section name
// search finds the first section row that holds the text after the start,
// and a search that finds nothing passed over no name that holds it. With
// the fuzz build's tiny read blocks, header lines and the text straddle the
// blocks of the raw pass.

#include "document/find.h"
#include "document/textmatch.h"
#include "fuzz_util.h"

#include <cstdint>

using namespace keyloom;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const FileKind kind = data[0] & 1 ? FileKind::Registry : FileKind::Ini;
    const Qt::CaseSensitivity cs = data[0] & 2 ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const std::size_t needleSize = 1 + data[1] % 4;
    if (size < 2 + needleSize)
        return 0;
    const std::string needleBytes(reinterpret_cast<const char*>(data) + 2, needleSize);
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 2 + needleSize, size - 2 - needleSize);
    const QString path = fuzz::scratchPath(kind == FileKind::Registry ? "x.reg" : "x.ini");
    fuzz::writeFile(path, bytes);

    const LoadResult load = loadFile(path);
    const QString needle = decodeText(needleBytes, load.codec);
    if (needle.isEmpty())
        return 0;  // a lone UTF-8 byte-order mark decodes to nothing; the dialog never asks for it
    auto holds = [&](std::string_view text) { return textContains(text, needle, load.codec, cs); };
    FindRequest request{path, kind, load.codec, FindQuery{needle, true, true, true, cs == Qt::CaseSensitive}, {}};

    // Whatever is found shows the text where it is found.
    const FindResult any = findNext(request);
    FUZZ_CHECK(any.status != FindStatus::Cancelled);
    if (any.status == FindStatus::Found) {
        FUZZ_CHECK(any.at.section >= 0 && std::size_t(any.at.section) < load.sections.size());
        const std::string& section = load.sections[std::size_t(any.at.section)];
        if (any.hit == FindHit::Section) {
            FUZZ_CHECK(any.at.key == -1 && holds(section));
        } else {
            const KeyListing listing = listKeys(path, section, kind);
            FUZZ_CHECK(any.at.key >= 0 && std::size_t(any.at.key) < listing.keys.size());
            const std::string& key = listing.keys[std::size_t(any.at.key)];
            const ValueView view = lookUpValue(kind, path, section, section, key, {});
            FUZZ_CHECK(any.hit == FindHit::Key
                           ? holds(key)
                           : textContains(view.text.value_or(""), needle, shownCodec(view, load.codec), cs));
        }
    } else {
        for (const std::string& section : load.sections) {
            FUZZ_CHECK(!holds(section));
            for (const std::string& key : listKeys(path, section, kind).keys)
                FUZZ_CHECK(!holds(key));
        }
    }

    // Section names alone, from a start: the first later row that holds it.
    request.query.keys = request.query.values = false;
    const int rows = static_cast<int>(load.sections.size());
    request.from.section = rows > 0 ? data[0] % (rows + 1) - 1 : -1;
    int expected = -1;
    for (int row = request.from.section + 1; row < rows && expected < 0; ++row) {
        if (holds(load.sections[std::size_t(row)]))
            expected = row;
    }
    const FindResult names = findNext(request);
    FUZZ_CHECK(names.status == (expected >= 0 ? FindStatus::Found : FindStatus::NotFound));
    if (expected >= 0)
        FUZZ_CHECK(names.at.section == expected && names.at.key == -1);
    return 0;
}

#pragma once
// What a UTF-16 file written in place through a rule must come to, made the
// plain way: every line decoded and shown to the rule (its passOver
// ignored), the bytes around the changed lines copied from the old content.
// This is how the in-place write worked before it learned to pass over
// sections, kept as the reference to compare it with.

#include "edit/rewrite.h"
#include "platform/lines.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace keyloom::test {

inline std::string referenceInPlace(const std::string& bytes, const LineRule& rule)
{
    LineReader reader(LineReader::FromMemory{}, bytes);
    std::string out;
    std::int64_t at = 0;
    const auto keepTo = [&](std::int64_t to) {
        if (to > at)
            out.append(bytes, std::size_t(at), std::size_t(to - at));
        at = std::max(at, to);
    };
    const auto encode = [&](std::string_view text, std::string_view eol, bool utf8) {
        std::string units;
        for (std::size_t cut = text.find("\r\n"); cut != std::string_view::npos; cut = text.find("\r\n")) {
            appendEncoded(units, reader.encoding(), text.substr(0, cut), utf8 || reader.unicodeText());
            appendEncoded(units, reader.encoding(), eol);
            text.remove_prefix(cut + 2);
        }
        appendEncoded(units, reader.encoding(), text, utf8 || reader.unicodeText());
        return units;
    };
    const auto endingOf = [](LineEnding e) { return e == LineEnding::None ? std::string_view() : endingBytes(e); };
    std::string_view line;
    bool more = reader.next(line);
    std::string_view lastEnding = endingBytes(writeEndingFor(reader.partial() ? LineEnding::None : reader.ending()));
    LineEdit edit;
    for (; more; more = reader.next(line)) {
        if (!reader.continuation()) {
            edit = rule(line, !reader.partial());
            if (edit.emptyLineBefore) {
                keepTo(reader.lineOffset());
                out += encode(lastEnding, lastEnding, false);
            }
            const std::string_view eol = reader.partial() ? std::string_view() : endingOf(reader.ending());
            if (edit.replacement) {
                keepTo(reader.offsetAt(std::min(edit.keep, line.size())));
                out += encode(*edit.replacement, eol.empty() ? lastEnding : eol, edit.utf8);
            } else if (edit.drop) {
                keepTo(reader.lineOffset());
            }
        }
        if (edit.drop || edit.replacement)
            at = std::max(at, edit.drop || reader.partial() ? reader.endOffset() : reader.offsetAt(line.size()));
        if (!reader.partial() && reader.ending() != LineEnding::None)
            lastEnding = endingOf(reader.ending());
    }
    keepTo(std::int64_t(bytes.size()));
    return out;
}

}  // namespace keyloom::test

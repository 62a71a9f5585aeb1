#pragma once
// Looking for a text in a file's bytes as the window shows them: decoded with
// the file's codec and compared the way QString compares, with or without
// regard to letter case (umlauts included). NeedleFilter finds the places
// where the text may stand without decoding anything, so that a search over
// a large file decodes only the few lines that can hold it.

#include "platform/textcodec.h"

#include <QString>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom {

// Decoded with `codec`, `bytes` contain `needle` (which is not empty).
bool textContains(std::string_view bytes, const QString& needle, TextCodec codec, Qt::CaseSensitivity cs);

class NeedleFilter {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    // Over 8-bit text as the line reader delivers it, shown with `codec`.
    static NeedleFilter forText(const QString& needle, TextCodec codec, Qt::CaseSensitivity cs);
    // Over the raw bytes of a UTF-16LE file (its units after the byte-order
    // mark), whose lines the reader turns into Windows-1252 text.
    static NeedleFilter forUtf16(const QString& needle, Qt::CaseSensitivity cs);

    // The text can never occur (an empty needle, a line break in it, or a
    // character the encoding cannot show).
    bool never() const { return never_; }
    // Every position may hold it: the filter cannot tell (for instance a
    // needle of characters that all stand for others, like "?" in UTF-16).
    bool always() const { return !never_ && pieces_.empty(); }
    // The first position at or after `from` where the text may stand, its
    // filtered part lying wholly inside `bytes`; npos when there is none. A
    // place where the decoded text holds the needle is never passed over.
    // For UTF-16 the position may be odd (between two units).
    std::size_t find(std::string_view bytes, std::size_t from = 0) const;
    bool mayOccur(std::string_view bytes) const { return always() || find(bytes) != npos; }
    // Bytes the filtered part spans; a hit at p lies in [p, p + span()).
    std::size_t span() const { return span_; }

private:
    // One character of the needle: every byte string that shows as it.
    struct Piece {
        std::vector<std::string> forms;
        std::size_t offset = 0;  // from the first piece, in bytes
        std::size_t width = 0;   // of every form
    };
    // Character forms per needle character; a form list left empty means
    // the character cannot occur, `wild` that it stands for too many.
    struct Char {
        std::vector<std::string> forms;
        bool wild = false;
    };
    static NeedleFilter fromChars(const std::vector<Char>& chars);
    bool matchesAt(std::string_view bytes, std::size_t at) const;

    bool never_ = true;
    std::vector<Piece> pieces_;  // the longest run of characters whose forms have one width each
    std::size_t span_ = 0;
    // Bytes that begin a form of the first and of the last piece.
    std::string firstBytes_;
    std::string lastBytes_;
    bool firstTable_[256] = {};
    bool lastTable_[256] = {};
};

}  // namespace keyloom

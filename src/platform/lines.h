#pragma once
// Reading and writing a file as a sequence of 8-bit text lines.
//
// A line ends at CR LF, a lone CR or a lone LF; the ending is not part of the
// line, a last line without an ending is still a line, and an empty file has
// no lines. Bytes are delivered unchanged, except for files with a byte-order
// mark: a UTF-16 registry export (its text begins with "Windows") arrives as
// Windows-1252 text, for its REGEDIT4 text (an UTF-16LE export's first line
// still begins with the bytes FF FE, the export marker's "ÿþ"); every other
// UTF-16 file arrives as UTF-8, every character as it is, its mark dropped
// like the UTF-8 mark. Memory stays flat however large the file: a line
// longer than the reader's bound arrives in pieces (see partial()). The reader
// also tells where each line lies in the file's bytes, so that a writer can
// copy everything around a change byte for byte.

#include "platform/fileio.h"

#include <QString>
#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom {

// How the bytes of a file on disk relate to the lines the reader delivers.
enum class Encoding { Bytes, Utf8Bom, Utf16LE, Utf16BE };
// The ending a line had on disk; None only for a last line without one.
enum class LineEnding { None, CrLf, Cr, Lf };

inline bool isUtf16(Encoding encoding) { return encoding == Encoding::Utf16LE || encoding == Encoding::Utf16BE; }

// Bytes that grow at the end and are dropped from the front; unlike a
// string's, new room is not filled before it is written.
class ByteBuffer {
public:
    ByteBuffer() = default;
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;
    ~ByteBuffer();

    // Never null, so that it can be searched when empty.
    char* data() { return data_ ? data_.get() : none_; }
    const char* data() const { return data_ ? data_.get() : none_; }
    std::size_t size() const { return size_; }
    char operator[](std::size_t i) const { return data_[i]; }
    // New bytes are unset until written.
    void resize(std::size_t size);
    void append(std::string_view bytes);
    void eraseFront(std::size_t count);
    void clear() { size_ = 0; }

private:
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
    char none_[1] = {};
};

class LineReader {
public:
    // Longest piece of a line delivered at once; longer lines come in pieces.
    static constexpr std::size_t kMaxLine = std::size_t(1) << 20;
    // Smallest bound a reader accepts: the export marker and every line-start
    // test fit in the first piece.
    static constexpr std::size_t kMinMaxLine = 16;

    // Opens `path` (regular files only). A file that cannot be opened yields
    // no lines, and isOpen() tells the two cases apart. `maxLine` (at least
    // kMinMaxLine) bounds the bytes held for one line.
    explicit LineReader(const QString& path, std::size_t maxLine = kMaxLine);
    // Reads lines from bytes in memory, with the same rules; `bytes` must
    // outlive the reader.
    struct FromMemory {};
    LineReader(FromMemory, std::string_view bytes, std::size_t maxLine = kMaxLine);
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool isOpen() const { return opened_; }
    // The next line, valid until the following call; false at the end of the
    // file or when a read failed (see failed()).
    bool next(std::string_view& line);
    // Passes over lines up to the next one whose first byte is one of
    // `firsts` (one or two bytes) and returns it as next() would; the same as
    // calling next() until such a line comes, but without splitting the lines
    // in between, which makes it several times faster where those are most
    // of the file. Pieces of long lines are never line starts. `passed`, when
    // given, receives the bytes passed over, line ends included, in runs that
    // may end anywhere, even inside a character.
    using Passed = std::function<void(std::string_view)>;
    bool nextStartingWith(std::string_view firsts, std::string_view& line, const Passed& passed = {});
    // The same for one first byte (ASCII), but a UTF-16 file's lines passed
    // over are not even decoded: its units are searched as they are on disk,
    // which is what makes a pass over most of such a file cheap. unmapped()
    // leaves out what was passed over. Call it after next() has returned the
    // file's first line.
    bool nextStartingWithUndecoded(char first, std::string_view& line);
    // The ending of the line before the one last returned by
    // nextStartingWithUndecoded() (it began after a line end).
    LineEnding endingBefore() const { return endingBefore_; }
    bool failed() const { return failed_; }
    // A UTF-16 file that ended with half a unit, an odd byte no line holds;
    // known once next() returned false.
    bool oddByteAtEnd() const { return eof_ && !pendingByte_.empty(); }
    Encoding encoding() const { return encoding_; }
    // A UTF-16 file that is no registry export: its text arrives as UTF-8.
    bool unicodeText() const { return unicode_; }
    // Decides that instead of the text's first units, for UTF-16 bytes from
    // the middle of a file; before the first read.
    void setUnicodeText(bool unicode) { forcedUnicode_ = unicode; }
    // Ending of the line last returned by next(); None for a partial piece.
    LineEnding ending() const { return ending_; }
    // The line last returned followed by its ending as read (decoded), valid
    // as long as the line is.
    std::string_view withEnding() const { return std::string_view(buffer_.data() + lineStart_, pos_ - lineStart_); }
    // The bytes last returned are maxLine bytes of a longer line whose rest
    // follows in the next calls. Normal lines are never partial.
    bool partial() const { return partial_; }
    // The bytes last returned continue the line of the previous piece, so
    // they are not the start of a line.
    bool continuation() const { return continuation_; }
    // UTF-16 files: how many characters the code page lacks (each delivered
    // as one '?'; as U+FFFD for a lone surrogate in UTF-8) lie in the lines
    // and pieces returned so far.
    std::uint64_t unmapped() const
    {
        const auto returned = std::lower_bound(unmappedAt_.begin(), unmappedAt_.end(), dropped_ + pos_);
        return unmappedDropped_ + std::uint64_t(returned - unmappedAt_.begin());
    }

    // Where the line (or piece) last returned by next() lies in the file:
    // offsets into the bytes on disk, byte-order mark included and UTF-16
    // counted in its two-byte units, so that a caller can copy the bytes
    // around a line verbatim. The offset of its byte `index` (index == its
    // size: where its ending starts); the FF FE in front of a UTF-16LE file's
    // first line stand for the mark and map to 0.
    std::int64_t offsetAt(std::size_t index) const { return fileOffset(base_ + std::int64_t(lineStart_ + index)); }
    std::int64_t lineOffset() const { return offsetAt(0); }
    // Just after its ending (after the piece, for a piece).
    std::int64_t endOffset() const { return fileOffset(base_ + std::int64_t(pos_)); }

private:
    bool fill();  // appends decoded bytes to buffer_; false at end or error
    void dropConsumed();
    // UTF-16: reads the next block into raw_ (behind the odd byte of the last
    // one); false at the end or on a failure.
    bool readRaw();
    void decodeRaw();  // appends the next undecoded raw_ bytes to buffer_
    // Where a line that begins with `first` starts in the decoded bytes from
    // pos_ on, or in the raw ones from rawAt_ on (whose two units before are
    // `before`, updated when none is found); kNone when there is none.
    std::size_t decodedLineStart(char first);
    std::size_t rawLineStart(char first, char16_t (&before)[2]);
    // Passes over everything decoded; decoding goes on at raw_[at].
    void restartAt(std::size_t at);
    void detectEncoding();
    void decodeUtf16(const char* data, std::size_t size);
    // Puts one unit as UTF-8 at `w` of buffer_; returns the new end.
    std::size_t putUtf8(char16_t unit, std::size_t w);
    // Decoded bytes from `at` on lie `units` more units further into the
    // file than one unit a byte (fewer where negative).
    void shift(std::int64_t at, std::int64_t units);
    // File offset of a position in the decoded bytes, counted from their start.
    std::int64_t fileOffset(std::int64_t decoded) const { return isUtf16(encoding_) ? utf16Offset(decoded) : decoded; }
    std::int64_t utf16Offset(std::int64_t decoded) const;

    InputFile file_;
    std::string_view memory_;  // source when reading from bytes
    bool fromMemory_ = false;
    bool opened_ = false;
    bool failed_ = false;
    bool eof_ = false;
    bool started_ = false;
    bool partial_ = false;
    bool continuation_ = false;
    std::size_t maxLine_ = kMaxLine;
    Encoding encoding_ = Encoding::Bytes;
    LineEnding ending_ = LineEnding::None;
    std::vector<char> raw_;       // undecoded bytes of a UTF-16 file
    std::size_t rawAt_ = 0;       // raw_ is decoded up to here (always at a unit's start)
    std::size_t rawEnd_ = 0;      // and holds bytes up to here
    std::int64_t rawOffset_ = 0;  // file offset of raw_[0]
    std::int64_t fileRead_ = 0;   // bytes read from the file so far
    // Bytes of raw_ decoded at once after a pass over lines (doubling with
    // each step), so that a line found there does not cost decoding the rest
    // of the block; 0: all that is there.
    std::size_t rawChunk_ = 0;
    LineEnding endingBefore_ = LineEnding::None;
    std::string pendingByte_;  // odd byte of a UTF-16 unit split by a read
    bool pendingHighSurrogate_ = false;
    bool unicode_ = false;
    std::optional<bool> forcedUnicode_;
    char16_t highSurrogate_ = 0;  // UTF-8 text: the first unit of a pair, until the second comes
    // Where the '?' of characters the code page lacks stand, counted from
    // the first decoded byte, for those not yet dropped from buffer_.
    std::vector<std::uint64_t> unmappedAt_;
    std::uint64_t unmappedDropped_ = 0;  // such '?' dropped from buffer_ before
    std::uint64_t dropped_ = 0;          // bytes dropped from the front of buffer_
    ByteBuffer buffer_;                  // decoded bytes; lines are views into it
    std::size_t pos_ = 0;                // start of the next line in buffer_
    std::size_t lineStart_ = 0;          // of the line last returned, in buffer_
    std::int64_t base_ = 0;              // decoded bytes dropped from buffer_'s front
    // Decoded positions just after each character that is not one byte for
    // one unit (a surrogate pair as one '?', a character of more than one
    // UTF-8 byte), from base_ on, each with the count of units that the
    // decoded bytes up to there are ahead of, or behind, their count
    // (the earlier ones only as foldsBefore_).
    struct Fold {
        std::int64_t at;
        std::int64_t units;
    };
    std::vector<Fold> folds_;
    std::int64_t foldsBefore_ = 0;
    std::size_t scanFrom_ = 0;  // where the search for a line end resumes
    // Cached positions of the next CR and LF at or after scanFrom_, so that a
    // file with only one kind of line end is searched for the other once per
    // block, not once per line. kNone: none up to the end of the buffer.
    static constexpr std::size_t kNone = std::size_t(-1);
    std::size_t nextCr_ = 0;
    std::size_t nextLf_ = 0;
    bool crKnown_ = false;
    bool lfKnown_ = false;
};

// The encoding that the byte-order mark at the start of `head` announces
// (EF BB BF, FF FE, FE FF); Bytes when it begins with none.
Encoding encodingOfMark(std::string_view head);
// The text of a file's first line as the reader delivers it: a UTF-16LE
// file's comes with the mark's FF FE in front, which is no text.
std::string_view firstLineText(std::string_view line, Encoding encoding);
// The byte-order mark a file in `encoding` starts with ("" for Bytes).
std::string_view byteOrderMark(Encoding encoding);
// 8-bit text as the reader delivers it, appended to `out` in `encoding`
// (UTF-16: each byte one unit, through Windows-1252; UTF-8 text where
// `unicodeText`, as the reader delivers a file that is no export).
void appendEncoded(std::string& out, Encoding encoding, std::string_view text, bool unicodeText = false);
// True for UTF-16 text that begins, after its mark, with `head` in
// `encoding`, and that the reader delivers as UTF-8: no registry export.
bool isUnicodeText(std::string_view head, Encoding encoding);
// The bytes the writer ends a line with: None gives CR LF.
std::string_view endingBytes(LineEnding ending);

// Writes lines, each followed by the chosen ending, in the chosen encoding.
// Output is buffered; close() reports whether every byte reached the file.
class LineWriter {
public:
    LineWriter() = default;
    // Opens `path` for writing, which empties it. For UTF-8 and UTF-16 files
    // the byte-order mark is written first; a first line that begins with the
    // bytes FF FE (as the reader delivers an UTF-16LE file) has them taken as
    // that mark.
    bool open(const QString& path, Encoding encoding, LineEnding ending);
    bool writeLine(std::string_view line);
    // Changes the ending of the lines written from now on (for a first line
    // that arrives in pieces, whose ending shows only with its last one).
    void setEnding(LineEnding ending);
    // Writes bytes as they stand (already including their line ends).
    bool writeRaw(std::string_view bytes);
    bool close();
    bool ok() const { return ok_; }

private:
    bool flush();

    OutputFile file_;
    Encoding encoding_ = Encoding::Bytes;
    std::string_view eol_ = "\r\n";
    std::string out_;
    bool ok_ = false;
    bool firstLine_ = true;
};

// The ending the writer uses for a file whose first line ended in `first`:
// LF keeps a Unix file a Unix file; everything else gets CR LF.
LineEnding writeEndingFor(LineEnding first);

// True when the file starts with a UTF-16 byte-order mark.
bool isUtf16File(const QString& path);
// True for a UTF-16 file whose text the reader delivers as UTF-8.
bool isUnicodeTextFile(const QString& path);

}  // namespace keyloom

#pragma once
// The REGEDIT4 text of a registry export, built while the file is loaded,
// line by line as the reader delivers them: "REGEDIT4" CR LF, then every line
// after the last export marker line, each with CR LF. The lines of a hex(1),
// hex(2) or hex(7) value are the same value in REGEDIT4: one Windows-1252
// byte for each UTF-16 code unit of its data, the list wrapped again. The
// builder counts the characters REGEDIT4 cannot hold; while there are any,
// the text must not be written anywhere.

#include "platform/lines.h"
#include "platform/memory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace keyloom {

class Regedit4Builder {
public:
    // `fileSize`: the size of the file on disk, from which the room for the
    // text is reserved at the first marker line.
    explicit Regedit4Builder(std::int64_t fileSize) : fileSize_(fileSize) {}
    Regedit4Builder(const Regedit4Builder&) = delete;
    Regedit4Builder& operator=(const Regedit4Builder&) = delete;

    // Some marker line came: from then on every line matters.
    bool started() const { return markerFound_; }
    // Takes the line or piece `line` that `reader` returned last, the
    // `lineNumber`th line of the file. A marker line starts the text anew;
    // returns true for the first one.
    bool add(const LineReader& reader, std::string_view line, std::uint64_t lineNumber);
    // Ends the text (a list still open at the end lacks its last line) and
    // hands it over; empty when no marker line came. Call once.
    std::string finish(const LineReader& reader);

    // Characters of the text that REGEDIT4 cannot hold: those that
    // Windows-1252 lacks (shown as "?") in the text's lines and in its
    // hex(1), hex(2) and hex(7) data, and one more for each such list that
    // cannot be read (not hex, an odd byte count, half a surrogate pair, a
    // line in pieces), which stands as it was. With the line number (as
    // given to add()) of the first; 0 for none. Valid after finish().
    std::uint64_t unconvertible() const { return unheld_.count; }
    std::uint64_t firstUnconvertibleLine() const { return unheld_.firstLine; }
    // The export is damaged so that its REGEDIT4 text would lose content:
    // the marker line has no line end (a stray byte misaligned what
    // follows), or the file ends in half a UTF-16 unit. The line where it
    // shows; 0 for none. Valid after finish().
    std::uint64_t damagedLine() const { return damagedLine_; }

private:
    // Characters that REGEDIT4 cannot hold, with the line of the first.
    struct Unheld {
        std::uint64_t count = 0;
        std::uint64_t firstLine = 0;
        void add(std::uint64_t n, std::uint64_t line);
    };
    // A hex(1), hex(2) or hex(7) value of the text. Its lines go into the
    // text as they stand; once the last one is in, they are replaced by the
    // value re-encoded, or stay when it cannot be.
    struct TextList {
        bool open = false;
        bool broken = false;         // a line of it came in pieces
        std::size_t start = 0;       // where its first line begins in the text
        std::size_t headLength = 0;  // that line up to the list
        std::uint64_t line = 0;      // the file line of its first line
    };

    void restart(const LineReader& reader);
    void append(std::string_view bytes);
    void startList(std::string_view line, std::size_t at, std::uint64_t lineNumber);
    void finishList();

    std::int64_t fileSize_;
    std::string text_;
    bool markerFound_ = false;
    bool inMarkerLine_ = false;
    // The reader counts the characters of its lines that the code page
    // lacks: the count when the current text started, and the line of the
    // first one since.
    std::uint64_t unmappedBefore_ = 0;
    std::uint64_t firstUnmappedLine_ = 0;
    Unheld inLists_;
    Unheld unheld_;
    TextList list_;
    std::string recoded_;  // room reused from one list to the next
    std::uint64_t markerLine_ = 0;
    bool markerEnded_ = false;  // the last marker line ended in a line end
    std::uint64_t lastLine_ = 0;
    std::uint64_t damagedLine_ = 0;
    // Stopped before the text can outgrow its room and move.
    std::optional<PrefaultAhead> prefault_;
};

}  // namespace keyloom

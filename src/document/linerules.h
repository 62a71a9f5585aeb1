#pragma once
// The rules by which the editor reads one line of a file: what a section
// header is and which name it gives, which row of the key list a line makes,
// which text the value box shows for a key's line, and where a registry
// value starts and of which type it is. The load, the key listing, the value
// lookup, the find, the conversion and the command line all ask these
// functions; none of them decides such a rule itself. Plain functions over
// the bytes of one line as the line reader delivers it (its ending left off).

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace keyloom {

// Every action on a file's values switches over the kind without a default,
// so a new kind is a compile error until each of them handles it.
// WineRegistry: Wine's own registry files (document/winereg.h), known by
// their first line whatever their name.
enum class FileKind { Ini, Registry, WineRegistry };

// Values of QuoteState: what the value lookup did to the text it shows.
constexpr std::int16_t kQuotesKept = 0;     // the value shown is as the file holds it
constexpr std::int16_t kQuotesRemoved = 2;  // the lookup took a pair of enclosing quotes off

// --- Section headers ---------------------------------------------------------

// A line whose first byte is "[".
inline bool isHeaderLine(std::string_view line) { return !line.empty() && line.front() == '['; }
// The section list's entry of a header line: the line less its first and
// last byte ("[Name] ; note" gives "Name] ; not"); none for any other line
// and for a lone "[".
std::optional<std::string_view> sectionNameOf(std::string_view line);
// The header line that opens `section`: "[" + section + "]". A line opens the
// section only when it is exactly this, and whole (not the first piece of a
// line longer than the reader's bound).
std::string headerLineOf(std::string_view section);
// The section list's entry of a header line in a file of `kind`: as
// sectionNameOf, but for Wine's files the key path decoded into `buffer`,
// without brackets and time stamp.
std::optional<std::string_view> sectionNameOf(std::string_view line, FileKind kind, std::string& buffer);

// Tells whether a header line opens the section whose list entry is
// `section`: for INI files and exports when it is exactly headerLineOf(),
// for Wine's files when its decoded key path is `section`. `whole` is false
// for the first piece of a line longer than the reader's bound, which
// opens none.
class SectionMatcher {
public:
    SectionMatcher(std::string_view section, FileKind kind);
    bool opens(std::string_view headerLine, bool whole);

private:
    FileKind kind_;
    std::string wanted_;  // the header line; for Wine's files the section
    std::string buffer_;
};

// The export marker: a line that begins with the bytes FF FE and "Windows"
// (as the reader delivers the first line of a UTF-16LE export).
bool isExportMarkerLine(std::string_view line);

// --- The key list ------------------------------------------------------------

// What one line inside a section gives the key list.
struct KeyLine {
    enum class Kind {
        Skipped,  // empty, or begins with a blank (continuation lines) or ";"
        Key,      // a key line; `entry` is its row, none when it lists nothing
        Ends,     // the listing ends here: no "=", or a registry name too short
    };
    Kind kind = Kind::Skipped;
    std::optional<std::string_view> entry;
    // Where the value begins, just after the first "="; npos when the line
    // (or the piece given) holds none.
    std::size_t valueAt = std::string_view::npos;
};
// Classifies `line`, a line that is no header. `whole` is false for the first
// piece of a line longer than the reader's bound, whose "=" may come in a
// later piece: such a piece never ends the listing. The name part is the text
// before the first "=", untrimmed: listed as it stands for INI files; for
// registry exports "@" for a name that begins with "@", otherwise the name
// less its enclosing quotes (escapes stay as written). In Wine's files the
// meta lines ("#time=") are skipped, the name ends at its closing quote and
// stays escaped here (KeyRows decodes it), and a line of another form is
// skipped rather than ending the listing.
KeyLine keyLineOf(std::string_view line, FileKind kind, bool whole = true);

// The rows that the key list makes of the lines of one header line's block,
// fed line by line as the reader delivers them (pieces of long lines
// included): keyLineOf for each line, and the entry of a line whose "=" lies
// beyond its first piece listed once the "=" shows (cut to that piece).
class KeyRows {
public:
    explicit KeyRows(FileKind kind) : kind_(kind) {}

    struct Row {
        std::string_view entry;
        // The text after the key line's "=" in its first piece, which holds
        // whatever the value lookup can show; none for an entry whose "="
        // lay beyond the first piece.
        std::optional<std::string_view> value;
    };

    // A header line starts a block; `listed`: its lines are listed (the
    // header line opens the section the list shows).
    void start(bool listed);
    // The row that a line of the block adds, valid until the next call.
    std::optional<Row> feed(std::string_view line, bool continuation, bool partial);
    // Rows listed from this block so far.
    int count() const { return count_; }
    // The listing stopped at a line of this block; no later line is listed.
    bool ended() const { return ended_; }
    // A line in pieces waits for its "=": its later pieces matter.
    bool waiting() const { return pending_.has_value(); }

private:
    FileKind kind_;
    bool listed_ = false;
    bool ended_ = false;
    std::optional<std::string> pending_;
    std::string emitted_;
    std::string decoded_;
    int count_ = 0;
};

// --- The value box -------------------------------------------------------------

// The text after the prefix of the registry key line `line` that holds
// `entry`: `"entry"=`, or for a one-byte entry such as "@" the line's first
// two bytes `entry=` (the default value's "@=" line). None for another line.
std::optional<std::string_view> registryValueOf(std::string_view line, std::string_view entry);

// The value box's text of a registry value and its QuoteState.
struct ShownValue {
    std::string text;
    std::int16_t quoteState = kQuotesKept;
};
// `raw` less one pair of enclosing double quotes (kQuotesRemoved), or as it
// is (kQuotesKept). A value that is one double quote alone is refused: none.
std::optional<ShownValue> shownRegistryValue(std::string_view raw);
// The value box's text of the value `raw` (the text after a key line's "=")
// in a file of `kind`: a registry value as shownRegistryValue gives it, an
// INI value as the profile read gives it (up to a NUL, trimmed, one pair of
// enclosing quotes off, cut to the read's buffer).
std::optional<std::string> shownValue(FileKind kind, std::string_view raw);

// Takes one pair of enclosing double quotes off `text` (quoteState 2) or leaves
// it as it is (quoteState 0). A text that is one double quote alone is refused:
// false, and neither argument is touched.
bool unQuote(std::string& text, std::int16_t& quoteState);
// Puts a pair of double quotes around `text` when neither end is one already;
// the empty text becomes "\"\"".
void enQuote(std::string& text);

// --- Registry values -----------------------------------------------------------

// Where the value begins in a registry value line as an importer reads one:
// blanks and tabs, `"name"` (quotes and backslashes in the name escaped with
// "\") or `@`, blanks and tabs, "=", blanks and tabs. Nothing for any other
// line. The value box's lookup (registryValueOf) matches the key's line
// exactly as the key list names it instead.
std::optional<std::size_t> valueStartOf(std::string_view line);

// A string value's text between its quotes is written validly: every "\" is
// followed by "\" or "\"", and no "\"" stands unescaped.
bool isValidEscapedString(std::string_view text);
// `text` as a string value's text between its quotes: "\" and "\"" escaped.
std::string escapeRegistryString(std::string_view text);
// The text an importer stores for the escaped `text` ("\\" and "\\\"" give
// one character each; any other "\" stays as it is).
std::string unescapeRegistryString(std::string_view text);
// `value` is a dword as an importer reads one: "dword:" and one to eight hex
// digits.
bool isWritableDword(std::string_view value);

// Value types that matter here, by the number the "hex(N)" notation uses.
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;
constexpr std::uint32_t kRegQword = 0xb;

// The head of a hex value: "hex:" is REG_BINARY, "hex(N):" is type N (up to
// eight hex digits); "hex" in any letter case. `listStart` is the head's
// length, where the byte list begins.
struct HexHead {
    std::uint32_t type = kRegBinary;
    std::size_t listStart = 0;
};
std::optional<HexHead> hexHeadOf(std::string_view value);
// The digits of a "dword:" value ("dword" in any letter case): the text after
// its colon; none for any other value.
std::optional<std::string_view> dwordDigitsOf(std::string_view value);
// A hex value whose data are text (hex(1), hex(2), hex(7)): in a UTF-16
// export those are UTF-16 code units.
inline bool holdsText(const HexHead& head)
{
    return head.type == kRegSz || head.type == kRegExpandSz || head.type == kRegMultiSz;
}
// A line of a hex value that the next line continues: it ends in "\".
inline bool continuesOnNextLine(std::string_view line) { return !line.empty() && line.back() == '\\'; }
// The value box of a value whose text begins with "hex" is disabled: such a
// list is edited only whole, never as text.
inline bool looksLikeHex(std::string_view shown) { return shown.substr(0, 3) == "hex"; }

}  // namespace keyloom

#pragma once
// Reading and writing one key of one section of an INI-style file.
//
// Section and key names match without regard to letter case (non-ASCII
// letters included) and to blanks around them; only the first occurrence of a
// section, and the first occurrence of a key in it, counts. Keys above the
// first header belong to the section "". Texts are bytes in the encoding the
// line reader delivers for the file (platform/lines.h).

#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace keyloom {

// Places the value of `key` in `section` of `file` into `buffer`, cut to
// size - 1 bytes and always followed by a NUL when size > 0; `def` stands in
// when the file, the section or the key is missing. Returns the count of
// bytes placed, without the NUL. The value is trimmed of blanks, loses one
// pair of enclosing quotes and ends at a NUL byte in the file.
std::int64_t GetPrivateProfileStringA(std::string_view section, std::string_view key, std::string_view def,
                                      char* buffer, std::int64_t size, const QString& file);

// The value as the profile read gives it, from `raw`, the text after a key
// line's first "=": up to a NUL, without the blanks around it and one pair of
// enclosing quotes of the same kind ('"' or "'").
std::string_view profileValueText(std::string_view raw);

// What a profile write did.
struct ProfileWrite {
    bool written = false;  // the value reached the file (or was there already)
    // Nothing was written because the names or the value cannot be: a line
    // break, a NUL in a name, an empty key, or a line that would not read
    // back as that key and section.
    bool invalid = false;
    // Set when a write into the file itself failed part-way: a private copy
    // of the whole old content, which stays for the user.
    QString wholeCopy;
};

// Sets `key` in `section` of `file` to `value`. Only the key's line changes
// (or one line, or a header and a line, are added); every other byte, the
// encoding, owner, group, permissions and hard links stay. The file is
// replaced atomically where that keeps all of them, written in place
// otherwise (so a writable file in a folder the user cannot write to is
// written too), and left untouched when nothing would change. Refuses line
// breaks in any of the three texts, a NUL in the names, an empty key, and a
// new line that would not read back as that key.
[[nodiscard]] ProfileWrite writeProfileString(std::string_view section, std::string_view key, std::string_view value,
                                              const QString& file);
// One change of several written at once: `key` in `section` set to `value`;
// without a value the key is deleted, without a key the whole section (its
// header up to the next header), as the Windows service deletes them.
struct ProfileChange {
    std::string section;
    std::optional<std::string> key;
    std::optional<std::string> value;
};
// Writes `changes` into `file` in one replacement, as writeProfileString
// writes one: each change planned on the file as it is, every other byte
// kept. A delete takes the lines the read finds (the first section of the
// name, its first key of the name); deleting what is not there changes
// nothing. Invalid (nothing written): what writeProfileString refuses, a
// value without a key, and two changes of the same key or of a section that
// another change deletes.
[[nodiscard]] ProfileWrite writeProfileChanges(const std::vector<ProfileChange>& changes, const QString& file);
// Whether deleting the key of `change` (without a key: its section) finds
// lines to take out of `file`; none when the file could not be read.
std::optional<bool> profileDeleteFinds(const ProfileChange& change, const QString& file);
// The same, true when the value reached the file.
[[nodiscard]] bool WritePrivateProfileStringA(std::string_view section, std::string_view key, std::string_view value,
                                              const QString& file);

// One line as the profile read sees it, for readers that walk a whole file:
// a header with its name, or a key with its name and its value as the read
// returns it (uncut); Other for every other line. A UTF-16LE file's first
// line is passed without the "\xFF\xFE" that the line reader puts first.
struct ProfileLineView {
    enum Kind { Other, Header, Key };
    Kind kind = Other;
    std::string_view name;   // trimmed
    std::string_view value;  // as the read returns it, before any cut to a buffer
};
ProfileLineView profileLineOf(std::string_view line);
// A key for a section or key name: two names that the read takes for the
// same one (blanks around them and letter case ignored) give the same key.
std::string profileNameKey(std::string_view name);

}  // namespace keyloom

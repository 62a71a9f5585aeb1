#pragma once
// Changing a file through a backup copy, the one way the registry apply and
// the space insertion both write: the file is copied to its backup name, then
// rewritten from the backup one line out for every line in, then the backup
// is removed. The backup is always the program's own new file, and what stays
// after a failure is what the user needs.

#include <QString>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace keyloom {

// The backup of `currentFile`: its path without the last character, followed
// by "_" ("test.reg" gives "test.re_"). Empty for an empty path.
QString backupNameOf(const QString& currentFile);

// What to do with one line: put an empty line before it, and write
// `replacement` in its place instead of the line itself, or leave it out.
// The line's ending stays; a replacement's own CR LF become that ending. The
// line's first `keep` bytes stay as they are in the file, and the
// replacement follows them (a UTF-16 line keeps its own units there, also
// those the 8-bit text shows as "?").
struct LineEdit {
    bool emptyLineBefore = false;
    std::optional<std::string_view> replacement;
    bool drop = false;
    std::size_t keep = 0;
    // The replacement is UTF-8 text, whatever the file's lines arrive as;
    // heeded where a UTF-16 file is written in place, which holds every
    // character.
    bool utf8 = false;
    // Given for a header line (one that begins with "["): every line up to
    // the next header line stays as it is and the rule need not see it (it
    // would change nothing, in the file or in itself). A UTF-16 file written
    // in place is then searched for that header without decoding the lines
    // between; elsewhere every line is still asked.
    bool passOver = false;
};

// A rule's answer for a line that goes.
inline const LineEdit kDropLine{false, std::nullopt, true};

// Asked once per line with the line's bytes; `whole` is false when a line
// longer than the reader's bound arrived in pieces and `line` is only its
// first piece (the others are copied through, or dropped with a replaced line).
using LineRule = std::function<LineEdit(std::string_view line, bool whole)>;

// What a change through a backup did, and so where the whole content is.
enum class EditStatus {
    Done,          // the file was rewritten completely and the backup removed
    Refused,       // nothing was written and no backup is left: the file is as it was
    BackupTaken,   // the backup name belongs to another file, folder or link: nothing was written
    BackupFailed,  // the backup could not be made; the file is as it was, no backup is left
    WriteFailed,   // the rewrite failed part-way: the file may be cut, the backup holds the old content
    DeleteFailed,  // the file is complete; the backup could not be removed and stays
    Changed,       // the file changed since its content was read: nothing was written
    Invalid,       // the names or the value cannot be written as given: nothing was written
};

struct EditResult {
    EditStatus status = EditStatus::Refused;
    QString backup;            // the backup's name
    bool pendingUsed = false;  // the file was completely rewritten from the pending text
    // What the user is told, in German, naming the files; empty for Done.
    QString reason;
};

// How a UTF-16 file without a waiting REGEDIT4 text is rewritten: not at all
// (its lines cannot be written back as 8-bit text), or in place in UTF-16,
// every byte copied from the backup but those of the lines the rule changes,
// whose new text is encoded in the file's UTF-16 (mark and header kept). In
// place means into the same file, not emptied first: the bytes before the
// first changed line stay where they are, the rest is written from there
// and the file cut to its new length.
enum class Utf16Lines { Refuse, InPlace };

// Rewrites `file` through its backup. The backup is created new, with the
// file's permissions, from `pendingText` followed by CR LF when given (the
// REGEDIT4 text waiting for exactly this file) and from the file otherwise; a
// UTF-16 file without such a text is refused or written in place, as
// `utf16` says. `processEvents` runs after the backup is made
// and after the rewrite; `makeRule` runs once, between the backup and the
// rewrite, and refuses the change by returning nothing. Every line ends as it
// did in the source (CR LF, LF, CR, or nothing at the end); an added empty
// line as the line before it (the first line's, or CR LF, before that); a
// UTF-8 byte-order mark is kept. A failure that leaves the file whole removes
// the backup again; one that may have cut it keeps the backup.
[[nodiscard]] EditResult rewriteThroughBackup(const QString& file, const std::string* pendingText,
                                              const std::function<void()>& processEvents,
                                              const std::function<std::optional<LineRule>()>& makeRule,
                                              Utf16Lines utf16 = Utf16Lines::Refuse);

// What the user is told after `result` for `file` (in German, naming the
// files): the general reason for its status; empty for Done.
QString editStatusMessage(const EditResult& result, const QString& file);
// What a write that left `file` as it was did not do: store a value, or
// convert the file's content.
enum class NotWritten { Value, Conversion };
// Reasons that name `file`: it could not be written (gone, no regular file,
// read-only, or else), it could not be opened for reading (another program
// holds it), a value or name held a line break, it changed since it was read.
QString notWrittenNote(const QString& file, NotWritten what = NotWritten::Value);
QString notOpenedNote(const QString& file);
QString lineBreakNote(const QString& file);
QString changedSinceReadNote(const QString& file);
QString utf16WithoutTextNote(const QString& file);
QString invalidNameNote(const QString& file);

}  // namespace keyloom

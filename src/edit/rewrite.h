#pragma once
// Rewriting a file from its backup copy, one line out for every line in, as
// the registry apply and the space insertion both do.

#include <QString>
#include <functional>
#include <optional>
#include <string_view>

namespace keyloom {

// True when `file` may be rewritten through `backup`: `file` is a regular
// file and `backup` is not the file itself, by name or through a link (the
// copy would empty both).
bool canRewriteThrough(const QString& file, const QString& backup);

// What to do with one line: put an empty line before it, and write
// `replacement` in its place instead of the line itself.
struct LineEdit {
    bool emptyLineBefore = false;
    std::optional<std::string_view> replacement;
};

// Asked once per line with the line's bytes; `whole` is false when a line
// longer than the reader's bound arrived in pieces and `line` is only its
// first piece (the others are copied through, or dropped with a replaced line).
using LineRule = std::function<LineEdit(std::string_view line, bool whole)>;

// What a command that rewrites a file through its backup did.
enum class EditStatus {
    Done,          // the file was rewritten completely and the backup deleted
    Refused,       // the file was not touched and no backup of this run is left
    BackupFailed,  // the backup could not be made (or read); the file is unchanged
    WriteFailed,   // the rewrite failed part-way; the file may be partial, the backup holds the old content
    DeleteFailed,  // the file is complete, the backup stays
};

enum class RewriteStatus {
    Done,               // every line of the backup reached the file
    Utf16,              // the backup is UTF-16: not written as 8-bit text; file untouched
    BackupUnreadable,   // the backup could not be opened; file untouched
    FileUnwritable,     // the file could not be opened for writing; file untouched
    Failed,             // reading or writing failed part-way; the file is partial
};

// Streams `backup` into `file` (which is emptied first). Lines end as the
// backup's first line did when that was a lone LF, in CR LF otherwise; a UTF-8
// byte-order mark is kept.
[[nodiscard]] RewriteStatus rewriteFromBackup(const QString& backup, const QString& file, const LineRule& rule);

}  // namespace keyloom

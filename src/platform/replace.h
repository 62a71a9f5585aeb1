#pragma once
// Replacing a file's content so that it is either wholly old or wholly new,
// and keeps what it carried: owner, group, mode, links, ACLs and extended
// attributes. One rule for every write that changes a whole file (the
// profile write, the conversion): a new file beside it, given the old one's
// attributes and renamed over it where that keeps everything; the file
// written in place otherwise, after a private copy of its old content.

#include "platform/fileio.h"

#include <QString>
#include <functional>

class QIODevice;

namespace keyloom {

// Writes the new content to `out` from offset `from` on: the old content
// comes from `old`, already positioned at `from` (the bytes before it are
// the same in both). False on any failure, or when the old file changed in a
// way that makes the new content wrong.
using ContentWriter = std::function<bool(InputFile& old, QIODevice& out, std::int64_t from)>;

struct ReplaceResult {
    bool written = false;
    // Set when a write into the file itself failed part-way: a private copy
    // of the whole old content, which stays for the user.
    QString wholeCopy;
};

// Replaces the content of the existing regular file `path` (links followed)
// by what `write` produces, `newSize` bytes in all; only while the file's
// identity is `expected`, the one its old content was read with (checked
// before and after the new content is written). `keepUntil`: the bytes
// before it stay the same, so that an in-place write starts there; room for
// the new size is made before the first byte is overwritten. Nothing is
// written over a file the user cannot write.
ReplaceResult replaceContent(const QString& path, const FileIdentity& expected, std::int64_t keepUntil,
                             std::int64_t newSize, const ContentWriter& write);

// Creates `path`, which must not exist yet, with what `write` produces from
// an empty old content; all at once through a rename.
bool createWithContent(const QString& path, const ContentWriter& write);

// Where private copies of old content are kept: the user's state folder
// ($XDG_STATE_HOME/quorrel-keyloom, by default ~/.local/state/quorrel-keyloom),
// which no boot empties; the temporary folder where that cannot be made.
QString privateCopyFolder();

// Copies the extended attributes of `from` (POSIX ACLs among them) to the
// open file `toFd`. False when one could not be copied; true where the
// system has none.
bool copyExtendedAttributes(const QString& from, int toFd);

}  // namespace keyloom

#include "filecommands/spacing.h"

#include "edit/apply.h"
#include "edit/rewrite.h"
#include "platform/fileio.h"
#include "platform/lines.h"

#include <string_view>

namespace keyloom {

SpaceStatus insertSpaces(const QString& currentFile)
{
    const QString backup = backupNameOf(currentFile);
    if (!canRewriteThrough(currentFile, backup) || isUtf16File(currentFile))
        return SpaceStatus::Refused;
    if (!copyFile(currentFile, backup))
        return SpaceStatus::BackupFailed;

    bool previousEmpty = true;  // no empty line goes before the first line
    const RewriteStatus status = rewriteFromBackup(backup, currentFile, [&](std::string_view line, bool) -> LineEdit {
        const bool header = !line.empty() && line.front() == '[';
        const LineEdit edit{header && !previousEmpty, std::nullopt};
        previousEmpty = line.empty();
        return edit;
    });
    switch (status) {
    case RewriteStatus::Done:
        return removeFile(backup) ? SpaceStatus::Done : SpaceStatus::DeleteFailed;
    case RewriteStatus::Utf16:          // became UTF-16 after the check: not ours to rewrite as 8-bit text
    case RewriteStatus::FileUnwritable: // a read-only file: nothing was written, the copy is of no use
        removeFile(backup);
        return SpaceStatus::Refused;
    case RewriteStatus::BackupUnreadable:
        return SpaceStatus::BackupFailed;
    case RewriteStatus::Failed:
        break;
    }
    // Without a complete rewrite the backup is the only whole copy.
    return SpaceStatus::WriteFailed;
}

}  // namespace keyloom

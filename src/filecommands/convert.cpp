#include "filecommands/convert.h"

#include "edit/rewrite.h"
#include "platform/fileio.h"
#include "platform/replace.h"

#include <QIODevice>

namespace keyloom {

ReplaceResult writeConversion(const QString& file, std::string_view text, const FileIdentity& read)
{
    if (!isRegularFile(file))
        return {};
    const auto size = static_cast<qint64>(text.size());
    const ContentWriter write = [&](InputFile&, QIODevice& out, std::int64_t) {
        return !fileFaultHit(FileOp::Write) && out.write(text.data(), size) == size && !fileFaultHit(FileOp::Write) &&
               out.write("\r\n", 2) == 2;
    };
    return replaceContent(file, read, 0, size + 2, write);
}

QString conversionFailedNote(const QString& file, const ReplaceResult& result)
{
    if (result.wholeCopy.isEmpty())
        return notWrittenNote(file, NotWritten::Conversion);
    EditResult failed;
    failed.status = EditStatus::WriteFailed;
    failed.backup = result.wholeCopy;
    return editStatusMessage(failed, file);
}

}  // namespace keyloom

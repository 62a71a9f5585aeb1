#include "filecommands/convert.h"

#include "platform/fileio.h"

#include <QSaveFile>

namespace keyloom {

bool writeConversion(const QString& file, std::string_view text)
{
    if (!isRegularFile(file))
        return false;
    // QSaveFile follows a symbolic link to its target, keeps the target's
    // permissions, and never falls back to writing the file in place.
    // Unbuffered, so that a short write shows in write()'s count: commit()
    // does not notice a failure of the final flush of a buffered write.
    QSaveFile out(file);
    if (fileFaultHit(FileOp::OpenWrite) || !out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    const auto size = static_cast<qint64>(text.size());
    // Without commit() the temporary file is discarded on destruction.
    if (fileFaultHit(FileOp::Write) || out.write(text.data(), size) != size || fileFaultHit(FileOp::Write)
        || out.write("\r\n", 2) != 2 || out.error() != QFileDevice::NoError)
        return false;
    return !fileFaultHit(FileOp::Rename) && out.commit();
}

}  // namespace keyloom

#include "platform/replacingfile.h"

#ifdef _WIN32

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace keyloom {

namespace {

const wchar_t* wide(const QString& path) { return reinterpret_cast<const wchar_t*>(path.utf16()); }

QString resolvedTarget(const QString& target)
{
    const QFileInfo info(target);
    const QString resolved = info.isSymLink() ? info.canonicalFilePath() : QString();
    return QDir::toNativeSeparators(resolved.isEmpty() ? info.absoluteFilePath() : resolved);
}

}  // namespace

ReplacingFile::ReplacingFile(const QString& target) : target_(resolvedTarget(target)) {}

ReplacingFile::~ReplacingFile()
{
    if (!temporary_.isEmpty()) {
        close();
        ::DeleteFileW(wide(temporary_));
    }
}

bool ReplacingFile::open(OpenMode mode)
{
    if (isOpen() || !temporary_.isEmpty())
        return false;
    // A new name beside the target, made by this call alone (CREATE_NEW):
    // nothing already there is ever written through it.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QString name =
            target_ + QStringLiteral(".%1.tmp").arg(QRandomGenerator::global()->generate(), 8, 16, QLatin1Char('0'));
        const HANDLE handle = ::CreateFileW(wide(name), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_FILE_EXISTS)
                continue;
            return false;
        }
        const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        if (fd < 0) {
            ::CloseHandle(handle);
            ::DeleteFileW(wide(name));
            return false;
        }
        temporary_ = name;
        setFileName(name);
        return QFile::open(fd, mode | QIODevice::WriteOnly, AutoCloseHandle);
    }
    return false;
}

bool ReplacingFile::commit()
{
    if (!isOpen() || !flush() || !::FlushFileBuffers(reinterpret_cast<HANDLE>(::_get_osfhandle(handle()))))
        return false;
    close();
    if (error() != QFileDevice::NoError)
        return false;
    // ReplaceFileW gives the new file the old one's permissions, attributes
    // and creation time; a target that does not exist yet is simply renamed
    // to. The attributes that mark a file hidden or a system file are set
    // here as well, for the implementations of ReplaceFileW (Wine's) that
    // leave them out.
    const DWORD kept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD old = ::GetFileAttributesW(wide(target_));
    if (old != INVALID_FILE_ATTRIBUTES && (old & kept) != 0)
        ::SetFileAttributesW(wide(temporary_), old & kept);
    bool replaced = ::ReplaceFileW(wide(target_), wide(temporary_), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr,
                                   nullptr) != 0;
    if (!replaced && ::GetLastError() == ERROR_FILE_NOT_FOUND)
        replaced = ::MoveFileExW(wide(temporary_), wide(target_), MOVEFILE_WRITE_THROUGH) != 0;
    if (replaced)
        temporary_.clear();
    return replaced;
}

}  // namespace keyloom

#endif

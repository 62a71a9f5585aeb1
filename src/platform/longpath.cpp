#include "platform/longpath.h"

#include <QDir>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <string>
#include <windows.h>
#endif

namespace keyloom {

QString systemLongPath(const QString& path)
{
    const QFileInfo info(path);
    if (path.isEmpty() || !(info.exists() || info.isSymLink()))
        return {};
    const QString full = QDir::toNativeSeparators(QDir::cleanPath(info.absoluteFilePath()));
#ifdef Q_OS_WIN
    const auto* wide = reinterpret_cast<const wchar_t*>(full.utf16());
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD n = ::GetLongPathNameW(wide, buffer.data(), DWORD(buffer.size()));
    if (n >= buffer.size()) {  // the size it needs, its terminating zero included
        buffer.resize(n);
        n = ::GetLongPathNameW(wide, buffer.data(), DWORD(buffer.size()));
    }
    if (n == 0 || n >= buffer.size())
        return {};
    return QString::fromWCharArray(buffer.data(), qsizetype(n));
#else
    return full;
#endif
}

}  // namespace keyloom

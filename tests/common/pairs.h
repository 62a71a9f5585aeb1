#pragma once
// Two files written side by side for tests that compare them.

#include "common/utf16.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <string>

namespace keyloom::test {

// `text` (ASCII and Latin-1 characters) as an UTF-16LE registry export, each
// "\n" a CR LF, after the header line of that form.
inline std::string utf16Export(std::u16string_view body)
{
    return utf16(u"Windows Registry Editor Version 5.00\r\n\r\n" + std::u16string(body));
}

// The same lines as a REGEDIT4 file.
inline std::string regedit4(std::string_view body) { return "REGEDIT4\r\n\r\n" + std::string(body); }

// A folder with the two files `nameA` and `nameB` of a pair.
struct FilePair {
    QTemporaryDir dir;
    QString a;
    QString b;

    FilePair(const QString& nameA, const std::string& bytesA, const QString& nameB, const std::string& bytesB)
        : a(dir.filePath(nameA)), b(dir.filePath(nameB))
    {
        for (const auto& [path, bytes] : {std::pair{a, &bytesA}, std::pair{b, &bytesB}}) {
            QFile f(path);
            if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
                f.write(bytes->data(), qint64(bytes->size()));
        }
    }
};

}  // namespace keyloom::test

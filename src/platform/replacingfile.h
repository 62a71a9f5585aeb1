#pragma once
// A file written under a temporary name beside the file it is to replace,
// and put in that file's place in one step on commit(); without commit() it
// is removed and the old file stays. Links are followed: the file a symbolic
// link points to is replaced, the link stays.
//
// On POSIX systems this is QSaveFile. On Windows the replace keeps what the
// old file was (its permissions, attributes and creation time), which a
// plain rename would take from it.

#include <QFile>
#include <QSaveFile>

namespace keyloom {

#ifdef _WIN32

class ReplacingFile : public QFile {
public:
    explicit ReplacingFile(const QString& target);
    ~ReplacingFile() override;

    // Creates the temporary file in the target's folder.
    bool open(OpenMode mode) override;
    // Flushes the new content to disk and puts it in the target's place;
    // false when anything failed, the target then as it was.
    bool commit();

private:
    QString target_;
    QString temporary_;  // while it exists
};

#else

using ReplacingFile = QSaveFile;

#endif

}  // namespace keyloom

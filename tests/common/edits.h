#pragma once
// Checks shared by the tests of the commands that rewrite a file through a
// backup copy (the registry apply, the space insertion).

#include "common/files.h"
#include "common/gtest_util.h"
#include "edit/rewrite.h"

#include <gtest/gtest.h>

#include <QFile>

#include <functional>
#include <string>

namespace keyloom::test {

// A refusal: `status` says so, the file at `path` still holds `before` and
// no backup `backupPath` was left behind.
inline void expectRefusedUntouched(EditStatus status, const QString& path, const std::string& before,
                                   const QString& backupPath)
{
    EXPECT_EQ(status, EditStatus::Refused);
    EXPECT_EQ(readAll(path), before);
    EXPECT_FALSE(QFile::exists(backupPath));
}

// `command` refuses a file that would be its own backup: one named like a
// backup ("t." + `backupSuffix`), and one ("u." + `suffix`) whose backup's
// name links to it. Both keep `before`.
inline void expectNoBackupOntoItself(const std::function<EditStatus(const QString&)>& command, const QString& suffix,
                                     const QString& backupSuffix, const std::string& before)
{
    TempDir dir;
    const QString named = dir.write("t." + backupSuffix, before);
    EXPECT_EQ(command(named), EditStatus::Refused);
    EXPECT_EQ(readAll(named), before);

    const QString file = dir.write("u." + suffix, before);
    ASSERT_TRUE(linkToSameFile(file, dir.path("u." + backupSuffix)));
    EXPECT_EQ(command(file), EditStatus::Refused);
    EXPECT_EQ(readAll(file), before);
}

// `command` refuses the file `name` that its user may read but not write:
// the file keeps `before` and no backup `backupName` is made.
inline void expectReadOnlyFileRefused(const std::function<EditStatus(const QString&)>& command, const QString& name,
                                      const QString& backupName, const std::string& before)
{
    TempDir dir;
    const QString file = dir.write(name, before);
    runWithoutRoot(dir, [&] {
        QFile::setPermissions(file, QFile::ReadOwner);
        expectRefusedUntouched(command(file), file, before, dir.path(backupName));
    });
}

}  // namespace keyloom::test

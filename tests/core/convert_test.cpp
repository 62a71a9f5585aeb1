#include "common/file_size_limit.h"
#include "common/gtest_util.h"
#include "filecommands/convert.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <unistd.h>

namespace keyloom {
namespace {

const std::string kUtf16("\xFF\xFEW\0i\0n\0\r\0\n\0", 12);

TEST(Convert, WritesTextAndOneMoreLineEnd)
{
    test::TempDir dir;
    const QString file = dir.write("t.reg", kUtf16);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    const QFile::Permissions permissions = QFile::permissions(file);
    EXPECT_TRUE(writeConversion(file, "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"\xE4\"\r\n", identityOf(file)).written);
    EXPECT_EQ(test::readAll(file), "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"\xE4\"\r\n\r\n");
    EXPECT_EQ(QFile::permissions(file), permissions);
    EXPECT_EQ(test::entries(dir.path("")), QStringList{"t.reg"});
}

TEST(Convert, SymbolicLinkKeptAndTargetUpdated)
{
    test::TempDir dir;
    const QString target = dir.write("target.reg", kUtf16);
    const QString link = dir.path("link.reg");
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_TRUE(writeConversion(link, "REGEDIT4\r\n", identityOf(link)).written);
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    EXPECT_EQ(test::readAll(target), "REGEDIT4\r\n\r\n");
}

TEST(Convert, MissingFileNotCreated)
{
    test::TempDir dir;
    EXPECT_FALSE(writeConversion(dir.path("gone.reg"), "REGEDIT4\r\n", identityOf(dir.path("gone.reg"))).written);
    EXPECT_TRUE(test::entries(dir.path("")).isEmpty());
}

TEST(Convert, WriteFailureLeavesFileWholeAndNoTemporary)
{
    test::TempDir dir;
    const QString file = dir.write("t.reg", kUtf16);
    EXPECT_FALSE(test::withFileSizeLimit(
        64, [&] { return writeConversion(file, "REGEDIT4\r\n" + std::string(100, ';'), identityOf(file)).written; }));
    EXPECT_EQ(test::readAll(file), kUtf16);
    EXPECT_EQ(test::entries(dir.path("")), QStringList{"t.reg"});
}

// The same rule as the profile write: a writable file in a folder the user
// cannot write to is written in place, and nothing is left beside it.
TEST(Convert, ReadOnlyFolderWrittenInPlace)
{
    test::TempDir dir;
    ASSERT_TRUE(QDir(dir.path("")).mkdir("ro"));
    const QString file = dir.write("ro/t.reg", kUtf16);
    test::runWithoutRoot(dir, [&] {
        QFile::setPermissions(dir.path("ro"), QFile::ReadOwner | QFile::ExeOwner);
        EXPECT_TRUE(writeConversion(file, "REGEDIT4\r\n", identityOf(file)).written);
        EXPECT_EQ(test::readAll(file), "REGEDIT4\r\n\r\n");
        EXPECT_EQ(test::entries(dir.path("ro")), QStringList{"t.reg"});
        QFile::setPermissions(dir.path("ro"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    });
}

}  // namespace
}  // namespace keyloom

#include "common/files.h"
#include "filecommands/filecommands.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace keyloom {
namespace {

TEST(FileCommands, RegistryNameDecidesTheMenu)
{
    const std::pair<const char*, bool> cases[] = {{"a.reg", true},          {"TEST.REG", true}, {"x.Reg", true},
                                                  {"werte.reg.ini", false}, {"a.ini", false},   {"a.inf", false},
                                                  {"reg", false},           {"areg", false}};
    for (const auto& [name, registry] : cases)
        EXPECT_EQ(isRegistryName(name), registry) << name;
}

TEST(FileCommands, TextsNameTheFileOnly)
{
    EXPECT_EQ(notepadCommandLine("/home/a b/x.ini"), QString("NOTEPAD /home/a b/x.ini"));
    EXPECT_EQ(deleteQuestion(QDir::toNativeSeparators("/daten/test.ini")),
              QString("Datei 'test.ini' wirklich löschen ?"));
    EXPECT_EQ(convertQuestion(QDir::toNativeSeparators("/daten/test.reg")),
              QString("Datei 'test.reg' wirklich ins REGEDIT4-Format konvertieren ?"));
}

TEST(FileCommands, DeleteTakesReadOnlyFilesAndLinksOnly)
{
    test::TempDir dir;
    const QString file = dir.write("ro.ini", "[A]\r\n");
    QFile::setPermissions(file, QFile::ReadOwner);
    EXPECT_TRUE(deleteFile(file));
    EXPECT_FALSE(QFileInfo::exists(file));

    const QString target = dir.write("target.ini", "[T]\r\n");
    QFile::setPermissions(target, QFile::ReadOwner);
    const QString link = dir.path("link.ini");
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_TRUE(deleteFile(link));
    EXPECT_TRUE(QFileInfo::exists(target));
    EXPECT_EQ(QFile::permissions(target) & QFile::WriteOwner, QFile::Permissions());

    EXPECT_TRUE(deleteFile(dir.path("missing.ini")));  // gone already
    const QString folder = dir.path("folder.ini");
    ASSERT_TRUE(QDir().mkdir(folder));
    EXPECT_FALSE(deleteFile(folder));
}

}  // namespace
}  // namespace keyloom

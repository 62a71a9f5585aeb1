// The Windows side of the platform layer, where it differs from POSIX
// systems: drive letters, long paths from GetLongPathNameW, the backup
// created with CREATE_NEW, file identities from the file index, the replace
// that keeps the file, hard links written in place, UTF-16 file names,
// memory hints that do nothing, no wineserver to ask.
// Compiled everywhere, run on Windows (and under Wine).

#ifdef _WIN32

#include "app/commands.h"
#include "common/files.h"
#include "common/gtest_util.h"
#include "filecommands/convert.h"
#include "platform/drives.h"
#include "platform/fileio.h"
#include "platform/memory.h"
#include "platform/profile.h"
#include "platform/replace.h"
#include "platform/wineserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <gtest/gtest.h>

#include <functional>
#include <windows.h>

namespace keyloom {
namespace {

using S = std::string;

const wchar_t* wide(const QString& path) { return reinterpret_cast<const wchar_t*>(path.utf16()); }

using test::entries;
using test::PrintTo;

// ---------------------------------------------------------------- drives

struct RootCase {
    const char* name;
    const char* path;
    const char* root;  // "" when none of C:, D: and Z: holds the path
};

class WindowsRootOf : public test::Table<RootCase> {};

TEST_P(WindowsRootOf, ChoosesTheDriveOfThePath)
{
    const QStringList roots = {"C:/", "D:/", "Z:/"};
    EXPECT_EQ(rootOf(QString::fromUtf8(c.path), roots), QString::fromUtf8(c.root));
}

INSTANTIATE_TEST_SUITE_P(Paths, WindowsRootOf,
                         testing::Values(RootCase{"native_separators", "C:\\Daten\\kasse.ini", "C:/"},
                                         RootCase{"qt_separators", "Z:/work/kasse.ini", "Z:/"},
                                         RootCase{"lower_case_letter", "d:\\setup.inf", "D:/"},
                                         RootCase{"drive_itself", "D:/", "D:/"},
                                         RootCase{"drive_itself_native", "D:\\", "D:/"},
                                         RootCase{"drive_not_listed", "E:\\x.ini", ""},
                                         RootCase{"network_path", "\\\\server\\share\\x.ini", ""},
                                         RootCase{"relative_path", "daten\\x.ini", ""}),
                         test::CaseName());

TEST(WindowsDrives, TheSystemsDriveLettersInOrder)
{
    const QStringList roots = mountedRoots();
    ASSERT_FALSE(roots.isEmpty());
    const QRegularExpression letter("^[A-Z]:/$");
    for (const QString& root : roots)
        EXPECT_TRUE(letter.match(root).hasMatch()) << root.toStdString();
    QStringList sorted = roots;
    sorted.sort();
    EXPECT_EQ(roots, sorted);
    EXPECT_TRUE(roots.contains(QDir::rootPath(), Qt::CaseInsensitive));
    // The folder the lists start in lies on one of them.
    EXPECT_FALSE(rootOf(QDir::toNativeSeparators(QDir::currentPath()), roots).isEmpty());
}

// ------------------------------------------------------------- file names

struct NameCase {
    const char* name;
    const char* path;
    const char* fileName;
};

class WindowsFileName : public test::Table<NameCase> {};

// Paths reach the messages with either separator (Qt's, the command line's):
// the message names the file alone either way.
TEST_P(WindowsFileName, EitherSeparatorEndsTheFolder)
{
    EXPECT_EQ(Commands::FileNamePart(QString::fromUtf8(c.path)), QString::fromUtf8(c.fileName));
}

INSTANTIATE_TEST_SUITE_P(Paths, WindowsFileName,
                         testing::Values(NameCase{"backslashes", "C:\\Daten\\kasse.ini", "kasse.ini"},
                                         NameCase{"slashes", "C:/Daten/kasse.ini", "kasse.ini"},
                                         NameCase{"slash_last", "C:\\Daten/Sub\\x/kasse.ini", "kasse.ini"},
                                         NameCase{"backslash_last", "C:/Daten\\kasse.ini", "kasse.ini"},
                                         NameCase{"name_alone", "kasse.ini", "kasse.ini"}),
                         test::CaseName());

// ------------------------------------------------------------- long paths

QString shortForm(const QString& path)
{
    wchar_t buffer[MAX_PATH];
    const DWORD n = ::GetShortPathNameW(wide(QDir::toNativeSeparators(path)), buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? QString::fromWCharArray(buffer, qsizetype(n)) : QString();
}

struct LongPathCase {
    const char* name;
    // The path given, inside the test's folder `dir`.
    std::function<QString(const test::TempDir& dir)> given;
    // What LongPathName makes of it, "+" standing for the folder's long form.
    const char* expected;
};

class WindowsLongPath : public test::FileTable<LongPathCase> {};

TEST_P(WindowsLongPath, ExistingPathsLongAndNativeOthersProperCase)
{
    dir.write("Langer Dateiname.konfiguration.ini", "[A]\r\n");
    ASSERT_TRUE(QDir(dir.path("")).mkdir("Unterordner mit Namen"));
    const QString folder = Commands::LongPathName(dir.path(""));
    const QString expected = QString::fromUtf8(c.expected).replace("+", folder);
    EXPECT_EQ(Commands::LongPathName(c.given(dir)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, WindowsLongPath,
    testing::Values(
        LongPathCase{"short_name_expanded",
                     [](const test::TempDir& d) { return shortForm(d.path("Langer Dateiname.konfiguration.ini")); },
                     "+\\Langer Dateiname.konfiguration.ini"},
        LongPathCase{"short_folder_expanded",
                     [](const test::TempDir& d) { return shortForm(d.path("Unterordner mit Namen")); },
                     "+\\Unterordner mit Namen"},
        LongPathCase{"forward_slashes_native", [](const test::TempDir& d) { return d.path("Unterordner mit Namen"); },
                     "+\\Unterordner mit Namen"},
        LongPathCase{"dot_dot_resolved",
                     [](const test::TempDir& d) {
                         return d.path("Unterordner mit Namen\\..\\Langer Dateiname.konfiguration.ini");
                     },
                     "+\\Langer Dateiname.konfiguration.ini"},
        LongPathCase{"missing_file_proper_case",
                     [](const test::TempDir&) { return QString("c:\\gibt es\\nicht-da.ini"); },
                     "C:\\Gibt Es\\Nicht-Da.ini"}),
    test::CaseName());

// -------------------------------------------------------- the new backup

struct CreateCase {
    const char* name;
    const char* file;                                                // the backup's name
    std::function<void(const test::TempDir&, const QString&)> take;  // puts something there first
    bool created;
};

class WindowsCreate : public test::FileTable<CreateCase> {};

TEST_P(WindowsCreate, OnlyANameNothingHoldsIsCreated)
{
    const QString model = dir.write("model.ini", "[M]\r\n");
    const QString path = dir.path(QString::fromUtf8(c.file));
    if (c.take)
        c.take(dir, path);
    const QFileInfo before(path);
    const S bytesBefore = test::readAll(path);

    OutputFile out;
    EXPECT_EQ(out.create(path, model), c.created);
    if (!c.created) {
        EXPECT_EQ(QFileInfo(path).isDir(), before.isDir());
        EXPECT_EQ(test::readAll(path), bytesBefore);
        return;
    }
    ASSERT_TRUE(out.write("[A]\r\nk=1\r\n"));
    ASSERT_TRUE(out.close());
    EXPECT_EQ(test::readAll(path), "[A]\r\nk=1\r\n");
    // Read back through the platform layer's own reading.
    InputFile in;
    ASSERT_TRUE(in.open(path));
    char buffer[32];
    EXPECT_EQ(in.read(buffer, sizeof buffer), 10);
}

INSTANTIATE_TEST_SUITE_P(
    Names, WindowsCreate,
    testing::Values(CreateCase{"free_name", "x.re_", {}, true},
                    CreateCase{"utf16_name", "Prüfung 中文 ☃.in_", {}, true},
                    CreateCase{"existing_file", "x.re_",
                               [](const test::TempDir& d, const QString&) { d.write("x.re_", "SZDD"); }, false},
                    CreateCase{"existing_folder", "x.re_",
                               [](const test::TempDir&, const QString& p) { QDir().mkdir(p); }, false},
                    CreateCase{"read_only_file", "x.re_",
                               [](const test::TempDir& d, const QString& p) {
                                   d.write("x.re_", "old");
                                   QFile::setPermissions(p, QFile::ReadOwner);
                               },
                               false}),
    test::CaseName());

// --------------------------------------------------------- profile writes

struct WriteCase {
    const char* name;
    const char* file;
    // Prepares the written file `path` in `dir`.
    std::function<void(const test::TempDir& dir, const QString& path)> prepare;
    bool written;
    QStringList entries;  // the folder afterwards
};

class WindowsProfileWrite : public test::FileTable<WriteCase> {};

TEST_P(WindowsProfileWrite, ReplacedOrWrittenInPlaceNothingLeftBehind)
{
    const S before = "[A]\r\nk=1\r\n";
    const S after = "[A]\r\nk=2\r\n";
    const QString file = dir.write(QString::fromUtf8(c.file), before);
    if (c.prepare)
        c.prepare(dir, file);
    // An open reader does not stand in the way of the replace.
    InputFile reader;
    ASSERT_TRUE(reader.open(file));

    EXPECT_EQ(WritePrivateProfileStringA("A", "k", "2", file), c.written);
    reader.close();
    EXPECT_EQ(test::readAll(file), c.written ? after : before);
    if (QFileInfo::exists(dir.path("twin.ini"))) {
        EXPECT_EQ(test::readAll(dir.path("twin.ini")), after);
    }
    QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(entries(dir.path("")), c.entries);
}

INSTANTIATE_TEST_SUITE_P(Files, WindowsProfileWrite,
                         testing::Values(WriteCase{"plain_file", "f.ini", {}, true, {"f.ini"}},
                                         WriteCase{"utf16_name", "Käse 中文.ini", {}, true, {"Käse 中文.ini"}},
                                         WriteCase{"hard_link_kept_by_writing_in_place", "f.ini",
                                                   [](const test::TempDir& d, const QString& p) {
                                                       ASSERT_TRUE(test::linkToSameFile(p, d.path("twin.ini")));
                                                   },
                                                   true, QStringList{"f.ini", "twin.ini"}},
                                         WriteCase{"read_only_refused", "f.ini",
                                                   [](const test::TempDir&, const QString& p) {
                                                       QFile::setPermissions(p, QFile::ReadOwner);
                                                   },
                                                   false, QStringList{"f.ini"}}),
                         test::CaseName());

// ------------------------------------------------------------ identities

// The C runtime's stat() reports no file numbers on Windows: the identity
// must come from the volume and the file index, or every file on a drive
// would look like every other one of the same size and time.
struct IdentityCase {
    const char* name;
    // Makes the second path in `dir` from the file `first`; returns it.
    std::function<QString(const test::TempDir& dir, const QString& first)> second;
    bool same;
};

class WindowsIdentity : public test::FileTable<IdentityCase> {};

TEST_P(WindowsIdentity, TellsFilesApart)
{
    const QString first = dir.write("a.ini", "[A]\r\nk=1\r\n");
    const FileIdentity before = identityOf(first);
    ASSERT_TRUE(before.exists);
    EXPECT_NE(before.inode, 0u);
    const QString second = c.second(dir, first);
    EXPECT_EQ(identityOf(second) == before, c.same);
}

INSTANTIATE_TEST_SUITE_P(
    Files, WindowsIdentity,
    testing::Values(
        IdentityCase{"same_name", [](const test::TempDir&, const QString& f) { return f; }, true},
        IdentityCase{"native_separators",
                     [](const test::TempDir&, const QString& f) { return QDir::toNativeSeparators(f); }, true},
        IdentityCase{"hard_link",
                     [](const test::TempDir& d, const QString& f) {
                         EXPECT_TRUE(test::linkToSameFile(f, d.path("twin.ini")));
                         return d.path("twin.ini");
                     },
                     true},
        IdentityCase{"same_bytes_other_file",
                     [](const test::TempDir& d, const QString& f) { return d.write("b.ini", test::readFile(f)); },
                     false},
        IdentityCase{"grown",
                     [](const test::TempDir&, const QString& f) {
                         QFile file(f);
                         EXPECT_TRUE(file.open(QIODevice::Append));
                         file.write("x");
                         return f;
                     },
                     false},
        IdentityCase{"replaced_by_rename",
                     [](const test::TempDir& d, const QString& f) {
                         const QString other = d.write("b.ini", test::readFile(f));
                         EXPECT_TRUE(::MoveFileExW(wide(other), wide(f), MOVEFILE_REPLACE_EXISTING));
                         return f;
                     },
                     false}),
    test::CaseName());

TEST(WindowsIdentity, NoneForFoldersAndMissingFiles)
{
    test::TempDir dir;
    ASSERT_TRUE(QDir(dir.path("")).mkdir("sub.ini"));
    EXPECT_FALSE(identityOf(dir.path("sub.ini")).exists);
    EXPECT_FALSE(identityOf(dir.path("gone.ini")).exists);
}

// ------------------------------------------------ the replace of a whole file

struct ReplaceCase {
    const char* name;
    // Prepares the file `path` in `dir`.
    std::function<void(const test::TempDir& dir, const QString& path)> prepare;
    bool written;
    QStringList entries;   // the folder afterwards
    DWORD attributesKept;  // attribute bits the file still has afterwards
};

class WindowsReplace : public test::FileTable<ReplaceCase> {};

// The conversion replaces the file as the profile write does: through
// ReplaceFileW, which keeps the old file's attributes, or in place for a
// file with other links.
TEST_P(WindowsReplace, ConversionKeepsTheFile)
{
    const S before = "Windows Registry Editor Version 5.00\r\n";
    const QString file = dir.write("t.reg", before);
    if (c.prepare)
        c.prepare(dir, file);
    const ReplaceResult result = writeConversion(file, "REGEDIT4\r\n", identityOf(file));
    EXPECT_EQ(result.written, c.written);
    EXPECT_TRUE(result.wholeCopy.isEmpty());
    EXPECT_EQ(test::readAll(file), c.written ? S("REGEDIT4\r\n\r\n") : before);
    if (QFileInfo::exists(dir.path("twin.reg"))) {
        EXPECT_EQ(test::readAll(dir.path("twin.reg")), test::readAll(file));
    }
    EXPECT_EQ(::GetFileAttributesW(wide(file)) & c.attributesKept, c.attributesKept);
    ::SetFileAttributesW(wide(file), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(entries(dir.path("")), c.entries);
}

INSTANTIATE_TEST_SUITE_P(Files, WindowsReplace,
                         testing::Values(ReplaceCase{"plain_file", {}, true, {"t.reg"}, 0},
                                         ReplaceCase{"hidden_attribute_kept",
                                                     [](const test::TempDir&, const QString& p) {
                                                         ASSERT_TRUE(
                                                             ::SetFileAttributesW(wide(p), FILE_ATTRIBUTE_HIDDEN));
                                                     },
                                                     true, QStringList{"t.reg"}, FILE_ATTRIBUTE_HIDDEN},
                                         ReplaceCase{"hard_link_written_in_place",
                                                     [](const test::TempDir& d, const QString& p) {
                                                         ASSERT_TRUE(test::linkToSameFile(p, d.path("twin.reg")));
                                                     },
                                                     true, QStringList{"t.reg", "twin.reg"}, 0},
                                         ReplaceCase{"read_only_refused",
                                                     [](const test::TempDir&, const QString& p) {
                                                         QFile::setPermissions(p, QFile::ReadOwner);
                                                     },
                                                     false, QStringList{"t.reg"}, FILE_ATTRIBUTE_READONLY}),
                         test::CaseName());

TEST(WindowsReplace, ChangedSinceReadNotWritten)
{
    test::TempDir dir;
    const QString file = dir.write("t.reg", "REGEDIT4\r\n");
    const FileIdentity read = identityOf(file);
    test::writeFile(file, "REGEDIT4\r\n; changed\r\n");
    EXPECT_FALSE(writeConversion(file, "REGEDIT4\r\n", read).written);
    EXPECT_EQ(test::readAll(file), "REGEDIT4\r\n; changed\r\n");
    EXPECT_EQ(entries(dir.path("")), QStringList{"t.reg"});
}

TEST(WindowsReplace, NewFileCreatedOnlyWhereNothingIs)
{
    test::TempDir dir;
    const ContentWriter write = [](InputFile&, QIODevice& out, std::int64_t) { return out.write("[A]\r\n", 5) == 5; };
    EXPECT_TRUE(createWithContent(dir.path("new.ini"), write));
    EXPECT_EQ(test::readAll(dir.path("new.ini")), "[A]\r\n");
    const QString old = dir.write("old.ini", "[B]\r\n");
    EXPECT_FALSE(createWithContent(old, write));
    EXPECT_EQ(test::readAll(old), "[B]\r\n");
    EXPECT_EQ(entries(dir.path("")), (QStringList{"new.ini", "old.ini"}));
}

TEST(WindowsReplace, PrivateCopiesInLocalApplicationData)
{
    EXPECT_EQ(privateCopyFolder(),
              QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/quorrel-keyloom");
}

// ---------------------------------------------------------------- Wine

TEST(WindowsWineServer, NoneToAskOnWindows)
{
    test::TempDir dir;
    EXPECT_TRUE(wineServerDirsOf(dir.path("")).isEmpty());
    EXPECT_FALSE(wineServerRunsFor(dir.path("")));
}

// ----------------------------------------------------------- memory hints

TEST(WindowsMemory, HintsDoNothingToTheBytes)
{
    constexpr std::size_t kSize = 2 * kHugePage;
    LargeBlock block = allocateLargeBlock(kSize);
    ASSERT_TRUE(block);
    {
        PrefaultAhead ahead(block.get(), kSize);
        for (std::size_t i = 0; i < kSize; ++i)
            block[i] = static_cast<char>(i * 7);
    }
    adviseHugePages(block.get(), kSize);
    for (std::size_t i = 0; i < kSize; i += 4093)
        ASSERT_EQ(block[i], static_cast<char>(i * 7)) << i;
}

}  // namespace
}  // namespace keyloom

#endif

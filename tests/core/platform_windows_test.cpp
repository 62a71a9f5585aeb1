// The Windows side of the platform layer, where it differs from POSIX
// systems: drive letters, long paths from GetLongPathNameW, the backup
// created with CREATE_NEW, the replace that keeps the file, hard links
// written in place, UTF-16 file names, memory hints that do nothing.
// Compiled everywhere, run on Windows (and under Wine).

#ifdef _WIN32

#include "app/commands.h"
#include "common/files.h"
#include "platform/drives.h"
#include "platform/fileio.h"
#include "platform/memory.h"
#include "platform/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <functional>
#include <windows.h>

namespace keyloom {
namespace {

using S = std::string;

const wchar_t* wide(const QString& path) { return reinterpret_cast<const wchar_t*>(path.utf16()); }

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// ---------------------------------------------------------------- drives

struct RootCase {
    const char* name;
    const char* path;
    const char* root;  // "" when none of C:, D: and Z: holds the path
};

void PrintTo(const RootCase& c, std::ostream* os) { *os << c.name; }

class WindowsRootOf : public testing::TestWithParam<RootCase> {};

TEST_P(WindowsRootOf, ChoosesTheDriveOfThePath)
{
    const QStringList roots = {"C:/", "D:/", "Z:/"};
    EXPECT_EQ(rootOf(QString::fromUtf8(GetParam().path), roots), QString::fromUtf8(GetParam().root));
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
                         [](const testing::TestParamInfo<RootCase>& info) { return S(info.param.name); });

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

void PrintTo(const LongPathCase& c, std::ostream* os) { *os << c.name; }

class WindowsLongPath : public testing::TestWithParam<LongPathCase> {};

TEST_P(WindowsLongPath, ExistingPathsLongAndNativeOthersProperCase)
{
    test::TempDir dir;
    dir.write("Langer Dateiname.konfiguration.ini", "[A]\r\n");
    ASSERT_TRUE(QDir(dir.path("")).mkdir("Unterordner mit Namen"));
    const QString folder = Commands::LongPathName(dir.path(""));
    const QString expected = QString::fromUtf8(GetParam().expected).replace("+", folder);
    EXPECT_EQ(Commands::LongPathName(GetParam().given(dir)), expected);
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
    [](const testing::TestParamInfo<LongPathCase>& info) { return S(info.param.name); });

// -------------------------------------------------------- the new backup

struct CreateCase {
    const char* name;
    const char* file;                                                // the backup's name
    std::function<void(const test::TempDir&, const QString&)> take;  // puts something there first
    bool created;
};

void PrintTo(const CreateCase& c, std::ostream* os) { *os << c.name; }

class WindowsCreate : public testing::TestWithParam<CreateCase> {};

TEST_P(WindowsCreate, OnlyANameNothingHoldsIsCreated)
{
    const CreateCase& c = GetParam();
    test::TempDir dir;
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
    [](const testing::TestParamInfo<CreateCase>& info) { return S(info.param.name); });

// --------------------------------------------------------- profile writes

struct WriteCase {
    const char* name;
    const char* file;
    // Prepares the written file `path` in `dir`.
    std::function<void(const test::TempDir& dir, const QString& path)> prepare;
    bool written;
    QStringList entries;  // the folder afterwards
};

void PrintTo(const WriteCase& c, std::ostream* os) { *os << c.name; }

class WindowsProfileWrite : public testing::TestWithParam<WriteCase> {};

TEST_P(WindowsProfileWrite, ReplacedOrWrittenInPlaceNothingLeftBehind)
{
    const WriteCase& c = GetParam();
    const S before = "[A]\r\nk=1\r\n";
    const S after = "[A]\r\nk=2\r\n";
    test::TempDir dir;
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
                         [](const testing::TestParamInfo<WriteCase>& info) { return S(info.param.name); });

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

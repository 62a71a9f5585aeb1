// Files that are not what their names claim. Every command returns promptly,
// opens nothing but regular files, never blocks on a pipe or a device, and
// loses no byte of a file it may rewrite.

#include "common/gtest_util.h"
#include "common/lines.h"
#include "common/posix_only.h"
#include "common/privileges.h"
#include "common/utf16.h"
#include "document/document.h"
#include "edit/apply.h"
#include "filecommands/convert.h"
#include "filecommands/spacing.h"
#include "platform/lines.h"
#include "platform/profile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace keyloom {
namespace {

using S = std::string;
using test::linesOf;

#ifdef _WIN32
// No SIGALRM there: CTest's timeout ends a blocked run.
class Watchdog {
public:
    explicit Watchdog(unsigned) {}
};
#else
// A blocked call ends the test run through SIGALRM instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(unsigned seconds) { ::alarm(seconds); }
    ~Watchdog() { ::alarm(0); }
};
#endif

std::vector<S> withoutEmpty(std::vector<S> lines)
{
    std::erase(lines, S());
    return lines;
}

S binaryBytes()
{
    S bytes = "\x7F"
              "ELF\x02\x01\x01";
    std::uint32_t x = 12345;
    while (bytes.size() < 64 * 1024) {
        x = x * 1103515245u + 12345u;
        bytes.push_back(static_cast<char>(x >> 16));
    }
    return bytes;
}

using test::PrintTo;

struct RegularCase {
    const char* name;
    const char* file;
    S bytes;
    TextCodec codec;
    bool utf16;
    bool profileWritable = true;  // false: a UTF-16 file cut inside a character
};

class HostileRegular : public testing::TestWithParam<RegularCase> {};

// Every command on a regular file with odd content: lines survive every
// rewrite, and a profile write adds its section after the old bytes.
TEST_P(HostileRegular, EveryCommandKeepsTheLines)
{
    const RegularCase& c = GetParam();
    Watchdog watchdog(120);
    test::TempDir dir;
    const QString file = dir.write(c.file, c.bytes);
    const std::vector<S> before = linesOf(file);

    const LoadResult load = loadFile(file);
    EXPECT_TRUE(load.opened);
    EXPECT_EQ(load.codec, c.codec);
    for (const S& section : load.sections) {
        const KeyListing keys = listKeys(file, section, fileKindOf(file));
        for (const S& key : keys.keys)
            lookupRegistryValue(file, section, key, "");
        if (load.sections.size() > 20)
            break;
    }
    char buffer[64];
    const std::int64_t n = GetPrivateProfileStringA("a", "b", "def", buffer, sizeof buffer, file);
    EXPECT_LE(n, 63);

    const EditResult applied = applyRegistryValue(file, nullptr, {}, ApplyValues{"no such section", "k", "v"});
    // A UTF-16 file is written in place, where no line changes.
    EXPECT_EQ(applied.status, EditStatus::Done);
    EXPECT_EQ(linesOf(file), before);
    EXPECT_FALSE(QFile::exists(backupNameOf(file)));

    const EditStatus spaced = insertSpaces(file).status;
    EXPECT_EQ(spaced, c.utf16 ? EditStatus::Refused : EditStatus::Done);
    EXPECT_EQ(withoutEmpty(linesOf(file)), withoutEmpty(before));
    EXPECT_FALSE(QFile::exists(backupNameOf(file)));

    const S old = test::readAll(file);
    EXPECT_EQ(WritePrivateProfileStringA("hostile section", "hostile key", "v", file), c.profileWritable);
    EXPECT_EQ(test::readAll(file).substr(0, old.size()), old);
    if (c.profileWritable) {
        EXPECT_EQ(GetPrivateProfileStringA("hostile section", "hostile key", "", buffer, sizeof buffer, file), 1);
        EXPECT_EQ(S(buffer), "v");
    }

    EXPECT_TRUE(writeConversion(file, "REGEDIT4\r\n", identityOf(file)).written);
    EXPECT_EQ(test::readAll(file), "REGEDIT4\r\n\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Files, HostileRegular,
    testing::Values(RegularCase{"binary_named_ini", "x.ini", binaryBytes(), TextCodec::Windows1252, false},
                    RegularCase{"binary_named_reg", "x.reg", binaryBytes(), TextCodec::Windows1252, false},
                    RegularCase{"nul_bytes", "x.ini", S(100000, '\0'), TextCodec::Windows1252, false},
                    RegularCase{"nul_bytes_reg", "x.reg", S(100000, '\0') + "\r\n[K]\r\n\"a\"=1",
                                TextCodec::Windows1252, false},
                    RegularCase{"invalid_utf8", "x.ini", S("[\xC3(]\r\nk=\xE2\x28\xA1\r\n\xF0\x90\r\n\xED\xA0\x80"),
                                TextCodec::Windows1252, false},
                    RegularCase{"utf16be", "x.reg", test::utf16be(u"Windows Registry Editor\r\n[K]\r\n\"a\"=\"1\"\r\n"),
                                TextCodec::Windows1252, true},
                    RegularCase{"utf16be_odd_length", "x.ini", test::utf16be(u"[S]\r\nk=1") + "\x01", TextCodec::Utf8,
                                true, false}),
    test::CaseName());

// What a command must do with a path that is no readable regular file.
void expectEveryCommandRefuses(const QString& path)
{
    SCOPED_TRACE(path.toStdString());
    Watchdog watchdog(60);
    const LoadResult load = loadFile(path);
    EXPECT_FALSE(load.opened);
    EXPECT_TRUE(load.sections.empty());
    EXPECT_TRUE(listKeys(path, "S", FileKind::Ini).failed);
    EXPECT_TRUE(listKeys(path, "S", FileKind::Registry).failed);
    EXPECT_TRUE(lookupRegistryValue(path, "S", "k", "").failed);
    char buffer[16];
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "def", buffer, sizeof buffer, path), 3);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", path));
    EXPECT_EQ(applyRegistryValue(path, nullptr, {}, ApplyValues{"S", "k", "v"}).status, EditStatus::Refused);
    EXPECT_EQ(insertSpaces(path).status, EditStatus::Refused);
    EXPECT_FALSE(writeConversion(path, "REGEDIT4\r\n", identityOf(path)).written);
    EXPECT_FALSE(QFileInfo::exists(backupNameOf(path)));
}

KEYLOOM_POSIX_ONLY(Hostile, FifoNamedIniNeverBlocks, "FIFOs")
KEYLOOM_POSIX_ONLY(Hostile, LinkToEndlessDeviceNeverRead, "symbolic links to devices")
KEYLOOM_POSIX_ONLY(Hostile, LinkLoop, "symbolic links")
#ifndef _WIN32
TEST(Hostile, FifoNamedIniNeverBlocks)
{
    test::TempDir dir;
    for (const char* name : {"x.ini", "x.reg"}) {
        const QString fifo = dir.path(name);
        ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0666), 0);
        expectEveryCommandRefuses(fifo);
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(fifo).constData(), &st), 0);
        EXPECT_TRUE(S_ISFIFO(st.st_mode));
    }
}

TEST(Hostile, LinkToEndlessDeviceNeverRead)
{
    test::TempDir dir;
    for (const char* name : {"x.ini", "x.reg"}) {
        ASSERT_TRUE(QFile::link("/dev/zero", dir.path(name)));
        expectEveryCommandRefuses(dir.path(name));
    }
}

TEST(Hostile, LinkLoop)
{
    test::TempDir dir;
    ASSERT_TRUE(QFile::link(dir.path("b.ini"), dir.path("a.ini")));
    ASSERT_TRUE(QFile::link(dir.path("a.ini"), dir.path("b.ini")));
    expectEveryCommandRefuses(dir.path("a.ini"));
    ASSERT_TRUE(QFile::link(dir.path("self.reg"), dir.path("self.reg")));
    expectEveryCommandRefuses(dir.path("self.reg"));
}
#endif

TEST(Hostile, FolderNamedReg)
{
    test::TempDir dir;
    ASSERT_TRUE(QDir(dir.path("")).mkdir("x.reg"));
    ASSERT_TRUE(QDir(dir.path("")).mkdir("y.ini"));
    expectEveryCommandRefuses(dir.path("x.reg"));
    expectEveryCommandRefuses(dir.path("y.ini"));
    EXPECT_TRUE(QFileInfo(dir.path("x.reg")).isDir());
}

// Puts a FIFO (kind 0), a link to a device (1) or a folder (2) under `path`.
// Windows has the folder only.
bool takeName(int kind, const QString& path)
{
#ifndef _WIN32
    if (kind == 0)
        return ::mkfifo(QFile::encodeName(path).constData(), 0666) == 0;
    if (kind == 1)
        return QFile::link("/dev/null", path);
#endif
    return kind == 2 && QDir().mkdir(path);
}

#ifdef _WIN32
constexpr int kFirstTakenKind = 2;
#else
constexpr int kFirstTakenKind = 0;
#endif

// A FIFO, a device link or a folder in the backup's place: the name is taken,
// nothing waits, and the file stays as it was.
TEST(Hostile, BackupNameTakenByPipeDeviceOrFolder)
{
    const S reg = "[K]\r\n\"a\"=1\r\n";
    const S ini = "a=1\r\n[B]\r\n";
    for (int kind = kFirstTakenKind; kind < 3; ++kind) {
        test::TempDir dir;
        Watchdog watchdog(60);
        const QString regFile = dir.write("t.reg", reg);
        const QString iniFile = dir.write("t.ini", ini);
        for (const QString& backup : {dir.path("t.re_"), dir.path("t.in_")})
            ASSERT_TRUE(takeName(kind, backup));
        EXPECT_EQ(applyRegistryValue(regFile, nullptr, {}, ApplyValues{"K", "a", "2"}).status, EditStatus::BackupTaken);
        EXPECT_EQ(test::readAll(regFile), reg);
        EXPECT_EQ(insertSpaces(iniFile).status, EditStatus::BackupTaken);
        EXPECT_EQ(test::readAll(iniFile), ini);
    }
}

KEYLOOM_POSIX_ONLY(Hostile, FileWithoutReadPermission, "file permissions and another user")
KEYLOOM_POSIX_ONLY(Hostile, LineOf200MegabytesWithoutEnd, "sparse files and peak memory from getrusage")
#ifndef _WIN32
TEST(Hostile, FileWithoutReadPermission)
{
    test::TempDir dir;
    const S bytes = "[S]\r\nk=1\r\n";
    const QString reg = dir.write("x.reg", bytes);
    const QString ini = dir.write("x.ini", bytes);
    // A folder everyone may write into, files that only their owner may write.
    ::chmod(QFile::encodeName(dir.path("")).constData(), 0777);
    for (const QString& f : {reg, ini}) {
        if (::geteuid() == 0) {
            ASSERT_TRUE(test::giveToNobody(f));
        }
        ::chmod(QFile::encodeName(f).constData(), 0200);
    }
    const bool held = test::runAsNobody([&] {
        Watchdog watchdog(60);
        bool ok = true;
        auto check = [&](bool condition, const char* what) {
            if (!condition)
                std::fprintf(stderr, "failed: %s\n", what);
            ok = ok && condition;
        };
        check(!loadFile(reg).opened, "load");
        check(listKeys(reg, "S", FileKind::Registry).failed, "listing");
        check(lookupRegistryValue(reg, "S", "k", "").failed, "lookup");
        char buffer[16];
        check(GetPrivateProfileStringA("S", "k", "def", buffer, sizeof buffer, ini) == 3, "profile read");
        check(!WritePrivateProfileStringA("S", "k", "2", ini), "profile write");
        // Told as a file that cannot be opened, not as a backup that failed.
        check(applyRegistryValue(reg, nullptr, {}, ApplyValues{"S", "k", "2"}).status == EditStatus::Refused, "apply");
        check(insertSpaces(ini).reason == notOpenedNote(ini), "spaces");
        return ok;
    });
    EXPECT_TRUE(held);
    for (const QString& f : {reg, ini}) {
        ::chmod(QFile::encodeName(f).constData(), 0600);
        EXPECT_EQ(test::readAll(f), bytes);
    }
}

// A file of `head`, then `zeros` NUL bytes (sparse, so it costs no disk
// space to make), then `tail`.
QString sparseFile(const QString& path, const S& head, off_t zeros, const S& tail = {})
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(::write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    EXPECT_EQ(::ftruncate(fd, static_cast<off_t>(head.size()) + zeros), 0);
    EXPECT_EQ(::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(head.size()) + zeros),
              static_cast<ssize_t>(tail.size()));
    ::close(fd);
    return path;
}

// True when the file holds exactly `head`, `zeros` NUL bytes and `tail`.
bool holds(const QString& path, const S& head, off_t zeros, const S& tail)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() != static_cast<qint64>(head.size() + tail.size()) + zeros)
        return false;
    if (f.read(static_cast<qint64>(head.size())).toStdString() != head)
        return false;
    std::vector<char> block(1 << 20);
    for (off_t left = zeros; left > 0;) {
        const auto want = static_cast<qint64>(std::min<off_t>(left, static_cast<off_t>(block.size())));
        if (f.read(block.data(), want) != want)
            return false;
        for (qint64 i = 0; i < want; ++i) {
            if (block[static_cast<std::size_t>(i)] != '\0')
                return false;
        }
        left -= want;
    }
    return f.readAll().toStdString() == tail;
}

long peakKilobytes()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

// A single line of 200 MB without a line end: every command reads and
// rewrites it in bounded memory and keeps every byte.
TEST(Hostile, LineOf200MegabytesWithoutEnd)
{
    constexpr off_t kZeros = 200 << 20;
    test::TempDir dir;
    Watchdog watchdog(600);
    const long peakBefore = peakKilobytes();

    const S iniHead = "[S]\r\nk=";
    const QString ini = sparseFile(dir.path("long.ini"), iniHead, kZeros);
    const LoadResult load = loadFile(ini);
    EXPECT_EQ(load.sections, std::vector<S>{"S"});
    EXPECT_EQ(load.codec, TextCodec::Windows1252);
    EXPECT_EQ(listKeys(ini, "S", FileKind::Ini).keys, std::vector<S>{"k"});
    char buffer[16];
    EXPECT_EQ(GetPrivateProfileStringA("S", "k", "def", buffer, sizeof buffer, ini), 0);
    EXPECT_EQ(insertSpaces(ini).status, EditStatus::Done);
    EXPECT_TRUE(holds(ini, iniHead, kZeros, ""));
    EXPECT_TRUE(WritePrivateProfileStringA("S", "new", "v", ini));
    EXPECT_TRUE(holds(ini, iniHead, kZeros, "\r\nnew=v\r\n"));

    const S regHead = "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"";
    const QString reg = sparseFile(dir.path("long.reg"), regHead, kZeros);
    EXPECT_EQ(listKeys(reg, "K", FileKind::Registry).keys, std::vector<S>{"a"});
    const RegistryLookup found = lookupRegistryValue(reg, "K", "a", "");
    EXPECT_TRUE(found.found);
    EXPECT_TRUE(found.cut);
    EXPECT_FALSE(found.enabled);
    EXPECT_EQ(applyRegistryValue(reg, nullptr, {}, ApplyValues{"K", "b", "1"}).status, EditStatus::Done);
    EXPECT_TRUE(holds(reg, regHead, kZeros, ""));
    EXPECT_EQ(applyRegistryValue(reg, nullptr, {}, ApplyValues{"K", "a", "\"v\""}).status, EditStatus::Done);
    EXPECT_EQ(test::readAll(reg), "REGEDIT4\r\n\r\n[K]\r\n\"a\"=\"v\"");

    // The sanitizer's allocator keeps freed blocks aside, which says nothing
    // about what the code holds at once.
    if (!kSanitized) {
        EXPECT_LT(peakKilobytes() - peakBefore, 64 * 1024);
    }
}
#endif

}  // namespace
}  // namespace keyloom

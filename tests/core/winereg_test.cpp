// Wine's own registry files: the escapes, the line forms, a file with every
// value type read and written, the running-wineserver check, the command line.

#include "common/gtest_util.h"
#include "common/posix_only.h"
#include "document/document.h"
#include "document/find.h"
#include "document/winereg.h"
#include "edit/apply.h"
#include "platform/wineserver.h"

#include <QDir>
#include <QProcess>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstring>

namespace keyloom {
namespace {

using S = std::string;
using Keys = std::vector<std::string>;
using test::PrintTo;

// --- escapes ------------------------------------------------------------------

struct EscapeCase {
    const char* name;
    S escaped;  // as the file holds it
    S decoded;  // UTF-8
    // Wine writes the decoded text exactly so: the encoding gives it back.
    bool canonical;
};

class Escapes : public testing::TestWithParam<EscapeCase> {};

TEST_P(Escapes, DecodeAndEncodeRoundTrip)
{
    const EscapeCase& c = GetParam();
    EXPECT_EQ(decodeWineText(c.escaped), c.decoded);
    const S encoded = encodeWineText(QString::fromUtf8(c.decoded).toStdU16String());
    if (c.canonical) {
        EXPECT_EQ(encoded, c.escaped);
    }
    // Whatever the file held, what is written reads back as the same text.
    EXPECT_EQ(decodeWineText(encoded), c.decoded);
    // The comparison without decoding agrees with the decoding.
    S buffer;
    EXPECT_TRUE(wineTextIs(c.escaped, c.decoded, buffer));
    EXPECT_FALSE(wineTextIs(c.escaped, c.decoded + "x", buffer));
    EXPECT_FALSE(wineTextIs(c.escaped + "x", c.decoded, buffer));
}

INSTANTIATE_TEST_SUITE_P(
    Table, Escapes,
    testing::Values(EscapeCase{"plain", "Control Panel", "Control Panel", true},
                    EscapeCase{"backslash", "a\\\\b", "a\\b", true}, EscapeCase{"quote", "\\\"x\\\"", "\"x\"", true},
                    EscapeCase{"nul_one_digit", "a\\0b", S("a\0b", 3), true},
                    EscapeCase{"nul_before_digit_three_digits", "\\0001",
                               S("\0"
                                 "1",
                                 2),
                               true},
                    EscapeCase{"control_two_digits", "\\21", "\x11", true},
                    EscapeCase{"c_escapes", "\\n\\r\\t\\e\\a", "\n\r\t\x1b\a", true},
                    EscapeCase{"latin_short_hex", "Gr\\xfc\\x00dfe", "Grüße", true},
                    EscapeCase{"hex_unit_before_non_hex", "\\x20acx", "€x", true},
                    EscapeCase{"surrogate_pair", "\\xd83c\\xdf0e\\xd83c\\xdf0f", "🌎🌏", true},
                    EscapeCase{"pair_before_hex_digit", "\\xd83c\\xdf0e1", "🌎1", true},
                    EscapeCase{"lone_high_surrogate", "\\xd83cx", "\xEF\xBF\xBDx", false},
                    EscapeCase{"lone_low_surrogate", "\\xdf0e", "\xEF\xBF\xBD", false},
                    EscapeCase{"unknown_escape_is_its_char", "\\q\\[\\]", "q[]", false},
                    EscapeCase{"x_without_digits", "\\xg", "xg", false},
                    EscapeCase{"trailing_backslash_kept", "a\\", "a\\", false},
                    EscapeCase{"path_like_xaudio", "system32\\\\xaudio2_4.dll", "system32\\xaudio2_4.dll", true}),
    test::CaseName());

// --- line forms ---------------------------------------------------------------

struct LineCase {
    const char* name;
    S line;
    std::optional<S> section;  // the section list's entry of a header line
    std::optional<S> key;      // the key list's entry of a value line
    WineForm form;             // of the value after "="
    S shown;                   // the value box's text
};

class Lines : public testing::TestWithParam<LineCase> {};

TEST_P(Lines, SectionKeyAndValue)
{
    const LineCase& c = GetParam();
    S buffer;
    const auto section = sectionNameOf(c.line, FileKind::WineRegistry, buffer);
    EXPECT_EQ(section ? std::optional<S>(*section) : std::nullopt, c.section);
    if (isHeaderLine(c.line))
        return;
    KeyRows rows(FileKind::WineRegistry);
    rows.start(true);
    const std::optional<KeyRows::Row> row = rows.feed(c.line, false, false);
    EXPECT_EQ(row ? std::optional<S>(row->entry) : std::nullopt, c.key);
    if (!row || !row->value)
        return;
    EXPECT_EQ(wineValueOf(*row->value).form, c.form);
    EXPECT_EQ(shownValue(FileKind::WineRegistry, *row->value), c.shown);
}

constexpr auto kNo = std::nullopt;

INSTANTIATE_TEST_SUITE_P(
    Table, Lines,
    testing::Values(
        LineCase{"header_with_time", "[Control Panel\\\\Desktop] 1796704138", "Control Panel\\Desktop", kNo,
                 WineForm::Other, ""},
        LineCase{"header_escaped_emoji", "[A\\\\\\xd83c\\xdf0e] 1", "A\\🌎", kNo, WineForm::Other, ""},
        LineCase{"header_escaped_bracket", "[a\\]b] 1", "a]b", kNo, WineForm::Other, ""},
        LineCase{"header_unclosed", "[abc 1", kNo, kNo, WineForm::Other, ""},
        LineCase{"meta_time", "#time=1dd86cca8164b6e", kNo, kNo, WineForm::Other, ""},
        LineCase{"meta_class", "#class=\"x\"", kNo, kNo, WineForm::Other, ""},
        LineCase{"string", "\"Wallpaper\"=\"C:\\\\w.bmp\"", kNo, "Wallpaper", WineForm::String, "C:\\w.bmp"},
        LineCase{"default_value", "@=\"x\\\"y\"", kNo, "@", WineForm::String, "x\"y"},
        LineCase{"name_with_quote_and_equals", "\"a\\\"=b\"=\"1\"", kNo, "a\"=b", WineForm::String, "1"},
        LineCase{"expand_string", "\"P\"=str(2):\"%SystemRoot%\\\\x\"", kNo, "P", WineForm::ExpandString,
                 "%SystemRoot%\\x"},
        LineCase{"multi_string", "\"M\"=str(7):\"a\\0b\\0\"", kNo, "M", WineForm::MultiString, "str(7):\"a\\0b\\0\""},
        LineCase{"dword", "\"D\"=dword:0000000a", kNo, "D", WineForm::Dword, "dword:0000000a"},
        LineCase{"hex", "\"H\"=hex:01,02", kNo, "H", WineForm::Hex, "hex:01,02"},
        LineCase{"hex_typed", "\"Q\"=hex(b):01,00,00,00,00,00,00,00", kNo, "Q", WineForm::Hex,
                 "hex(b):01,00,00,00,00,00,00,00"},
        LineCase{"continuation_line", "  01,02", kNo, kNo, WineForm::Other, ""},
        LineCase{"unquoted_is_skipped", "arch=win64", kNo, kNo, WineForm::Other, ""}),
    test::CaseName());

// --- a file with every value type -----------------------------------------------

const S kWineFile = "WINE REGISTRY Version 2\n"
                    ";; All keys relative to REGISTRY\\\\User\\\\S-1-5-21-0-0-0-1000\n"
                    "\n"
                    "#arch=win64\n"
                    "\n"
                    "[Control Panel\\\\Desktop] 1796704138\n"
                    "#time=1dd86cca8164b6e\n"
                    "@=\"default\"\n"
                    "\"Bin\"=hex:30,00,02,80,12,00,00,00,30,00,02,80,12,00,00,00,30,00,02,80,12,00,00,00,\\\n"
                    "  30,00\n"
                    "\"Count\"=dword:00000003\n"
                    "\"Multi\"=str(7):\"a\\0b\\0\"\n"
                    "\"Path\"=str(2):\"%SystemRoot%\\\\x\"\n"
                    "\"Wheel\"=\"3\"\n"
                    "\n"
                    "[Control Panel\\\\International\\\\\\xd83c\\xdf0e] 1796704139\n"
                    "#time=1dd86cca8164b6f\n"
                    "#class=\"c\"\n"
                    "\"Gr\\xfc\\x00dfe\"=\"Gr\\xfc\\x00dfe \\\"x\\\"\"\n"
                    "\"Lines\"=\"a\\nb\"\n"
                    "\"Lone\"=\"\\xd83cx\"\n"
                    "\"Long\"=\"\\x00e4\"\n";

class WineFile : public testing::Test {
protected:
    test::TempDir dir;
    QString file = dir.write("user.reg", kWineFile);

    EditResult set(const char* section, const char* key, const QString& text)
    {
        const EditRequest request{file, identityOf(file), fileKindOf(file), TextCodec::Utf8, section, section, key,
                                  text, kQuotesKept};
        return applyEdit(request, nullptr, {});
    }
    // The file with `from` replaced by `to`, once.
    S expected(const S& from, const S& to) const
    {
        S bytes = kWineFile;
        const std::size_t at = bytes.find(from);
        return at == S::npos ? S("<no such line>") : bytes.replace(at, from.size(), to);
    }
};

TEST_F(WineFile, KnownByFirstLineWhateverTheName)
{
    EXPECT_EQ(fileKindOf(file), FileKind::WineRegistry);
    EXPECT_EQ(fileKindOf(dir.write("prefix.txt", kWineFile)), FileKind::WineRegistry);
    EXPECT_EQ(fileKindOf(dir.write("crlf.reg", S("WINE REGISTRY Version 2\r\n"))), FileKind::WineRegistry);
    EXPECT_EQ(fileKindOf(dir.write("other.reg", S("REGEDIT4\r\n"))), FileKind::Registry);
    EXPECT_EQ(fileKindOf(dir.write("late.ini", S("\nWINE REGISTRY Version 2\n"))), FileKind::Ini);
    EXPECT_EQ(fileKindOf(dir.path("missing.reg")), FileKind::Registry);
}

TEST_F(WineFile, LoadListsDecodedPathsInUtf8)
{
    const LoadResult loaded = loadFile(file);
    EXPECT_EQ(loaded.sections, (Keys{"Control Panel\\Desktop", "Control Panel\\International\\🌎"}));
    EXPECT_EQ(loaded.codec, TextCodec::Utf8);
    EXPECT_FALSE(loaded.markerFound);
    const KeyListing desktop = listKeys(file, "Control Panel\\Desktop", FileKind::WineRegistry);
    EXPECT_EQ(desktop.keys, (Keys{"@", "Bin", "Count", "Multi", "Path", "Wheel"}));
    EXPECT_FALSE(desktop.failed);
    EXPECT_EQ(listKeys(file, "Control Panel\\International\\🌎", FileKind::WineRegistry).keys,
              (Keys{"Grüße", "Lines", "Lone", "Long"}));
}

struct LookupCase {
    const char* name;
    S section;
    S key;
    S text;
    bool enabled;
    QString toolTip;
};

class WineLookup : public testing::TestWithParam<LookupCase> {};

TEST_P(WineLookup, ValueBoxTextStateAndTooltip)
{
    const LookupCase& c = GetParam();
    test::TempDir dir;
    const QString file = dir.write("system.reg", kWineFile);
    const ValueView view = lookUpValue(FileKind::WineRegistry, file, c.section, c.section, c.key, {});
    EXPECT_FALSE(view.failed);
    EXPECT_EQ(view.text, c.text);
    EXPECT_EQ(view.enabled, c.enabled);
    EXPECT_EQ(view.toolTip, c.toolTip);
}

const S kDesktop = "Control Panel\\Desktop";
const S kGlobe = "Control Panel\\International\\🌎";

INSTANTIATE_TEST_SUITE_P(
    Table, WineLookup,
    testing::Values(LookupCase{"string", kDesktop, "Wheel", "3", true, ""},
                    LookupCase{"default", kDesktop, "@", "default", true, ""},
                    LookupCase{"expand", kDesktop, "Path", "%SystemRoot%\\x", true, "REG_EXPAND_SZ: %SystemRoot%\\x"},
                    LookupCase{"dword", kDesktop, "Count", "dword:00000003", true, "REG_DWORD: 3 (0x00000003)"},
                    LookupCase{"multi_disabled", kDesktop, "Multi", "str(7):\"a\\0b\\0\"", false,
                               "REG_MULTI_SZ:\na\nb"},
                    LookupCase{"hex_joined_disabled", kDesktop, "Bin",
                               "hex:30,00,02,80,12,00,00,00,30,00,02,80,12,00,00,00,30,00,02,80,12,00,00,00,\\", false,
                               "REG_BINARY: 26 Bytes"},
                    LookupCase{"escaped_name_and_text", kGlobe, "Grüße", "Grüße \"x\"", true, ""},
                    LookupCase{"line_break_shown_not_edited", kGlobe, "Lines", "a\nb", false, ""},
                    LookupCase{"lone_surrogate_shown_not_edited", kGlobe, "Lone", "\xEF\xBF\xBDx", false, ""},
                    LookupCase{"long_escape_edited", kGlobe, "Long", "ä", true, ""}),
    test::CaseName());

TEST_F(WineFile, ApplyWritesWineFormAndKeepsEveryOtherByte)
{
    ASSERT_EQ(set(kDesktop.c_str(), "Wheel", QStringLiteral("Grüße \"🌎1\" \\")).status, EditStatus::Done);
    EXPECT_EQ(test::readAll(file),
              expected("\"Wheel\"=\"3\"", "\"Wheel\"=\"Gr\\xfc\\x00dfe \\\"\\xd83c\\xdf0e1\\\" \\\\\""));
    EXPECT_EQ(lookUpValue(FileKind::WineRegistry, file, kDesktop, kDesktop, "Wheel", {}).text, "Grüße \"🌎1\" \\");
    EXPECT_FALSE(QFileInfo::exists(backupNameOf(file)));
}

struct ApplyCase {
    const char* name;
    S section;
    S key;
    QString text;
    EditStatus status;
    S from;  // the line as it was; empty: the file stays as it was
    S to;
};

class WineApply : public test::FileTable<ApplyCase> {};

TEST_P(WineApply, WritesOneLineOrRefuses)
{
    const QString file = dir.write("user.reg", kWineFile);
    const EditRequest request{
        file,   identityOf(file), FileKind::WineRegistry, TextCodec::Utf8, c.section, c.section, c.key,
        c.text, kQuotesKept};
    EXPECT_EQ(applyEdit(request, nullptr, {}).status, c.status);
    S want = kWineFile;
    if (!c.from.empty())
        want.replace(want.find(c.from), c.from.size(), c.to);
    EXPECT_EQ(test::readAll(file), want);
}

INSTANTIATE_TEST_SUITE_P(
    Table, WineApply,
    testing::Values(ApplyCase{"default_value", kDesktop, "@", "neu", EditStatus::Done, "@=\"default\"", "@=\"neu\""},
                    ApplyCase{"expand_keeps_form", kDesktop, "Path", "%WinDir%\\y", EditStatus::Done,
                              "str(2):\"%SystemRoot%\\\\x\"", "str(2):\"%WinDir%\\\\y\""},
                    ApplyCase{"dword_as_typed", kDesktop, "Count", "dword:0000000a", EditStatus::Done, "dword:00000003",
                              "dword:0000000a"},
                    ApplyCase{"escaped_name_kept", kGlobe, "Grüße", "ä", EditStatus::Done,
                              "=\"Gr\\xfc\\x00dfe \\\"x\\\"\"", "=\"\\xe4\""},
                    ApplyCase{"dword_not_hex_refused", kDesktop, "Count", "dword:3", EditStatus::Invalid, "", ""},
                    ApplyCase{"multi_refused", kDesktop, "Multi", "a", EditStatus::Invalid, "", ""},
                    ApplyCase{"hex_refused", kDesktop, "Bin", "hex:00", EditStatus::Invalid, "", ""},
                    ApplyCase{"line_break_value_refused", kGlobe, "Lines", "ab", EditStatus::Invalid, "", ""},
                    ApplyCase{"lone_surrogate_refused", kGlobe, "Lone", "ab", EditStatus::Invalid, "", ""},
                    ApplyCase{"long_escape_rewritten_as_wine_writes", kGlobe, "Long", "äb", EditStatus::Done,
                              "\"\\x00e4\"", "\"\\x00e4b\""},
                    ApplyCase{"missing_key_refused", kDesktop, "Nope", "1", EditStatus::Invalid, "", ""},
                    ApplyCase{"raw_section_name_is_no_match", "Control Panel\\\\Desktop", "Wheel", "1",
                              EditStatus::Invalid, "", ""}),
    test::CaseName());

TEST_F(WineFile, FindMatchesDecodedText)
{
    const auto find = [&](const char* text, FindPosition from = {}) {
        FindRequest request{file, FileKind::WineRegistry, TextCodec::Utf8, {QString::fromUtf8(text)}, from};
        const FindResult r = findNext(request);
        return r.status == FindStatus::Found ? std::optional(std::pair(r.at, r.hit)) : std::nullopt;
    };
    EXPECT_EQ(find("Panel\\Desktop"), std::pair(FindPosition{0, -1}, FindHit::Section));
    EXPECT_EQ(find("🌎"), std::pair(FindPosition{1, -1}, FindHit::Section));
    EXPECT_EQ(find("grÜße"), std::pair(FindPosition{1, 0}, FindHit::Key));
    EXPECT_EQ(find("\"x\""), std::pair(FindPosition{1, 0}, FindHit::Value));
    EXPECT_EQ(find("%SystemRoot%\\x"), std::pair(FindPosition{0, 4}, FindHit::Value));
    EXPECT_EQ(find("1dd86"), std::nullopt);  // meta lines are no keys
}

// --- the running-wineserver check ---------------------------------------------

KEYLOOM_POSIX_ONLY(WineServer, SocketFolderNamedAfterPrefixDeviceAndInode, "Unix sockets: Wine runs on POSIX systems")
KEYLOOM_POSIX_ONLY(WineServer, FolderNamedInPrefixFile, "Unix sockets: Wine runs on POSIX systems")
#ifndef _WIN32
// A socket at `path` that accepts connections while the object lives.
class FakeServer {
public:
    explicit FakeServer(const QString& path)
    {
        const QByteArray name = QFile::encodeName(path);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, name.constData(),
                    std::min(std::size_t(name.size()), sizeof(address.sun_path) - 1));
        fd_ = ::socket(AF_UNIX, SOCK_STREAM, 0);
        listening = fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
                    ::listen(fd_, 4) == 0;
    }
    ~FakeServer()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FakeServer(const FakeServer&) = delete;
    FakeServer& operator=(const FakeServer&) = delete;
    bool listening = false;

private:
    int fd_ = -1;
};

TEST(WineServer, SocketFolderNamedAfterPrefixDeviceAndInode)
{
    test::TempDir dir;
    const QString prefix = dir.path("p");
    ASSERT_TRUE(QDir().mkpath(prefix));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(prefix).constData(), &info), 0);
    const QString server = QStringLiteral("server-%1-%2").arg(info.st_dev, 0, 16).arg(info.st_ino, 0, 16);
    const QString upstream = dir.path(QStringLiteral(".wine-%1/").arg(::getuid()) + server);
    EXPECT_EQ(wineServerDirsOf(prefix, dir.path("")), QStringList{upstream});
    EXPECT_FALSE(wineServerRunsFor(prefix, dir.path("")));
    ASSERT_TRUE(QDir().mkpath(upstream));
    {
        FakeServer running(upstream + "/socket");
        ASSERT_TRUE(running.listening);
        EXPECT_TRUE(wineServerRunsFor(prefix, dir.path("")));
        EXPECT_FALSE(wineServerRunsFor(dir.path(""), dir.path("")));  // another prefix
    }
    // A socket left by a server that ended refuses: Wine is not running.
    EXPECT_TRUE(QFileInfo::exists(upstream + "/socket"));
    EXPECT_FALSE(wineServerRunsFor(prefix, dir.path("")));
    EXPECT_FALSE(wineServerRunsFor(dir.path("missing"), dir.path("")));
}

TEST(WineServer, FolderNamedInPrefixFile)
{
    test::TempDir dir;
    const QString prefix = dir.path("p");
    ASSERT_TRUE(QDir().mkpath(prefix));
    dir.write("p/wineserver", "wine-AbC123");
    const QStringList dirs = wineServerDirsOf(prefix, dir.path(""));
    ASSERT_EQ(dirs.size(), 2);
    EXPECT_TRUE(dirs.at(1).startsWith(dir.path("wine-AbC123/server-"))) << dirs.at(1).toStdString();
    ASSERT_TRUE(QDir().mkpath(dirs.at(1)));
    FakeServer running(dirs.at(1) + "/socket");
    ASSERT_TRUE(running.listening);
    EXPECT_TRUE(wineServerRunsFor(prefix, dir.path("")));
    // A name that leads elsewhere is not followed.
    dir.write("p/wineserver", "../wine-AbC123");
    EXPECT_EQ(wineServerDirsOf(prefix, dir.path("")).size(), 1);
}
#endif

// --- the command line ------------------------------------------------------------

struct CliRun {
    int exit;
    S out;
};

CliRun keyloom(const QStringList& args)
{
    QProcess p;
    p.start(QStringLiteral(KEYLOOM_CLI), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString()};
}

TEST_F(WineFile, CommandLineReadsAndWrites)
{
    const QString globe = QString::fromStdString(kGlobe);
    EXPECT_EQ(keyloom({"sections", file}).out, kDesktop + "\n" + kGlobe + "\n");
    EXPECT_EQ(keyloom({"keys", file, globe}).out, "Grüße\nLines\nLone\nLong\n");
    EXPECT_EQ(keyloom({"get", file, globe, "Grüße"}).out, "Grüße \"x\"\n");
    EXPECT_EQ(keyloom({"get", "--decoded", file, "Control Panel\\Desktop", "Multi"}).out, "REG_MULTI_SZ:\na\nb\n");
    const CliRun set = keyloom({"set", file, globe, "Grüße", "ö"});
    EXPECT_EQ(set.exit, 0);
    EXPECT_EQ(test::readAll(file), expected("=\"Gr\\xfc\\x00dfe \\\"x\\\"\"", "=\"\\xf6\""));
    EXPECT_EQ(keyloom({"set", file, "Control Panel\\Desktop", "Multi", "x"}).exit, 2);
}

TEST_F(WineFile, DeleteTakesKeyWithItsLinesAndWholeSections)
{
    const QString globe = QString::fromStdString(kGlobe);
    EXPECT_EQ(keyloom({"del", file, "Control Panel\\Desktop", "Bin", "--", globe}).exit, 0);
    const std::size_t bin = kWineFile.find("\"Bin\"");
    const std::size_t count = kWineFile.find("\"Count\"");
    const std::size_t second = kWineFile.find("[Control Panel\\\\International");
    EXPECT_EQ(test::readAll(file), kWineFile.substr(0, bin) + kWineFile.substr(count, second - count));
    EXPECT_EQ(keyloom({"del", file, "Control Panel\\Desktop", "Bin"}).exit, 1);
    EXPECT_EQ(
        keyloom({"set", file, "Control Panel\\Desktop", "Wheel", "4", "Control Panel\\Desktop", "Count", "x"}).exit, 2);
    EXPECT_EQ(keyloom({"set", file, "Control Panel\\Desktop", "Wheel", "4", "Control Panel\\Desktop", "@", "d"}).exit,
              0);
    EXPECT_EQ(keyloom({"get", file, "Control Panel\\Desktop", "Wheel"}).out, "4\n");
    EXPECT_EQ(keyloom({"get", file, "Control Panel\\Desktop", "@"}).out, "d\n");
}

}  // namespace
}  // namespace keyloom

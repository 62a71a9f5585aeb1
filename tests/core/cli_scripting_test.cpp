// keyloom's output for scripts: find, and --json parsed back; and the help
// the window program prints instead of opening its window.

#include "app/programinfo.h"
#include "common/cli.h"
#include "common/gtest_util.h"
#include "common/utf16.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace keyloom {
namespace {

using S = std::string;

using test::keyloom;

struct FindCliCase {
    const char* name;
    const char* file;  // "": a missing file; one from "/" on: that file
    S bytes;
    QStringList args;  // after "find"; "%F" is the file
    int exit;
    S out;
};

class CliFind : public test::FileTable<FindCliCase> {};

// The plain lines, and the same matches as JSON objects, one per line.
TEST_P(CliFind, PrintsEveryMatchInFileOrder)
{
    const QString file = *c.file == '/' ? QString(c.file) : *c.file ? dir.write(c.file, c.bytes) : dir.path("gone.ini");
    const test::CliRun plain = keyloom(QStringList{"find"} + c.args, file);
    EXPECT_EQ(plain.exit, c.exit);
    EXPECT_EQ(plain.out, c.out);
    if (c.exit != 0)
        return;
    const test::CliRun json = keyloom(QStringList{"find", "--json"} + c.args, file);
    EXPECT_EQ(json.exit, 0);
    S fromJson;
    for (const QByteArray& line : QByteArray::fromStdString(json.out).split('\n')) {
        if (line.isEmpty())
            continue;
        QJsonParseError error;
        const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        const QString match = o.value("match").toString();
        EXPECT_TRUE(match == "section" || match == "key" || match == "value");
        EXPECT_EQ(o.contains("key"), match != "section");
        const S key = o.value("key").toString().toStdString();
        fromJson += test::findLine(o.value("section").toString().toStdString(),
                                   o.contains("key") ? std::optional<std::string_view>(key) : std::nullopt) +
                    '\n';
    }
    EXPECT_EQ(fromJson, c.out);
}

const S kIni = "[Drucker]\r\nAnschluss=COM1\r\ncom=2\r\n[Kasse]\r\nName=M\xFC"
               "ller com\r\n";
const S kReg = "REGEDIT4\r\n\r\n[HKEY_A\\Com]\r\n\"V\"=\"\\\"x\\\"\"\r\n@=\"com\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Matches, CliFind,
    testing::Values(
        FindCliCase{"all_parts_without_case",
                    "a.ini",
                    kIni,
                    {"%F", "COM"},
                    0,
                    "[Drucker] Anschluss\n[Drucker] com\n[Kasse] Name\n"},
        FindCliCase{"case_counts", "a.ini", kIni, {"--case", "%F", "COM"}, 0, "[Drucker] Anschluss\n"},
        FindCliCase{"keys_only", "a.ini", kIni, {"--keys", "%F", "com"}, 0, "[Drucker] com\n"},
        FindCliCase{"sections_and_values",
                    "r.reg",
                    kReg,
                    {"--sections", "--values", "%F", "com"},
                    0,
                    "[HKEY_A\\Com]\n[HKEY_A\\Com] @\n"},
        FindCliCase{"windows1252_text_and_names", "a.ini", kIni, {"--values", "%F", "müller"}, 0, "[Kasse] Name\n"},
        FindCliCase{"registry_value_as_shown", "r.reg", kReg, {"--values", "%F", "\\\"x"}, 0, "[HKEY_A\\Com] V\n"},
        FindCliCase{"utf16_export",
                    "w.reg",
                    test::utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_\u00C4]\r\n\"V\"=\"\u00E4\"\r\n"),
                    {"%F", "ä"},
                    0,
                    "[HKEY_Ä]\n[HKEY_Ä] V\n"},
        FindCliCase{"option_after_the_file", "a.ini", kIni, {"%F", "--keys", "--", "com"}, 0, "[Drucker] com\n"},
        FindCliCase{"nothing_found", "a.ini", kIni, {"%F", "zebra"}, 1, ""},
        FindCliCase{"missing_file", "", "", {"%F", "com"}, 1, ""},
        // A file whose reads fail (the program's own memory at offset 0):
        // a failure, not "not found".
        FindCliCase{"read_fails", "/proc/self/mem", "", {"%F", "com"}, 3, ""},
        FindCliCase{"empty_text", "a.ini", kIni, {"%F", ""}, 2, ""},
        FindCliCase{"unknown_option", "a.ini", kIni, {"--all", "%F", "com"}, 2, ""}),
    test::CaseName());

struct JsonCase {
    const char* name;
    const char* file;
    S bytes;
    QStringList args;  // "--json" is added after the command
    QJsonValue expected;
};

class CliJson : public test::FileTable<JsonCase> {};

TEST_P(CliJson, ParsesBackToWhatTheWindowShows)
{
    const QString file = dir.write(c.file, c.bytes);
    QStringList args = c.args;
    args.insert(1, "--json");
    const test::CliRun run = keyloom(args, file);
    ASSERT_EQ(run.exit, 0) << run.err;
    ASSERT_EQ(run.out.back(), '\n');
    // A bare string is parsed as the one element of an array.
    const QByteArray text = QByteArray::fromStdString(run.out);
    const bool single = c.expected.isString();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(single ? '[' + text + ']' : text, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << run.out;
    EXPECT_EQ(single ? doc.array().at(0) : QJsonValue(doc.array()), c.expected);
}

const S kNames = "[ Vorn]\r\n[Hinten ]\r\n[Gr\xF6\xDF"
                 "e \"x\" \\ \x01]\r\n Lead=1\r\nTrail =2\r\nk=\" a \"\r\n";
const S kRegHex = "REGEDIT4\r\n\r\n[HKEY_A]\r\n\"D\"=dword:0000000a\r\n\"Q\"=\"\\\"zitiert\\\"\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Commands, CliJson,
    testing::Values(
        JsonCase{"sections_blanks_quotes_controls",
                 "a.ini",
                 kNames,
                 {"sections", "%F"},
                 QJsonArray{" Vorn", "Hinten ", QString::fromUtf8("Größe \"x\" \\ \x01")}},
        JsonCase{"keys_with_blanks",
                 "a.ini",
                 kNames,
                 {"keys", "%F", QString::fromUtf8("Größe \"x\" \\ \x01")},
                 QJsonArray{"Trail ", "k"}},
        JsonCase{"get_ini_value_as_read",
                 "a.ini",
                 kNames,
                 {"get", "%F", QString::fromUtf8("Größe \"x\" \\ \x01"), "k"},
                 QJsonValue(" a ")},
        JsonCase{
            "get_registry_unquoted", "r.reg", kRegHex, {"get", "%F", "HKEY_A", "Q"}, QJsonValue("\\\"zitiert\\\"")},
        JsonCase{"get_decoded", "r.reg", kRegHex, {"get", "--decoded", "%F", "HKEY_A", "D"}, QJsonValue("10")},
        JsonCase{"keys_empty_section", "a.ini", "[A]\r\n[B]\r\n", {"keys", "%F", "A"}, QJsonArray{}}),
    test::CaseName());

TEST(CliJson, RefusedWhereNothingIsPrinted)
{
    test::TempDir dir;
    const QString file = dir.write("a.ini", "[A]\r\nk=1\r\n");
    EXPECT_EQ(keyloom({"set", "--json", "%F", "A", "k", "2"}, file).exit, 2);
    const test::CliRun missing = keyloom({"get", "--json", "%F", "A", "gone"}, file);
    EXPECT_EQ(missing.exit, 1);
    EXPECT_EQ(missing.out, "");
}

struct InfoCase {
    const char* name;
    QStringList args;
    const char* begins;  // nullptr: the arguments name a file
};

class ProgramInfo : public test::Table<InfoCase> {};

TEST_P(ProgramInfo, OnlyTheWholeCommandLineAsks)
{
    const std::optional<QString> info = programInfo(c.args, "9.8");
    ASSERT_EQ(info.has_value(), c.begins != nullptr);
    if (info) {
        EXPECT_TRUE(info->startsWith(QString::fromUtf8(c.begins))) << info->toStdString();
        EXPECT_TRUE(info->endsWith('\n'));
    }
}

INSTANTIATE_TEST_SUITE_P(Arguments, ProgramInfo,
                         testing::Values(InfoCase{"help", {"--help"}, "Aufruf: quorrel-keyloom [DATEI]"},
                                         InfoCase{"short_help", {"-h"}, "Aufruf:"},
                                         InfoCase{"version", {"--version"}, "quorrel-keyloom 9.8\n"},
                                         InfoCase{"file", {"kasse.ini"}, nullptr}, InfoCase{"none", {}, nullptr},
                                         InfoCase{"path_with_blank", {"--help", "me.ini"}, nullptr}),
                         test::CaseName());

}  // namespace
}  // namespace keyloom

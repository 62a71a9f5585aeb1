// The command-line program, run as a user would, on files written here.

#include "common/gtest_util.h"
#include "common/utf16.h"

#include <QProcess>
#include <gtest/gtest.h>

namespace keyloom {
namespace {

using S = std::string;

using test::PrintTo;

struct CliCase {
    const char* name;
    const char* file;  // written from `before` unless empty
    S before;
    QStringList args;  // "%F" stands for the file's path
    int exit;
    S out;    // standard output, UTF-8
    S after;  // the file afterwards; empty: as before
};

struct CliRun {
    int exit;
    S out;
};

CliRun keyloom(QStringList args, const QString& file)
{
    args.replaceInStrings(QStringLiteral("%F"), file);
    QProcess p;
    p.start(QStringLiteral(KEYLOOM_CLI), args);
    p.waitForFinished(60000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardOutput().toStdString()};
}

class Cli : public test::FileTable<CliCase> {};

TEST_P(Cli, CommandGivesOutputStatusAndFile)
{
    const QString file = *c.file ? dir.write(c.file, c.before) : dir.path("gone.ini");
    const CliRun run = keyloom(c.args, file);
    EXPECT_EQ(run.exit, c.exit);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(test::readAll(file), c.after.empty() ? (*c.file ? c.before : S("<missing>")) : c.after);
    // What was set reads back.
    if (c.args.first() == "set" && c.exit == 0) {
        const CliRun got = keyloom({"get", "%F", c.args.at(2), c.args.at(3)}, file);
        EXPECT_EQ(got.out, c.args.at(4).toStdString() + "\n");
    }
}

const S kIni1252 = "; Gr\xFC\xDF"
                   "e\r\n[Kasse]\r\nName = M\xFC"
                   "ller\r\nPort=COM1\r\n";
const S kIniBomLf = "\xEF\xBB\xBF[A]\nk=\"1\"\nl=2\n";
const S kInf = "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Files]\r\ndriver.sys\r\n";
const S kReg = "REGEDIT4\r\n\r\n[HKEY_A\\B]\r\n\"V\"=\"1.0\"\r\n@=\"alt\"\r\n\"D\"=dword:0000000a\r\n";
const S kUtf16 = test::utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_A]\r\n\"V\"=\"\u00E4\"\r\n");
const S kUtf16Wide = test::utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_\u4E2D]\r\n\"V\"=\"1\"\r\n");

INSTANTIATE_TEST_SUITE_P(
    Commands, Cli,
    testing::Values(
        CliCase{"sections_windows1252", "a.ini", kIni1252, {"sections", "%F"}, 0, "Kasse\n", ""},
        CliCase{"keys_utf8_mark_lf", "a.ini", kIniBomLf, {"keys", "%F", "A"}, 0, "k\nl\n", ""},
        CliCase{"get_windows1252", "a.ini", kIni1252, {"get", "%F", "Kasse", "Name "}, 0, "Müller\n", ""},
        CliCase{"get_quotes_removed", "a.ini", kIniBomLf, {"get", "%F", "A", "k"}, 0, "1\n", ""},
        CliCase{"get_inf", "a.inf", kInf, {"get", "%F", "Version", "Signature"}, 0, "$Windows NT$\n", ""},
        CliCase{"get_registry_default", "a.reg", kReg, {"get", "%F", "HKEY_A\\B", "@"}, 0, "alt\n", ""},
        CliCase{"get_utf16_export", "a.reg", kUtf16, {"get", "%F", "HKEY_A", "V"}, 0, "ä\n", ""},
        CliCase{"set_windows1252",
                "a.ini",
                kIni1252,
                {"set", "%F", "Kasse", "Port", "Wär"},
                0,
                "",
                "; Gr\xFC\xDF"
                "e\r\n[Kasse]\r\nName = M\xFC"
                "ller\r\nPort=W\xE4r\r\n"},
        CliCase{"set_adds_ini_key",
                "a.ini",
                kIniBomLf,
                {"set", "%F", "A", "neu", "x"},
                0,
                "",
                "\xEF\xBB\xBF[A]\nk=\"1\"\nl=2\nneu=x\n"},
        CliCase{"set_registry_quoted_again",
                "a.reg",
                kReg,
                {"set", "%F", "HKEY_A\\B", "V", "2.0"},
                0,
                "",
                "REGEDIT4\r\n\r\n[HKEY_A\\B]\r\n\"V\"=\"2.0\"\r\n@=\"alt\"\r\n\"D\"=dword:0000000a\r\n"},
        CliCase{"set_utf16_export_as_regedit4",
                "a.reg",
                kUtf16,
                {"set", "%F", "HKEY_A", "V", "ö"},
                0,
                "",
                "REGEDIT4\r\n\r\n[HKEY_A]\r\n\"V\"=\"\xF6\"\r\n\r\n"},
        CliCase{
            "convert", "a.reg", kUtf16, {"convert", "%F"}, 0, "", "REGEDIT4\r\n\r\n[HKEY_A]\r\n\"V\"=\"\xE4\"\r\n\r\n"},
        CliCase{"convert_refused_beyond_regedit4", "a.reg", kUtf16Wide, {"convert", "%F"}, 3, "", ""},
        CliCase{"get_decoded_dword",
                "a.reg",
                kReg,
                {"get", "--decoded", "%F", "HKEY_A\\B", "D"},
                0,
                "10\n",
                ""},
        CliCase{"missing_file", "", "", {"get", "%F", "A", "k"}, 1, "", ""},
        CliCase{"missing_section", "a.ini", kIniBomLf, {"keys", "%F", "B"}, 1, "", ""},
        CliCase{"missing_registry_key_not_added", "a.reg", kReg, {"set", "%F", "HKEY_A\\B", "W", "1"}, 1, "", ""},
        CliCase{"line_break_refused", "a.ini", kIniBomLf, {"set", "%F", "A", "k", "1\n[X]"}, 2, "", ""},
        CliCase{"beyond_code_page_refused", "a.ini", kIni1252, {"set", "%F", "Kasse", "Port", "\u4E2D"}, 2, "", ""},
        CliCase{"nothing_to_convert", "a.reg", kReg, {"convert", "%F"}, 1, "", ""},
        CliCase{"wrong_usage", "a.ini", kIniBomLf, {"get", "%F", "A"}, 2, "", ""}),
    test::CaseName());

TEST(Cli, TakenBackupNameFailsTheWrite)
{
    test::TempDir dir;
    const QString file = dir.write("a.reg", kReg);
    dir.write("a.re_", "other");
    EXPECT_EQ(keyloom({"set", "%F", "HKEY_A\\B", "V", "2"}, file).exit, 3);
    EXPECT_EQ(test::readAll(file), kReg);
    EXPECT_EQ(test::readAll(dir.path("a.re_")), "other");
}

}  // namespace
}  // namespace keyloom

// The command-line program, run as a user would, on files written here.

#include "common/cli.h"
#include "common/gtest_util.h"
#include "common/posix_only.h"
#include "common/utf16.h"
#include "document/linerules.h"
#include "document/regvalue.h"
#include "platform/lines.h"

#include <QDir>
#include <gtest/gtest.h>

namespace keyloom {
namespace {

using S = std::string;
using namespace std::literals;

using test::CliRun;
using test::keyloom;
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

class Cli : public test::FileTable<CliCase> {};

TEST_P(Cli, CommandGivesOutputStatusAndFile)
{
    const QString file = *c.file ? dir.write(c.file, c.before) : dir.path("gone.ini");
    const CliRun run = keyloom(c.args, file);
    EXPECT_EQ(run.exit, c.exit);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(test::readAll(file), c.after.empty() ? (*c.file ? c.before : S("<missing>")) : c.after);
    // What was set reads back.
    if (c.args.first() == "set" && c.exit == 0 && !c.args.at(1).startsWith("--")) {
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
const S kRegHex = "REGEDIT4\r\n\r\n[K]\r\n\"E\"=hex(2):41,\\\r\n  00\r\n\"B\"=hex:01,02\r\n";
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
        CliCase{"set_utf16_export_in_place",
                "a.reg",
                kUtf16,
                {"set", "%F", "HKEY_A", "V", "ö"},
                0,
                "",
                test::utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_A]\r\n\"V\"=\"\u00F6\"\r\n")},
        CliCase{
            "convert", "a.reg", kUtf16, {"convert", "%F"}, 0, "", "REGEDIT4\r\n\r\n[HKEY_A]\r\n\"V\"=\"\xE4\"\r\n\r\n"},
        CliCase{"convert_refused_beyond_regedit4", "a.reg", kUtf16Wide, {"convert", "%F"}, 3, "", ""},
        CliCase{"get_decoded_dword", "a.reg", kReg, {"get", "--decoded", "%F", "HKEY_A\\B", "D"}, 0, "10\n", ""},
        CliCase{"missing_file", "", "", {"get", "%F", "A", "k"}, 1, "", ""},
        CliCase{"missing_section", "a.ini", kIniBomLf, {"keys", "%F", "B"}, 1, "", ""},
        CliCase{"missing_registry_key_not_added", "a.reg", kReg, {"set", "%F", "HKEY_A\\B", "W", "1"}, 1, "", ""},
        CliCase{"line_break_refused", "a.ini", kIniBomLf, {"set", "%F", "A", "k", "1\n[X]"}, 2, "", ""},
        CliCase{"beyond_code_page_refused", "a.ini", kIni1252, {"set", "%F", "Kasse", "Port", "\u4E2D"}, 2, "", ""},
        CliCase{"nothing_to_convert", "a.reg", kReg, {"convert", "%F"}, 1, "", ""},
        CliCase{"wrong_usage", "a.ini", kIniBomLf, {"get", "%F", "A"}, 2, "", ""},
        // Refused input is status 2, the file as it was.
        CliCase{"empty_key_refused", "a.ini", kIniBomLf, {"set", "%F", "A", "", "x"}, 2, "", ""},
        CliCase{"key_with_equals_refused", "a.ini", kIniBomLf, {"set", "%F", "A", "K=x", "x"}, 2, "", ""},
        CliCase{"section_with_line_break_refused", "a.ini", kIniBomLf, {"set", "%F", "A\nB", "k", "x"}, 2, "", ""},
        CliCase{"string_lone_backslash_refused", "a.reg", kReg, {"set", "%F", "HKEY_A\\B", "V", "C:\\Neu"}, 2, "", ""},
        CliCase{"dword_as_text_refused", "a.reg", kReg, {"set", "%F", "HKEY_A\\B", "D", "hallo"}, 2, "", ""},
        CliCase{"hex_without_decoded_refused", "a.reg", kRegHex, {"set", "%F", "K", "E", "hex(2):41,00"}, 2, "", ""},
        CliCase{"binary_decoded_refused", "a.reg", kRegHex, {"set", "--decoded", "%F", "K", "B", "1"}, 2, "", ""},
        CliCase{
            "decoded_dword_not_a_number", "a.reg", kReg, {"set", "--decoded", "%F", "HKEY_A\\B", "D", "x"}, 2, "", ""}),
    test::CaseName());

// --- deleting keys and sections ------------------------------------------------

const S kRegThree = "REGEDIT4\r\n\r\n[A]\r\n\"x\"=\"1\"\r\n\r\n[B]\r\n\"y\"=hex:01,\\\r\n  02\r\n\"z\"=\"2\"\r\n\r\n"
                    "[C]\r\n\"w\"=\"3\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    Delete, Cli,
    testing::Values(
        CliCase{"ini_key",
                "a.ini",
                kIni1252,
                {"del", "%F", "Kasse", "Port"},
                0,
                "",
                "; Gr\xFC\xDF"
                "e\r\n[Kasse]\r\nName = M\xFC"
                "ller\r\n"},
        CliCase{"ini_key_as_the_read_names_it",
                "a.ini",
                kIni1252,
                {"del", "%F", "kasse", " port"},
                0,
                "",
                "; Gr\xFC\xDF"
                "e\r\n[Kasse]\r\nName = M\xFC"
                "ller\r\n"},
        CliCase{"ini_section_as_the_read_names_it",
                "a.ini",
                "[Kasse]\r\nName=1\r\n[B]\r\nz=1\r\n",
                {"del", "%F", "kasse "},
                0,
                "",
                "[B]\r\nz=1\r\n"},
        CliCase{"ini_empty_value_any_case", "a.ini", "[A]\r\nk=\r\n", {"del", "%F", "a", "K"}, 0, "", "[A]\r\n"},
        CliCase{"inf_section", "a.inf", kInf, {"del", "%F", "Version"}, 0, "", "[Files]\r\ndriver.sys\r\n"},
        CliCase{"ini_key_with_empty_value", "a.ini", "[A]\nk=\nl=2", {"del", "%F", "A", "k"}, 0, "", "[A]\nl=2"},
        CliCase{"registry_key",
                "a.reg",
                kReg,
                {"del", "%F", "HKEY_A\\B", "V"},
                0,
                "",
                "REGEDIT4\r\n\r\n[HKEY_A\\B]\r\n@=\"alt\"\r\n\"D\"=dword:0000000a\r\n"},
        CliCase{"registry_default_value",
                "a.reg",
                kReg,
                {"del", "%F", "HKEY_A\\B", "@"},
                0,
                "",
                "REGEDIT4\r\n\r\n[HKEY_A\\B]\r\n\"V\"=\"1.0\"\r\n\"D\"=dword:0000000a\r\n"},
        CliCase{"registry_hex_with_its_lines",
                "a.reg",
                kRegThree,
                {"del", "%F", "B", "y"},
                0,
                "",
                "REGEDIT4\r\n\r\n[A]\r\n\"x\"=\"1\"\r\n\r\n[B]\r\n\"z\"=\"2\"\r\n\r\n[C]\r\n\"w\"=\"3\"\r\n"},
        CliCase{"registry_section_in_the_middle",
                "a.reg",
                kRegThree,
                {"del", "%F", "B"},
                0,
                "",
                "REGEDIT4\r\n\r\n[A]\r\n\"x\"=\"1\"\r\n\r\n[C]\r\n\"w\"=\"3\"\r\n"},
        CliCase{"several_targets",
                "a.reg",
                kRegThree,
                {"del", "%F", "A", "x", "--", "C", "--", "B", "z"},
                0,
                "",
                "REGEDIT4\r\n\r\n[A]\r\n\r\n[B]\r\n\"y\"=hex:01,\\\r\n  02\r\n\r\n"},
        CliCase{"utf16_export_in_place",
                "a.reg",
                kUtf16,
                {"del", "%F", "HKEY_A", "V"},
                0,
                "",
                test::utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_A]\r\n")},
        CliCase{"missing_key", "a.reg", kReg, {"del", "%F", "HKEY_A\\B", "W"}, 1, "", ""},
        CliCase{"missing_section", "a.ini", kIni1252, {"del", "%F", "Lager"}, 1, "", ""},
        CliCase{"one_of_several_missing", "a.ini", kIni1252, {"del", "%F", "Kasse", "Port", "--", "Lager"}, 1, "", ""},
        CliCase{"missing_file", "", "", {"del", "%F", "A"}, 1, "", ""}),
    test::CaseName());

// --- several changes in one write ----------------------------------------------

INSTANTIATE_TEST_SUITE_P(
    SeveralChanges, Cli,
    testing::Values(CliCase{"ini_set_and_add",
                            "a.ini",
                            kIni1252,
                            {"set", "%F", "Kasse", "Port", "COM2", "Kasse", "Neu", "1", "Lager", "x", "5"},
                            0,
                            "",
                            "; Gr\xFC\xDF"
                            "e\r\n[Kasse]\r\nName = M\xFC"
                            "ller\r\nPort=COM2\r\nNeu=1\r\n[Lager]\r\nx=5\r\n"},
                    CliCase{"ini_new_section_one_header",
                            "a.ini",
                            kIniBomLf,
                            {"set", "%F", "A", "k", "9", "B", "a", "1", "B", "b", "2"},
                            0,
                            "",
                            "\xEF\xBB\xBF[A]\nk=9\nl=2\n[B]\na=1\nb=2\n"},
                    CliCase{"registry_two_values",
                            "a.reg",
                            kReg,
                            {"set", "%F", "HKEY_A\\B", "V", "2.0", "HKEY_A\\B", "D", "dword:00000001"},
                            0,
                            "",
                            "REGEDIT4\r\n\r\n[HKEY_A\\B]\r\n\"V\"=\"2.0\"\r\n@=\"alt\"\r\n\"D\"=dword:00000001\r\n"},
                    CliCase{
                        "registry_decoded_two_values",
                        "a.reg",
                        kReg,
                        {"set", "--decoded", "%F", "HKEY_A\\B", "D", "11", "HKEY_A\\B", "@", "C:\\x"},
                        0,
                        "",
                        "REGEDIT4\r\n\r\n[HKEY_A\\B]\r\n\"V\"=\"1.0\"\r\n@=\"C:\\\\x\"\r\n\"D\"=dword:0000000b\r\n"}),
    test::CaseName());

// --- refusals of several changes: nothing written ------------------------------

INSTANTIATE_TEST_SUITE_P(
    SeveralRefused, Cli,
    testing::Values(
        CliCase{"one_bad_key_refuses_all",
                "a.ini",
                kIni1252,
                {"set", "%F", "Kasse", "Port", "COM2", "Kasse", "K=x", "1"},
                2,
                "",
                ""},
        CliCase{"one_missing_registry_key",
                "a.reg",
                kReg,
                {"set", "%F", "HKEY_A\\B", "V", "2", "HKEY_A\\B", "W", "1"},
                1,
                "",
                ""},
        CliCase{"one_hex_as_text", "a.reg", kRegHex, {"set", "%F", "K", "B", "1", "K", "E", "hex(2):41,00"}, 2, "", ""},
        CliCase{"same_key_twice", "a.ini", kIniBomLf, {"set", "%F", "A", "k", "1", "a", "K", "2"}, 2, "", ""},
        CliCase{"deleted_section_named_again", "a.reg", kRegThree, {"del", "%F", "B", "--", "B", "z"}, 2, "", ""},
        CliCase{"set_group_incomplete", "a.ini", kIniBomLf, {"set", "%F", "A", "k", "1", "B", "b"}, 2, "", ""},
        CliCase{"del_group_too_long", "a.ini", kIniBomLf, {"del", "%F", "A", "k", "l"}, 2, "", ""},
        CliCase{"del_empty_group", "a.ini", kIniBomLf, {"del", "%F", "A", "--"}, 2, "", ""}),
    test::CaseName());

// --- several targets looked up in one pass ---------------------------------------

// Windows-1252 names, a "]" inside a name, an escaped quote in a key name, and
// a section whose header comes twice.
const S kRegOdd = "REGEDIT4\r\n\r\n[M\xFCller]\r\n\"a\\\"b\"=\"1\"\r\n\r\n[A]B]\r\n\"x\"=\"2\"\r\n\r\n"
                  "[M\xFCller]\r\n\"z\"=\"3\"\r\n";

INSTANTIATE_TEST_SUITE_P(
    SeveralLookedUp, Cli,
    testing::Values(
        CliCase{"set_in_reverse_file_order",
                "a.reg",
                kRegThree,
                {"set", "%F", "C", "w", "9", "B", "z", "8", "A", "x", "7"},
                0,
                "",
                "REGEDIT4\r\n\r\n[A]\r\n\"x\"=\"7\"\r\n\r\n[B]\r\n\"y\"=hex:01,\\\r\n  02\r\n\"z\"=\"8\"\r\n\r\n"
                "[C]\r\n\"w\"=\"9\"\r\n"},
        CliCase{"set_odd_names_and_a_section_twice",
                "a.reg",
                kRegOdd,
                {"set", "%F", "M\u00FCller", "z", "9", "A]B", "x", "8", "M\u00FCller", "a\\\"b", "7"},
                0,
                "",
                "REGEDIT4\r\n\r\n[M\xFCller]\r\n\"a\\\"b\"=\"7\"\r\n\r\n[A]B]\r\n\"x\"=\"8\"\r\n\r\n"
                "[M\xFCller]\r\n\"z\"=\"9\"\r\n"},
        CliCase{"del_section_twice_in_the_file_and_a_key",
                "a.reg",
                kRegOdd,
                {"del", "%F", "A]B", "x", "--", "M\u00FCller"},
                0,
                "",
                "REGEDIT4\r\n\r\n[A]B]\r\n\r\n"},
        CliCase{"del_in_reverse_order_the_same_section_twice",
                "a.reg",
                kRegThree,
                {"del", "%F", "C", "w", "--", "B", "z", "--", "B", "y"},
                0,
                "",
                "REGEDIT4\r\n\r\n[A]\r\n\"x\"=\"1\"\r\n\r\n[B]\r\n\r\n[C]\r\n"},
        CliCase{"set_one_missing_last", "a.reg", kRegThree, {"set", "%F", "A", "x", "7", "C", "v", "8"}, 1, "", ""},
        CliCase{"del_one_section_missing", "a.reg", kRegOdd, {"del", "%F", "A]B", "--", "A"}, 1, "", ""},
        CliCase{"del_name_the_code_page_lacks",
                "a.reg",
                kRegOdd,
                {"del", "%F", "A]B", "--", "M\u00FCller", "\u4E2D"},
                1,
                "",
                ""},
        CliCase{"utf16_export_two_values_in_place",
                "a.reg",
                test::utf16le(
                    u"Windows Registry Editor Version 5.00\r\n\r\n[B]\r\n\"V\"=\"1\"\r\n\r\n[A]\r\n\"W\"=\"2\"\r\n"),
                {"set", "%F", "A", "W", "\u00E9", "B", "V", "\u4E2D"},
                0,
                "",
                test::utf16le(u"Windows Registry Editor Version "
                              u"5.00\r\n\r\n[B]\r\n\"V\"=\"\u4E2D\"\r\n\r\n[A]\r\n\"W\"=\"\u00E9\"\r\n")}),
    test::CaseName());

// --- values as an importer stores them ----------------------------------------

// `head` and the list of `bytes` as an exporter writes it, with CR LF.
S listLine(const S& head, const S& bytes)
{
    S line = head;
    appendWrappedHexList(line, line.size(), bytes);
    return line + "\r\n";
}

S units(std::u16string_view text) { return test::utf16le(text).substr(2); }

// One value of each type with text, in REGEDIT4 (Windows-1252 bytes) or in
// the UTF-16 export form (its hex text in UTF-16LE code units).
S exportText(bool utf16Form)
{
    const auto text = [&](std::u16string_view t, std::string_view cp1252) { return utf16Form ? units(t) : S(cp1252); };
    return S(utf16Form ? "Windows Registry Editor Version 5.00" : "REGEDIT4") + "\r\n\r\n[HKEY_T]\r\n" +
           "\"S\"=\"C:\\\\Win \\\"x\\\"\"\r\n\"D\"=dword:0000002a\r\n" +
           listLine("\"X\"=hex(2):", text(u"%PATH%;C:\\bin\0"sv, "%PATH%;C:\\bin\0"sv)) +
           listLine("\"M\"=hex(7):", text(u"eins\0zwei\0\0"sv, "eins\0zwei\0\0"sv)) +
           listLine("\"Z\"=hex(1):", text(u"Grüße\0"sv, "Gr\xFC\xDF"
                                                        "e\0"sv)) +
           listLine("\"L\"=hex(2):", text(u"a much longer text that an exporter wraps over more than one line\0"sv,
                                          "a much longer text that an exporter wraps over more than one line\0"sv));
}

struct DecodedCase {
    const char* name;
    const char* key;
    QString stored;  // what get --decoded prints
    QString other;   // a new value to set and read back
};

using Form = std::tuple<const char*, DecodedCase>;

class Decoded : public testing::TestWithParam<Form> {
protected:
    test::TempDir dir;
};

TEST_P(Decoded, GetThenSetLeavesTheFileAndNewTextReadsBack)
{
    const auto& [form, c] = GetParam();
    // An importer reads the text data of an 8-bit file as Windows-1252
    // bytes, also under the UTF-16 export form's first line.
    const S bytes = S(form) == "regedit4" ? exportText(false)
                    : S(form) == "utf16_form_8bit"
                        ? "Windows Registry Editor Version 5.00" + exportText(false).substr(8)
                        : test::utf16le(QString::fromLatin1(exportText(true)).toStdU16String());
    const QString file = dir.write("e.reg", bytes);
    const CliRun got = keyloom({"get", "--decoded", "%F", "HKEY_T", c.key}, file);
    EXPECT_EQ(got.exit, 0);
    EXPECT_EQ(got.out, c.stored.toStdString() + "\n");
    EXPECT_EQ(keyloom({"set", "--decoded", "%F", "HKEY_T", c.key, c.stored}, file).exit, 0);
    // Every file keeps its form, a UTF-16 one written in place.
    EXPECT_TRUE(test::readAll(file) == bytes);
    EXPECT_EQ(keyloom({"set", "--decoded", "%F", "HKEY_T", c.key, c.other}, file).exit, 0);
    EXPECT_EQ(keyloom({"get", "--decoded", "%F", "HKEY_T", c.key}, file).out, c.other.toStdString() + "\n");
    // Every other value stays as it was.
    for (const char* key : {"S", "D", "X", "M", "Z", "L"}) {
        if (S(key) != c.key) {
            EXPECT_EQ(keyloom({"get", "--decoded", "%F", "HKEY_T", key}, file).exit, 0) << key;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, Decoded,
    testing::Combine(
        testing::Values("regedit4", "utf16_form_8bit", "utf16_file"),
        testing::Values(DecodedCase{"string", "S", "C:\\Win \"x\"", "D:\\\\neu \"\""},
                        DecodedCase{"dword", "D", "42", "4294967295"},
                        DecodedCase{"expand_sz", "X", "%PATH%;C:\\bin", "%SystemRoot%\\system32;%PATH%;C:\\bin"},
                        DecodedCase{"multi_sz", "M", "eins\nzwei", "eins\nzwei\ndrei"},
                        DecodedCase{"sz_code_page_letters", "Z", "Grüße", "Öl"},
                        DecodedCase{"wrapped_list_shorter", "L",
                                    "a much longer text that an exporter wraps over more than one line", "kurz"})),
    [](const testing::TestParamInfo<Form>& info) {
        return S(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
    });

// --- arguments that are not UTF-8 ---------------------------------------------

struct RawArgCase {
    const char* name;
    const char* args;  // for the shell, after the program: $1 is the file, printf makes the bytes
};

class RawArgument : public test::FileTable<RawArgCase> {};

// Text the system cannot read as UTF-8 is refused before anything is read,
// created or written.
TEST_P(RawArgument, RefusedWithNothingWritten)
{
    KEYLOOM_SKIP_ON_WINDOWS("the command line is UTF-16 there, no argument is bytes");
    const S before = "[A]\r\nk=1\r\n";
    const QString file = dir.write("a.ini", before);
    const CliRun run = test::runProgram(
        "/bin/sh", {"-c", QStringLiteral("exec \"$0\" %1").arg(c.args), QStringLiteral(KEYLOOM_CLI), "%F"}, file,
        dir.path(""));
    EXPECT_EQ(run.exit, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("UTF-8"), S::npos) << run.err;
    EXPECT_EQ(test::readAll(file), before);
    EXPECT_EQ(QDir(dir.path("")).entryList(QDir::Files | QDir::Hidden), QStringList{"a.ini"});
}

INSTANTIATE_TEST_SUITE_P(Commands, RawArgument,
                         testing::Values(RawArgCase{"value", "set \"$1\" A k \"$(printf 'M\\374ller')\""},
                                         RawArgCase{"new_file_name", "set \"$(printf 'gr\\374n.ini')\" A k 1"},
                                         RawArgCase{"section", "set \"$1\" \"$(printf '\\344')\" k 1"},
                                         RawArgCase{"cut_character", "get \"$1\" A \"$(printf 'k\\303')\""}),
                         test::CaseName());

// --- whole values -----------------------------------------------------------------

struct LongCase {
    const char* name;
    const char* file;
    S before;
    QStringList args;
    S out;
};

class LongValue : public test::FileTable<LongCase> {};

TEST_P(LongValue, GetPrintsItWhole)
{
    const CliRun run = keyloom(c.args, dir.write(c.file, c.before));
    EXPECT_EQ(run.exit, 0);
    EXPECT_EQ(run.out.size(), c.out.size());
    EXPECT_TRUE(run.out == c.out);
}

const S kBig(LineReader::kMaxLine + 1000, 'r');
const S kEscapes = "\\\"" + S(LineReader::kMaxLine - 7, 'e') + "\\\\\\\"\xE4";

INSTANTIATE_TEST_SUITE_P(
    Values, LongValue,
    testing::Values(
        LongCase{
            "ini_5000", "a.ini", "[A]\r\nk=" + S(5000, 'i') + "\r\n", {"get", "%F", "A", "k"}, S(5000, 'i') + "\n"},
        LongCase{"registry_beyond_the_line_bound",
                 "a.reg",
                 "[K]\r\n\"v\"=\"" + kBig + "\"\r\n",
                 {"get", "%F", "K", "v"},
                 kBig + "\n"},
        LongCase{"registry_escapes_across_pieces",
                 "a.reg",
                 "[K]\r\n\"v\"=\"" + kEscapes + kEscapes + "\"\r\n",
                 {"get", "%F", "K", "v"},
                 QString::fromLatin1(kEscapes + kEscapes).toStdString() + "\n"},
        LongCase{"registry_decoded_across_pieces",
                 "a.reg",
                 "[K]\r\n\"v\"=\"" + kEscapes + kEscapes + "\"",
                 {"get", "--decoded", "%F", "K", "v"},
                 QString::fromLatin1(unescapeRegistryString(kEscapes + kEscapes)).toStdString() + "\n"}),
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

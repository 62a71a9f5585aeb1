// Comparing two files: pairs of files and what the comparison says of them,
// as text for people, as JSON, and as the command line's exit status.

#include "common/cli.h"
#include "common/gtest_util.h"
#include "common/pairs.h"
#include "document/compare.h"
#include "document/document.h"
#include "platform/fileio.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

namespace keyloom {
namespace {

using S = std::string;
using test::PrintTo;

struct PairCase {
    const char* name;
    const char* nameA;
    S a;
    const char* nameB;
    S b;
    S text;  // differencesAsText; empty: the files are equal
};

class ComparePair : public test::Table<PairCase> {};

TEST_P(ComparePair, GivesTheDifferences)
{
    const test::FilePair files(c.nameA, c.a, c.nameB, c.b);
    const Comparison result = compareFiles(files.a, files.b);
    EXPECT_EQ(result.status, c.text.empty() ? CompareStatus::Equal : CompareStatus::Different);
    EXPECT_EQ(differencesAsText(result.differences).toStdString(), c.text);
    // The other way round every change turns.
    const Comparison back = compareFiles(files.b, files.a);
    EXPECT_EQ(back.differences.size(), result.differences.size());
}

const S kRegA = test::regedit4("[HKEY_A]\r\n\"Name\"=\"alt\"\r\n\"Gone\"=dword:00000001\r\n\"Same\"=\"x\"\r\n\r\n"
                               "[HKEY_A\\Old]\r\n@=\"d\"\r\n\r\n[HKEY_B]\r\n\"v\"=hex:01,02\r\n");
const S kRegB = test::regedit4("[HKEY_A]\r\n\"Name\"=\"neu\"\r\n\"Same\"=\"x\"\r\n\"Added\"=hex(2):25,41,00\r\n\r\n"
                               "[HKEY_B]\r\n\"v\"=hex:01,03\r\n\r\n[HKEY_C]\r\n@=\"c\"\r\n");

const PairCase kRegistryPairs[] = {
    {"EachChangeKind", "a.reg", kRegA, "b.reg", kRegB,
     "[HKEY_A]\n-\"Name\"=\"alt\"\n+\"Name\"=\"neu\"\n-\"Gone\"=dword:00000001\n+\"Added\"=hex(2):25,41,00\n"
     "-[HKEY_A\\Old]\n[HKEY_B]\n-\"v\"=hex:01,02\n+\"v\"=hex:01,03\n+[HKEY_C]\n"},
    {"LetterCaseOfNamesAndDigits", "a.reg", test::regedit4("[HKEY_A\\Ä]\r\n\"Name\"=dword:0000000a\r\n"), "b.reg",
     test::regedit4("[hkey_a\\ä]\r\n\"NAME\"=DWORD:0000000A\r\n"), ""},
    {"LetterCaseOfAStringCounts", "a.reg", test::regedit4("[K]\r\n\"n\"=\"Wert\"\r\n"), "b.reg",
     test::regedit4("[K]\r\n\"n\"=\"wert\"\r\n"), "[K]\n-\"n\"=\"Wert\"\n+\"n\"=\"wert\"\n"},
    {"LaterLineWins", "a.reg", test::regedit4("[K]\r\n\"n\"=\"1\"\r\n\"n\"=\"2\"\r\n"), "b.reg",
     test::regedit4("[K]\r\n\"n\"=\"2\"\r\n"), ""},
    {"RepeatedSectionsMerge", "a.reg", test::regedit4("[K]\r\n\"n\"=\"1\"\r\n\r\n[L]\r\n\r\n[k]\r\n\"n\"=\"2\"\r\n"),
     "b.reg", test::regedit4("[L]\r\n\r\n[K]\r\n\"n\"=\"2\"\r\n"), ""},
    {"RepeatedSectionChanged", "a.reg", test::regedit4("[K]\r\n\"m\"=\"1\"\r\n\r\n[K]\r\n\"n\"=\"2\"\r\n"), "b.reg",
     test::regedit4("[K]\r\n\"m\"=\"1\"\r\n\"n\"=\"3\"\r\n"), "[K]\n-\"n\"=\"2\"\n+\"n\"=\"3\"\n"},
    {"WrappedOtherwise", "a.reg", test::regedit4("[K]\r\n\"b\"=hex:01,02,\\\r\n  03\r\n\"d\"=dword:00000010\r\n"),
     "b.reg", test::regedit4("[K]\r\n\"b\"=hex(3):01,\\\r\n02,03\r\n\"d\"=hex(4):10,00,00,00\r\n"), ""},
    {"SectionsInAnotherOrder", "a.reg", test::regedit4("[A]\r\n\"n\"=\"1\"\r\n[B]\r\n\"n\"=\"2\"\r\n[C]\r\n"), "b.reg",
     test::regedit4("[C]\r\n[D]\r\n[B]\r\n\"n\"=\"2\"\r\n[A]\r\n\"n\"=\"0\"\r\n[E]\r\n"),
     "[A]\n-\"n\"=\"1\"\n+\"n\"=\"0\"\n+[D]\n+[E]\n"},
    {"EmptySectionsCount", "a.reg", test::regedit4("[A]\r\n"), "b.reg", test::regedit4(""), "-[A]\n"},
    {"CommentsAndBlankLinesDoNot", "a.reg", test::regedit4("[A]\r\n\"n\"=\"1\"\r\n"), "b.reg",
     test::regedit4("; note\r\n[A]\r\n\r\n; \"n\"=\"2\"\r\n\"n\"=\"1\"\n"), ""},
    {"Utf16AndRegedit4", "a.reg",
     test::utf16Export(u"[HKEY_A\\Grüße]\r\n\"s\"=\"Müller\"\r\n\"e\"=hex(2):25,00,41,00,00,00\r\n"
                       u"\"m\"=hex(7):61,00,00,00,e4,00,00,00,00,00\r\n\"t\"=hex(1):78,00,00,00\r\n"
                       u"\"d\"=dword:00000002\r\n@=\"\"\r\n"),
     "b.reg",
     test::regedit4("[HKEY_A\\Gr\xFC\xDF"
                    "e]\r\n\"s\"=\"M\xFCller\"\r\n\"e\"=hex(2):25,41,00\r\n\"m\"=hex(7):61,00,e4,00,00\r\n"
                    "\"t\"=hex(1):78,00\r\n\"d\"=dword:00000002\r\n@=\"\"\r\n"),
     ""},
    {"Utf8IsNotWindows1252", "a.reg", test::utf16Export(u"[K]\r\n\"n\"=\"Ã¼\"\r\n"), "b.reg",
     test::regedit4("[K]\r\n\"n\"=\"\xC3\xBC\"\r\n"), "[K]\n-\"n\"=\"Ã¼\"\n+\"n\"=\"ü\"\n"},
    {"SameLinesOtherData", "a.reg", test::utf16Export(u"[K]\r\n\"e\"=hex(2):41,00,00,00\r\n"), "b.reg",
     test::regedit4("[K]\r\n\"e\"=hex(2):41,00,00,00\r\n"),
     "[K]\n-\"e\"=hex(2):41,00,00,00\n+\"e\"=hex(2):41,00,00,00\n"},
    {"Utf16TextDataChanged", "a.reg", test::utf16Export(u"[K]\r\n\"e\"=hex(2):25,00,41,00,00,00\r\n"), "b.reg",
     test::regedit4("[K]\r\n\"e\"=hex(2):25,42,00\r\n"),
     "[K]\n-\"e\"=hex(2):25,00,41,00,00,00\n+\"e\"=hex(2):25,42,00\n"},
    {"BeyondWindows1252", "a.reg", test::utf16Export(u"[K\\日]\r\n\"n\"=\"日本\"\r\n\"m\"=\"ü\"\r\n"), "b.reg",
     test::utf16Export(u"[K\\日]\r\n\"n\"=\"本日\"\r\n\"m\"=\"ü\"\r\n"), "[K\\日]\n-\"n\"=\"日本\"\n+\"n\"=\"本日\"\n"},
    {"SectionNamesBeyondWindows1252", "a.reg", test::utf16Export(u"[K\\日]\r\n\"n\"=\"1\"\r\n"), "b.reg",
     test::utf16Export(u"[K\\本]\r\n\"n\"=\"1\"\r\n"), "-[K\\日]\n+[K\\本]\n"},
    {"LaterSectionNamesBeyondWindows1252", "a.reg", test::utf16Export(u"[A]\r\n[K\\日]\r\n\"n\"=\"1\"\r\n[Z]\r\n"),
     "b.reg", test::utf16Export(u"[A]\r\n[K\\本]\r\n\"n\"=\"1\"\r\n[Z]\r\n"), "-[K\\日]\n+[K\\本]\n"},
};
INSTANTIATE_TEST_SUITE_P(Registry, ComparePair, testing::ValuesIn(kRegistryPairs), test::CaseName());

const PairCase kIniPairs[] = {
    {"EachChangeKind", "a.ini", "[Main]\r\nk=1\r\ngone=x\r\nsame=y\r\n[Old]\r\na=1\r\n", "b.ini",
     "[Main]\r\nk=2\r\nsame=y\r\nnew=z\r\n[New]\r\n", "[Main]\n-k=1\n+k=2\n-gone=x\n+new=z\n-[Old]\n+[New]\n"},
    {"AsTheProfileReadSeesThem", "a.inf", "[ Main ]\r\nKEY = \"1\"\r\n;c=1\r\n", "b.INF", "[main]\nkey=1\n;C= 1\n", ""},
    {"FirstKeyAndFirstSectionWin", "a.ini", "[S]\r\nk=1\r\nk=2\r\n[S]\r\nj=3\r\n", "b.ini", "[S]\r\nk=1\r\n", ""},
    {"KeysAboveTheFirstHeader", "a.ini", "top=1\r\n[S]\r\n", "b.ini", "top=2\r\n[S]\r\n", "[]\n-top=1\n+top=2\n"},
    {"Utf16AndWindows1252", "a.ini", test::utf16le(u"[Kasse]\r\nName=Müller\r\n"), "b.ini",
     "[Kasse]\r\nName=M\xFCller\r\n", ""},
    {"Utf8AndWindows1252", "a.ini", "\xEF\xBB\xBF[K]\nName=M\xC3\xBCller\n", "b.ini", "[K]\r\nName=M\xFCller\r\n", ""},
    {"Utf16BeyondWindows1252", "a.ini", test::utf16le(u"[A]\r\nk=日\r\n[B]\r\nj=1\r\n[日]\r\nm=1\r\n"), "b.ini",
     test::utf16le(u"[A]\r\nk=本\r\n[B]\r\nj=1\r\n[本]\r\nm=1\r\n"), "[A]\n-k=日\n+k=本\n-[日]\n+[本]\n"},
    {"CommentLinesAreKeys", "a.ini", "[S]\r\n;k=1\r\n", "b.ini", "[S]\r\n;k=2\r\n", "[S]\n-;k=1\n+;k=2\n"},
};
INSTANTIATE_TEST_SUITE_P(Ini, ComparePair, testing::ValuesIn(kIniPairs), test::CaseName());

const PairCase kFormPairs[] = {
    {"InfEachChangeKind", "a.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n[Files]\r\nx.sys=1\r\n", "b.INF",
     "[version]\r\nsignature=$Windows NT$\r\nProvider=Q\r\n[Strings]\r\n",
     "[Version]\n+Provider=Q\n-[Files]\n+[Strings]\n"},
    {"Utf16ExportEachChangeKind", "a.reg",
     test::utf16Export(u"[K]\r\n\"a\"=\"1\"\r\n\"b\"=dword:00000001\r\n\r\n[L]\r\n@=\"x\"\r\n"), "b.reg",
     test::utf16Export(u"[K]\r\n\"a\"=\"2\"\r\n\"c\"=hex:00\r\n\r\n[M]\r\n"),
     "[K]\n-\"a\"=\"1\"\n+\"a\"=\"2\"\n-\"b\"=dword:00000001\n+\"c\"=hex:00\n-[L]\n+[M]\n"},
    {"LineEndsDoNotCount", "a.reg", test::regedit4("[K]\r\n\"a\"=hex:01,\\\r\n  02\r\n"), "b.reg",
     "REGEDIT4\n\n[K]\n\"a\"=hex:01,\\\n  02\n", ""},
    {"LoneCrLineEnds", "a.ini", "[S]\rk=1\r", "b.ini", "[S]\r\nk=1\r\n", ""},
    {"DefaultValue", "a.reg", test::regedit4("[K]\r\n@=\"1\"\r\n"), "b.reg", test::regedit4("[K]\r\n@=\"2\"\r\n"),
     "[K]\n-@=\"1\"\n+@=\"2\"\n"},
    {"StringAgainstNumber", "a.reg", test::regedit4("[K]\r\n\"n\"=\"1\"\r\n"), "b.reg",
     test::regedit4("[K]\r\n\"n\"=dword:00000001\r\n"), "[K]\n-\"n\"=\"1\"\n+\"n\"=dword:00000001\n"},
    {"EmptyFiles", "a.ini", "", "b.ini", "", ""},
    // An importer reads an 8-bit file's text data as bytes, whatever its first line names.
    {"Version5HeaderIn8BitFile", "a.reg",
     "Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n\"e\"=hex(2):41,42,00\r\n", "b.reg",
     test::regedit4("[K]\r\n\"e\"=hex(2):41,42,00\r\n"), ""},
};
INSTANTIATE_TEST_SUITE_P(Forms, ComparePair, testing::ValuesIn(kFormPairs), test::CaseName());

// Wine's own files: key paths and names decoded, time stamps and meta lines
// left out, string forms compared by their text.
S wine(const S& keys) { return "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1\n\n" + keys; }

const PairCase kWinePairs[] = {
    {"EachChangeKind", "a.reg",
     wine("[Software\\\\Q] 1700000000\n#time=1d\n\"Pfad\"=\"C:\\\\alt\"\n\"Z\"=dword:00000001\n\n"
          "[Software\\\\Old] 1700000000\n"),
     "b.reg", wine("[Software\\\\Q] 1800000000\n#time=2e\n\"Pfad\"=\"C:\\\\neu\"\n\"E\"=str(2):\"%x%\"\n"),
     "[Software\\Q]\n-\"Pfad\"=\"C:\\\\alt\"\n+\"Pfad\"=\"C:\\\\neu\"\n-\"Z\"=dword:00000001\n"
     "+\"E\"=str(2):\"%x%\"\n-[Software\\Old]\n"},
    {"EscapesAndLetterCase", "a.reg", wine("[Software\\\\\\x00e4] 1\n\"N\\x00e4\"=\"\\x00fc\"\n"), "b.reg",
     wine("[software\\\\\\xc4] 2\n\"n\\xe4\"=\"\\xfc\"\n"), ""},
    {"HexContinued", "a.reg", wine("[K] 1\n\"b\"=hex:01,\\\n  02\n"), "b.reg", wine("[K] 1\n\"b\"=hex:01,02\n"), ""},
};
INSTANTIATE_TEST_SUITE_P(Wine, ComparePair, testing::ValuesIn(kWinePairs), test::CaseName());

// Many sections, the second file's in another order with some changed,
// added and removed: each difference once, in the first file's order, and
// the progress reaches the end.
TEST(Compare, ManySectionsInAnotherOrder)
{
    S a = "REGEDIT4\r\n", b = "REGEDIT4\r\n";
    const auto section = [](int i, int value) {
        return "\r\n[HKEY_K\\" + std::to_string(i) + "]\r\n\"v\"=dword:" + std::to_string(10000000 + value) + "\r\n";
    };
    for (int i = 0; i < 3000; ++i)
        a += section(i, i);
    for (int i = 2999; i >= 0; --i) {
        if (i % 1000 != 7)
            b += section(i, i % 500 == 3 ? i + 1 : i);
    }
    b += section(5000, 0);
    const test::FilePair files("a.reg", a, "b.reg", b);
    CompareControl control;
    const Comparison result = compareFiles(files.a, files.b, &control);
    ASSERT_EQ(result.status, CompareStatus::Different);
    std::vector<S> rows;
    for (const Difference& d : result.differences)
        rows.push_back((d.section + "|" + d.key.value_or("-") + "|" + d.oldLine + "|" + d.newLine).toStdString());
    const auto changed = [](int i) {
        return "HKEY_K\\" + std::to_string(i) + "|v|\"v\"=dword:" + std::to_string(10000000 + i) +
               "|\"v\"=dword:" + std::to_string(10000001 + i);
    };
    const auto whole = [](int i) { return "HKEY_K\\" + std::to_string(i) + "|-||"; };
    EXPECT_EQ(rows, std::vector<S>({changed(3), whole(7), changed(503), changed(1003), whole(1007), changed(1503),
                                    changed(2003), whole(2007), changed(2503), whole(5000)}));
    EXPECT_EQ(result.differences.back().change, ChangeKind::Added);
    EXPECT_EQ(control.done.load(), control.total.load());
}

// What the window needs of a difference: the raw names to find the rows.
TEST(Compare, RawNamesForTheWindow)
{
    const test::FilePair files("a.reg", test::regedit4("[HKEY_\xC4]\r\n\"N\\\"x\"=\"1\"\r\n"), "b.reg",
                               test::regedit4("[hkey_\xE4]\r\n\"n\\\"X\"=\"2\"\r\n"));
    const Comparison result = compareFiles(files.a, files.b);
    ASSERT_EQ(result.differences.size(), 1u);
    const Difference& d = result.differences.front();
    EXPECT_EQ(d.sectionBytes, "HKEY_\xC4");
    EXPECT_EQ(d.keyBytes, "N\\\"x");
    EXPECT_EQ(d.section, QString("HKEY_Ä"));
    EXPECT_EQ(d.oldValue, QString("1"));
    EXPECT_EQ(d.newValue, QString("2"));
}

// An export compares equal to its own conversion, made by the load as the
// popup menu's conversion writes it.
TEST(Compare, ExportEqualsItsConversion)
{
    const S utf16 = test::utf16Export(u"[HKEY_A\\Ü]\r\n\"s\"=\"ä\\\"b\"\r\n\"e\"=hex(2):25,00,50,00,41,00,54,00,48,00,"
                                      u"25,00,5c,00,78,00,fc,00,00,00\r\n\"m\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
                                      u"\"b\"=hex:00,ff\r\n\r\n[HKEY_A\\Ü\\Sub]\r\n@=dword:ffffffff\r\n");
    const test::FilePair files("a.reg", utf16, "b.reg", {});
    const LoadResult loaded = loadFile(files.a);
    ASSERT_EQ(loaded.unconvertible, 0u);
    const test::FilePair converted("a.reg", utf16, "b.reg", loaded.regedit4);
    EXPECT_EQ(compareFiles(converted.a, converted.b).status, CompareStatus::Equal);
}

TEST(Compare, JsonReadsBack)
{
    const test::FilePair files("a.reg", kRegA, "b.reg", kRegB);
    const Comparison result = compareFiles(files.a, files.b);
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(differencesAsJson(result.differences), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    const QJsonArray array = json.array();
    ASSERT_EQ(array.size(), 6);
    const auto row = [&](int i) { return array.at(i).toObject(); };
    EXPECT_EQ(row(0).value("section").toString(), "HKEY_A");
    EXPECT_EQ(row(0).value("key").toString(), "Name");
    EXPECT_EQ(row(0).value("change").toString(), "changed");
    EXPECT_EQ(row(0).value("old").toString(), "alt");
    EXPECT_EQ(row(0).value("new").toString(), "neu");
    EXPECT_EQ(row(1).value("old").toString(), "1");
    EXPECT_TRUE(row(1).value("new").isNull());
    EXPECT_EQ(row(2).value("change").toString(), "added");
    EXPECT_EQ(row(2).value("new").toString(), "%A");
    EXPECT_TRUE(row(2).value("old").isNull());
    EXPECT_TRUE(row(3).value("key").isNull());
    EXPECT_EQ(row(3).value("section").toString(), "HKEY_A\\Old");
    EXPECT_EQ(row(3).value("change").toString(), "removed");
    EXPECT_EQ(row(5).value("section").toString(), "HKEY_C");
    EXPECT_EQ(row(5).value("change").toString(), "added");
}

TEST(Compare, RefusesAndFails)
{
    const test::FilePair mixed("a.reg", kRegA, "b.ini", "[A]\r\n");
    EXPECT_EQ(compareFiles(mixed.a, mixed.b).status, CompareStatus::Refused);
    const test::FilePair wineAndExport("a.reg", wine("[K] 1\n"), "b.reg", test::regedit4("[K]\r\n"));
    EXPECT_EQ(compareFiles(wineAndExport.a, wineAndExport.b).status, CompareStatus::Refused);
    const QString missing = mixed.dir.filePath("gone.reg");
    const Comparison unreadable = compareFiles(mixed.a, missing);
    EXPECT_EQ(unreadable.status, CompareStatus::Unreadable);
    EXPECT_EQ(unreadable.failedFile, missing);
    EXPECT_EQ(compareFiles(mixed.dir.path() + "/", mixed.a).status, CompareStatus::Refused);
    CompareControl control;
    control.cancel = true;
    EXPECT_EQ(compareFiles(mixed.a, mixed.a, &control).status, CompareStatus::Cancelled);
}

// A read that fails, at any point of either file, is a failure, never the
// end of that file: the comparison says it could not read, not what differs.
TEST(Compare, FailedReadIsNoEndOfFile)
{
    S a = "REGEDIT4\r\n", b = "REGEDIT4\r\n";
    for (int i = 0; i < 400; ++i) {
        a += "\r\n[HKEY_K\\" + std::to_string(i) + "]\r\n\"v\"=\"" + S(300, 'x') + "\"\r\n";
        b += "\r\n[HKEY_K\\" + std::to_string(i) + "]\r\n\"v\"=\"" + S(300, i == 399 ? 'y' : 'x') + "\"\r\n";
    }
    const test::FilePair files("a.reg", a, "b.reg", b);
    for (const FileOp op : {FileOp::OpenRead, FileOp::Read}) {
        for (int nth = 1;; ++nth) {
            clearFileFaults();
            injectFileFault(op, nth);
            const Comparison result = compareFiles(files.a, files.b);
            const bool hit = fileOpCount(op) >= nth;
            clearFileFaults();
            if (!hit) {
                EXPECT_EQ(result.status, CompareStatus::Different);
                break;
            }
            EXPECT_EQ(result.status, CompareStatus::Unreadable) << "failure " << nth;
            EXPECT_TRUE(result.failedFile == files.a || result.failedFile == files.b);
        }
    }
}

struct ExitCase {
    const char* name;
    QStringList args;  // %A and %B stand for the pair's files
    int exit;
};

class DiffExit : public test::Table<ExitCase> {};

TEST_P(DiffExit, AsDiffHasIt)
{
    const test::FilePair files("a.reg", kRegA, "b.reg", kRegB);
    QStringList args = c.args;
    args.replaceInStrings("%A", files.a).replaceInStrings("%B", files.b);
    args.replaceInStrings("%G", files.dir.filePath("gone.reg")).replaceInStrings("%I", files.dir.filePath("x.ini"));
    const test::CliRun run = test::keyloom(args);
    EXPECT_EQ(run.exit, c.exit);
    if (c.exit == 1 && args.contains("--json")) {
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).array().size(), 6);
    }
}

const ExitCase kExits[] = {
    {"Equal", {"diff", "%A", "%A"}, 0},          {"Different", {"diff", "%A", "%B"}, 1},
    {"Json", {"diff", "--json", "%A", "%B"}, 1}, {"OneFile", {"diff", "%A"}, 2},
    {"KindsDiffer", {"diff", "%A", "%I"}, 2},    {"Missing", {"diff", "%A", "%G"}, 3},
};
INSTANTIATE_TEST_SUITE_P(Cli, DiffExit, testing::ValuesIn(kExits), test::CaseName());

// What a script reads: UTF-8 text whatever the files' encodings, nothing
// on standard error.
TEST(Compare, CommandLineTextIsUtf8)
{
    const test::FilePair files("a.ini",
                               "[Gr\xFC\xDF"
                               "e]\r\nName=M\xFCller\r\n",
                               "b.ini", test::utf16le(u"[GRÜSSE]\r\n[grüße]\r\nname=Müller-Lüdenscheidt\r\n"));
    const test::CliRun run = test::keyloom({"diff", files.a, files.b});
    EXPECT_EQ(run.exit, 1);
    EXPECT_EQ(run.out, "[Grüße]\n-Name=Müller\n+name=Müller-Lüdenscheidt\n+[GRÜSSE]\n");
    EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace keyloom

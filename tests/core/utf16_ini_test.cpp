// UTF-16 INI and INF files read and written as Unicode: every character as
// it is, the first section a section like any other.

#include "common/cli.h"
#include "common/gtest_util.h"
#include "common/utf16.h"
#include "document/document.h"
#include "edit/apply.h"
#include "platform/fileio.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

namespace keyloom {
namespace {

using S = std::string;
using test::PrintTo;

// Names and values beyond Windows-1252: Polish, CJK, an emoji (a surrogate pair).
const std::u16string kText = u"[\u0141\u00F3d\u017A]\r\nName=\u0141ukasz\r\nPort=COM1\r\n"
                             u"[\u4E2D\u6587]\r\n\U0001F310=\"Welt \u4E16\u754C\"\r\n";

struct FileForm {
    const char* name;
    const char* file;
    bool littleEndian;
};

S bytesOf(const FileForm& form, std::u16string_view text) { return test::utf16(text, form.littleEndian); }

class Utf16Ini : public test::FileTable<FileForm> {};

TEST_P(Utf16Ini, SectionsKeysAndValuesAsTheyAre)
{
    const QString file = dir.write(c.file, bytesOf(c, kText));
    const LoadResult load = loadFile(file);
    EXPECT_EQ(load.codec, TextCodec::Utf8);
    EXPECT_EQ(std::vector<S>(load.sections.begin(), load.sections.end()), (std::vector<S>{"\xC5\x81\xC3\xB3"
                                                                                          "d\xC5\xBA",
                                                                                          "\xE4\xB8\xAD\xE6\x96\x87"}));
    EXPECT_EQ(listKeys(file,
                       "\xC5\x81\xC3\xB3"
                       "d\xC5\xBA",
                       FileKind::Ini)
                  .keys,
              (std::vector<S>{"Name", "Port"}));
    EXPECT_EQ(listKeys(file, "\xE4\xB8\xAD\xE6\x96\x87", FileKind::Ini).keys, (std::vector<S>{"\xF0\x9F\x8C\x90"}));
    const ValueView view = lookUpValue(FileKind::Ini, file, {},
                                       "\xC5\x81\xC3\xB3"
                                       "d\xC5\xBA",
                                       "Name", {});
    EXPECT_EQ(view.text, S("\xC5\x81ukasz"));
    char buffer[64];
    EXPECT_EQ(GetPrivateProfileStringA("\xE4\xB8\xAD\xE6\x96\x87", "\xF0\x9F\x8C\x90", "", buffer, sizeof buffer, file),
              11);
    EXPECT_EQ(S(buffer), "Welt \xE4\xB8\x96\xE7\x95\x8C");
}

TEST_P(Utf16Ini, ApplyWritesUnicodeOnlyInTheKeysLine)
{
    const QString file = dir.write(c.file, bytesOf(c, kText));
    EditRequest request{file,
                        identityOf(file),
                        FileKind::Ini,
                        TextCodec::Utf8,
                        {},
                        "\xC5\x81\xC3\xB3"
                        "d\xC5\xBA",
                        "Port",
                        QString::fromUtf8("\xC5\x81\xC3\xB3"
                                          "d\xC5\xBA \xF0\x9F\x8C\x90"),
                        kQuotesKept};
    EXPECT_EQ(applyEdit(request, nullptr, {}).status, EditStatus::Done);
    std::u16string after = kText;
    after.replace(after.find(u"COM1"), 4, u"\u0141\u00F3d\u017A \U0001F310");
    EXPECT_TRUE(test::readAll(file) == bytesOf(c, after));
    // A new key and a new section come in UTF-16 too.
    EXPECT_TRUE(WritePrivateProfileStringA("\xE4\xB8\xAD\xE6\x96\x87", "Neu", "\xC3\xA4", file));
    EXPECT_TRUE(WritePrivateProfileStringA("\xE2\x82\xAC", "k", "1", file));
    after.insert(after.size(), u"Neu=\u00E4\r\n[\u20AC]\r\nk=1\r\n");
    EXPECT_TRUE(test::readAll(file) == bytesOf(c, after));
}

TEST_P(Utf16Ini, CommandLineListsGetsAndSets)
{
    const QString file = dir.write(c.file, bytesOf(c, kText));
    const QString cli = QStringLiteral(KEYLOOM_CLI);
    EXPECT_EQ(test::runProgram(cli, {"sections", "%F"}, file).out, "\xC5\x81\xC3\xB3"
                                                                   "d\xC5\xBA\n\xE4\xB8\xAD\xE6\x96\x87\n");
    EXPECT_EQ(test::runProgram(cli,
                               {"keys", "%F",
                                QString::fromUtf8("\xC5\x81\xC3\xB3"
                                                  "d\xC5\xBA")},
                               file)
                  .out,
              "Name\nPort\n");
    EXPECT_EQ(test::runProgram(cli,
                               {"get", "%F",
                                QString::fromUtf8("\xC5\x81\xC3\xB3"
                                                  "d\xC5\xBA"),
                                "Name"},
                               file)
                  .out,
              "\xC5\x81ukasz\n");
    EXPECT_EQ(test::runProgram(cli,
                               {"set", "%F", QString::fromUtf8("\xE4\xB8\xAD\xE6\x96\x87"),
                                QString::fromUtf8("\xF0\x9F\x8C\x90"), QString::fromUtf8("\xC5\x81")},
                               file)
                  .exit,
              0);
    std::u16string after = kText;
    after.replace(after.find(u"\"Welt"), 9, u"\u0141");
    EXPECT_TRUE(test::readAll(file) == bytesOf(c, after));
}

INSTANTIATE_TEST_SUITE_P(Forms, Utf16Ini,
                         testing::Values(FileForm{"ini_little_endian", "a.ini", true},
                                         FileForm{"inf_little_endian", "a.inf", true},
                                         FileForm{"ini_big_endian", "a.ini", false}),
                         test::CaseName());

// A UTF-16 export takes any character in place; a value whose line holds
// characters its 8-bit text shows as "?" is not editable in that text (the
// value box shows it as the file holds it: LossyValue below).
TEST(Utf16Export, AnyCharacterWrittenInPlaceAndLossyValueShownAsItIs)
{
    test::TempDir dir;
    const std::u16string head = u"Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n";
    const QString file =
        dir.write("a.reg", test::utf16le(head + u"\"V\"=\"1\"\r\n\"W\"=\"\u4E2D\"\r\n\"\u5B57\"=\"x\"\r\n"));
    const EditRequest edit{file,
                           identityOf(file),
                           FileKind::Registry,
                           TextCodec::Windows1252,
                           "K",
                           "K",
                           "W",
                           QString::fromUtf8("\xE5\xAD\x97"),
                           kQuotesRemoved};
    EXPECT_EQ(applyEdit(edit, nullptr, {}).status, EditStatus::Done);
    EXPECT_TRUE(test::readAll(file) ==
                test::utf16le(head + u"\"V\"=\"1\"\r\n\"W\"=\"\u5B57\"\r\n\"\u5B57\"=\"x\"\r\n"));
    const std::u16string lines = u"\"V\"=\"1\"\r\n\"W\"=\"\u4E2D\"\r\n";
    ASSERT_TRUE(test::writeFile(file, test::utf16le(head + lines)));
    EXPECT_EQ(
        test::runProgram(QStringLiteral(KEYLOOM_CLI), {"set", "%F", "K", "V", QString::fromUtf8("\xC5\x81")}, file)
            .exit,
        0);
    EXPECT_TRUE(test::readAll(file) == test::utf16le(head + u"\"V\"=\"\u0141\"\r\n\"W\"=\"\u4E2D\"\r\n"));
    EXPECT_FALSE(lookupRegistryValue(file, "K", "V", "").enabled);
    EXPECT_FALSE(lookupRegistryValue(file, "K", "W", "").enabled);
    const QString plain = dir.write("b.reg", test::utf16le(head + u"\"V\"=\"\u00E4\"\r\n"));
    EXPECT_TRUE(lookupRegistryValue(plain, "K", "V", "").enabled);
}

// A value line holding characters that the 8-bit text shows as "?" is read
// again as the file holds it: shown as UTF-8 where every unit reads back
// whole and its name is the key's; a failure of that read is told, and the
// 8-bit view stays.
struct LossyLine {
    const char* name;
    std::u16string line;  // the line of `key` in [K]
    bool littleEndian;
    std::optional<FileOp> fault;  // the last such call of the lookup fails
    S text;
    bool utf8;
    bool readFailed;
    const char* key = "W";
    std::u16string head = u"Windows Registry Editor Version 5.00\r\n\r\n";
};

class LossyValue : public test::FileTable<LossyLine> {};

TEST_P(LossyValue, ShownAsTheFileHoldsItOrTold)
{
    const std::u16string text = c.head + u"[K]\r\n" + c.line + u"\r\n";
    const QString file = dir.write("a.reg", test::utf16(text, c.littleEndian));
    clearFileFaults();
    if (c.fault) {
        (void)lookUpValue(FileKind::Registry, file, "K", "K", c.key, "");
        injectFileFault(*c.fault, fileOpCount(*c.fault));
    }
    const ValueView view = lookUpValue(FileKind::Registry, file, "K", "K", c.key, "");
    clearFileFaults();
    EXPECT_EQ(view.text, c.text);
    EXPECT_EQ(view.utf8, c.utf8);
    EXPECT_EQ(view.enabled, c.utf8);
    EXPECT_EQ(view.readFailed, c.readFailed);
    EXPECT_EQ(view.failed, c.readFailed);
    if (c.utf8) {
        EXPECT_EQ(view.quoteState, kQuotesRemoved);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Utf16Export, LossyValue,
    testing::Values(LossyLine{"cjk", u"\"W\"=\"\u4E2D\"", true, {}, "\xE4\xB8\xAD", true, false},
                    LossyLine{"pair_big_endian", u"\"W\"=\"a\U0001F310\"", false, {}, "a\xF0\x9F\x8C\x90", true, false},
                    LossyLine{"name_beyond_code_page", u"\"\u5B57\"=\"\u4E2D\"", true, {}, "?", false, false, "?"},
                    LossyLine{"lone_surrogate", u"\"W\"=\"\xD800\u4E2D\"", true, {}, "??", false, false},
                    LossyLine{"lone_surrogate_in_no_export",
                              u"\"W\"=\"\xD800x\"",
                              true,
                              {},
                              "\xEF\xBF\xBDx",
                              false,
                              false,
                              "W",
                              u"; notes\r\n"},
                    LossyLine{"surrogate_at_end", u"\"W\"=\"\u4E2D\"\xD800", true, {}, "\"?\"?", false, false},
                    LossyLine{"reread_not_opened", u"\"W\"=\"\u4E2D\"", true, FileOp::OpenRead, "?", false, true},
                    LossyLine{"reread_failed", u"\"W\"=\"\u4E2D\"", false, FileOp::Read, "?", false, true}),
    test::CaseName());

}  // namespace
}  // namespace keyloom

#include "common/gtest_util.h"
#include "common/utf16.h"
#include "document/find.h"
#include "document/textmatch.h"

#include <gtest/gtest.h>

#include <random>

namespace keyloom {
namespace {

using test::PrintTo;
using S = std::string;

struct FindCase {
    const char* name;
    const char* file;  // its ending decides the kind, as in the window
    std::string bytes;
    QString text;
    FindPosition from;
    FindPosition at;  // section -1: nothing found
    FindHit hit = FindHit::Key;
    unsigned skip = 0;  // 1: no section names, 2: no key names, 4: no values; 8: letter case counts
};

class Find : public test::FileTable<FindCase> {};

// The search gives the rows that the window's lists give, and a value match
// is what the value box then shows.
TEST_P(Find, MatchesWhatTheListsShow)
{
    const QString path = dir.write(c.file, c.bytes);
    const LoadResult loaded = loadFile(path);
    FindRequest request{path, fileKindOf(path), loaded.codec,
                        FindQuery{c.text, !(c.skip & 1), !(c.skip & 2), !(c.skip & 4), bool(c.skip & 8)}, c.from};
    const FindResult r = findNext(request);
    if (c.at.section < 0) {
        EXPECT_EQ(r.status, FindStatus::NotFound);
        return;
    }
    ASSERT_EQ(r.status, FindStatus::Found);
    EXPECT_EQ(r.at, c.at);
    EXPECT_EQ(r.hit, c.hit);
    const Qt::CaseSensitivity cs = (c.skip & 8) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const std::string& section = loaded.sections.at(std::size_t(r.at.section));
    if (r.hit == FindHit::Section) {
        EXPECT_TRUE(textContains(section, c.text, loaded.codec, cs));
        return;
    }
    const KeyListing keys = listKeys(path, section, request.kind);
    const std::string& key = keys.keys.at(std::size_t(r.at.key));
    const ValueView view = lookUpValue(request.kind, path, section, section, key, {});
    EXPECT_TRUE(textContains(r.hit == FindHit::Key ? key : view.text.value_or(""), c.text,
                             r.hit == FindHit::Key ? loaded.codec : shownCodec(view, loaded.codec), cs));
}

const S kIni = "; top=needle\r\n[Main]\r\nName=Alpha\r\nPath = \"C:\\Daten\"\r\n\r\n[Other]\r\nColor=blue\r\n";
const S kReg = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Demo]\r\n\"Version\"=\"1.0\"\r\n@=\"Vorgabe\"\r\n"
               "\"Data\"=hex:01,02,\\\r\n  03,04\r\n\r\n[HKEY_CURRENT_USER\\Software\\Last]\r\n\"Size\"=dword:0000000a";
const S kTwice = "[A]\r\nk=1\r\n[B]\r\nb=2\r\n[A]\r\nm=wanted\r\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, Find,
    testing::Values(
        FindCase{"ini_section_name", "a.ini", kIni, "other", {}, {1, -1}, FindHit::Section},
        FindCase{"ini_key_name", "a.ini", kIni, "NAME", {}, {0, 0}},
        FindCase{"ini_value_as_profile_read_gives_it", "a.ini", kIni, "c:\\daten", {}, {0, 1}, FindHit::Value},
        FindCase{"ini_quotes_the_read_removes", "a.ini", kIni, "\"C:", {}, {}},
        FindCase{"comment_above_first_section", "a.ini", kIni, "needle", {}, {}},
        FindCase{
            "inf_bare_file_name_ends_listing", "d.inf", "[Files]\r\na=1\r\nx.sys\r\nc=needle\r\n", "needle", {}, {}},
        FindCase{"after_current_key", "a.ini", kIni, "a", {0, 0}, {0, 1}},
        FindCase{"after_section_name_its_first_key", "a.ini", kIni, "alpha", {0, -1}, {0, 0}, FindHit::Value},
        FindCase{"nothing_after_position", "a.ini", kIni, "alpha", {0, 0}, {}},
        FindCase{"no_match", "a.ini", kIni, "zebra", {}, {}},
        FindCase{"sections_left_out", "a.ini", kIni, "other", {}, {}, FindHit::Key, 1},
        FindCase{"keys_left_out", "a.ini", kIni, "color", {}, {}, FindHit::Key, 2},
        FindCase{"values_left_out", "a.ini", kIni, "blue", {}, {}, FindHit::Key, 4},
        FindCase{"umlauts_without_case", "u.ini", "[Größe]\r\nk=1\r\n", "GRÖSSE", {}, {}},
        FindCase{"umlaut_other_case_utf8", "u.ini", "[Größe]\r\nk=1\r\n", "GRÖßE", {}, {0, -1}, FindHit::Section},
        FindCase{"umlaut_other_case_1252",
                 "u.ini",
                 "[x]\r\nk=Gr\xD6\xDF"
                 "e\r\n",
                 "größe",
                 {},
                 {0, 0},
                 FindHit::Value},
        FindCase{"case_counts_when_asked",
                 "u.ini",
                 "[x]\r\nk=Gr\xD6\xDF"
                 "e\r\n",
                 "größe",
                 {},
                 {},
                 FindHit::Key,
                 8},
        FindCase{"utf8_mark_before_first_header",
                 "b.ini",
                 "\xEF\xBB\xBF[Erste]\r\nk=v\r\n",
                 "erste",
                 {},
                 {0, -1},
                 FindHit::Section},
        FindCase{"lone_cr_line_ends", "c.ini", "[A]\rk=x\r[B]\rz=needle", "NEEDLE", {0, 0}, {1, 0}, FindHit::Value},
        FindCase{"lf_line_ends_and_tab_led_key", "l.ini", "[A]\nk=x\n[B]\n\tneedle=1\n", "needle", {}, {1, 0}},
        FindCase{"long_key_line_listed_once_its_equals_shows",
                 "a.ini",
                 "[A]\r\n" + S(1200000, 'x') + "=v\r\nk=needle\r\n",
                 "needle",
                 {},
                 {0, 1},
                 FindHit::Value},
        FindCase{"long_value_shown_up_to_the_line_bound",
                 "r.reg",
                 "[A]\r\n\"v\"=\"" + S(1100000, 'y') + "needle\"\r\n",
                 "needle",
                 {},
                 {}},
        FindCase{"registry_value_unquoted", "e.reg", kReg, "1.0", {}, {0, 0}, FindHit::Value},
        FindCase{"registry_quotes_not_shown", "e.reg", kReg, "\"1.0", {}, {}},
        FindCase{"registry_default_value", "e.REG", kReg, "vorgabe", {0, 0}, {0, 1}, FindHit::Value},
        FindCase{"registry_hex_first_line_only", "e.reg", kReg, "03,04", {}, {}},
        FindCase{"last_section_without_line_end", "e.reg", kReg, "0000000A", {}, {1, 0}, FindHit::Value},
        FindCase{"repeated_section_row_of_its_line",
                 "r.reg",
                 "[A]\r\n\"k\"=\"1\"\r\n[B]\r\n\"b\"=\"2\"\r\n[A]\r\n\"m\"=\"wanted\"\r\n",
                 "wanted",
                 {},
                 {2, 1},
                 FindHit::Value},
        FindCase{"repeated_section_rows_stay_with_their_line", "a.ini", kTwice, "k", {0, 0}, {}},
        FindCase{"repeated_section_from_row_of_later_line", "a.ini", kTwice, "m", {0, 1}, {2, 1}},
        FindCase{"registry_later_occurrence_shows_other_value",
                 "r.reg",
                 "[A]\r\n\"v\"=\"needle\"\r\n[A]\r\n\"v\"=\"other\"\r\n",
                 "needle",
                 {},
                 {}},
        FindCase{
            "ini_first_occurrence_gives_value", "a.ini", "[A]\r\nv=plain\r\n[A]\r\nv=needle\r\n", "needle", {}, {}},
        FindCase{"utf16_export_as_shown",
                 "w.reg",
                 test::utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY\\Ä]\r\n\"Name\"=\"Wert ä\"\r\n"),
                 "WERT Ä",
                 {},
                 {0, 0},
                 FindHit::Value},
        FindCase{"utf16_section_after_start",
                 "w.reg",
                 test::utf16le(u"Windows Registry Editor Version 5.00\r\n[A]\r\n\"k\"=\"1\"\r\n[Straße]\r\n"),
                 "STRAßE",
                 {0, 0},
                 {1, -1},
                 FindHit::Section},
        FindCase{"ini_question_mark_is_no_letter_beyond_code_page",
                 "a.ini",
                 "[A]\r\nk=?\xF3"
                 "d?\r\n",
                 "Łódź",
                 {},
                 {}},
        FindCase{"utf16_name_beyond_code_page_shows_as_question_mark",
                 "w.reg",
                 test::utf16le(u"Windows Registry Editor Version 5.00\r\n[A]\r\n\"Ω\"=\"1\"\r\n"),
                 "?",
                 {},
                 {0, 0}}),
    test::CaseName());

// Across the read blocks of a large file, in both encodings of an export:
// header lines that straddle two blocks are counted once.
TEST(FindLarge, RowsCountedAcrossReadBlocks)
{
    std::u16string body;
    for (int i = 0; i < 40000; ++i) {
        const std::string n = std::to_string(i);
        body += u"[HKEY\\S" + std::u16string(n.begin(), n.end()) + u"]\r\n\"v\"=\"Wert " +
                std::u16string(n.begin(), n.end()) + u"\"\r\n";
    }
    test::TempDir dir;
    const std::string narrow = "REGEDIT4\r\n" + std::string(body.begin(), body.end());
    const std::string wide = test::utf16le(u"Windows Registry Editor Version 5.00\r\n" + body);
    for (const auto& [name, bytes] : {std::pair{"n.reg", narrow}, std::pair{"w.reg", wide}}) {
        const QString path = dir.write(name, bytes);
        for (const int wanted : {0, 9362, 21845, 39999}) {
            FindRequest request{path,
                                FileKind::Registry,
                                TextCodec::Windows1252,
                                FindQuery{"wert " + QString::number(wanted) + "\"", false, false, true, false},
                                {}};
            FindControl control;
            EXPECT_EQ(findNext(request, &control).status, FindStatus::NotFound) << name;  // the quote is not shown
            control.cancel = true;
            EXPECT_EQ(findNext(request, &control).status, FindStatus::Cancelled);
            request.query.text.chop(1);
            request.from = {wanted - 1, 0};
            const FindResult r = findNext(request);
            EXPECT_EQ(r.at, (FindPosition{wanted, 0})) << name << " " << wanted;
            request.query = FindQuery{"s" + QString::number(wanted) + "]", true, false, false, false};
            EXPECT_EQ(findNext(request).status, FindStatus::NotFound) << name;  // nor the closing bracket
        }
    }
}

// A file that changed since the lists were filled is read as it is now.
TEST(FindChanged, PositionBeyondTheFileOrFileGone)
{
    test::TempDir dir;
    FindRequest request{
        dir.write("a.ini", "[A]\r\nk=v\r\n"), FileKind::Ini, TextCodec::Windows1252, FindQuery{"v"}, {5, 3}};
    EXPECT_EQ(findNext(request).status, FindStatus::NotFound);
    request.path = dir.path("gone.ini");
    request.from = {};
    EXPECT_EQ(findNext(request).status, FindStatus::Failed);  // not read, so not known to lack the text
}

// The byte filter never passes over a place where the decoded text holds
// the needle, for any case of any letter of either code page.
TEST(NeedleFilter, NeverMissesWhatQStringFinds)
{
    const QString letters = QStringLiteral("aAzZäÄöÖüÜßẞµΜkKKsSſÿŸ€ -?@`[{");
    // Every other round in ASCII alone, which is compared without decoding.
    const QString ascii = QStringLiteral("aAzZkKsS -?@`[{");
    std::mt19937 random(7);
    const QString* from = &letters;
    auto pick = [&](int n) {
        QString s;
        for (int i = 0; i < n; ++i)
            s += from->at(int(random() % unsigned(from->size())));
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        from = round % 2 == 0 ? &letters : &ascii;
        // Long enough, at times, for the filter's sixteen bytes at a time.
        const QString haystack = pick(12 + int(random() % 40));
        const QString needle = pick(1 + int(random() % 3));
        for (const Qt::CaseSensitivity cs : {Qt::CaseSensitive, Qt::CaseInsensitive}) {
            // The comparison of bytes (ASCII, with no decoding) or of the decoded text.
            EXPECT_EQ(textContains(encodeText(haystack, TextCodec::Utf8), needle, TextCodec::Utf8, cs),
                      haystack.contains(needle, cs));
            if (!haystack.contains(needle, cs))
                continue;
            const std::string utf8 = encodeText(haystack, TextCodec::Utf8);
            EXPECT_TRUE(NeedleFilter::forText(needle, TextCodec::Utf8, cs).mayOccur(utf8))
                << haystack.toStdString() << " / " << needle.toStdString();
            if (!canEncode(haystack, TextCodec::Windows1252))
                continue;
            const std::string w1252 = encodeText(haystack, TextCodec::Windows1252);
            EXPECT_TRUE(NeedleFilter::forText(needle, TextCodec::Windows1252, cs).mayOccur(w1252))
                << haystack.toStdString() << " / " << needle.toStdString();
            const std::string wide = test::utf16le(haystack.toStdU16String()).substr(2);
            EXPECT_TRUE(NeedleFilter::forUtf16(needle, cs).mayOccur(wide))
                << haystack.toStdString() << " / " << needle.toStdString();
        }
    }
}

}  // namespace
}  // namespace keyloom

// Registry values are written only in a form an importer reads back as the
// user meant: the escape and dword rules of the apply, the decoded forms of
// `keyloom set --decoded`, and the value-line rule of the conversion.

#include "common/gtest_util.h"
#include "document/linerules.h"
#include "edit/apply.h"

#include <gtest/gtest.h>

namespace keyloom {
namespace {

using S = std::string;
using test::PrintTo;

// --- the escape rule ----------------------------------------------------------

struct EscapeCase {
    const char* name;
    S text;  // between the quotes, as the box shows it
    bool valid;
};

class Escape : public test::Table<EscapeCase> {};

TEST_P(Escape, ValidOrRefusedAndRoundTrip)
{
    EXPECT_EQ(isValidEscapedString(c.text), c.valid);
    if (c.valid) {
        EXPECT_EQ(escapeRegistryString(unescapeRegistryString(c.text)), c.text);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, Escape,
                         testing::Values(EscapeCase{"empty", "", true}, EscapeCase{"plain", "abc", true},
                                         EscapeCase{"escaped_backslash", "C:\\\\Windows", true},
                                         EscapeCase{"escaped_quote_inside", "a\\\"b", true},
                                         EscapeCase{"escaped_quotes_at_both_ends", "\\\"x\\\"", true},
                                         EscapeCase{"backslash_run_then_quote", "\\\\\\\"", true},
                                         EscapeCase{"lone_backslash", "C:\\Neu", false},
                                         EscapeCase{"backslash_n", "a\\nb", false},
                                         EscapeCase{"trailing_backslash", "a\\", false},
                                         EscapeCase{"odd_backslash_run_at_end", "\\\\\\", false},
                                         EscapeCase{"bare_quote", "a\"b", false},
                                         EscapeCase{"bare_quote_at_end", "ab\"", false}),
                         test::CaseName());

// --- what the apply writes -------------------------------------------------------

const S kReg = "REGEDIT4\r\n\r\n[K]\r\n\"P\"=\"C:\\\\Win\"\r\n\"D\"=dword:0000000a\r\n\"H\"=hex:01,\\\r\n  02\r\n";

struct ApplyCase {
    const char* name;
    S key;
    S typed;  // into the box, whose lookup took the quotes off for "P"
    EditStatus status;
    S line;       // the key's line afterwards
    S told = "";  // how the reason for a refusal begins, where it says how to write the value
};

class ApplyRule : public test::FileTable<ApplyCase> {};

TEST_P(ApplyRule, WrittenOrRefusedWithFileUntouched)
{
    EditRequest request;
    request.file = dir.write("t.reg", kReg);
    request.kind = FileKind::Registry;
    request.section = "K";
    request.key = c.key;
    request.text = QString::fromStdString(c.typed);
    request.quoteState = c.key == "P" ? kQuotesRemoved : kQuotesKept;
    const EditResult r = applyEdit(request, nullptr, {});
    EXPECT_EQ(r.status, c.status);
    const S after = test::readAll(request.file);
    if (c.status != EditStatus::Done) {
        EXPECT_EQ(after, kReg);
        EXPECT_FALSE(r.reason.isEmpty());
        EXPECT_TRUE(r.reason.startsWith(QString::fromStdString(c.told))) << r.reason.toStdString();
        return;
    }
    EXPECT_NE(after.find("\r\n" + c.line + "\r\n"), S::npos) << after;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ApplyRule,
    testing::Values(ApplyCase{"string_escaped", "P", "C:\\\\Neu", EditStatus::Done, "\"P\"=\"C:\\\\Neu\""},
                    ApplyCase{"string_quotes_inside_kept_in_quotes", "P", "\\\"x\\\"", EditStatus::Done,
                              "\"P\"=\"\\\"x\\\"\""},
                    ApplyCase{"string_empty", "P", "", EditStatus::Done, "\"P\"=\"\""},
                    ApplyCase{"string_lone_backslash", "P", "C:\\Neu", EditStatus::Invalid, "",
                              "Ein \\ wird in Registrierungsdateien als \\\\ geschrieben, ein \" als \\\"."},
                    ApplyCase{"string_bare_quote", "P", "a\"b", EditStatus::Invalid, ""},
                    ApplyCase{"dword_one_digit", "D", "dword:1", EditStatus::Done, "\"D\"=dword:1"},
                    ApplyCase{"dword_eight_digits", "D", "dword:FFFFffff", EditStatus::Done, "\"D\"=dword:FFFFffff"},
                    ApplyCase{"dword_nine_digits", "D", "dword:123456789", EditStatus::Invalid, ""},
                    ApplyCase{"dword_no_digits", "D", "dword:", EditStatus::Invalid, ""},
                    ApplyCase{"dword_not_hex", "D", "dword:hallo", EditStatus::Invalid, ""},
                    ApplyCase{"dword_upper_case_type", "D", "DWORD:1", EditStatus::Invalid, ""},
                    ApplyCase{"dword_bare_number", "D", "5", EditStatus::Invalid, ""},
                    ApplyCase{"dword_to_quoted_string", "D", "\"a\\\\b\"", EditStatus::Done, "\"D\"=\"a\\\\b\""},
                    ApplyCase{"dword_to_badly_escaped_string", "D", "\"a\\b\"", EditStatus::Invalid, ""},
                    ApplyCase{"hex_as_text", "H", "hex:01,02", EditStatus::Invalid, ""}),
    test::CaseName());

// --- decoded dword forms ------------------------------------------------------------

struct DwordCase {
    const char* name;
    const char* text;
    S value;  // empty: refused
};

class DecodedDword : public test::Table<DwordCase> {};

TEST_P(DecodedDword, NumberOrRefusal)
{
    const DecodedWrite w = decodedValueOf(c.text, c.text, "dword:00000000", kQuotesKept, false, "t.reg");
    EXPECT_EQ(w.values.value, c.value);
    EXPECT_EQ(w.note.isEmpty(), !c.value.empty());
}

INSTANTIATE_TEST_SUITE_P(Forms, DecodedDword,
                         testing::Values(DwordCase{"decimal", "10", "dword:0000000a"},
                                         DwordCase{"zero", "0", "dword:00000000"},
                                         DwordCase{"decimal_maximum", "4294967295", "dword:ffffffff"},
                                         DwordCase{"hex_prefix", "0x10", "dword:00000010"},
                                         DwordCase{"hex_prefix_upper_case", "0XfF", "dword:000000ff"},
                                         DwordCase{"decimal_too_big", "4294967296", ""},
                                         DwordCase{"hex_nine_digits", "0x123456789", ""},
                                         DwordCase{"negative", "-1", ""}, DwordCase{"empty", "", ""},
                                         DwordCase{"prefix_alone", "0x", ""}, DwordCase{"leading_blank", " 1", ""},
                                         DwordCase{"exponent", "1e3", ""}, DwordCase{"hex_without_prefix", "ff", ""}),
                         test::CaseName());

// --- the value-line rule --------------------------------------------------------------

struct ValueLineCase {
    const char* name;
    S line;
    std::optional<std::size_t> start;
};

class ValueLine : public test::Table<ValueLineCase> {};

TEST_P(ValueLine, WhereTheValueStarts) { EXPECT_EQ(valueStartOf(c.line), c.start); }

INSTANTIATE_TEST_SUITE_P(Lines, ValueLine,
                         testing::Values(ValueLineCase{"name", "\"a\"=1", 4}, ValueLineCase{"default", "@=1", 2},
                                         ValueLineCase{"leading_blanks_and_tab", " \t\"a\"=1", 6},
                                         ValueLineCase{"blanks_around_equals", "\"a\" \t= 1", 7},
                                         ValueLineCase{"default_blank_before_equals", "@ =1", 3},
                                         ValueLineCase{"escaped_quote_in_name", "\"a\\\"b\"=1", 7},
                                         ValueLineCase{"escaped_backslash_ends_name", "\"a\\\\\"=1", 6},
                                         ValueLineCase{"no_equals", "\"a\" 1", std::nullopt},
                                         ValueLineCase{"unclosed_name", "\"a=1", std::nullopt},
                                         ValueLineCase{"continuation_line", "  25,00,41,00", std::nullopt},
                                         ValueLineCase{"header", "[K]", std::nullopt},
                                         ValueLineCase{"empty", "", std::nullopt}),
                         test::CaseName());

}  // namespace
}  // namespace keyloom

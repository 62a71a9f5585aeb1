// The UTF-16 write in place passes over sections without decoding them and
// writes the file from its first changed byte on. Whatever it passes over
// and wherever the change lies, the file must come out byte for byte as the
// plain walk over every line makes it (common/inplace_reference.h).

#include "common/files.h"
#include "common/gtest_util.h"
#include "common/inplace_reference.h"
#include "common/utf16.h"
#include "document/linerules.h"
#include "edit/apply.h"
#include "platform/fileio.h"

#include <QFile>
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace keyloom {
namespace {

using S = std::string;
using test::PrintTo;

// A change the test rule makes: in every section `header`, the lines that
// begin with `prefix` get `replacement` after it, or go (with the lines that
// continue a hex list); without a prefix the whole section goes.
struct Target {
    S header;
    std::optional<S> prefix;
    std::optional<S> replacement;
    bool emptyLineBefore = false;
    bool spaceHeader = false;  // an empty line before the header too
};

// Like the registry apply's rule, reduced to what the walk must honour:
// sections it does not act in are passed over.
class TestRule {
public:
    explicit TestRule(std::vector<Target> targets) : targets_(std::move(targets)) {}
    LineEdit operator()(std::string_view line, bool whole)
    {
        if (dropping_) {
            dropping_ = whole && continuesOnNextLine(line);
            return kDropLine;
        }
        if (isHeaderLine(line)) {
            open_ = nullptr;
            for (const Target& target : targets_)
                open_ = whole && line == target.header ? &target : open_;
            LineEdit edit = open_ && !open_->prefix ? kDropLine : LineEdit{};
            edit.passOver = open_ == nullptr;
            edit.emptyLineBefore = open_ && open_->spaceHeader;
            return edit;
        }
        if (open_ && !open_->prefix)
            return kDropLine;
        if (!open_ || !line.starts_with(*open_->prefix))
            return {};
        dropping_ = whole && continuesOnNextLine(line);
        if (!open_->replacement)
            return kDropLine;
        return {open_->emptyLineBefore, *open_->replacement, false, open_->prefix->size()};
    }

private:
    std::vector<Target> targets_;
    const Target* open_ = nullptr;
    bool dropping_ = false;
};

// The form of a generated file.
struct Form {
    const char* name;
    bool littleEndian;
    bool exportHead;  // begins with "Windows" (lines as Windows-1252), or not (lines as UTF-8)
    bool lastLineEnds;
    bool oddByte;
};

// A UTF-16 file of several read blocks: sections "[S<n>]" (names repeat),
// values with characters beyond Windows-1252, broken surrogates, "[" inside
// lines, units whose bytes hold a "[" (U+5B57, U+4E5B) at line starts,
// wrapped hex lists (one followed right by a header), mixed line ends, and
// a section "[Long]" whose one line is longer than the reader's bound.
std::u16string generated(const Form& form)
{
    std::mt19937 random(24);
    const std::u16string ends[] = {u"\r\n", u"\r\n", u"\r\n", u"\n", u"\r"};
    const auto eol = [&] { return ends[random() % 5]; };
    const std::u16string texts[] = {u"plain", u"\u0141ukasz", u"\U0001F310", u"a[b", u"\xD800x", u"\u5B57", u""};
    std::u16string text = form.exportHead ? u"Windows Registry Editor Version 5.00\r\n\r\n" : u"; notes\r\n\r\n";
    for (int i = 0; i < 24000; ++i) {
        if (i == 12000)
            text += u"[Long]\r\n\"v0\"=\"" + std::u16string(std::size_t(1) << 20, u'x') + u"\"\r\n";
        text += u"[S" + std::u16string(1, char16_t(u'0' + i % 10)) + (i % 7 == 0 ? u"\u0141" : u"") + u"]" + eol();
        for (int j = 0; j < int(random() % 5); ++j)
            text += u"\"v" + std::u16string(1, char16_t(u'0' + j)) + u"\"=\"" + texts[random() % 7] + u"\"" + eol();
        if (i % 5 == 0)
            text += u"\u5B57\u4E5B[x" + eol();
        if (i % 11 == 0)
            text += u"\"h\"=hex(2):41,00,\\" + eol() + u"  42,00,00,00" + eol();
        if (i % 13 == 0)
            text += u"\"c\"=hex:01,\\" + eol();  // the next header continues it
    }
    text += u"[S9]\r\n\"v0\"=\"last\"";
    if (form.lastLineEnds)
        text += u"\r\n";
    return text;
}

struct ReferenceCase {
    const char* name;
    std::vector<Target> targets;
    // Another file of the same size takes its place once the backup is made:
    // none of its bytes are kept, it is written whole from the backup.
    bool replacedAfterBackup = false;
};

class SameAsEveryLineWalked : public testing::TestWithParam<std::tuple<Form, ReferenceCase>> {};

TEST_P(SameAsEveryLineWalked, ByteForByte)
{
    const auto& [form, c] = GetParam();
    test::TempDir dir;
    S bytes = test::utf16(generated(form), form.littleEndian);
    if (form.oddByte)
        bytes += 'Z';
    const QString file = dir.write("t.reg", bytes);
    const FileIdentity before = identityOf(file);
    bool replace = c.replacedAfterBackup;
    const auto events = [&] {
        if (std::exchange(replace, false))
            dir.write("t.reg", S(bytes.size(), 'x'));
    };
    const EditResult r = rewriteThroughBackup(
        file, nullptr, events, [&] { return std::optional<LineRule>(TestRule(c.targets)); }, Utf16Lines::InPlace);
    ASSERT_EQ(r.status, EditStatus::Done);
    EXPECT_FALSE(replace);
    // Written in place: still the same file, cut or grown to its new length.
    EXPECT_EQ(identityOf(file).inode, before.inode);
    const S expected = test::referenceInPlace(bytes, TestRule(c.targets));
    const S written = test::readAll(file);
    ASSERT_EQ(written.size(), expected.size());
    const auto differ = std::mismatch(written.begin(), written.end(), expected.begin());
    EXPECT_TRUE(differ.first == written.end()) << "first difference at byte " << (differ.first - written.begin());
    EXPECT_FALSE(QFile::exists(dir.path("t.re_")));
}

const Form kForms[] = {
    {"le_export", true, true, true, false},
    {"be_export", false, true, true, false},
    {"le_text_no_last_end", true, false, false, false},
    {"le_export_odd_byte_no_last_end", true, true, false, true},
    {"be_text_odd_byte", false, false, true, true},
};

const ReferenceCase kReferenceCases[] = {
    {"nothing_found", {{"[Nowhere]", "\"v0\"=", "1"}}},
    {"first_line_after_header_longer", {{"[S1]", "\"v0\"=", "\"a much longer value than before\""}}},
    {"shorter", {{"[S2]", "\"v1\"=", "1"}}},
    {"same_length", {{"[S3]", "\"v0\"=", "\"plain\""}}},
    {"last_line", {{"[S9]", "\"v0\"=", "\"\u00e4\""}}},
    {"hex_list_and_header_after_a_continued_line", {{"[S0]", "\"c\"=", "dword:00000001"}}},
    {"wrapped_list_dropped", {{"[S1]", "\"h\"=", std::nullopt}}},
    {"long_line_replaced", {{"[Long]", "\"v0\"=", "\"short\""}}},
    {"section_beyond_windows_1252", {{"[S0?]", "\"v1\"=", "\"x\""}}},
    {"line_of_units_with_bracket_bytes", {{"[S5]", "??[", "\"x\""}}},
    {"headers_spaced_as_the_line_before_them_ended", {{"[S3]", "\"none\"=", std::nullopt, false, true}}},
    {"several_changes_and_deletes",
     {{"[S4]", "\"v0\"=", "\"4\""},
      {"[S6]", std::nullopt, std::nullopt},
      {"[S8]", "\"v2\"=", std::nullopt},
      {"[S7]", "\"h\"=", "hex:01,\\\r\n  02", true},
      {"[S9]", "\"v0\"=", "\"\""}}},
    {"file_replaced_after_backup", {{"[S2]", "\"v1\"=", "1"}}, true},
};

INSTANTIATE_TEST_SUITE_P(Cases, SameAsEveryLineWalked,
                         testing::Combine(testing::ValuesIn(kForms), testing::ValuesIn(kReferenceCases)),
                         [](const auto& info) {
                             return S(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name;
                         });

// Every file operation of an in-place write made to fail in turn: the old
// content stays whole in the file or in the backup, and only a complete
// write is a success.
TEST(InPlaceWrite, AnyFailureKeepsTheOldContentWhole)
{
    const Form form{"le_export", true, true, true, false};
    const S before = test::utf16(generated(form));
    // One change far into the file that makes it shorter: the rest is copied
    // and the file cut.
    const std::vector<Target> targets = {{"[Long]", "\"v0\"=", "\"short\""}};
    const S after = test::referenceInPlace(before, TestRule(targets));
    const auto run = [&](const test::TempDir& dir) {
        return rewriteThroughBackup(
                   dir.write("t.reg", before), nullptr, {}, [&] { return std::optional<LineRule>(TestRule(targets)); },
                   Utf16Lines::InPlace)
            .status;
    };
    int failed = 0;
    for (const FileOp op : {FileOp::OpenRead, FileOp::Read, FileOp::OpenWrite, FileOp::Write, FileOp::Close,
                            FileOp::Copy, FileOp::Remove}) {
        clearFileFaults();
        const int calls = (run(test::TempDir()), fileOpCount(op));
        for (int nth = 1; nth <= calls; ++nth) {
            SCOPED_TRACE(testing::Message() << "operation " << int(op) << ", call " << nth << " of " << calls);
            test::TempDir dir;
            clearFileFaults();
            injectFileFault(op, nth);
            const EditStatus status = run(dir);
            clearFileFaults();
            const S file = test::readAll(dir.path("t.reg"));
            const S backup = test::readAll(dir.path("t.re_"));
            failed += status != EditStatus::Done;
            if (status == EditStatus::Done || status == EditStatus::DeleteFailed) {
                EXPECT_TRUE(file == after);
            } else {
                EXPECT_TRUE(file == before || backup == before);
            }
            if (status == EditStatus::WriteFailed) {
                EXPECT_TRUE(backup == before);
            }
        }
    }
    EXPECT_GT(failed, 10);
}

// Several changes and deletes of one call, in a UTF-16 export in place.
TEST(InPlaceWrite, SeveralChangesAndDeletesInOneWrite)
{
    test::TempDir dir;
    const std::u16string head = u"Windows Registry Editor Version 5.00\r\n\r\n";
    const QString file = dir.write(
        "t.reg", test::utf16le(head + u"[A]\r\n\"a\"=\"1\"\r\n\"b\"=\"2\"\r\n[B\U0001F310]\r\n\"x\"=hex:01,\\\r\n"
                                      u"  02\r\n[C]\r\n\"c\"=\"3\"\r\n[D]\r\n\"d\"=\"\u0141\""));
    const auto change = [&](EditChange::Kind kind, const char* section, const char* key, const char* text = "") {
        EditRequest request;
        request.file = file;
        request.kind = FileKind::Registry;
        request.section = section;
        request.key = key;
        request.text = QString::fromUtf8(text);
        request.quoteState = kQuotesRemoved;
        return EditChange{kind, request};
    };
    const std::vector<EditChange> changes = {
        change(EditChange::Set, "A", "b", "\u4E2D\u6587 longer"), change(EditChange::DeleteKey, "B?", "x"),
        change(EditChange::DeleteSection, "C", ""), change(EditChange::Set, "D", "d", "")};
    ASSERT_EQ(applyEdits(changes, nullptr, {}).status, EditStatus::Done);
    EXPECT_EQ(test::readAll(file),
              test::utf16le(head + u"[A]\r\n\"a\"=\"1\"\r\n\"b\"=\"\u4E2D\u6587 longer\"\r\n[B\U0001F310]\r\n"
                                   u"[D]\r\n\"d\"=\"\""));
}

}  // namespace
}  // namespace keyloom

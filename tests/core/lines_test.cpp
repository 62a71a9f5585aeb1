#include "common/gtest_util.h"
#include "common/lines.h"
#include "common/utf16.h"
#include "platform/lines.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace keyloom {
namespace {

using test::linesOf;

std::vector<std::string> readFile(const std::string& bytes, Encoding* encoding = nullptr)
{
    test::TempDir dir;
    LineReader reader(dir.write("f.ini", bytes));
    auto lines = linesOf(reader);
    if (encoding)
        *encoding = reader.encoding();
    return lines;
}

using test::PrintTo;

struct SplitCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> lines;
};

class LineSplit : public testing::TestWithParam<SplitCase> {};

TEST_P(LineSplit, FromFileAndFromMemory)
{
    const SplitCase& c = GetParam();
    EXPECT_EQ(readFile(c.bytes), c.lines);
    LineReader memory(LineReader::FromMemory{}, c.bytes);
    EXPECT_EQ(linesOf(memory), c.lines);
}

using S = std::string;
INSTANTIATE_TEST_SUITE_P(
    Endings, LineSplit,
    testing::Values(SplitCase{"empty", S(), {}}, SplitCase{"crlf", S("a\r\nb\r\n"), {"a", "b"}},
                    SplitCase{"lone_cr", S("a\rb\r"), {"a", "b"}}, SplitCase{"lone_lf", S("a\nb\n"), {"a", "b"}},
                    SplitCase{"unterminated", S("a\r\nb"), {"a", "b"}},
                    SplitCase{"mixed", S("a\r\n\rb\n\nc"), {"a", "", "b", "", "c"}},
                    SplitCase{"lf_cr_is_two_ends", S("a\n\rb"), {"a", "", "b"}},
                    SplitCase{"only_newline", S("\r\n"), {""}},
                    SplitCase{"high_bytes_and_nul", S("x\xFF\xFE\x80\x00\r\n", 7), {S("x\xFF\xFE\x80\x00", 5)}},
                    SplitCase{"utf8_bom_dropped", S("\xEF\xBB\xBF[A]\r\nk=v"), {"[A]", "k=v"}}),
    test::CaseName());

TEST(LineReader, Utf16LeBecomesWindows1252WithMarkerKept)
{
    // "Windows\r\n[ä€]\r\n😀" in UTF-16LE with its byte-order mark.
    std::u16string text = u"Windows\r\n[\u00E4\u20AC]\r\n\U0001F600\u4E2D";
    const std::string bytes = test::utf16le(text);
    Encoding enc;
    EXPECT_EQ(readFile(bytes, &enc), (std::vector<std::string>{"\xFF\xFEWindows", "[\xE4\x80]", "??"}));
    EXPECT_EQ(enc, Encoding::Utf16LE);
}

TEST(LineReader, LinesAcrossBlockBoundaries)
{
    // Lines of every length around the 1 MiB block, CR LF split between blocks.
    std::string bytes;
    std::vector<std::string> expected;
    for (int i = 0; bytes.size() < (3u << 20); ++i) {
        std::string line(static_cast<std::size_t>((i * 7919) % 5000), char('a' + i % 26));
        bytes += line + "\r\n";
        expected.push_back(line);
    }
    std::string big(1u << 20, 'x');
    big[(1u << 20) - 1] = '\r';  // CR as last byte of the first block
    bytes = big + "\n" + bytes;
    expected.insert(expected.begin(), big.substr(0, big.size() - 1));
    EXPECT_EQ(readFile(bytes), expected);
}

// --- passing over lines ---------------------------------------------------------

// What a reader delivered: each line or piece with where it lies, and the
// bytes passed over. A line starting with one of `firsts` is followed by
// `follow` more lines read with next(), as a listing reads its section.
struct Walk {
    std::vector<std::string> lines;
    std::string passed;
    bool operator==(const Walk&) const = default;
};

Walk walk(LineReader& reader, std::string_view firsts, bool skip, int follow = 2)
{
    Walk w;
    int left = 0;
    std::string_view line;
    auto collect = [&](std::string_view bytes) { w.passed += bytes; };
    while (skip && left == 0 ? reader.nextStartingWith(firsts, line, collect) : reader.next(line)) {
        const std::string_view ending = reader.ending() == LineEnding::None ? "" : endingBytes(reader.ending());
        EXPECT_EQ(reader.withEnding(), std::string(line) + std::string(ending));
        const bool starts = !reader.continuation() && !line.empty() && firsts.find(line[0]) != firsts.npos;
        if (left == 0 && !starts) {
            w.passed += reader.withEnding();
            continue;
        }
        w.lines.push_back(std::string(line) + (reader.partial() ? "~" : "") + "@" +
                          std::to_string(reader.lineOffset()) + "-" + std::to_string(reader.endOffset()));
        left = starts ? follow : left - 1;
    }
    return w;
}

TEST(LineReader, PassingOverLinesDeliversWhatNextWould)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::string_view firsts = "[";
        std::size_t maxLine = LineReader::kMaxLine;
    };
    const std::size_t block = ioBlock();
    std::vector<Case> cases = {
        {"every_ending", "a\r\n[b]\rx\n[c\r\n\r\n[d]\n\n\r[e"},
        {"bracket_inside_lines", "x[y\r\n [z]\n[w]=[v]\r\n"},
        {"nothing_to_find", "a\r\nb\r\n"},
        {"empty", ""},
        {"piece_starting_with_bracket", S(16, 'a') + "[not]\n[yes]\nk\nl\n", "[", 16},
        {"long_header_in_pieces", "[" + S(40, 'h') + "]\nk\n[after]\n", "[", 16},
        {"utf8_mark", "\xEF\xBB\xBF[A]\nk=1\nm\n[B]"},
        {"utf16le_marker", test::utf16le(u"Windows Registry\r\n\r\n[A]\r\n\"\u00e4\"=\"1\"\r\n[B]\r\n"), "[\xFF"},
        {"utf16be", test::utf16be(u"x\r\n[A]\r\ny\r\n"), "[\xFF"},
        {"two_firsts", "k\n\xFF\xFEWindows\n[A]\nv\n", "[\xFF"},
        {"line_ends_known_across_hits", "[a]\nx\n[b]\ny\nz\n[c]\r\nw\r\n[d]\rq\n[e]\n\r\n[f]"},
    };
    // A header right after each place a read block ends, after each kind of
    // line end split there or not.
    for (const char* ending : {"\r", "\n", "\r\n"}) {
        for (std::size_t before = 0; before <= 3; ++before) {
            const std::string filler(block - before - std::strlen(ending), 'f');
            cases.push_back({"block_edge", filler + ending + "[B]\r\nk\r\nl\r\nm\r\n[" + S(block, 'c') + "\n[C]"});
        }
    }
    cases.push_back({"bracket_at_block_start_inside_a_line", S(block, 'f') + "[no]\n[yes]\n"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const QString path = dir.write("f.reg", c.bytes);
        for (int follow : {0, 2}) {
            LineReader reference(path, c.maxLine);
            LineReader skipping(path, c.maxLine);
            EXPECT_EQ(walk(skipping, c.firsts, true, follow), walk(reference, c.firsts, false, follow));
            EXPECT_FALSE(skipping.failed());
        }
    }
}

TEST(LineReader, MissingFileYieldsNoLines)
{
    LineReader reader("/nonexistent/file.ini");
    std::string_view line;
    EXPECT_FALSE(reader.isOpen());
    EXPECT_FALSE(reader.next(line));
}

TEST(LineReader, FolderIsNotOpened)
{
    test::TempDir dir;
    LineReader reader(dir.path(""));
    EXPECT_FALSE(reader.isOpen());
}

TEST(LineReader, ReportsEachEnding)
{
    LineReader reader(LineReader::FromMemory{}, "a\nb\r\nc\rd");
    std::string_view line;
    std::vector<LineEnding> endings;
    while (reader.next(line))
        endings.push_back(reader.ending());
    EXPECT_EQ(endings, (std::vector<LineEnding>{LineEnding::Lf, LineEnding::CrLf, LineEnding::Cr, LineEnding::None}));
}

// Each line's place on disk: its text, then its ending, then the next line,
// to the end of the file, whole lines or pieces, UTF-8 mark skipped.
TEST(LineReader, OffsetsCoverTheFileInOrder)
{
    const std::string bytes = "\xEF\xBB\xBF[A]\r\n\rkey=" + std::string(40, 'v') + "\n\r\nlast";
    test::TempDir dir;
    const QString path = dir.write("f.ini", bytes);
    for (const std::size_t bound : {LineReader::kMaxLine, LineReader::kMinMaxLine}) {
        LineReader reader(path, bound);
        std::int64_t at = 3;
        std::string_view line;
        while (reader.next(line)) {
            EXPECT_EQ(reader.lineOffset(), at);
            EXPECT_EQ(bytes.substr(std::size_t(at), line.size()), line);
            const std::int64_t endingAt = reader.offsetAt(line.size());
            EXPECT_EQ(endingAt, at + std::int64_t(line.size()));
            const std::string_view ending =
                reader.ending() == LineEnding::None ? std::string_view() : endingBytes(reader.ending());
            EXPECT_EQ(bytes.substr(std::size_t(endingAt), std::size_t(reader.endOffset() - endingAt)), ending);
            at = reader.endOffset();
        }
        EXPECT_EQ(at, std::int64_t(bytes.size()));
    }
}

struct WriteCase {
    const char* name;
    Encoding encoding;
    LineEnding ending;
    std::vector<std::string> lines;
    std::string bytes;
};

class LineWrite : public test::FileTable<WriteCase> {};

TEST_P(LineWrite, WritesBytesAndReadsBack)
{
    const QString path = dir.path("out.reg");
    LineWriter writer;
    ASSERT_TRUE(writer.open(path, c.encoding, c.ending));
    for (const auto& line : c.lines)
        writer.writeLine(line);
    ASSERT_TRUE(writer.close());
    EXPECT_EQ(test::readAll(path), c.bytes);
    LineReader reader(path);
    EXPECT_EQ(linesOf(reader), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, LineWrite,
    testing::Values(WriteCase{"crlf", Encoding::Bytes, LineEnding::CrLf, {"a", ""}, "a\r\n\r\n"},
                    WriteCase{"lf", Encoding::Bytes, LineEnding::Lf, {"a", "b"}, "a\nb\n"},
                    WriteCase{
                        "utf8_bom", Encoding::Utf8Bom, LineEnding::CrLf, {"[\xC3\xA4]"}, "\xEF\xBB\xBF[\xC3\xA4]\r\n"},
                    WriteCase{"utf16le",
                              Encoding::Utf16LE,
                              LineEnding::CrLf,
                              {"\xFF\xFEWindows\x80"},
                              std::string("\xFF\xFEW\0i\0n\0d\0o\0w\0s\0\xAC\x20\r\0\n\0", 22)}),
    test::CaseName());

TEST(LineWriter, EndingFollowsFirstLine)
{
    EXPECT_EQ(writeEndingFor(LineEnding::Lf), LineEnding::Lf);
    EXPECT_EQ(writeEndingFor(LineEnding::CrLf), LineEnding::CrLf);
    EXPECT_EQ(writeEndingFor(LineEnding::Cr), LineEnding::CrLf);
    EXPECT_EQ(writeEndingFor(LineEnding::None), LineEnding::CrLf);
}

}  // namespace
}  // namespace keyloom

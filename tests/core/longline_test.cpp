// Lines longer than the line reader's bound: delivered in pieces, copied
// through whole by every rewrite, looked at by their beginning by every scan.

#include "common/gtest_util.h"
#include "document/document.h"
#include "edit/apply.h"
#include "filecommands/spacing.h"
#include "platform/lines.h"
#include "platform/profile.h"

#include <QFile>
#include <gtest/gtest.h>

#include <vector>

namespace keyloom {
namespace {

using S = std::string;
constexpr std::size_t kMax = LineReader::kMaxLine;

struct Piece {
    std::string bytes;
    bool partial;
    LineEnding ending;
    bool operator==(const Piece&) const = default;
};

void PrintTo(const Piece& p, std::ostream* os)
{
    *os << "{" << testing::PrintToString(p.bytes) << (p.partial ? ", partial" : "") << ", ending "
        << static_cast<int>(p.ending) << "}";
}

std::vector<Piece> piecesOf(LineReader& reader)
{
    std::vector<Piece> pieces;
    std::string_view line;
    bool previousPartial = false;
    while (reader.next(line)) {
        EXPECT_EQ(reader.continuation(), previousPartial);
        previousPartial = reader.partial();
        pieces.push_back({S(line), reader.partial(), reader.ending()});
    }
    return pieces;
}

using test::PrintTo;

struct PieceCase {
    const char* name;
    std::string bytes;
    std::vector<Piece> pieces;  // with a bound of 16 bytes
};

class LinePieces : public testing::TestWithParam<PieceCase> {};

TEST_P(LinePieces, FromMemoryAndFromFile)
{
    const PieceCase& c = GetParam();
    LineReader memory(LineReader::FromMemory{}, c.bytes, 16);
    EXPECT_EQ(piecesOf(memory), c.pieces);
    test::TempDir dir;
    LineReader file(dir.write("f.ini", c.bytes), 16);
    EXPECT_EQ(piecesOf(file), c.pieces);
}

const S k16 = "0123456789abcdef";
const LineEnding None = LineEnding::None, CrLf = LineEnding::CrLf, Cr = LineEnding::Cr, Lf = LineEnding::Lf;

INSTANTIATE_TEST_SUITE_P(
    Cases, LinePieces,
    testing::Values(
        PieceCase{"exactly_the_bound_is_whole", k16 + "\r\nx", {{k16, false, CrLf}, {"x", false, None}}},
        PieceCase{"bound_without_ending_is_whole", k16, {{k16, false, None}}},
        PieceCase{"one_byte_over", k16 + "g\r\n", {{k16, true, None}, {"g", false, CrLf}}},
        PieceCase{"one_byte_over_unterminated", k16 + "g", {{k16, true, None}, {"g", false, None}}},
        PieceCase{"twice_the_bound", k16 + k16 + "\n", {{k16, true, None}, {k16, false, Lf}}},
        PieceCase{"crlf_right_after_a_piece",
                  k16 + k16 + "\r\n" + "a\r",
                  {{k16, true, None}, {k16, false, CrLf}, {"a", false, Cr}}},
        PieceCase{"cr_then_lf_after_the_bound",
                  k16 + "x\r\n\r\n",
                  {{k16, true, None}, {"x", false, CrLf}, {"", false, CrLf}}},
        PieceCase{"short_lines_around",
                  "a\r\n" + k16 + k16 + "zz\rb",
                  {{"a", false, CrLf}, {k16, true, None}, {k16, true, None}, {"zz", false, Cr}, {"b", false, None}}},
        PieceCase{"utf8_bom_not_counted", "\xEF\xBB\xBF" + k16 + "\r\n", {{k16, false, CrLf}}}),
    test::CaseName());

TEST(LinePieces, BoundBelowTheMinimumIsRaised)
{
    const S bytes = k16 + "x";
    LineReader reader(LineReader::FromMemory{}, bytes, 1);
    EXPECT_EQ(piecesOf(reader), (std::vector<Piece>{{k16, true, None}, {"x", false, None}}));
}

TEST(LinePieces, Utf16LongLineInPieces)
{
    std::string bytes = "\xFF\xFE";
    for (const char c : S("Windows") + S(33, 'a'))
        bytes += S{c, '\0'};
    bytes += S("\r\0\n\0", 4);
    test::TempDir dir;
    LineReader reader(dir.write("f.reg", bytes), 16);
    // The export marker's two bytes count towards the first piece.
    const S a7(7, 'a'), a16(16, 'a'), a10(10, 'a');
    EXPECT_EQ(piecesOf(reader),
              (std::vector<Piece>{{"\xFF\xFEWindows" + a7, true, None}, {a16, true, None}, {a10, false, CrLf}}));
}

// A line of `size` bytes: `head`, then a repeating pattern.
S longLine(const S& head, std::size_t size)
{
    S line = head;
    for (std::size_t i = line.size(); i < size; ++i)
        line.push_back(static_cast<char>('a' + i % 23));
    return line;
}

TEST(LongLine, ReaderHoldsAtMostTheBound)
{
    const S line = longLine("x", 3 * kMax + 5);
    test::TempDir dir;
    LineReader reader(dir.write("f.ini", line + "\r\nnext\r\n"));
    std::string_view piece;
    S joined;
    std::vector<std::size_t> sizes;
    while (reader.next(piece)) {
        sizes.push_back(piece.size());
        if (sizes.size() <= 4)
            joined += piece;
    }
    EXPECT_EQ(sizes, (std::vector<std::size_t>{kMax, kMax, kMax, 5, 4}));
    EXPECT_TRUE(joined == line);
}

TEST(LongLine, ApplyCopiesEveryByteOfAnUnmatchedLongLine)
{
    test::TempDir dir;
    const S big = longLine("\"big\"=\"", 2 * kMax + 17);
    const S before = "REGEDIT4\r\n\r\n[K]\r\n" + big + "\r\n\"a\"=1\r\n" + big;
    const QString file = dir.write("t.reg", before);
    const EditResult r = applyRegistryValue(file, nullptr, {}, ApplyValues{"K", "a", "2"});
    EXPECT_EQ(r.status, EditStatus::Done);
    EXPECT_TRUE(test::readAll(file) == "REGEDIT4\r\n\r\n[K]\r\n" + big + "\r\n\"a\"=2\r\n" + big);
}

TEST(LongLine, ApplyReplacesAMatchedLongLineWhole)
{
    test::TempDir dir;
    const QString file = dir.write("t.reg", "[K]\r\n" + longLine("\"big\"=\"", 3 * kMax) + "\r\n\"a\"=1\r\n");
    const EditResult r = applyRegistryValue(file, nullptr, {}, ApplyValues{"K", "big", "\"v\""});
    EXPECT_EQ(r.status, EditStatus::Done);
    EXPECT_EQ(test::readAll(file), "[K]\r\n\"big\"=\"v\"\r\n\"a\"=1\r\n");
}

TEST(LongLine, ApplyNeverTakesALongLineForTheHeader)
{
    test::TempDir dir;
    const S header = "[" + longLine("K", kMax + 10) + "]";
    const S before = header + "\r\n\"a\"=1\r\n";
    const QString file = dir.write("t.reg", before);
    const S section = header.substr(1, header.size() - 2);
    const EditResult r = applyRegistryValue(file, nullptr, {}, ApplyValues{section, "a", "2"});
    EXPECT_EQ(r.status, EditStatus::Done);
    EXPECT_TRUE(test::readAll(file) == before);
}

TEST(LongLine, SpacingCopiesLongLinesWhole)
{
    test::TempDir dir;
    const S big = longLine("x=", 2 * kMax + 3);
    const QString file = dir.write("t.ini", big + "\n[A]\n" + big);
    EXPECT_EQ(insertSpaces(file).status, EditStatus::Done);
    EXPECT_TRUE(test::readAll(file) == big + "\n\n[A]\n" + big);
}

TEST(LongLine, LinesInPiecesKeepTheirEndings)
{
    test::TempDir dir;
    const S big = longLine("\"x\"=", kMax + 3);
    const QString reg = dir.write("t.reg", big + "\n[K]\n\"a\"=1\r\n");
    EXPECT_EQ(applyRegistryValue(reg, nullptr, {}, ApplyValues{"K", "a", "2"}).status, EditStatus::Done);
    EXPECT_TRUE(test::readAll(reg) == big + "\n[K]\n\"a\"=2\r\n");
    const QString ini = dir.write("t.ini", big + "\r\n[K]\n");
    EXPECT_EQ(insertSpaces(ini).status, EditStatus::Done);
    EXPECT_TRUE(test::readAll(ini) == big + "\r\n\r\n[K]\n");
}

TEST(LongLine, Utf16TextBeyondAsciiReadsPromptly)
{
    // Two million CJK characters: no slower than ASCII text.
    std::string bytes = "\xFF\xFE";
    for (int i = 0; i < 2'000'000; ++i)
        bytes += S("\x2D\x4E", 2);
    test::TempDir dir;
    const QString file = dir.write("t.reg", bytes);
    LineReader reader(file);
    std::string_view piece;
    std::size_t total = 0;
    while (reader.next(piece))
        total += piece.size();
    // Three UTF-8 bytes each: no export, so no marker either.
    EXPECT_EQ(total, 3u * 2'000'000u);
}

TEST(LongLine, LoadListsTheFirstPieceOfALongHeader)
{
    test::TempDir dir;
    const S header = "[" + longLine("H", 2 * kMax);
    const LoadResult r = loadFile(dir.write("t.ini", "[A]\r\n" + header + "\r\n[B]\r\n"));
    ASSERT_EQ(r.sections.size(), 3u);
    EXPECT_EQ(r.sections[0], "A");
    EXPECT_TRUE(r.sections[1] == header.substr(1, kMax - 2));
    EXPECT_EQ(r.sections[2], "B");
}

TEST(LongLine, LoadJudgesUtf8AcrossPieces)
{
    test::TempDir dir;
    // "ä" (C3 A4) cut by the first piece's end.
    const S split = S(kMax - 1, 'a') + "\xC3\xA4" + S(10, 'b');
    EXPECT_EQ(loadFile(dir.write("ok.ini", split)).codec, TextCodec::Utf8);
    const S bad = S(kMax + 5, 'a') + "\xC3(" + "\r\n";
    EXPECT_EQ(loadFile(dir.write("bad.ini", bad)).codec, TextCodec::Windows1252);
    const S cutAtEnd = S(kMax + 1, 'a') + "\xC3";
    EXPECT_EQ(loadFile(dir.write("cut.ini", cutAtEnd)).codec, TextCodec::Windows1252);
    // Cut at the end after valid UTF-8, in a long last line and in a short one.
    EXPECT_EQ(loadFile(dir.write("cut2.ini", "\xC3\xA4\n" + cutAtEnd)).codec, TextCodec::Windows1252);
    EXPECT_EQ(loadFile(dir.write("cut3.ini", "\xC3\xA4\nx\xC3")).codec, TextCodec::Windows1252);
}

TEST(LongLine, LoadKeepsLongLinesAfterTheMarkerAndDropsALongMarkerLine)
{
    test::TempDir dir;
    const S big = longLine("\"a\"=\"", kMax + 100);
    const S marker = longLine("\xFF\xFEWindows", kMax + 3);
    const LoadResult r = loadFile(dir.write("t.reg", "x\r\n" + marker + "\r\n[K]\r\n" + big + "\r\n"));
    EXPECT_TRUE(r.markerFound);
    EXPECT_TRUE(r.regedit4 == "REGEDIT4\r\n[K]\r\n" + big + "\r\n");
}

TEST(LongLine, ListingCutsALongNameAndFailsWithoutEquals)
{
    test::TempDir dir;
    const S name = longLine("n", kMax + 50);
    const QString ini = dir.write("t.ini", "[S]\r\na=1\r\n" + name + "=v\r\nb=2\r\n");
    const KeyListing listed = listKeys(ini, "S", FileKind::Ini);
    EXPECT_FALSE(listed.failed);
    ASSERT_EQ(listed.keys.size(), 3u);
    EXPECT_TRUE(listed.keys[1] == name.substr(0, kMax));
    EXPECT_EQ(listed.keys[2], "b");

    const QString noEquals = dir.write("n.ini", "[S]\r\na=1\r\n" + name + "\r\nb=2\r\n");
    const KeyListing failed = listKeys(noEquals, "S", FileKind::Ini);
    EXPECT_TRUE(failed.failed);
    EXPECT_EQ(failed.keys, std::vector<S>{"a"});

    const QString reg = dir.write("t.reg", "[S]\r\n\"" + name + "\"=1\r\n");
    const KeyListing registry = listKeys(reg, "S", FileKind::Registry);
    ASSERT_EQ(registry.keys.size(), 1u);
    EXPECT_TRUE(registry.keys[0] == name.substr(0, kMax - 2));
}

TEST(LongLine, LookupShowsACutValueDisabled)
{
    test::TempDir dir;
    const S line = longLine("\"a\"=\"", kMax + 9);
    const QString file = dir.write("t.reg", "[K]\r\n" + line + "\"\r\n\"b\"=\"x\"\r\n");
    const RegistryLookup cut = lookupRegistryValue(file, "K", "a", "");
    EXPECT_TRUE(cut.found);
    EXPECT_TRUE(cut.cut);
    EXPECT_FALSE(cut.enabled);
    EXPECT_TRUE(cut.text == line.substr(4, kMax - 4));
    const RegistryLookup whole = lookupRegistryValue(file, "K", "b", "");
    EXPECT_FALSE(whole.cut);
    EXPECT_TRUE(whole.enabled);
    EXPECT_EQ(whole.text, "x");
}

TEST(LongLine, ProfileWriteKeepsALongLineAndReadsBack)
{
    test::TempDir dir;
    const S big = longLine("big=", 2 * kMax + 1);
    const S before = "[S]\r\n" + big + "\r\n[T]\r\n";
    const QString file = dir.write("t.ini", before);
    EXPECT_TRUE(WritePrivateProfileStringA("S", "new", "1", file));
    EXPECT_TRUE(test::readAll(file) == "[S]\r\n" + big + "\r\nnew=1\r\n[T]\r\n");
    char buffer[16];
    EXPECT_EQ(GetPrivateProfileStringA("S", "new", "", buffer, sizeof buffer, file), 1);
    EXPECT_EQ(S(buffer), "1");
    EXPECT_EQ(GetPrivateProfileStringA("S", "big", "", buffer, sizeof buffer, file), 15);

    // Replacing the long value drops all of it, and only it.
    EXPECT_TRUE(WritePrivateProfileStringA("S", "big", "short", file));
    EXPECT_EQ(test::readAll(file), "[S]\r\nbig=short\r\nnew=1\r\n[T]\r\n");
}

TEST(LongLine, ProfileWriteAfterAnOpenLongLastLine)
{
    test::TempDir dir;
    const S big = longLine("k=", kMax + 1);
    const QString file = dir.write("t.ini", "[S]\n" + big);
    EXPECT_TRUE(WritePrivateProfileStringA("S", "new", "1", file));
    EXPECT_TRUE(test::readAll(file) == "[S]\n" + big + "\nnew=1\n");
}

}  // namespace
}  // namespace keyloom

// UTF-16 files through the line reader: every mix of ASCII, Windows-1252
// letters, characters the code page lacks and broken surrogates, with the
// 1 MiB read blocks falling at every offset within the text.

#include "common/gtest_util.h"
#include "common/lines.h"
#include "common/utf16.h"
#include "platform/lines.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace keyloom {
namespace {

using test::linesOf;

// A piece of text, the Windows-1252 bytes the reader makes of it, and how
// many characters the code page lacks it holds; then the same as UTF-8, as
// the reader delivers a file that is no registry export.
struct Piece {
    std::u16string text;
    std::string bytes;
    std::uint64_t unmapped = 0;
    std::string utf8 = bytes;
    std::uint64_t unmappedUtf8 = 0;  // lone surrogates, each one U+FFFD
};

const std::vector<Piece>& pieces()
{
    static const std::vector<Piece> table = {
        {u"\"InstallPath\"=\"C:\\\\Program Files\"", "\"InstallPath\"=\"C:\\\\Program Files\""},
        {u"M\u00FCller", "M\xFCller", 0, "M\xC3\xBCller"},
        {u"\u20AC", "\x80", 0, "\xE2\x82\xAC"},
        {u"\U0001F600", "?", 1, "\xF0\x9F\x98\x80"},  // a surrogate pair is one character
        {u"\u4E2D", "?", 1, "\xE4\xB8\xAD"},
        {u"\xD800"
         u"a",
         "?a", 1,
         "\xEF\xBF\xBD"
         "a",
         1},                                                                  // a high surrogate without its partner
        {u"\xDC00", "?", 1, "\xEF\xBF\xBD", 1},                               // a low surrogate alone
        {u"\xD800\xD800\xDC00", "??", 2, "\xEF\xBF\xBD\xF0\x90\x80\x80", 1},  // the second high surrogate pairs up
        {u"?", "?"},
        {u"x", "x"},
        {u"abcdefghijklmnopqrstuvwxyz0123456789", "abcdefghijklmnopqrstuvwxyz0123456789"},
    };
    return table;
}

struct Document {
    std::string file;                     // bytes on disk
    std::vector<std::string> lines;       // as the reader delivers them
    std::vector<std::uint64_t> unmapped;  // characters the code page lacks, line by line
};

// About `units` UTF-16 units of lines made of pieces, chosen by a fixed
// sequence, with `padding` ASCII units in front to shift the block borders.
// `unicode`: an INI file, whose lines arrive as UTF-8 without the mark.
Document makeDocument(std::size_t units, std::size_t padding, bool bigEndian, bool oddByteAtEnd, bool unicode)
{
    const std::u16string first = unicode ? u"[Unicode]" : u"Windows Registry Editor Version 5.00";
    std::u16string text = first + u"\r\n" + std::u16string(padding, u'p');
    Document doc;
    // Only the little-endian mark stands for the export marker's "ÿþ".
    doc.lines = {std::string(bigEndian || unicode ? "" : "\xFF\xFE") + QString::fromStdU16String(first).toStdString()};
    doc.unmapped = {0};
    std::string line(padding, 'p');
    std::uint64_t unmapped = 0;
    std::uint32_t state = 12345;
    while (text.size() < units) {
        state = state * 1103515245u + 12345u;
        const std::size_t pick = (state >> 16) % (pieces().size() + 2);
        if (pick >= pieces().size()) {
            // Line ends of all three kinds.
            text += pick == pieces().size() ? u"\r\n" : u"\n";
            doc.lines.push_back(line);
            doc.unmapped.push_back(unmapped);
            line.clear();
            unmapped = 0;
            continue;
        }
        text += pieces()[pick].text;
        line += unicode ? pieces()[pick].utf8 : pieces()[pick].bytes;
        unmapped += unicode ? pieces()[pick].unmappedUtf8 : pieces()[pick].unmapped;
    }
    doc.lines.push_back(line);
    doc.unmapped.push_back(unmapped);
    doc.file = test::utf16(text, !bigEndian);
    if (oddByteAtEnd)
        doc.file.push_back('A');  // half a unit, which is dropped
    return doc;
}

using test::PrintTo;

struct Utf16Case {
    const char* name;
    std::size_t units;
    std::size_t padding;
    bool bigEndian;
    bool oddByteAtEnd;
    bool unicode = false;
};

class Utf16Reading : public test::FileTable<Utf16Case> {
protected:
    const Document doc = makeDocument(c.units, c.padding, c.bigEndian, c.oddByteAtEnd, c.unicode);
};

TEST_P(Utf16Reading, SameLinesFromFileAndMemory)
{
    LineReader file(dir.write("export.reg", doc.file));
    EXPECT_EQ(linesOf(file), doc.lines);
    EXPECT_EQ(file.encoding(), c.bigEndian ? Encoding::Utf16BE : Encoding::Utf16LE);
    EXPECT_EQ(file.unicodeText(), c.unicode);
    EXPECT_FALSE(file.failed());
    LineReader memory(LineReader::FromMemory{}, doc.file);
    EXPECT_EQ(linesOf(memory), doc.lines);
    // Each line's characters that the code page lacks, wherever the read
    // blocks end.
    LineReader counted(dir.path("export.reg"));
    std::vector<std::uint64_t> unmapped;
    std::uint64_t before = 0;
    for (std::string_view line; counted.next(line);)
        unmapped.push_back(counted.unmapped() - std::exchange(before, counted.unmapped()));
    EXPECT_EQ(unmapped, doc.unmapped);
}

// Every ASCII byte of a line maps to its own unit on disk, past surrogate
// pairs that became one '?', and the lines follow each other without a gap.
TEST_P(Utf16Reading, OffsetsPointAtTheUnitsOnDisk)
{
    LineReader reader(dir.write("export.reg", doc.file));
    auto unitAt = [&](std::int64_t offset) {
        const auto a = static_cast<unsigned char>(doc.file[std::size_t(offset)]);
        const auto b = static_cast<unsigned char>(doc.file[std::size_t(offset) + 1]);
        return c.bigEndian ? char16_t((a << 8) | b) : char16_t(a | (b << 8));
    };
    std::int64_t at = 0;
    std::size_t wrong = 0;
    std::string_view line;
    while (reader.next(line)) {
        const bool marker = at == 0 && !c.bigEndian && !c.unicode;
        EXPECT_EQ(reader.lineOffset(), at == 0 && !marker ? 2 : at);
        // The marker "\xFF\xFE" in front of the first line is the mark itself.
        for (std::size_t i = marker ? 2 : 0; i < line.size(); ++i) {
            if (static_cast<unsigned char>(line[i]) < 0x80 && line[i] != '?')
                wrong += unitAt(reader.offsetAt(i)) != char16_t(line[i]);
        }
        at = reader.endOffset();
    }
    EXPECT_EQ(wrong, 0u);
    EXPECT_EQ(at, std::int64_t(doc.file.size() & ~std::size_t(1)));
}

INSTANTIATE_TEST_SUITE_P(Mixes, Utf16Reading,
                         testing::Values(Utf16Case{"short", 200, 0, false, false},
                                         Utf16Case{"short_odd_byte", 200, 3, false, true},
                                         Utf16Case{"three_blocks", 1600000, 0, false, false},
                                         Utf16Case{"three_blocks_shift1", 1600000, 1, false, false},
                                         Utf16Case{"three_blocks_shift2", 1600000, 2, false, false},
                                         Utf16Case{"three_blocks_shift7", 1600000, 7, false, true},
                                         Utf16Case{"three_blocks_shift15", 1600000, 15, false, false},
                                         Utf16Case{"big_endian_short", 200, 0, true, false},
                                         Utf16Case{"big_endian_three_blocks", 1600000, 5, true, true},
                                         Utf16Case{"unicode_short", 200, 0, false, false, true},
                                         Utf16Case{"unicode_short_odd_byte", 200, 3, false, true, true},
                                         Utf16Case{"unicode_three_blocks_shift1", 1600000, 1, false, false, true},
                                         Utf16Case{"unicode_three_blocks_shift2", 1600000, 2, false, false, true},
                                         Utf16Case{"unicode_big_endian_three_blocks", 1600000, 5, true, true, true}),
                         test::CaseName());

// A surrogate pair whose halves lie in two read blocks is still one character.
TEST(Utf16Reading, PairSplitBetweenBlocks)
{
    for (std::size_t shift = 0; shift < 3; ++shift) {
        // The first block holds (1 MiB - 2) / 2 units after the byte-order mark.
        const std::size_t firstBlockUnits = ((1u << 20) - 2) / 2;
        std::u16string text(firstBlockUnits - 2 + shift, u'a');
        text += u"\U0001F600\u00E4z";
        const std::string file = test::utf16le(text);
        test::TempDir dir;
        LineReader reader(dir.write("pair.reg", file));
        // No export: UTF-8, the pair one character of four bytes.
        EXPECT_EQ(linesOf(reader),
                  std::vector<std::string>{std::string(firstBlockUnits - 2 + shift, 'a') + "\xF0\x9F\x98\x80\xC3\xA4z"})
            << "shift " << shift;
    }
}

}  // namespace
}  // namespace keyloom

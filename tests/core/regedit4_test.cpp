// The REGEDIT4 text of UTF-16 exports: text data re-encoded, everything else
// carried over, and what REGEDIT4 cannot hold counted instead of written.

#include "common/gtest_util.h"
#include "common/utf16.h"
#include "document/document.h"
#include "document/regvalue.h"

#include <gtest/gtest.h>

#include <tuple>

namespace keyloom {
namespace {

using namespace std::literals;

std::u16string widen(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

// `head` and the UTF-16LE bytes of `data`, `perLine` bytes to a line.
std::u16string listLines(std::u16string_view head, std::u16string_view data, std::size_t perLine = 25)
{
    std::u16string line(head);
    for (std::size_t i = 0; i < 2 * data.size(); ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", unsigned(data[i / 2] >> (i % 2 * 8)) & 0xFF);
        line += widen(pair);
        if (i + 1 < 2 * data.size())
            line += (i + 1) % perLine == 0 ? u",\\\r\n  " : u",";
    }
    return line + u"\r\n";
}

// What an importer stores: per value its key, name, type and data, the
// data of hex(1), hex(2) and hex(7) read as UTF-16LE units (`units`) or as
// one Windows-1252 byte a character.
using Value = std::tuple<std::u16string, std::u16string, std::u16string, std::u16string>;

std::vector<Value> valuesOf(std::u16string_view text, bool units)
{
    std::vector<Value> values;
    std::u16string key, line;
    for (std::size_t end; !text.empty(); text.remove_prefix(std::min(end + 1, text.size()))) {
        end = text.find(u'\n');
        std::u16string_view piece = text.substr(0, end);
        if (piece.ends_with(u'\r'))
            piece.remove_suffix(1);
        line += line.empty() ? piece : piece.substr(piece.find_first_not_of(u" \t"));
        if (!line.empty() && line.back() == u'\\') {
            line.pop_back();
            // Blanks after a list's last comma.
            line.erase(line.find_last_not_of(u" \t") + 1);
            continue;
        }
        // Blanks and tabs before the name and around its "=".
        const std::size_t start = std::min(line.find_first_not_of(u" \t"), line.size());
        std::size_t close = start;
        while (line.substr(start, 1) == u"\"" && (close = line.find(u'"', close + 1)) != line.npos &&
               line[close - 1] == u'\\')
            ;
        const std::size_t eq = line.find(u'=', close);
        if (line.starts_with(u'['))
            key = line;
        else if ((line.substr(start, 1) == u"\"" || line.substr(start, 1) == u"@") && eq != line.npos) {
            std::u16string data = line.substr(line.find_first_not_of(u" \t", eq + 1));
            const std::u16string type = data.substr(0, data.find(u':') + 1);
            if (type.starts_with(u"hex")) {
                std::u16string bytes;
                for (std::size_t i = type.size(); i + 1 < data.size(); i += 3)
                    bytes += char16_t(std::stoi(std::string(data.begin() + i, data.begin() + i + 2), nullptr, 16));
                data.clear();
                const bool isText = type == u"hex(1):" || type == u"hex(2):" || type == u"hex(7):";
                for (std::size_t i = 0; i < bytes.size(); i += isText && units ? 2 : 1)
                    data += isText && units ? char16_t(bytes[i] | bytes[i + 1] << 8)
                            : isText        ? fromWindows1252(static_cast<unsigned char>(bytes[i]))
                                            : bytes[i];
            }
            values.emplace_back(key, line.substr(start, line[start] == u'@' ? 1 : close + 1 - start), type, data);
        }
        line.clear();
    }
    return values;
}

const std::u16string kExportHead =
    u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Demo]\r\n";
const std::string kRegedit4Head = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Demo]\r\n";

using test::PrintTo;

struct ConversionCase {
    const char* name;
    std::u16string values;  // the export's lines after its first key, from line 4 on
    std::string regedit4;   // the same lines in the REGEDIT4 text
    std::uint64_t unconvertible = 0;
    std::uint64_t firstLine = 0;
};

class Conversion : public test::FileTable<ConversionCase> {};

TEST_P(Conversion, TextOrRefusal)
{
    const LoadResult r = loadFile(dir.write("e.reg", test::utf16le(kExportHead + c.values)));
    EXPECT_EQ(r.regedit4, kRegedit4Head + c.regedit4);
    EXPECT_EQ(r.unconvertible, c.unconvertible);
    EXPECT_EQ(r.firstUnconvertibleLine, c.firstLine);
    if (c.unconvertible == 0) {
        const QString converted = decodeText(r.regedit4, TextCodec::Windows1252);
        EXPECT_EQ(valuesOf(kExportHead + c.values, true), valuesOf(converted.toStdU16String(), false));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Conversion,
    testing::Values(
        ConversionCase{"expand_sz_over_two_lines", listLines(u"\"Path\"=hex(2):", u"%SystemRoot%\\system32\0"sv),
                       "\"Path\"=hex(2):25,53,79,73,74,65,6d,52,6f,6f,74,25,5c,73,79,73,74,65,6d,33,32,\\\r\n"
                       "  00\r\n"},
        ConversionCase{"multi_sz", listLines(u"\"List\"=hex(7):", u"Erster\0Zweiter\0\0"sv, 7),
                       "\"List\"=hex(7):45,72,73,74,65,72,00,5a,77,65,69,74,65,72,00,00\r\n"},
        ConversionCase{"sz_default_value_code_page_letters", listLines(u"@=hex(1):", u"Grüße €\0"sv),
                       "@=hex(1):47,72,fc,df,65,20,80,00\r\n"},
        ConversionCase{"empty_multi_sz", u"\"None\"=hex(7):\r\n" + listLines(u"\"Zero\"=hex(7):", u"\0"sv),
                       "\"None\"=hex(7):\r\n\"Zero\"=hex(7):00\r\n"},
        ConversionCase{"three_lines_and_escaped_name",
                       listLines(u"\"a\\\"b\"=hex(1):", u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX\0"sv),
                       "\"a\\\"b\"=hex(1):61,62,63,64,65,66,67,68,69,6a,6b,6c,6d,6e,6f,70,71,72,73,74,75,\\\r\n"
                       "  76,77,78,79,7a,41,42,43,44,45,46,47,48,49,4a,4b,4c,4d,4e,4f,50,51,52,53,54,\\\r\n"
                       "  55,56,57,58,00\r\n"},
        ConversionCase{"other_types_carried_over",
                       u"\"Bin\"=hex:01,02,\\\r\n  03\r\n\"Num\"=dword:0000002a\r\n\"Big\"=hex(b):2a,00,00,00,00,00,00,"
                       u"00\r\n\"Raw\"=hex(0):41,00\r\n\"Text\"=\"Grüße\"\r\n",
                       "\"Bin\"=hex:01,02,\\\r\n  03\r\n\"Num\"=dword:0000002a\r\n\"Big\"=hex(b):2a,00,00,00,00,00,00,"
                       "00\r\n\"Raw\"=hex(0):41,00\r\n\"Text\"=\"Gr\xFC\xDF"
                       "e\"\r\n"},
        ConversionCase{"key_path_outside_code_page", u"[HKEY_CURRENT_USER\\Software\\日本]\r\n\"a\"=\"1\"\r\n",
                       "[HKEY_CURRENT_USER\\Software\\??]\r\n\"a\"=\"1\"\r\n", 2, 4},
        ConversionCase{"expand_sz_data_outside_code_page", u"\"P\"=hex(2):41,00,\\\r\n  a9,03,00,00\r\n",
                       "\"P\"=hex(2):41,00,\\\r\n  a9,03,00,00\r\n", 1, 5},
        ConversionCase{"surrogate_pairs_in_multi_sz_and_name",
                       u"\"x\"=\"1\"\r\n\"m\"=hex(7):3d,d8,00,de,00,00,00,00\r\n\"\U0001F600\"=\"x\"\r\n",
                       "\"x\"=\"1\"\r\n\"m\"=hex(7):3d,d8,00,de,00,00,00,00\r\n\"?\"=\"x\"\r\n", 2, 5},
        ConversionCase{"odd_byte_count", u"\"o\"=hex(2):41,00,42\r\n", "\"o\"=hex(2):41,00,42\r\n", 1, 4},
        ConversionCase{"lone_surrogate", u"\"s\"=hex(1):00,d8,41,00,00,00\r\n", "\"s\"=hex(1):00,d8,41,00,00,00\r\n", 1,
                       4},
        ConversionCase{"half_pair_then_not_hex", u"\"h\"=hex(1):3d,d8,\\\r\n  4g,00\r\n",
                       "\"h\"=hex(1):3d,d8,\\\r\n  4g,00\r\n", 1, 4},
        ConversionCase{"digit_pair_not_hex_on_second_line", u"\"n\"=hex(7):41,00,\\\r\n  4g,00\r\n",
                       "\"n\"=hex(7):41,00,\\\r\n  4g,00\r\n", 1, 5},
        ConversionCase{"list_open_at_the_end", u"\"t\"=hex(2):41,00,\\\r\n", "\"t\"=hex(2):41,00,\\\r\n", 1, 4},
        // Every value line an importer reads is re-encoded.
        ConversionCase{"leading_blank", listLines(u" \"P\"=hex(2):", u"%PATH%;C:\\bin\0"sv),
                       " \"P\"=hex(2):25,50,41,54,48,25,3b,43,3a,5c,62,69,6e,00\r\n"},
        ConversionCase{"tab_and_blanks_around_equals", listLines(u"\t\"P\" =  hex(2):", u"%A%\0"sv),
                       "\t\"P\" =  hex(2):25,41,25,00\r\n"},
        ConversionCase{"default_value_blank_before_equals", listLines(u"@ =hex(7):", u"eins\0zwei\0\0"sv),
                       "@ =hex(7):65,69,6e,73,00,7a,77,65,69,00,00\r\n"},
        ConversionCase{"continuation_led_by_tab", u"\"C\"=hex(2):41,00,\\\r\n\t42,00,00,00\r\n",
                       "\"C\"=hex(2):41,42,00\r\n"},
        ConversionCase{"blank_before_continuation_mark", u"\"D\"=hex(1):41,00, \\\r\n42,00,\t\\\r\n 00,00\r\n",
                       "\"D\"=hex(1):41,42,00\r\n"},
        ConversionCase{"line_ending_in_lf", u"\"L\"=hex(2):41,00,\\\n  00,00\n", "\"L\"=hex(2):41,00\r\n"}),
    test::CaseName());

// --- describing a value ----------------------------------------------------------

TEST(Conversion, LineOfTheFirstRefusalCountsTheLinesBeforeTheMarker)
{
    // A list that cannot be read (an odd byte count) after a marker line:
    // the first line of a UTF-16 export, or a later line of an 8-bit file,
    // where the load passes over the lines before it.
    const std::string list = "\xFF\xFEWindows\r\n[K]\r\n\"a\"=hex(2):41\r\n";
    const std::vector<std::pair<std::string, std::uint64_t>> cases = {
        {test::utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[K]\r\n\"a\"=hex(2):41\r\n"), 4},
        {"x\r\ny\r\n" + list, 5},
        {"a\rb\nc\r\n\r\n" + std::string(3u << 20, 'l') + "\n" + list, 8},
    };
    test::TempDir dir;
    for (const auto& [bytes, line] : cases) {
        const LoadResult r = loadFile(dir.write("m.reg", bytes));
        EXPECT_EQ(r.unconvertible, 1u);
        EXPECT_EQ(r.firstUnconvertibleLine, line);
    }
}

TEST(Describe, TypeAndDecodedData)
{
    const std::tuple<std::string_view, bool, QString> cases[] = {
        {"dword:0000000a", false, "REG_DWORD: 10 (0x0000000a)"},
        {"dword:12x", false, "REG_DWORD: Daten nicht lesbar"},
        {"hex(b):2a,00,00,00,00,00,00,01", false, "REG_QWORD: 72057594037927978 (0x010000000000002a)"},
        {"hex(2):25,00,50,00,41,00,00,00", true, "REG_EXPAND_SZ: %PA"},
        {"hex(2):25,50,41,00", false, "REG_EXPAND_SZ: %PA"},
        {"hex(1):a9,03,00,00,62,00", true, QString::fromUtf8("REG_SZ: Ω")},
        {"hex(1):80,00", false, QString::fromUtf8("REG_SZ: €")},
        {"hex(7):61,00,00,00,62,00,63,00,00,00,00,00", true, "REG_MULTI_SZ:\na\nbc"},
        {"HEX(7):61,00,62,63,00,00", false, "REG_MULTI_SZ:\na\nbc"},
        {"hex(7):", false, "REG_MULTI_SZ: (leer)"},
        {"hex:01,02,03,04", false, "REG_BINARY: 4 Bytes"},
        {"hex(0):00", true, "REG_NONE: 1 Byte"},
        {"hex(2):41,00,42", true, "REG_EXPAND_SZ: Daten nicht lesbar"},
        {"hex:01,", false, "REG_BINARY: Daten nicht lesbar"},
        {"hex is short for hexadecimal", false, ""},
    };
    for (const auto& [value, utf16, description] : cases)
        EXPECT_EQ(describeRegistryValue(value, utf16), description) << value;
}

}  // namespace
}  // namespace keyloom

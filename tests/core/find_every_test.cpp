// Every match of a file: findNext walked forward, findPrevious walked back
// and findAll in one pass agree, except where findAll's value on the key's
// own line is not what the lookup shows.

#include "common/cli.h"
#include "common/gtest_util.h"
#include "common/utf16.h"
#include "document/find.h"
#include "platform/lines.h"

#include <gtest/gtest.h>

#include <limits>

namespace keyloom {
namespace {

using S = std::string;

struct EveryCase {
    const char* name;
    const char* file;
    S bytes;
    QString text;
    std::vector<FindPosition> next;  // findNext from the start, match after match
    std::vector<S> all;              // findAll: "[section]" or "[section] key", hit's letter last
};

class FindEvery : public test::FileTable<EveryCase> {};

TEST_P(FindEvery, ForwardBackwardAndAllAgree)
{
    const QString path = dir.write(c.file, c.bytes);
    FindRequest request{path, fileKindOf(path), loadFile(path).codec, FindQuery{c.text}, {}};

    std::vector<FindPosition> forward;
    for (FindResult r; (r = findNext(request)).status == FindStatus::Found && forward.size() < 50;)
        forward.push_back(request.from = r.at);
    EXPECT_EQ(forward, c.next);

    std::vector<FindPosition> backward;
    request.from = {std::numeric_limits<int>::max(), -1};
    for (FindResult r; (r = findPrevious(request)).status == FindStatus::Found && backward.size() < 50;)
        backward.insert(backward.begin(), request.from = r.at);
    EXPECT_EQ(backward, c.next);

    std::vector<S> all;
    const FindAllResult result = findAll(request, [&](const FindMatch& m) {
        const char hit = m.hit == FindHit::Section ? 's' : m.hit == FindHit::Key ? 'k' : 'v';
        all.push_back(test::findLine(m.sectionName, m.hit == FindHit::Section ? std::nullopt : std::optional(m.key)) +
                      ' ' + hit);
        return true;
    });
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(result.matches, std::int64_t(all.size()));
    EXPECT_EQ(all, c.all);
}

const S kIni = "; needle\r\n[Needle]\r\nk=1\r\nneedle=2\r\n\r\n[B]\r\nx=NEEDLE\r\ny=\"needle\"\r\n";
const S kTwice = "[A]\r\nv=needle\r\n[B]\r\nw=1\r\n[A]\r\nv=other\r\nu=needle\r\n";
const S kWide = test::utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY\\A]\r\n\"City\"=\"Łódź 🌐\"\r\n"
                              u"\"Q\"=\"?ódź\"\r\n\"Ω\"=\"łódź\"\r\n");

INSTANTIATE_TEST_SUITE_P(
    Files, FindEvery,
    testing::Values(
        EveryCase{"ini_names_and_values",
                  "a.ini",
                  kIni,
                  "needle",
                  {{0, -1}, {0, 1}, {1, 0}, {1, 1}},
                  {"[Needle] s", "[Needle] needle k", "[B] x v", "[B] y v"}},
        EveryCase{"nothing", "a.ini", kIni, "zebra", {}, {}},
        // The profile read takes the first "[A]" alone: the window shows no
        // value for the second one's "u", and its find passes it over.
        EveryCase{"ini_section_twice", "a.ini", kTwice, "needle", {{0, 0}}, {"[A] v v", "[A] u v"}},
        // An export's lookup shows the last occurrence's value.
        EveryCase{"registry_later_occurrence_shows",
                  "r.reg",
                  "REGEDIT4\r\n\r\n[A]\r\n\"v\"=\"needle\"\r\n[A]\r\n\"v\"=\"other\"\r\n",
                  "needle",
                  {},
                  {"[A] v v"}},
        EveryCase{"inf_listing_ends_at_a_bare_line",
                  "d.inf",
                  "[Files]\r\nneedle=1\r\nx.sys\r\nneedle2=1\r\n[Files]\r\nneedle3=1\r\n[Needle]\r\n",
                  "needle",
                  {{0, 0}, {2, -1}},
                  {"[Files] needle k", "[Needle] s"}},
        EveryCase{"utf16_listing_ends_in_earlier_block",
                  "w.inf",
                  test::utf16le(u"; x\r\n[Files]\r\nneedle=1\r\nx.sys\r\n[B]\r\n[Files]\r\nneedle3=1\r\n"),
                  "needle",
                  {{0, 0}},
                  {"[Files] needle k"}},
        EveryCase{"utf16_export",
                  "w.reg",
                  test::utf16le(u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY\\Ä]\r\n\"Näme\"=\"ä\"\r\n"),
                  "ä",
                  {{0, -1}, {0, 0}},
                  {"[HKEY\\\xC4] s", "[HKEY\\\xC4] N\xE4me k"}},
        // Values beyond the code page are matched as the box shows them:
        // as the file holds them, unless the key's name is beyond it too.
        EveryCase{"utf16_value_beyond_code_page", "w.reg", kWide, "łÓDŹ", {{0, 0}}, {"[HKEY\\A] City v"}},
        EveryCase{
            "utf16_question_mark_as_shown", "w.reg", kWide, "?", {{0, 1}, {0, 2}}, {"[HKEY\\A] Q v", "[HKEY\\A] ? k"}}),
    test::CaseName());

TEST(FindEvery, SinkStopsTheWalkAndGoneFileFails)
{
    test::TempDir dir;
    const QString path = dir.write("a.ini", kIni);
    const FindRequest request{path, FileKind::Ini, TextCodec::Windows1252, FindQuery{"needle"}, {}};
    int calls = 0;
    const FindAllResult stopped = findAll(request, [&](const FindMatch&) { return ++calls < 2; });
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(stopped.cancelled);
    FindRequest gone = request;
    gone.path = dir.path("gone.ini");
    EXPECT_TRUE(findAll(gone, [](const FindMatch&) { return true; }).failed);
}

// Across read blocks, with every kind of line end and a line longer than the
// line reader's bound: findAll hands on what findNext finds, match by match.
TEST(FindEvery, LargeFileAgreesWithFindNext)
{
    std::string bytes;
    const char* ends[] = {"\r\n", "\n", "\r"};
    for (int i = 0; i < 30000; ++i) {
        const char* end = ends[i % 3];
        bytes += "[S" + std::to_string(i) + (i % 2003 == 5 ? "needle" : "") + "]" + end;
        bytes += "k=" + std::string(i % 997 == 3 ? "a needle" : "plain") + end;
        bytes += (i % 1499 == 7 ? "Needle" : "other") + std::string("=1") + end + "; needle" + end;
        if (i == 12345)
            bytes += "long=" + S(LineReader::kMaxLine, 'x') + "needle" + end + "after=needle" + end;
    }
    test::TempDir dir;
    const QString path = dir.write("big.ini", bytes);
    FindRequest request{path, FileKind::Ini, TextCodec::Windows1252, FindQuery{"needle"}, {}};
    std::vector<std::pair<FindPosition, FindHit>> next;
    for (FindResult r; (r = findNext(request)).status == FindStatus::Found;)
        next.emplace_back(request.from = r.at, r.hit);
    std::vector<std::pair<FindPosition, FindHit>> all;
    findAll(request, [&](const FindMatch& m) {
        all.emplace_back(FindPosition{m.section, m.blockRow}, m.hit);
        return true;
    });
    EXPECT_GT(next.size(), 60u);
    EXPECT_EQ(all, next);
}

}  // namespace
}  // namespace keyloom

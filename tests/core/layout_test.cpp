#include "common/gtest_util.h"
#include "layout/layout.h"

#include <gtest/gtest.h>

#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace keyloom::layout {

void PrintTo(const Box& b, std::ostream* os)
{
    *os << "{" << b.left << ", " << b.top << ", " << b.width << ", " << b.height << "}";
}

namespace {

constexpr auto Normal = WindowState::Normal;
constexpr auto Minimized = WindowState::Minimized;
constexpr auto Maximized = WindowState::Maximized;

// What the window sees from load on: one resize, a press or a move on the bar.
struct Event {
    enum Kind { Resize, Press, Move } kind;
    Window window{};
    int buttons = 0;
    float x = 0;
};
Event resize(Twips w, Twips h, WindowState s = Normal) { return {Event::Resize, {w, h, s}}; }
Event press(float x) { return {Event::Press, {}, 0, x}; }
Event move(int buttons, float x) { return {Event::Move, {}, buttons, x}; }

struct Result {
    Window window;
    Panes panes;
    LayoutState state;
};

// Loads the window at its start size, shows it (its first size change), then
// plays the events.
Result play(const std::vector<Event>& events)
{
    Result r{{7715, 5130, Normal}, initialPanes(), {}};
    r.state.SplitterLeft = *roundToInt16(r.panes.Picture1.left);
    formResize(r.window, r.panes, r.state);
    for (const Event& e : events) {
        switch (e.kind) {
        case Event::Resize:
            r.window = e.window;
            formResize(r.window, r.panes, r.state);
            break;
        case Event::Press:
            EXPECT_EQ(splitterMouseDown(e.x, r.state), BarColour::Black);
            break;
        case Event::Move:
            splitterMouseMove(e.buttons, e.x, r.window, r.panes, r.state);
            break;
        }
    }
    return r;
}

struct Length {
    const char* what;
    Box Panes::*box;
    Twips Box::*field;
    Twips value;
};
#define AT(control, field) #control "." #field, &Panes::control, &Box::field

void expectLengths(const Panes& panes, const std::vector<Length>& lengths)
{
    for (const Length& l : lengths)
        EXPECT_EQ(panes.*l.box.*l.field, l.value) << l.what;
}

void expectPanes(const Panes& actual, const Panes& expected)
{
    EXPECT_EQ(actual.Drive1, expected.Drive1);
    EXPECT_EQ(actual.Dir1, expected.Dir1);
    EXPECT_EQ(actual.File1, expected.File1);
    EXPECT_EQ(actual.List1, expected.List1);
    EXPECT_EQ(actual.List2, expected.List2);
    EXPECT_EQ(actual.Text1, expected.Text1);
    EXPECT_EQ(actual.Command1, expected.Command1);
    EXPECT_EQ(actual.Label1, expected.Label1);
    EXPECT_EQ(actual.Picture1, expected.Picture1);
}

// A normal window cannot stay 5130 high (it is heightened to the minimum
// first), so this size is laid out directly.
TEST(Layout, PanesAt7715x5130)
{
    Panes panes = initialPanes();
    layOutPanes({7715, 5130, Normal}, panes);
    expectPanes(panes, {.Drive1 = {60, 420, 2355, 315},
                        .Dir1 = {60, 780, 2355, 2340},
                        .File1 = {60, 3180, 2355, 1490},
                        .List1 = {2520, 420, 2365, 3080},
                        .List2 = {4980, 420, 2535, 4200},
                        .Text1 = {2520, 3580, 2365, 330},
                        .Command1 = {2520, 3960, 2365, 660},
                        .Label1 = {60, 60, 7465, 315},
                        .Picture1 = {4900, 420, 135, 3080}});

    layOutPanes({6810, 5130, Normal}, panes);
    expectPanes(panes, {.Drive1 = {60, 420, 2355, 315},
                        .Dir1 = {60, 780, 2355, 2340},
                        .File1 = {60, 3180, 2355, 1490},
                        .List1 = {2520, 420, 1955, 3080},
                        .List2 = {4570, 420, 2040, 4200},
                        .Text1 = {2520, 3580, 1955, 330},
                        .Command1 = {2520, 3960, 1955, 660},
                        .Label1 = {60, 60, 6560, 315},
                        .Picture1 = {4490, 420, 135, 3080}});
}

// The window starts 5130 high; its first size change heightens it to 5490.
TEST(Layout, FirstShowHeightensToMinimum)
{
    const Result r = play({});
    EXPECT_EQ(r.window.width, 7715);
    EXPECT_EQ(r.window.height, 5490);
    expectPanes(r.panes, {.Drive1 = {60, 420, 2355, 315},
                          .Dir1 = {60, 780, 2355, 2340},
                          .File1 = {60, 3180, 2355, 1850},
                          .List1 = {2520, 420, 2365, 3440},
                          .List2 = {4980, 420, 2535, 4560},
                          .Text1 = {2520, 3940, 2365, 330},
                          .Command1 = {2520, 4320, 2365, 660},
                          .Label1 = {60, 60, 7465, 315},
                          .Picture1 = {4900, 420, 135, 3440}});
    EXPECT_EQ(r.state.SplitterLeft, 4860);
    EXPECT_EQ(r.state.LayoutFlag, 0);
}

using test::PrintTo;

struct Scenario {
    const char* name;
    std::vector<Event> events;
    std::vector<Length> lengths;
    std::int16_t splitterLeft;
    std::int16_t layoutFlag;
    Twips windowWidth;
    Twips windowHeight;
};

class LayoutScenario : public testing::TestWithParam<Scenario> {};

TEST_P(LayoutScenario, EndsWithTheseLengths)
{
    const Scenario& s = GetParam();
    const Result r = play(s.events);
    expectLengths(r.panes, s.lengths);
    EXPECT_EQ(r.state.SplitterLeft, s.splitterLeft);
    EXPECT_EQ(r.state.LayoutFlag, s.layoutFlag);
    EXPECT_EQ(r.window.width, s.windowWidth);
    EXPECT_EQ(r.window.height, s.windowHeight);
}

// The lengths that stay as they were at the first show when the bar does not move.
const std::vector<Length> kBarUnmoved = {
    {AT(Picture1, left), 4900}, {AT(List2, left), 4980}, {AT(List2, width), 2535}, {AT(List1, width), 2365}};

INSTANTIATE_TEST_SUITE_P(
    Layout, LayoutScenario,
    testing::Values(
        Scenario{"narrowed_to_6810",
                 {resize(6810, 5490)},
                 {{AT(Picture1, left), 4490},
                  {AT(List2, left), 4570},
                  {AT(List2, width), 2040},
                  {AT(List1, width), 1955},
                  {AT(Text1, width), 1955},
                  {AT(Command1, width), 1955},
                  {AT(Label1, width), 6560}},
                 4860,
                 0,
                 6810,
                 5490},
        // The size change to the minimum raises a nested layout at 6810 x 4000,
        // whose own height change raises one at 6810 x 5490.
        Scenario{"small_window_enlarged_to_minimum",
                 {resize(5000, 4000)},
                 {{AT(File1, height), 1850},
                  {AT(List2, height), 4560},
                  {AT(List1, height), 3440},
                  {AT(Picture1, height), 3440},
                  {AT(Command1, top), 4320},
                  {AT(Text1, top), 3940},
                  {AT(Label1, width), 6560},
                  {AT(Picture1, left), 4490},
                  {AT(List2, left), 4570},
                  {AT(List2, width), 2040},
                  {AT(List1, width), 1955}},
                 4860,
                 0,
                 6810,
                 5490},
        // Every negative width or height is refused and keeps the old value;
        // tops may go negative.
        Scenario{"minimized_size_change_refused",
                 {resize(2400, 540, Minimized)},
                 {{AT(File1, height), 1850},
                  {AT(List2, height), 4560},
                  {AT(List1, height), 3440},
                  {AT(Picture1, height), 3440},
                  {AT(Command1, top), -630},
                  {AT(Text1, top), -1010},
                  {AT(Label1, width), 2150},
                  {AT(List1, width), 2365},
                  {AT(Picture1, left), 4490},
                  {AT(List2, left), 4570},
                  {AT(List2, width), 2535}},
                 4860,
                 0,
                 2400,
                 540},
        Scenario{"restored_after_minimize",
                 {resize(2400, 540, Minimized), resize(7715, 5490)},
                 {{AT(Picture1, left), 4900},
                  {AT(List2, left), 4980},
                  {AT(List2, width), 2535},
                  {AT(List1, width), 2365},
                  {AT(File1, height), 1850},
                  {AT(Command1, top), 4320},
                  {AT(Text1, top), 3940},
                  {AT(Label1, width), 7465}},
                 4860,
                 0,
                 7715,
                 5490},
        Scenario{"drag_by_500",
                 {press(60), move(1, 560)},
                 {{AT(Picture1, left), 5400},
                  {AT(Picture1, top), 420},
                  {AT(List2, left), 5480},
                  {AT(List2, width), 2035},
                  {AT(List1, width), 2865},
                  {AT(Text1, width), 2865},
                  {AT(Command1, width), 2865}},
                 5400,
                 0,
                 7715,
                 5490},
        Scenario{
            "drag_keeps_press_point",
            {press(60), move(1, 560), move(1, 560)},
            {{AT(Picture1, left), 5900}, {AT(List2, left), 5980}, {AT(List2, width), 1535}, {AT(List1, width), 3365}},
            5900,
            0,
            7715,
            5490},
        Scenario{
            "drag_stops_at_left_limit",
            {press(60), move(1, -1000)},
            {{AT(Picture1, left), 4490}, {AT(List2, left), 4570}, {AT(List2, width), 2945}, {AT(List1, width), 1955}},
            4490,
            0,
            7715,
            5490},
        Scenario{
            "drag_stops_at_right_limit",
            {press(60), move(1, 2160)},
            {{AT(Picture1, left), 6560}, {AT(List2, left), 6640}, {AT(List2, width), 875}, {AT(List1, width), 4025}},
            6560,
            0,
            7715,
            5490},
        Scenario{"move_without_button", {press(60), move(0, 560)}, kBarUnmoved, 4860, 0, 7715, 5490},
        Scenario{"move_with_right_button", {press(60), move(2, 560)}, kBarUnmoved, 4860, 0, 7715, 5490},
        Scenario{"move_with_left_and_right", {press(60), move(3, 560)}, kBarUnmoved, 4860, 0, 7715, 5490},
        Scenario{"move_with_middle_button", {press(60), move(4, 560)}, kBarUnmoved, 4860, 0, 7715, 5490},
        Scenario{"move_with_left_and_middle", {press(60), move(5, 560)}, kBarUnmoved, 4860, 0, 7715, 5490},
        Scenario{"move_to_no_position",
                 {press(60), move(1, std::numeric_limits<float>::quiet_NaN())},
                 kBarUnmoved,
                 4860,
                 0,
                 7715,
                 5490},
        Scenario{"tie_rounds_down_to_even",
                 {press(0), move(1, -39.5f)},
                 {{AT(Picture1, left), 4860.5f},
                  {AT(List2, left), 4940.5f},
                  {AT(List2, width), 2574.5f},
                  {AT(List1, width), 2325.5f}},
                 4860,
                 0,
                 7715,
                 5490},
        Scenario{
            "tie_rounds_up_to_even", {press(0), move(1, -38.5f)}, {{AT(Picture1, left), 4861.5f}}, 4862, 0, 7715, 5490},
        Scenario{"maximized",
                 {resize(15360, 11520, Maximized)},
                 {{AT(Picture1, left), 12545},
                  {AT(List2, left), 12625},
                  {AT(List2, width), 2535},
                  {AT(List2, height), 10590},
                  {AT(List1, width), 10010}},
                 4860,
                 1,
                 15360,
                 11520},
        Scenario{"maximize_restore_returns_to_load_position",
                 {resize(15360, 11520, Maximized), resize(7715, 5490)},
                 {{AT(Picture1, left), 4860},
                  {AT(List2, left), 4940},
                  {AT(List2, width), 2575},
                  {AT(List1, width), 2325},
                  {AT(Text1, width), 2325},
                  {AT(Command1, width), 2325}},
                 4860,
                 0,
                 7715,
                 5490},
        Scenario{
            "drag_while_maximized_then_restore",
            {resize(15360, 11520, Maximized), press(60), move(1, -6485), resize(7715, 5490)},
            {{AT(Picture1, left), 6000}, {AT(List2, left), 6080}, {AT(List2, width), 1435}, {AT(List1, width), 3465}},
            6000,
            0,
            7715,
            5490},
        // The bar was dragged to 14000 with List2 1080 wide. Putting it back
        // would make List2 negative, so the restore keeps List2's width and the
        // flag stays set.
        Scenario{"restore_with_remembered_bar_beyond_window",
                 {resize(15360, 11520, Maximized), press(60), move(1, 1515), resize(7715, 5490)},
                 {{AT(Picture1, left), 6355},
                  {AT(List2, left), 6435},
                  {AT(List2, width), 1080},
                  {AT(List1, width), 3820},
                  {AT(Text1, width), 3820},
                  {AT(Command1, width), 3820}},
                 14000,
                 1,
                 7715,
                 5490},
        Scenario{"bar_put_back_once_window_is_wide_enough",
                 {resize(15360, 11520, Maximized), press(60), move(1, 1515), resize(7715, 5490), resize(14500, 5490)},
                 {{AT(Picture1, left), 14000},
                  {AT(List2, left), 14080},
                  {AT(List2, width), 220},
                  {AT(List1, width), 11465},
                  {AT(Label1, width), 14250}},
                 14000,
                 0,
                 14500,
                 5490},
        // A bar position beyond the 16-bit range is not remembered; the drag
        // still moves the bar.
        Scenario{"drag_beyond_16_bit_range",
                 {resize(60000, 40000, Maximized), press(60), move(1, -40)},
                 {{AT(Picture1, left), 57085}, {AT(List2, left), 57165}, {AT(List2, width), 2635}},
                 4860,
                 1,
                 60000,
                 40000},
        Scenario{"restore_after_drag_beyond_16_bit_range",
                 {resize(60000, 40000, Maximized), press(60), move(1, -40), resize(7715, 5490)},
                 {{AT(Picture1, left), 4860}, {AT(List2, left), 4940}, {AT(List2, width), 2575}},
                 4860,
                 0,
                 7715,
                 5490}),
    test::CaseName());

TEST(Layout, ReleaseRestoresBarColour) { EXPECT_EQ(splitterMouseUp(), BarColour::ButtonFace); }

struct RoundCase {
    const char* name;
    float value;
    std::optional<std::int16_t> expected;
};

class RoundToInt16 : public testing::TestWithParam<RoundCase> {};

TEST_P(RoundToInt16, NearestTiesToEven) { EXPECT_EQ(roundToInt16(GetParam().value), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(
    Layout, RoundToInt16,
    testing::Values(RoundCase{"tie_4860_5_down", 4860.5f, 4860}, RoundCase{"tie_4861_5_up", 4861.5f, 4862},
                    RoundCase{"below_half", 4860.25f, 4860}, RoundCase{"above_half", 4860.75f, 4861},
                    RoundCase{"negative_tie", -1.5f, -2}, RoundCase{"largest", 32767.25f, 32767},
                    RoundCase{"tie_past_largest", 32767.5f, std::nullopt}, RoundCase{"smallest_tie", -32768.5f, -32768},
                    RoundCase{"below_smallest", -32768.75f, std::nullopt},
                    RoundCase{"not_a_number", std::numeric_limits<float>::quiet_NaN(), std::nullopt},
                    RoundCase{"infinite", std::numeric_limits<float>::infinity(), std::nullopt}),
    test::CaseName());

}  // namespace
}  // namespace keyloom::layout

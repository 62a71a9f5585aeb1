#include "layout/layout.h"

#include <cmath>
#include <limits>

namespace keyloom::layout {

namespace {

constexpr Twips kLeftmostBar = 4490;
constexpr Twips kBarLimitFromRight = 1155;
constexpr Twips kBarToList2 = 80;
constexpr Twips kList2RightMargin = 200;
constexpr Twips kList1WidthReserve = 460;
constexpr Twips kFile1HeightReserve = 1300;
constexpr Twips kList2HeightReserve = 930;
constexpr Twips kList1HeightReserve = 2050;
constexpr Twips kCommand1BottomReserve = 510;
constexpr Twips kText1BottomReserve = 560;
constexpr Twips kLabel1WidthReserve = 250;

// A control refuses a negative width or height and keeps the old one; a
// value that is not a number is refused too, so no pane ever holds one.
bool setLength(Twips& length, Twips value)
{
    if (!(value >= 0))
        return false;
    length = value;
    return true;
}

// A minimized or maximized window refuses to change its own size.
bool setWindowLength(const Window& window, Twips& length, Twips value)
{
    if (window.state != WindowState::Normal)
        return false;
    return setLength(length, value);
}

// The lists on either side of the bar follow its left edge. Each assignment
// that is refused is passed over.
void fitListsToBar(const Window& window, Panes& panes)
{
    panes.List2.left = panes.Picture1.left + kBarToList2;
    setLength(panes.List2.width, window.width - panes.List2.left - kList2RightMargin);
    setLength(panes.List1.width, window.width - panes.List2.width - panes.File1.width - kList1WidthReserve);
    setLength(panes.Text1.width, panes.List1.width);
    setLength(panes.Command1.width, panes.List1.width);
}

}  // namespace

std::optional<std::int16_t> roundToInt16(Twips value)
{
    const double rounded = std::nearbyint(static_cast<double>(value));
    if (!(rounded >= std::numeric_limits<std::int16_t>::min() && rounded <= std::numeric_limits<std::int16_t>::max()))
        return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

Panes initialPanes()
{
    Panes p;
    p.Drive1 = {60, 420, 2355, 315};
    p.Dir1 = {60, 780, 2355, 2340};
    p.File1 = {60, 3180, 2355, 1455};
    p.List1 = {2520, 420, 2355, 3180};
    p.List2 = {4980, 420, 2535, 4200};
    p.Text1 = {2520, 3660, 2355, 330};
    p.Command1 = {2520, 3960, 2355, 660};
    p.Label1 = {60, 60, 7455, 315};
    p.Picture1 = {4860, 420, 135, 3195};
    return p;
}

void formResize(Window& window, Panes& panes, LayoutState& state)
{
    // Growing the window raises the size change again at once; that nested run
    // lays everything out, and this run then goes on with the new size.
    if (window.width < kMinimumWidth && setWindowLength(window, window.width, kMinimumWidth))
        formResize(window, panes, state);
    if (window.height < kMinimumHeight && setWindowLength(window, window.height, kMinimumHeight))
        formResize(window, panes, state);

    if (window.state == WindowState::Maximized)
        state.LayoutFlag = 1;
    if (window.state == WindowState::Normal && state.LayoutFlag == 1)
        getBack(window, panes, state);  // a failure leaves the flag set for the next size change

    layOutPanes(window, panes);
}

void layOutPanes(const Window& window, Panes& panes)
{
    const Twips w = window.width;
    const Twips h = window.height;
    setLength(panes.File1.height, h - panes.Dir1.height - kFile1HeightReserve);
    setLength(panes.List2.height, h - kList2HeightReserve);
    setLength(panes.List1.height, h - kList1HeightReserve);
    setLength(panes.Picture1.height, panes.List1.height);
    panes.Command1.top = h - panes.Command1.height - kCommand1BottomReserve;
    panes.Text1.top = h - panes.Command1.height - panes.Text1.height - kText1BottomReserve;
    setLength(panes.Label1.width, w - kLabel1WidthReserve);
    setLength(panes.List1.width, w - panes.List2.width - panes.File1.width - kList1WidthReserve);

    // List2 keeps its width and moves with the right edge, unless that would
    // push the bar past its leftmost position; then List2 narrows instead.
    panes.List2.left = w - panes.List2.width - kList2RightMargin;
    panes.Picture1.left = panes.List2.left - kBarToList2;
    if (panes.Picture1.left < kLeftmostBar)
        panes.Picture1.left = kLeftmostBar;
    fitListsToBar(window, panes);
}

bool getBack(const Window& window, Panes& panes, LayoutState& state)
{
    panes.Picture1.left = static_cast<Twips>(state.SplitterLeft);
    panes.List2.left = panes.Picture1.left + kBarToList2;
    if (!setLength(panes.List2.width, window.width - panes.List2.left - kList2RightMargin))
        return false;
    if (!setLength(panes.List1.width, window.width - panes.List2.width - panes.File1.width - kList1WidthReserve))
        return false;
    panes.Text1.width = panes.List1.width;
    panes.Command1.width = panes.List1.width;
    state.LayoutFlag = 0;
    return true;
}

BarColour splitterMouseDown(float x, LayoutState& state)
{
    state.DragStartX = x;
    return BarColour::Black;
}

void splitterMouseMove(int buttons, float x, const Window& window, Panes& panes, LayoutState& state)
{
    // Any other combination of buttons is not a drag. A pointer position that
    // is not a finite number would leave the bar nowhere.
    if (buttons != 1 || !std::isfinite(x))
        return;
    // x is measured from the bar, which moved under the pointer at the last
    // step, so the bar moves by the pointer's distance from the press point.
    panes.Picture1.left = panes.Picture1.left + (x - state.DragStartX);
    if (panes.Picture1.left < kLeftmostBar)
        panes.Picture1.left = kLeftmostBar;
    if (panes.Picture1.left > window.width - kBarLimitFromRight)
        panes.Picture1.left = window.width - kBarLimitFromRight;
    fitListsToBar(window, panes);
    if (const auto left = roundToInt16(panes.Picture1.left))
        state.SplitterLeft = *left;
}

BarColour splitterMouseUp() { return BarColour::ButtonFace; }

}  // namespace keyloom::layout

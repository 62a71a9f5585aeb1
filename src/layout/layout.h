#pragma once
// Where the main window's panes go: how they follow the window's size and the
// splitter bar. Plain arithmetic in twips; the window applies the results to
// its widgets (pixels = twips / 15).

#include <cstdint>
#include <optional>

namespace keyloom::layout {

// Every length is single precision, as the controls hold it, so a drag by a
// fractional pointer distance rounds exactly as it does there.
using Twips = float;

enum class WindowState { Normal, Minimized, Maximized };

// The smallest outer size the window may take.
constexpr Twips kMinimumWidth = 6810;
constexpr Twips kMinimumHeight = 5490;

// The splitter bar is black while it is held and button-face coloured otherwise.
enum class BarColour { Black, ButtonFace };

struct Box {
    Twips left;
    Twips top;
    Twips width;
    Twips height;
    bool operator==(const Box&) const = default;
};

struct Panes {
    Box Drive1, Dir1, File1, List1, List2, Text1, Command1, Label1, Picture1;
    bool operator==(const Panes&) const = default;
};

// The panes as the window is created, before its first size change.
Panes initialPanes();

// The window as its size-change handler sees it: outer size, frame and title
// bar included.
struct Window {
    Twips width;
    Twips height;
    WindowState state;
};

struct LayoutState {
    // 1 once the window has been seen maximized, until the bar is put back.
    std::int16_t LayoutFlag = 0;
    // The bar's remembered left edge; the window sets it on load to the bar's
    // start position with roundToInt16.
    std::int16_t SplitterLeft = 0;
    // Where in the bar the pointer was pressed.
    float DragStartX = 0;
};

// `value` rounded to the nearest integer, ties to even; nothing when the result
// lies outside the 16-bit range or `value` is not a number.
std::optional<std::int16_t> roundToInt16(Twips value);

// Lays the panes out for the window's current size and state. A normal window
// smaller than the minimum size is enlarged first, so `window` may come back
// larger and the caller then resizes the real window to it. Returning from the
// maximized state puts the bar back at SplitterLeft (getBack). Never changes
// SplitterLeft or DragStartX.
void formResize(Window& window, Panes& panes, LayoutState& state);

// Fits the panes to the window's size as it stands, the part of formResize
// after the minimum size and the bar's return: List2 keeps its width unless the
// bar would pass its leftmost position. A negative width or height is refused
// and the old one kept. Leaves `window` and the bar's width untouched.
void layOutPanes(const Window& window, Panes& panes);

// Puts the bar back at SplitterLeft and refits the lists beside it, then clears
// LayoutFlag. Stops at the first width that would be negative, leaving that
// width, the later ones and LayoutFlag as they were, and returns false.
bool getBack(const Window& window, Panes& panes, LayoutState& state);

// A press on the bar with any button: remembers where it was pressed and
// returns the colour the bar takes while held.
BarColour splitterMouseDown(float x, LayoutState& state);

// A pointer move over the bar, `x` measured from the bar's left edge. Only with
// the left button alone held (`buttons` == 1): moves the bar by the distance
// from the press point, within [4490, window width - 1155], refits the lists
// and remembers the bar's position. Leaves LayoutFlag and DragStartX alone.
void splitterMouseMove(int buttons, float x, const Window& window, Panes& panes, LayoutState& state);

// A release with any button: the colour the bar returns to. Nothing is laid
// out, since the panes already followed every move.
BarColour splitterMouseUp();

}  // namespace keyloom::layout

#pragma once
// Qt's own texts (the Yes and No buttons, the edit box's context menu) in
// German, to match the rest of the window.

namespace keyloom {

// Loads and installs Qt's German translation; false when it is missing.
bool installGermanQtTexts();

}  // namespace keyloom

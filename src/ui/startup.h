#pragma once
// Start-up: one copy only, the window shown, and the command-line file
// selected as if the user had clicked it.

#include "ui/appmodul.h"

#include <QString>
#include <memory>

namespace keyloom {

class Form1;
class SingleInstance;

// Runs start-up with the whole command-line argument text. Returns the shown
// window, or nullptr when another copy already runs.
std::unique_ptr<Form1> Main(const QString& argumentText, AppModul& app, SingleInstance& instance);

// The folder that holds `file`, for the folder and file lists. An absolute
// Unix path has no drive letter, so the root that the folder part drops is
// put back in front of it.
QString StartupFolder(const QString& file);

}  // namespace keyloom

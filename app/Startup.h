// Start-up: the main window, the hidden style catalogue, the first show, the event loop.
#pragma once

#include "branding/ResourcesUpdateDll.h"

#include <filesystem>

namespace app {

// Runs the updater in the QApplication that exists; returns the process's exit code: 0 once
// the main window has closed, 1 after a fatal error while it was first shown.
int runUpdater(const branding::ResourcesUpdateDll& resources,
               const std::filesystem::path& updaterDirectory);

}  // namespace app

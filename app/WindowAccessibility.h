// What assistive technology is told of the main window. A plain widget at the top is announced
// as a nameless "filler"; the updater's window is announced as a window, under its accessible
// name from the layout. The controls keep Qt's own interfaces (their texts are their names).
#pragma once

namespace app {

// Installs the interface for TUpdateFrm; once per process, later calls do nothing.
void announceMainWindowAsWindow();

}  // namespace app

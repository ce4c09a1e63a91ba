// The window's title bar is empty. Qt never shows an empty title: it puts the application's
// name there instead, on X11 in the window's _NET_WM_NAME. So once the window exists, that
// property is taken off it again, and the title bar falls back to the (empty) WM_NAME.
// On other systems, or without an X11 connection (offscreen), this does nothing.
#pragma once

class QWidget;

namespace app {

// window must have been shown (it has its native window then).
void clearTitleBar(QWidget& window);

}  // namespace app

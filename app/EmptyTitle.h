// The window's title bar is empty. Qt never shows an empty title: it puts the application's
// name there instead. So once the window exists, the name is taken off it again: on X11 from
// the window's _NET_WM_NAME, so that the title bar falls back to the (empty) WM_NAME
// (EmptyTitle_x11.cpp); on Windows the native window's text is set to the empty text
// (EmptyTitle_win.cpp). Without a native window system (offscreen) this does nothing.
#pragma once

class QWidget;

namespace app {

// window must have been shown (it has its native window then).
void clearTitleBar(QWidget& window);

}  // namespace app

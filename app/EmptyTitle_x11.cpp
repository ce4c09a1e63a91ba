#include "app/EmptyTitle.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <cstdlib>
#include <cstring>

namespace app {

void clearTitleBar(QWidget& window) {
  const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return;
  xcb_connection_t* connection = x11->connection();
  constexpr char kName[] = "_NET_WM_NAME";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 1, std::strlen(kName), kName), nullptr);
  if (atom == nullptr) return;
  if (atom->atom != XCB_ATOM_NONE)
    xcb_delete_property(connection, static_cast<xcb_window_t>(window.winId()), atom->atom);
  std::free(atom);
  xcb_flush(connection);
}

}  // namespace app

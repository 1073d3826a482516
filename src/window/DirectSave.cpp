#include "window/DirectSave_p.h"

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace arkelin::window::xds {

namespace {

xcb_connection_t* Connection() {
  if (!qGuiApp || QGuiApplication::platformName() != QStringLiteral("xcb")) return nullptr;
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  return x11 ? x11->connection() : nullptr;
}

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* r =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  const xcb_atom_t a = r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
  std::free(r);
  return a;
}

xcb_window_t Owner(xcb_connection_t* c) {
  xcb_get_selection_owner_reply_t* r =
      xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, Atom(c, "XdndSelection")), nullptr);
  const xcb_window_t w = r ? r->owner : static_cast<xcb_window_t>(XCB_WINDOW_NONE);
  std::free(r);
  return w;
}

}  // namespace

bool Available() { return Connection() != nullptr; }

bool Offer(const QByteArray& name) {
  xcb_connection_t* c = Connection();
  if (!c) return false;
  const xcb_window_t w = Owner(c);
  if (w == XCB_WINDOW_NONE) return false;
  xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, Atom(c, "XdndDirectSave0"), Atom(c, "text/plain"), 8,
                      static_cast<uint32_t>(name.size()), name.constData());
  xcb_flush(c);
  return true;
}

QByteArray Read() {
  xcb_connection_t* c = Connection();
  if (!c) return {};
  const xcb_window_t w = Owner(c);
  if (w == XCB_WINDOW_NONE) return {};
  xcb_get_property_reply_t* r = xcb_get_property_reply(
      c, xcb_get_property(c, 0, w, Atom(c, "XdndDirectSave0"), XCB_GET_PROPERTY_TYPE_ANY, 0, 16384), nullptr);
  QByteArray value;
  if (r && r->format == 8)
    value = QByteArray(static_cast<const char*>(xcb_get_property_value(r)), xcb_get_property_value_length(r));
  std::free(r);
  return value;
}

void Withdraw() {
  xcb_connection_t* c = Connection();
  if (!c) return;
  const xcb_window_t w = Owner(c);
  if (w != XCB_WINDOW_NONE) xcb_delete_property(c, w, Atom(c, "XdndDirectSave0"));
  xcb_flush(c);
}

}  // namespace arkelin::window::xds

// The X11 side of the direct-save protocol (XDS) for DragOut: the
// XdndDirectSave0 property of the window that owns XdndSelection during a
// drag (the source window a drop target is told of). Everything answers
// false or empty where the window system is not X11. Internal to the window.
#pragma once

#include <QByteArray>

namespace arkelin::window::xds {

// True when the program runs on X11.
bool Available();
// Puts the proposed file name into the property (type text/plain); false
// when no drag owns XdndSelection.
bool Offer(const QByteArray& name);
// What the property holds now (the drop target's URI once it wrote one).
QByteArray Read();
// Removes the property again.
void Withdraw();

}  // namespace arkelin::window::xds

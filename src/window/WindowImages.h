// The archive window's own images (toolbar buttons and the file-type images
// of the list) from its resources. Each is there at its size and at twice
// that size (the "@2x" file, drawn from the same source by
// images/make_images.py), and the icon holds both, so a screen scaled by two
// gets an image drawn for it instead of an enlarged one. The toolbar images
// have variants for a dark desktop ("dark_"), whose edges are lighter than
// their fill.
#pragma once

#include <QIcon>
#include <QString>

namespace arkelin::window {

// A toolbar button's icon: image "off_NAME" normally and when disabled,
// "on_NAME" under the mouse (the Active mode of a raised button), 32 px;
// the "dark_" variants for a dark ground.
QIcon ToolbarIcon(const QString& name, bool darkGround = false);
// Whether a palette's buttons are dark (a dark desktop).
bool DarkGround(const QPalette& palette);
// One of the file-type images ("large_default", "small_exe", ...) at its
// size (32 or 16 px).
QIcon FileTypeImage(const QString& name, int size);

}  // namespace arkelin::window

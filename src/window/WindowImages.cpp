#include "window/WindowImages.h"

#include <QPalette>

namespace arkelin::window {

namespace {

void AddBothSizes(QIcon& icon, const QString& name, int size, QIcon::Mode mode) {
  const QString base = QStringLiteral(":/window/") + name;
  icon.addFile(base + QStringLiteral(".png"), QSize(size, size), mode);
  icon.addFile(base + QStringLiteral("@2x.png"), QSize(2 * size, 2 * size), mode);
}

}  // namespace

QIcon ToolbarIcon(const QString& name, bool darkGround) {
  const QString prefix = darkGround ? QStringLiteral("dark_") : QString();
  QIcon icon;
  AddBothSizes(icon, prefix + QStringLiteral("off_") + name, 32, QIcon::Normal);
  AddBothSizes(icon, prefix + QStringLiteral("on_") + name, 32, QIcon::Active);
  AddBothSizes(icon, prefix + QStringLiteral("off_") + name, 32, QIcon::Disabled);
  return icon;
}

bool DarkGround(const QPalette& palette) { return palette.color(QPalette::Button).lightness() < 128; }

QIcon FileTypeImage(const QString& name, int size) {
  QIcon icon;
  AddBothSizes(icon, name, size, QIcon::Normal);
  return icon;
}

}  // namespace arkelin::window

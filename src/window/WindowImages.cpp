#include "window/WindowImages.h"

namespace arkelin::window {

namespace {

void AddBothSizes(QIcon& icon, const QString& name, int size, QIcon::Mode mode) {
  const QString base = QStringLiteral(":/window/") + name;
  icon.addFile(base + QStringLiteral(".png"), QSize(size, size), mode);
  icon.addFile(base + QStringLiteral("@2x.png"), QSize(2 * size, 2 * size), mode);
}

}  // namespace

QIcon ToolbarIcon(const QString& name) {
  QIcon icon;
  AddBothSizes(icon, QStringLiteral("off_") + name, 32, QIcon::Normal);
  AddBothSizes(icon, QStringLiteral("on_") + name, 32, QIcon::Active);
  AddBothSizes(icon, QStringLiteral("off_") + name, 32, QIcon::Disabled);
  return icon;
}

QIcon FileTypeImage(const QString& name, int size) {
  QIcon icon;
  AddBothSizes(icon, name, size, QIcon::Normal);
  return icon;
}

}  // namespace arkelin::window

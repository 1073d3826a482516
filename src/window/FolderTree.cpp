#include "window/FolderTree.h"

#include <QDir>
#include <QFileInfo>

namespace arkelin::window {

QString MakeFolderIn(const QString& parent, const QString& name) {
  QString n = name;
  while (n.endsWith(u'\\') || n.endsWith(u'/')) n.chop(1);
  if (n.isEmpty()) return {};
  const QString path = QDir(parent).filePath(n);
  if (QFileInfo(path).exists()) return {};
  if (!QDir().mkdir(path)) return {};
  return path;
}

}  // namespace arkelin::window

#include "window/FolderTree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>

namespace arkelin::window {

FolderTree::FolderTree(QWidget* parent) : QTreeView(parent), fs_(new QFileSystemModel(this)) {
  fs_->setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Drives);
  fs_->setReadOnly(true);
  fs_->setRootPath(QStringLiteral("/"));
  setModel(fs_);
  for (int c = 1; c < fs_->columnCount(); ++c) hideColumn(c);
  header()->hide();
  setSortingEnabled(true);
  sortByColumn(0, Qt::AscendingOrder);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& cur) {
    if (!cur.isValid()) return;
    folder_ = fs_->filePath(cur);
    emit FolderChanged(folder_);
  });
}

void FolderTree::SetFolder(const QString& folder) {
  QString f = QDir::cleanPath(folder.isEmpty() ? QDir::homePath() : folder);
  while (!QFileInfo(f).isDir() && f != QStringLiteral("/")) f = QFileInfo(f).absolutePath();
  const QModelIndex idx = fs_->index(f);
  folder_ = f;
  if (idx.isValid()) {
    setCurrentIndex(idx);
    scrollTo(idx);
    expand(idx);
  }
  emit FolderChanged(folder_);
}

void FolderTree::Reload() {
  // The model watches the folders it has read; asking again for the root
  // picks up folders made since.
  const QString f = folder_;
  fs_->setRootPath(QString());
  fs_->setRootPath(QStringLiteral("/"));
  SetFolder(f);
}

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

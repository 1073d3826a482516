// FolderTree: the folder tree of the extract and Add windows.
//
// A tree of the file system's folders (no files), loaded on demand and sorted
// by name without regard to case; hidden folders are left out. The folder the
// caller asked for is selected and shown; Folder() answers the selected
// folder as a disk path without a trailing separator (except "/").
//
// TODO: the shared directory tree with its root nodes for the home folder and
// each mounted volume replaces this small local tree once it is built.
#pragma once

#include <QString>
#include <QTreeView>

class QFileSystemModel;

namespace arkelin::window {

class FolderTree : public QTreeView {
  Q_OBJECT
 public:
  explicit FolderTree(QWidget* parent = nullptr);

  // Selects folder (the nearest existing parent when it does not exist).
  void SetFolder(const QString& folder);
  QString Folder() const { return folder_; }
  // Re-reads the folders below the selected one (after a new folder was made).
  void Reload();

 signals:
  void FolderChanged(const QString& folder);

 private:
  QFileSystemModel* fs_ = nullptr;
  QString folder_;
};

// Creates the folder `name` inside `parent`: "\" or "/" at the end of the
// answer is ignored. Answers the new folder's path, empty on failure.
QString MakeFolderIn(const QString& parent, const QString& name);

}  // namespace arkelin::window

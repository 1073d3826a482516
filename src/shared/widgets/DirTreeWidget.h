// TDirTreeWidget: the folder tree as the extract window, the Add window and
// the folder browser embed it. A thin QTreeWidget over the TDirTree core: the
// core owns the nodes and the selection; this class only mirrors them as
// items, forwards expansions, clicks and selections, picks the icons, and
// polls the mount table every two seconds for volumes that come and go.
#pragma once

#include <QTreeWidget>
#include <string>

#include "shared/DirTree.h"

class QTimer;

namespace arkelin::shared {

class TDirTreeWidget : public QTreeWidget, private IDirTreeView {
  Q_OBJECT
 public:
  // Builds the top level at once (when the core's ReadOnStart is set) and
  // selects the current folder; callers then select their own folder.
  explicit TDirTreeWidget(QWidget* parent = nullptr);
  ~TDirTreeWidget() override;

  // The core, for its properties and events (OnChange is taken by this
  // widget: listen to changed() instead).
  TDirTree& Tree() { return tree_; }

  bool SelectPath(const std::string& path) { return tree_.SelectPath(path); }
  std::string SelectedPath() const { return tree_.SelectedPath(); }
  void ReloadTree() { tree_.ReloadTree(); }
  void SelectDrive(const std::string& root) { tree_.SelectDrive(root); }

  // For the windows: the selected folder as a disk path without its
  // trailing separator ("/" stays; empty when nothing is selected), and
  // selection of a folder, or of its nearest existing parent when it is gone.
  QString Folder() const;
  void SetFolder(const QString& folder);
  void Reload() { ReloadTree(); }

  // The item showing node, or null.
  QTreeWidgetItem* ItemOf(const TDirNode* node) const;
  // The node an item shows (null for a placeholder).
  static TDirNode* NodeOf(const QTreeWidgetItem* item);

  // How often the mount table is compared (0 stops it).
  void SetDevicePollInterval(int ms);

 signals:
  // The selected folder changed (from the user or the program).
  void changed();
  // The same, with Folder().
  void FolderChanged(const QString& folder);

 private:
  void BeginUpdate() override;
  void EndUpdate() override;
  void ChildrenReset(TDirNode* parent) override;
  void NodeChanged(TDirNode& node) override;
  void Selected(TDirNode* node) override;

  QTreeWidgetItem* MakeItem(TDirNode& node);
  void FillChildren(QTreeWidgetItem* item, TDirNode& node);
  void SetIcon(QTreeWidgetItem* item, const TDirNode& node);

  TDirTree tree_;
  QTimer* poll_ = nullptr;
  int updateDepth_ = 0;
  bool syncing_ = false;
};

}  // namespace arkelin::shared

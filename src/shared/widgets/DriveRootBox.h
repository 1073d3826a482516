// TDriveRootBox: the box of top-level roots beside a folder tree (the
// extract window's drive box). It lists the roots the tree shows, follows
// the tree's selection, and moves the tree to the last folder used on the
// root the user picks.
#pragma once

#include <QComboBox>

namespace arkelin::shared {

class TDirTreeWidget;

class TDriveRootBox : public QComboBox {
  Q_OBJECT
 public:
  // The box follows tree for its whole life; tree must outlive the box or
  // be its sibling in the same window.
  explicit TDriveRootBox(TDirTreeWidget* tree, QWidget* parent = nullptr);

  // Lists the tree's roots again and shows the root of its selection.
  void Refill();

 private:
  TDirTreeWidget* tree_;
  bool syncing_ = false;
};

}  // namespace arkelin::shared

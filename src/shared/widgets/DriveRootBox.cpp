// The roots box beside the folder tree.
#include "shared/widgets/DriveRootBox.h"

#include "shared/widgets/DirTreeWidget.h"

namespace arkelin::shared {

TDriveRootBox::TDriveRootBox(TDirTreeWidget* tree, QWidget* parent) : QComboBox(parent), tree_(tree) {
  setObjectName("DriveRootBox");
  connect(this, &QComboBox::activated, this, [this](int index) {
    if (syncing_ || index < 0) return;
    tree_->SelectDrive(itemData(index).toString().toStdString());
  });
  // Roots come and go with mounts; the list is short, so it is rebuilt on
  // every change of the tree's selection.
  connect(tree_, &TDirTreeWidget::changed, this, [this] { Refill(); });
  Refill();
}

void TDriveRootBox::Refill() {
  syncing_ = true;
  clear();
  for (const auto& n : tree_->Tree().Items())
    addItem(QString::fromStdString(n->Text).trimmed(), QString::fromStdString(n->Path));
  const std::string selected = tree_->SelectedPath();
  if (selected != "?") setCurrentIndex(findData(QString::fromStdString(tree_->Tree().RootOf(selected))));
  syncing_ = false;
}

}  // namespace arkelin::shared

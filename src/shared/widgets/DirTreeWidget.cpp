// The folder tree's items, mirrored from the core's nodes.
#include "shared/widgets/DirTreeWidget.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>
#include <QTimer>
#include <filesystem>

#include "platform/Paths.h"

namespace arkelin::shared {

namespace {
constexpr int kNodeRole = Qt::UserRole + 1;
}

TDirTreeWidget::TDirTreeWidget(QWidget* parent) : QTreeWidget(parent) {
  setObjectName("DirTree");
  setColumnCount(1);
  setHeaderHidden(true);
  setRootIsDecorated(true);
  setUniformRowHeights(true);

  tree_.SetView(this);
  tree_.OnChange = [this](TDirTree&, TDirNode*) {
    emit changed();
    emit FolderChanged(Folder());
  };

  connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    if (syncing_) return;  // opened by the core itself
    if (TDirNode* n = NodeOf(item)) tree_.Expanding(n);
  });
  connect(this, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* now, QTreeWidgetItem*) {
    if (syncing_) return;
    TDirNode* n = NodeOf(now);
    if (now && !n) return;  // a placeholder is never a selection
    tree_.UserSelect(n);
  });
  connect(this, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item, int) {
    if (TDirNode* n = NodeOf(item)) tree_.Clicked(n);
  });

  poll_ = new QTimer(this);
  connect(poll_, &QTimer::timeout, this, [this] { tree_.CheckDevices(); });
  poll_->start(2000);

  tree_.Create();
}

TDirTreeWidget::~TDirTreeWidget() {
  // The items go while the core still lives; nothing the base class does on
  // its way out may reach the core afterwards.
  poll_->stop();
  syncing_ = true;
  blockSignals(true);
  clear();
  tree_.SetView(nullptr);
  tree_.OnChange = nullptr;
}

QString TDirTreeWidget::Folder() const {
  std::string p = tree_.SelectedPath();
  if (p == "?") return QString();
  if (p.size() > 1 && p.back() == '/') p.pop_back();
  return QString::fromStdString(p);
}

void TDirTreeWidget::SetFolder(const QString& folder) {
  std::filesystem::path p = platform::ToFsPath(folder.toStdString());
  std::error_code ec;
  while (!p.empty() && !std::filesystem::is_directory(p, ec) && p != p.root_path()) p = p.parent_path();
  tree_.SelectPath(p.empty() ? std::string("?") : platform::FromFsPath(p));
}

void TDirTreeWidget::SetDevicePollInterval(int ms) {
  if (ms <= 0) {
    poll_->stop();
  } else {
    poll_->start(ms);
  }
}

TDirNode* TDirTreeWidget::NodeOf(const QTreeWidgetItem* item) {
  if (!item) return nullptr;
  return static_cast<TDirNode*>(item->data(0, kNodeRole).value<void*>());
}

QTreeWidgetItem* TDirTreeWidget::ItemOf(const TDirNode* node) const {
  return node ? static_cast<QTreeWidgetItem*>(node->ViewData) : nullptr;
}

void TDirTreeWidget::SetIcon(QTreeWidgetItem* item, const TDirNode& node) {
  QStyle* s = style();
  if (!node.IsTopLevel()) {
    item->setIcon(0, s->standardIcon(QStyle::SP_DirIcon));
    return;
  }
  QStyle::StandardPixmap p = QStyle::SP_DriveHDIcon;
  switch (node.Kind) {
    case platform::DriveType::Removable: p = QStyle::SP_DriveFDIcon; break;
    case platform::DriveType::Remote: p = QStyle::SP_DriveNetIcon; break;
    case platform::DriveType::CDRom: p = QStyle::SP_DriveCDIcon; break;
    default: break;
  }
  if (node.Path == platform::HomeFolder()) p = QStyle::SP_DirHomeIcon;
  item->setIcon(0, s->standardIcon(p));
}

QTreeWidgetItem* TDirTreeWidget::MakeItem(TDirNode& node) {
  auto* item = new QTreeWidgetItem();
  item->setData(0, kNodeRole, QVariant::fromValue<void*>(node.HasRecord ? &node : nullptr));
  node.ViewData = item;
  if (node.HasRecord) {
    item->setText(0, QString::fromStdString(node.Text));
    item->setToolTip(0, QString::fromStdString(node.Path));
    SetIcon(item, node);
  }
  FillChildren(item, node);
  return item;
}

void TDirTreeWidget::FillChildren(QTreeWidgetItem* item, TDirNode& node) {
  for (auto& c : node.Children) item->addChild(MakeItem(*c));
}

void TDirTreeWidget::BeginUpdate() {
  if (updateDepth_++ == 0) setUpdatesEnabled(false);
}

void TDirTreeWidget::EndUpdate() {
  if (updateDepth_ > 0 && --updateDepth_ == 0) setUpdatesEnabled(true);
}

void TDirTreeWidget::ChildrenReset(TDirNode* parent) {
  const bool was = syncing_;
  syncing_ = true;
  if (!parent) {
    clear();
    for (auto& n : tree_.Items()) addTopLevelItem(MakeItem(*n));
  } else if (QTreeWidgetItem* item = ItemOf(parent)) {
    const bool expanded = item->isExpanded();
    qDeleteAll(item->takeChildren());
    FillChildren(item, *parent);
    // A node read while it was open stays open with its new children.
    if (expanded && !item->isExpanded()) item->setExpanded(true);
  }
  syncing_ = was;
}

void TDirTreeWidget::NodeChanged(TDirNode& node) {
  if (QTreeWidgetItem* item = ItemOf(&node)) item->setText(0, QString::fromStdString(node.Text));
}

void TDirTreeWidget::Selected(TDirNode* node) {
  const bool was = syncing_;
  syncing_ = true;
  QTreeWidgetItem* item = ItemOf(node);
  // Open the way down to the selection; those levels are already read.
  for (QTreeWidgetItem* p = item ? item->parent() : nullptr; p; p = p->parent()) p->setExpanded(true);
  setCurrentItem(item);
  if (item) scrollToItem(item);
  syncing_ = was;
}

}  // namespace arkelin::shared

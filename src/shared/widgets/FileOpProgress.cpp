// The file operations' progress window.
#include "shared/widgets/FileOpProgress.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace arkelin::shared {

namespace {
// The bar counts in thousandths: byte totals overflow an int.
constexpr int kScale = 1000;
}

TFileOpProgressDialog::TFileOpProgressDialog(QWidget* parent, int showAfterMs)
    : QDialog(parent), showAfterMs_(showAfterMs) {
  setObjectName("FileOpProgress");
  setModal(false);
  auto* layout = new QVBoxLayout(this);
  item_ = new QLabel(this);
  item_->setObjectName("la_Item");
  item_->setMinimumWidth(380);
  item_->setWordWrap(true);
  bar_ = new QProgressBar(this);
  bar_->setObjectName("ProgressBar");
  bar_->setRange(0, kScale);
  bar_->setValue(0);
  cancelButton_ = new QPushButton("Cancel", this);
  cancelButton_->setObjectName("bu_Cancel");
  auto* buttons = new QDialogButtonBox(this);
  buttons->addButton(cancelButton_, QDialogButtonBox::RejectRole);
  layout->addWidget(item_);
  layout->addWidget(bar_);
  layout->addWidget(buttons);
  connect(cancelButton_, &QPushButton::clicked, this, [this] { cancel_ = true; });
  started_.start();
}

void TFileOpProgressDialog::reject() { cancel_ = true; }

void TFileOpProgressDialog::Start(const std::string& title, int64_t totalBytes) {
  setWindowTitle(QString::fromStdString(title));
  total_ = totalBytes;
  if (total_ > 0) {
    bar_->setRange(0, kScale);
    bar_->setValue(0);
  } else {
    bar_->setRange(0, 0);  // a moving bar when nothing is counted
  }
  started_.restart();
  ShowWhenDue();
}

void TFileOpProgressDialog::Item(const std::string& from, const std::string& to) {
  QString text = QString::fromStdString(from);
  if (!to.empty()) text += "\n" + QString::fromStdString(to);
  item_->setText(text);
  ShowWhenDue();
}

void TFileOpProgressDialog::Done(int64_t bytes) {
  if (total_ > 0) bar_->setValue(static_cast<int>(std::min<int64_t>(bytes, total_) * kScale / total_));
  ShowWhenDue();
}

void TFileOpProgressDialog::ShowWhenDue() {
  if (!isVisible() && started_.elapsed() >= showAfterMs_) show();
}

void InstallFileOpProgressDialog() {
  SetFileOpProgressFactory([](TFileOperation&) -> std::unique_ptr<IFileOpProgress> {
    return std::make_unique<TFileOpProgressDialog>(QApplication::activeWindow());
  });
}

}  // namespace arkelin::shared

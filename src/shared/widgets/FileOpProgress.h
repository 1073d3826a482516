// The progress window of the file operations: a small modeless dialog with
// the operation's title, the item being worked on, a bar and a Cancel
// button. It appears only when the operation has lasted a moment, so quick
// copies do not flash a window. The operation keeps running on the
// user-interface thread and lets pending messages run, which is how the
// Cancel button is served.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <cstdint>
#include <string>

#include "shared/FileOp.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace arkelin::shared {

class TFileOpProgressDialog : public QDialog, public IFileOpProgress {
  Q_OBJECT
 public:
  explicit TFileOpProgressDialog(QWidget* parent = nullptr, int showAfterMs = 500);

  void Start(const std::string& title, int64_t totalBytes) override;
  void Item(const std::string& from, const std::string& to) override;
  void Done(int64_t bytes) override;
  bool CancelRequested() override { return cancel_; }
  void Resume() override { cancel_ = false; }

  QPushButton* CancelButton() const { return cancelButton_; }
  QProgressBar* Bar() const { return bar_; }
  QLabel* ItemLabel() const { return item_; }

 protected:
  void reject() override;  // Escape and the close box ask to stop, too

 private:
  void ShowWhenDue();

  QLabel* item_ = nullptr;
  QProgressBar* bar_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QElapsedTimer started_;
  int showAfterMs_;
  int64_t total_ = 0;
  bool cancel_ = false;
};

// Makes every later file operation that is not silent show this window,
// parented to the active window.
void InstallFileOpProgressDialog();

}  // namespace arkelin::shared

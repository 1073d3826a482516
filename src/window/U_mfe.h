// TF_MFE, the multiple file extraction window: a grid of archives and the
// folder each goes to, filled by "<Add>" with the "Default dir" text, and
// "&Start extracting", which hands the rows to the window's own pass
// (open::TMultiExtract, with its own ZIP engine and RAR reader) and shows
// the final count and a short report of every archive. "&Cancel" closes
// the window; during a pass it stops the pass after the current file and
// the window closes when the pass is over.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <functional>
#include <memory>
#include <vector>

#include "open/MultiExtract.h"
#include "shared/widgets/SortGrid.h"

namespace arkelin::window {

class TF_MFE : public QDialog {
  Q_OBJECT
 public:
  explicit TF_MFE(QWidget* parent = nullptr);
  ~TF_MFE() override;

  void ShowModal();

  // True until "<Add>" fills the grid's first, empty row.
  bool FirstRow = true;
  open::TMultiExtract& Pass() { return *pass_; }
  // The rows as the pass takes them, in grid order.
  std::vector<open::MfeRow> Rows() const;

  QLabel* la_Heading;
  QPushButton* bu_Add;
  QPushButton* bu_Remove;
  QLineEdit* ed_Defdir;
  shared::TSortGrid* gr_Files;
  QPushButton* bu_Start;
  QPushButton* bu_Cancel;
  QLabel* la_Archive;
  QLabel* la_File;
  QProgressBar* ProgressBar1;

  void bu_AddClick();
  void bu_RemoveClick();
  void bu_StartClick();
  void bu_CancelClick();

  using ShowHook = std::function<void(TF_MFE&)>;
  static void SetShowHook(ShowHook hook);

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  void SetBar(const open::MfeBar& bar);
  std::unique_ptr<open::TMultiExtract> pass_;
  bool closeAfterPass_ = false;
};

}  // namespace arkelin::window

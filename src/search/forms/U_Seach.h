// TF_Search, the search window: where to search, for what, and whether below
// the start folder too. "&Start" runs the search (TDiskSearch) and, when it
// completes, shows the results window; the second button aborts a running
// search ("&Abort") or closes the window ("&Close"). Escape closes it, a
// running search stopped first.
//
// The window knows nothing of the archive session: what the results window
// does with a file is given by the caller as ResultActions. Files chosen for
// "Add file(s) to archive" come back in AddList, for the caller to add once
// both windows are gone.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <functional>

#include "search/DiskSearch.h"
#include "search/forms/U_Result.h"

namespace arkelin::search {

class TF_Search : public QDialog {
  Q_OBJECT
 public:
  // mode 1: archives, 2: files (the results window's action).
  TF_Search(int mode, ResultActions actions, QWidget* parent = nullptr);

  // Shows the window modally (or hands it to the test hook).
  void ShowModal();
  // Set by the results window's Add: the files to add.
  QStringList AddList;
  int SearchMode() const { return mode_; }
  TDiskSearch& Search() { return search_; }
  bool Searching() const { return search_.Searching(); }

  QLabel* la_Heading;
  QLineEdit* ed_Startin;
  QLineEdit* ed_file;
  QCheckBox* ch_Recursive;
  QPushButton* bu_Start;
  QPushButton* bu_Close;  // "&Close" when idle, "&Abort" while searching

  void bu_StartClick();
  void bu_CloseClick();

  // Tests drive the window from here instead of a modal loop.
  using ShowHook = std::function<void(TF_Search&)>;
  static void SetShowHook(ShowHook hook);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
  void closeEvent(QCloseEvent* e) override;

 private:
  void SetSearching(bool on);
  int mode_;
  ResultActions actions_;
  TDiskSearch search_;
};

}  // namespace arkelin::search

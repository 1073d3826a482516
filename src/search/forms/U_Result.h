// TF_Result, the results window of a disk search: one grid row per file
// found (full path, the file's modification time, its size in bytes) and,
// by the search mode, "&Open zipfile" (also a double-click on a row) or
// "Add file(s) to archive". What those do to the archive session is the
// caller's (ResultActions); the window only picks the files.
#pragma once

#include <QColor>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QStringList>

#include <functional>
#include <vector>

#include "search/DiskSearch.h"
#include "shared/widgets/SortGrid.h"

namespace arkelin::search {

struct ResultActions {
  // Opens path as the current archive; true when it was opened (both
  // windows then close), false to leave them open.
  std::function<bool(const QString& path)> OpenArchive;
  // True when files cannot be added now (the refusal has been shown).
  std::function<bool()> RefuseAdd;
  // The cells' background: the list colour of the settings (COLOR WINDOW);
  // invalid follows the desktop's palette.
  QColor CellColor;
};

// The grid's text for a modification time (seconds since 1970): the
// locale's short date, a blank and its short time.
QString ResultTimeText(int64_t modified);

class TF_Result : public QDialog {
  Q_OBJECT
 public:
  TF_Result(int mode, const ResultActions& actions, QWidget* parent = nullptr);

  // Fills the grid (one empty row when there are none) and the lines above
  // and below it.
  void SetResults(const std::vector<SearchRecord>& records, const std::string& pattern,
                  const std::vector<SkippedFolder>& skipped);
  void ShowModal();

  // After the window closed: close the search window too, and the files
  // chosen for adding (empty when none).
  bool CloseSearch = false;
  QStringList AddList;

  QLabel* la_Heading;
  QLabel* la_Found;
  QLabel* la_Skipped;  // folders that could not be read; hidden when none
  shared::TSortGrid* StringGrid1;
  QPushButton* bu_Close;
  QPushButton* bu_Open;
  QPushButton* bu_Add;

  void bu_OpenClick();
  void bu_AddClick();
  void StringGrid1DblClick();

  using ShowHook = std::function<void(TF_Result&)>;
  static void SetShowHook(ShowHook hook);

 private:
  bool FirstRowEmpty() const;
  int mode_;
  ResultActions actions_;
};

}  // namespace arkelin::search

// TExtract, the extract window: where to extract to, and how.
//
// A modal window with a box of the file-system roots, a folder tree, a button
// that makes a new folder, and three two-way choices (expand the archive's
// folders, overwrite existing files, all or the selected files). The caller
// presets the choices and the folder, shows it with ShowModal and then reads
// the results, which stay until the next ShowModal. The window itself touches
// no archive.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include <functional>

#include "window/FolderTree.h"

namespace arkelin::window {

// A titled group of two exclusive choices; ItemIndex 0 is the first.
class TwoWayGroup : public QGroupBox {
  Q_OBJECT
 public:
  TwoWayGroup(const QString& title, const QString& first, const QString& second, QWidget* parent);
  int ItemIndex() const { return second_->isChecked() ? 1 : 0; }
  void SetItemIndex(int i);
  QRadioButton* Choice(int i) const { return i == 0 ? first_ : second_; }

 private:
  QRadioButton* first_;
  QRadioButton* second_;
};

class TExtract : public QDialog {
  Q_OBJECT
 public:
  explicit TExtract(QWidget* parent = nullptr);

  // ---- Results of the last ShowModal ----
  QString ExtractFolder;   // the tree's folder on "&OK", empty on "&Cancel"
  bool Cancelled = true;   // true unless "&OK" was pressed
  bool ExpandFolders = true;
  bool Overwrite = true;
  bool AllFiles = true;

  // Starts the tree at folder.
  void SetFolder(const QString& folder);
  // The tree's selected folder.
  QString Folder() const { return Dirt1->Folder(); }
  // "Files to Extract": All Files (true) or Selected Files.
  void SetAllFiles(bool all) { RadioGroup3->SetItemIndex(all ? 0 : 1); }

  // Shows the window modally (cancelled := true when it becomes active).
  void ShowModal();

  // ---- Controls ----
  QLabel* Label1;
  QComboBox* DriveComboBox1;
  QToolButton* bu_NewDir;
  FolderTree* Dirt1;
  TwoWayGroup* RadioGroup1;
  TwoWayGroup* RadioGroup2;
  TwoWayGroup* RadioGroup3;
  QCheckBox* Ch_ExtUpdate;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;

  void BitBtn1Click();
  void BitBtn2Click();
  void bu_NewDirClick();
  // The drive box follows the tree; a root chosen in the box moves the tree.
  void TreeChanged(const QString& folder);
  void DriveChosen(int index);

  // Tests drive the window from here instead of a modal loop; the hook
  // presses buttons or closes the window. Null in the program.
  using ShowHook = std::function<void(TExtract&)>;
  static void SetShowHook(ShowHook hook);
};

}  // namespace arkelin::window

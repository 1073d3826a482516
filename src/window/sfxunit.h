// TMakeSFX, the options window of "Make Self Extracting file": the default
// overwrite action, the run-time switches, the caption, the default extract
// folder and the command line of the self-extracting program. The caller
// sets the caption to the archive's name, shows it with ShowModal and reads
// Accepted and the controls afterwards.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include <functional>

namespace arkelin::window {

class TMakeSFX : public QDialog {
  Q_OBJECT
 public:
  explicit TMakeSFX(QWidget* parent = nullptr);

  // True only when "&Ok" closed the window shown last.
  bool Accepted = false;
  void ShowModal();

  // ---- Controls ----
  QLabel* Header;
  QTabWidget* Pages;
  // "Default Overwrite Action": 0 Ask User, 1 Always Overwrite, 2 Skip extraction.
  QRadioButton* DfltOverWriteGrp[3];
  int OverwriteIndex() const;
  void SetOverwriteIndex(int i);
  QCheckBox* FileListCB;
  QCheckBox* HideOverwriteCB;
  QCheckBox* CmdLineCB;
  QLineEdit* CaptionEdit;
  QLineEdit* DirectoryEdit;
  QLineEdit* CommandEdit;
  QPushButton* bu_Ok;
  QPushButton* bu_Close;

  // Tests drive the window from here instead of a modal loop. Null in the
  // program.
  using ShowHook = std::function<void(TMakeSFX&)>;
  static void SetShowHook(ShowHook hook);
};

}  // namespace arkelin::window

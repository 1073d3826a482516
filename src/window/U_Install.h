// TF_Install, the install window: names the install program, offers the
// folder the archive is extracted into (FOLDERS TEMP when it opens) and the
// choice to empty that folder afterwards. "&OK" hands the window to OnOK,
// which does the work (InstallCommands); the window stays open until
// "&Close", so the user may press "&OK" again.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>

namespace arkelin::window {

class TF_Install : public QDialog {
  Q_OBJECT
 public:
  TF_Install(const QString& program, const QString& tempFolder, QWidget* parent = nullptr);

  void ShowModal();
  std::function<void(TF_Install&)> OnOK;

  QLabel* Header;
  QLabel* la_Program;
  QLineEdit* ed_Dir;
  QCheckBox* cb_Remove;
  QPushButton* bu_OK;
  QPushButton* bu_Close;

  using ShowHook = std::function<void(TF_Install&)>;
  static void SetShowHook(ShowHook hook);
};

}  // namespace arkelin::window

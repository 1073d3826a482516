// TF_FileToInstall, the chooser shown when an archive holds more than one
// install program: one row per candidate (its path inside the archive) in a
// sortable grid. A double-click or Enter picks the row's program (the file
// name after the last "\") and closes the window; Escape or "&Close" closes
// it without a choice.
#pragma once

#include <QColor>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <functional>

namespace arkelin::shared {
class TSortGrid;
}

namespace arkelin::window {

class TF_FileToInstall : public QDialog {
  Q_OBJECT
 public:
  TF_FileToInstall(const QStringList& candidates, const QColor& windowColor, QWidget* parent = nullptr);

  // Shows the window modally (or hands it to the test hook).
  void ShowModal();
  // The program chosen; empty when none was.
  QString Chosen;
  // What a double-click or Enter on row does.
  void ChooseRow(int row);

  QLabel* Header;
  shared::TSortGrid* StringGrid1;
  QPushButton* bu_Close;

  using ShowHook = std::function<void(TF_FileToInstall&)>;
  static void SetShowHook(ShowHook hook);

 protected:
  void keyPressEvent(QKeyEvent* e) override;
};

}  // namespace arkelin::window

// TF_Info, the archive information window: the archive's file name, the date
// and size of the archive file, and the uncompressed size as the file list
// counts it (each row's Size kb figure times 1000, so entries below 1000
// bytes count as 1000). It reads the file list and the file system only when
// it is filled; it changes nothing.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>

#include <functional>

namespace arkelin::window {

class FileListModel;

class TF_Info : public QDialog {
  Q_OBJECT
 public:
  explicit TF_Info(QWidget* parent = nullptr);

  // Fills the four values for archive and the list's rows.
  void Fill(const QString& archive, const FileListModel& rows);
  void ShowModal();

  QLabel* Header;
  QLabel* la_Archive;
  QLabel* la_Date;
  QLabel* la_Size;
  QLabel* la_Unc;
  QPushButton* bu_Close;

  // Tests look at the filled window here instead of a modal loop. Null in the program.
  using ShowHook = std::function<void(TF_Info&)>;
  static void SetShowHook(ShowHook hook);
};

// The sum of every row's Size kb text (" kb" removed) times 1000.
long long UncompressedFromList(const FileListModel& rows);

}  // namespace arkelin::window

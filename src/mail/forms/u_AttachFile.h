// TF_Attach, the attachment chooser of the mail window. On the left a drive
// box, a folder tree and a multi-select list of the chosen folder's files;
// on the right "Attached files" (lbx_attach: the file names, each with the
// desktop's small icon for its type) and, kept in step with it, the full
// paths (lbx_real) that are what gets sent. "&Add to list" adds each
// selected file unless the same full path is listed already; "&Remove from
// list" takes the selected names and their paths out; "OK" keeps the
// result, "Cancel" or Esc drops it.
//
// Names and paths are one row each, added and removed together: two files
// of the same name from different folders are two rows, and a file is
// never listed twice. Full paths compare exactly, as the file system does.
#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QLabel;
class QListWidget;
class QPushButton;

namespace arkelin::shared {
class TDirTreeWidget;
class TDriveRootBox;
}  // namespace arkelin::shared

namespace arkelin::mail {

class TF_Attach : public QDialog {
  Q_OBJECT
 public:
  // Lists the attachments (full paths) given; the folder tree starts in the
  // folder of the first, or the home folder.
  explicit TF_Attach(const QStringList& attachments, QWidget* parent = nullptr);

  // The rows: full paths (what is sent) and the names shown.
  const QStringList& Paths() const { return lbx_real; }
  QStringList Names() const;
  // The folder whose files the file list shows.
  QString Folder() const;
  void SetFolder(const QString& folder);

  // Shows the window modally and answers true for OK; the show hook, when
  // set, runs instead and its window's result counts.
  bool ShowModal();
  using ShowHook = std::function<void(TF_Attach&)>;
  static void SetShowHook(ShowHook hook);

  shared::TDriveRootBox* cb_Drive = nullptr;
  shared::TDirTreeWidget* dl_Folders = nullptr;
  QListWidget* flb_Files = nullptr;
  QListWidget* lbx_attach = nullptr;
  QPushButton* bu_Add = nullptr;
  QPushButton* bu_Remove = nullptr;
  QPushButton* bu_Ok = nullptr;
  QPushButton* bu_Cancel = nullptr;

  void bu_AddClick();
  void bu_RemoveClick();

 private:
  void FillFiles();
  // Adds one row unless its path is listed; true when added.
  bool AddRow(const QString& path);

  QStringList lbx_real;  // the full paths, row for row with lbx_attach
};

}  // namespace arkelin::mail

// TAddForm, the Add window: collects the files and folders the next add hands
// to the ZIP engine.
//
// A folder tree, the files of the tree's folder (several may be selected and
// dragged), and the Add list of full paths (files, and folders ending in "/")
// with buttons to add files, add the folder, remove names and keep the list
// sorted; three options (delete the originals afterwards, only update, force
// multiple volumes), and the password the added files are encrypted with
// (none: not encrypted) beside the kind of encryption (traditional or AES
// with 128, 192 or 256-bit keys). Files dropped on the window from the desktop go to the
// owner's drop handler through OnShellDrop. The window adds nothing itself:
// the caller reads the list and the options after ShowModal.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QStringList>
#include <QToolButton>

#include <functional>

#include "window/FolderTree.h"

namespace arkelin::window {

// The Add list: accepts names dragged from the window's file box only.
class AddListWidget : public QListWidget {
  Q_OBJECT
 public:
  using QListWidget::QListWidget;
  QWidget* acceptedSource = nullptr;
  std::function<void()> OnFilesDragged;
  std::function<void(const QStringList&)> OnShellDrop;

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;
};

class TAddForm : public QDialog {
  Q_OBJECT
 public:
  explicit TAddForm(QWidget* parent = nullptr);

  // Cleared by the Add command and by "&OK"; set by "&Close", "<Add file(s)>"
  // and "<Add directory>", and by every other way of closing the window
  // (Esc, the title bar): only OK adds.
  bool Cancelled = false;

  // The Add list, in order.
  QStringList Names() const;
  void SetNames(const QStringList& names);
  // Appends without the duplicate test (drops).
  void AppendNames(const QStringList& names);
  void ClearNames();

  // The encryption chosen: 0 traditional, else the AES key length in bits
  // (128, 192, 256); other values choose traditional.
  int AesBits() const;
  void SetAesBits(int bits);
  // The password typed; empty: the files are not encrypted.
  QString Password() const { return ed_Password->text(); }

  void SetFolder(const QString& folder);
  QString Folder() const { return DirectoryListBox1->Folder(); }
  // Shows the files of the tree's folder in the file box.
  void FillFileBox();

  // Withdraws or registers the window as a target for desktop drops.
  void AcceptOutside(bool on);

  // Shows the window modally.
  void ShowModal();
  // Esc, the title bar and "&Close" all end here: the window is cancelled.
  void reject() override;

  // Called with every list of names dropped from the desktop on the window.
  std::function<void(const QStringList&)> OnShellDrop;
  // Called each time the window becomes active (drop acceptance follows the
  // setting there).
  std::function<void()> OnActivate;

  // ---- Controls ----
  QLabel* Header;
  QPushButton* bu_SelectAll;
  QToolButton* bu_NewDir;
  FolderTree* DirectoryListBox1;
  QListWidget* FileListBox1;
  QPushButton* SortBut;
  QPushButton* bu_addDir;
  QPushButton* bu_AddFiles;
  QPushButton* bu_Delete;
  AddListWidget* SelectedList;
  QCheckBox* CB_Move;
  QCheckBox* Ch_Update;
  QCheckBox* CheckBox1;
  QLineEdit* ed_Password;
  QComboBox* co_Encryption;
  QPushButton* BitBtn1;
  QPushButton* BitBtn2;

  void bu_SelectAllClick();
  void bu_NewDirClick();
  void SortButClick();
  void bu_addDirClick();
  void bu_AddFilesClick();
  void bu_DeleteClick();
  void BitBtn1Click();
  void BitBtn2Click();
  // The selected files of the file box dragged onto the Add list.
  void FilesDragged();
  bool Sorted() const { return sorted_; }

  // Tests drive the window from here instead of a modal loop. Null in the program.
  using ShowHook = std::function<void(TAddForm&)>;
  static void SetShowHook(ShowHook hook);

 protected:
  void changeEvent(QEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  // Appends unless present (letter case ignored); answers whether it did.
  void AppendUnique(const QString& name);
  void AddSelectedFiles();
  void AfterAppend();
  bool sorted_ = false;
};

// Local files named by the URLs of a drop, in drop order: "file:" URLs with
// no host or "localhost". The others go to refused (as the user would read
// them) when given.
QStringList LocalFilesOf(const class QMimeData* data, QStringList* refused = nullptr);
// True for rows dragged out of the archive window's own list: no files to add.
bool IsOwnDrag(const class QMimeData* data);
// Tells the user which dropped items were not taken, and why (nothing when
// refused is empty).
void SayRefusedDrops(const QStringList& refused);

}  // namespace arkelin::window

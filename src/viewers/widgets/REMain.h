// TF_Editform: the built-in text viewer and editor.
//
// One rich-text control, Memo1, fills the window under a menu (File, Edit,
// Search). A file is loaded as RTF when it reads as RTF and as plain text
// otherwise, and every save writes it back in the form it was loaded in
// (TextDocumentIO.h). The View command shows an archive entry here: it
// hands over the view state it shares with this window; when the window
// closes over a changed entry it writes the edited copy and asks "Update
// zipfile?" (open::EditorClosing), and the command puts the copy back.
//
// Open and Save dialogs and every message go through the platform dialogs,
// so tests script them; the print dialogs and the modal show have hooks.
#pragma once

#include <QDialog>
#include <QMenuBar>
#include <QPointer>
#include <QTextEdit>

#include <functional>

#include "open/ViewEntry.h"
#include "viewers/TextDocumentIO.h"
#include "viewers/widgets/FindReplace.h"

class QPrinter;

namespace arkelin::viewers {

class TF_Editform : public QDialog {
 public:
  // state: the View command's state while an archive entry is shown; null
  // when the editor works on its own. It must outlive the window.
  explicit TF_Editform(open::ViewState* state = nullptr, QWidget* parent = nullptr);
  ~TF_Editform() override;

  // Loads a file into Memo1; a file that cannot be read is reported and
  // nothing changes. Sets the modified flag (the load changes the text).
  bool LoadFile(const QString& path);
  // Saves Memo1 in the form of the last load; reported when it fails.
  bool SaveFile(const QString& path);
  // The file name the Open and Save dialogs start with; File Save writes
  // to it when it is not empty.
  QString FileName;
  // Set by every change of the text; cleared at creation and by the caller
  // after it loaded a file. No menu command clears it.
  bool Modified = false;
  const TextFileFormat& Format() const { return format_; }

  // Shows the window modally (or runs the show hook).
  void ShowModal();
  using ShowHook = std::function<void(TF_Editform&)>;
  static void SetShowHook(ShowHook hook);
  // Replaces the print dialog (return true for OK) and the printer setup
  // dialog, for tests.
  static void SetPrintDialogHook(std::function<bool(QPrinter&)> hook);

  // ---- Menu handlers ----
  void FileNewClick();
  void FileOpenClick();
  void FileSaveClick();
  void FileSaveAsClick();
  void FilePrintClick();
  void FilePrintSetupClick();
  void FileExitClick();
  void FindClick();
  void ReplaceClick();
  void FindNextClick();
  // The Find dialog's Find Next, the Replace dialog's Find Next and its
  // Replace and Replace All buttons.
  void FindDialog1Find();
  void ReplaceDialog1Find();
  void ReplaceDialog1Replace(bool all);
  // Prints every line of the text in Memo1's font.
  int PrintTo(QPrinter& printer);

  QTextEdit* Memo1;
  QMenuBar* MainMenu;
  TFindDialog* FindDialog1;
  TReplaceDialog* ReplaceDialog1;
  // Menu items by name ("FileNewItem", "FindNextItem", ...).
  QAction* Item(const QString& name) const;

 protected:
  void closeEvent(QCloseEvent* e) override;

 private:
  void BuildMenus();
  QAction* AddItem(QMenu* menu, const QString& name, const QString& caption, const QKeySequence& key,
                   const QString& hint, void (TF_Editform::*handler)());
  void SetCaptionFor(const QString& path);
  // Selects [pos, pos + length) in Memo1.
  void Select(int pos, int length);

  open::ViewState* state_;
  TextFileFormat format_;
  QList<QPair<QString, QAction*>> items_;
};

}  // namespace arkelin::viewers

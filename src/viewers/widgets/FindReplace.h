// The text editor's Find and Replace dialogs. Both stay open beside the
// editor (they are not modal) and report their buttons through callbacks;
// the editor does the searching.
//
// The Find dialog has the text to find, "Match &case", "Match &whole word
// only" and an Up/Down direction (shown, never used: the editor searches
// forward only). The Replace dialog has the text to find and the text to
// put in its place and offers Match case alone.
#pragma once

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <functional>

namespace arkelin::viewers {

class TFindDialog : public QDialog {
 public:
  explicit TFindDialog(QWidget* parent = nullptr);

  QString FindText() const { return ed_Find->text(); }
  void SetFindText(const QString& t) { ed_Find->setText(t); }
  bool MatchCase() const { return cb_Case->isChecked(); }
  bool WholeWord() const { return cb_Whole->isChecked(); }
  // Search down, nothing else.
  void ResetOptions();

  QLineEdit* ed_Find;
  QCheckBox* cb_Case;
  QCheckBox* cb_Whole;
  QRadioButton* rb_Up;
  QRadioButton* rb_Down;
  QPushButton* bu_FindNext;
  QPushButton* bu_Cancel;

  std::function<void()> OnFind;
};

class TReplaceDialog : public QDialog {
 public:
  explicit TReplaceDialog(QWidget* parent = nullptr);

  QString FindText() const { return ed_Find->text(); }
  void SetFindText(const QString& t) { ed_Find->setText(t); }
  QString ReplaceText() const { return ed_Replace->text(); }
  bool MatchCase() const { return cb_Case->isChecked(); }
  // Search down, whole word hidden: Match case cleared.
  void ResetOptions();

  QLineEdit* ed_Find;
  QLineEdit* ed_Replace;
  QCheckBox* cb_Case;
  QPushButton* bu_FindNext;
  QPushButton* bu_Replace;
  QPushButton* bu_ReplaceAll;
  QPushButton* bu_Cancel;

  std::function<void()> OnFind;
  // all: Replace All rather than Replace.
  std::function<void(bool all)> OnReplace;
};

}  // namespace arkelin::viewers

// TF_InmDlg, the field input dialog: a small modal dialog built at run time
// from a field list (records ended by 0x02, components separated by
// 0x01: label, type letter, maximum length, initial text) that hands back the
// typed values as one string, each value followed by 0x02. Type letters: A
// letters only, N digits only, D a date with a calendar (double-click or F12),
// L a password echoed as "*", anything else free text. AskFields is the way
// in; the program uses it for the RAR password request.
#pragma once

#include <QDialog>
#include <QString>
#include <string>
#include <vector>

class QLineEdit;

namespace arkelin::shared {

class TF_InmDlg : public QDialog {
  Q_OBJECT
 public:
  // Builds the fields from the module-level field list and clears it.
  explicit TF_InmDlg(QWidget* parent = nullptr);

  // The edits in creation order (for tests and callers that look inside).
  const std::vector<QLineEdit*>& Edits() const { return edits_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OkClicked();
  void PickDate(QLineEdit* edit);

  std::vector<QLineEdit*> edits_;
  std::vector<char> types_;
};

// Shows the dialog with `caption` for the field list in `fields`, and puts
// the result (or the empty string when cancelled) back into `fields`.
void AskFields(const std::string& caption, std::string& fields);

// The field list of the RAR password request, and the
// password taken out of its result.
std::string RarPasswordFields();
std::string FirstField(const std::string& result);

// Called with each dialog just before it is shown modally (tests drive it
// from here); null in the program.
using InmDlgHook = void (*)(TF_InmDlg& dialog);
void SetInmDlgHook(InmDlgHook hook);

}  // namespace arkelin::shared

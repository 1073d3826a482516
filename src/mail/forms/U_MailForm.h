// TF_MailForm, the mail window: sends the current archive, and any other
// files chosen, as the attachments of one mail to one recipient.
//
// Its fields are the attachments (co_AttachedFiles: the full paths at first,
// the bare names once the attachment chooser "A" has been used), the
// recipient's name (for the address book "?" only) and address, and the
// subject. "&Send" runs the six checks of the settings and fields, records
// the recipient in the address book, and hands the mail to TArchiveMailer;
// from then on the caption carries the mailer's status texts and the
// vertical bar pb_Amazon its progress. "&Close", Esc and the title bar close
// the window at any time; while a send waits, closing aborts the wait.
// Enter moves to the next field.
//
// The window does not own the attachment list (the archive window's mail
// attachment list, a list of full paths) nor the mailer; both must outlive
// it. The settings are read through the two functions given, when Send
// needs them: the configuration window's fields for the checks, the stored
// copies for the mail.
#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

#include "mail/ArchiveMailer.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace arkelin::mail {

class TF_MailForm : public QDialog {
  Q_OBJECT
 public:
  struct Settings {
    std::function<TMailSettings()> fields;  // the configuration window's
    std::function<TMailSettings()> copies;  // as stored, what is sent
  };

  // Creating the window adds currentZip (when not empty and not listed yet)
  // to attachments and lists them in the attachment box.
  TF_MailForm(QStringList& attachments, const QString& currentZip, TArchiveMailer& mailer, Settings settings,
              QWidget* parent = nullptr);
  ~TF_MailForm() override;

  // Where the address book lives; "EMHIST.TXT" in the data folder unless set.
  QString AddressBookPath;

  // Shows the window modally, or hands it to the show hook when one is set.
  void ShowModal();
  using ShowHook = std::function<void(TF_MailForm&)>;
  static void SetShowHook(ShowHook hook);

  // The status texts and progress, also for the archive window's status bar.
  std::function<void(const QString& caption)> OnStatusCaption;
  std::function<void(bool shown)> OnStatusShown;
  std::function<void(std::uint64_t sent, std::uint64_t total)> OnStatusProgress;

  QLabel* la_Header = nullptr;
  QComboBox* co_AttachedFiles = nullptr;
  QPushButton* bu_Attach = nullptr;       // "A"
  QLineEdit* ed_Name = nullptr;
  QPushButton* bu_AddressBook = nullptr;  // "?"
  QLineEdit* ed_Email = nullptr;
  QLineEdit* ed_Subject = nullptr;
  QProgressBar* pb_Amazon = nullptr;
  QPushButton* bu_Send = nullptr;
  QPushButton* bu_Close = nullptr;

  void bu_SendClick();
  void bu_CloseClick();
  void bu_AttachClick();
  void bu_AddressBookClick();
  // RecordAddress: the entry goes into the address book (see TAddressBook).
  void RecordAddress(const QString& entry);

 protected:
  void closeEvent(QCloseEvent* e) override;
  void reject() override;

 private:
  void FillAttachmentBox(const QStringList& items);
  void ShowProgress(bool on);
  void SetProgress(std::uint64_t sent, std::uint64_t total);

  QStringList& attachments_;
  TArchiveMailer& mailer_;
  Settings settings_;
};

}  // namespace arkelin::mail

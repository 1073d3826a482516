#include "window/MailCommands.h"

#include <QLocale>

#include <exception>

#include "mail/ArchiveMailer.h"
#include "mail/forms/U_MailForm.h"
#include "platform/Platform.h"
#include "window/CommandSupport_p.h"

namespace arkelin::window {

namespace pf = arkelin::platform;

namespace {
mail::TMailSettings ToMail(const MailSettings& s) {
  return {U8(s.server), U8(s.port), U8(s.name), U8(s.email), U8(s.user), U8(s.security)};
}
}  // namespace

MailCommands::MailCommands(TMainform& window) : w_(window) {}
MailCommands::~MailCommands() = default;

mail::TArchiveMailer& MailCommands::Mailer() {
  if (!mailer_) mailer_ = std::make_unique<mail::TArchiveMailer>();
  return *mailer_;
}

void MailCommands::MailArchive() {
  if (w_.RefuseWhileBusy()) return;
  mail::TArchiveMailer* mailer = nullptr;
  try {
    mailer = &Mailer();
  } catch (const std::exception& e) {
    pf::Dialogs().MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
    return;
  }
  mail::TF_MailForm::Settings settings;
  settings.fields = [this] { return ToMail(w_.Settings().MailFields()); };
  settings.copies = [this] { return ToMail(w_.Settings().MailCopies()); };
  mail::TF_MailForm form(w_.MailAttachments, w_.CurrentZipName(), *mailer, std::move(settings), &w_);
  form.OnStatusCaption = [this](const QString& text) { w_.Panel3->setText(text); };
  form.OnStatusShown = [this](bool on) { StatusShown(on); };
  form.OnStatusProgress = [this](std::uint64_t sent, std::uint64_t total) { StatusProgress(sent, total); };
  form.ShowModal();
  StatusShown(false);
}

void MailCommands::StatusShown(bool on) {
  w_.ProgressBar1->setRange(0, 1000);
  w_.ProgressBar1->setValue(0);
  w_.ProgressBar1->setVisible(on);
  // The status bar's Cancel stops engine commands; the mail window has its
  // own Close.
  w_.CancelBut->setVisible(false);
  if (!on) {
    w_.CountSelection(0);
    w_.ShowTotals();
  }
}

void MailCommands::StatusProgress(std::uint64_t sent, std::uint64_t total) {
  const int permille = total == 0 ? 1000 : static_cast<int>(std::min<std::uint64_t>(sent, total) * 1000 / total);
  w_.ProgressBar1->setValue(permille);
  const QLocale l;
  w_.Panel4->setText(QStringLiteral("%1 of %2 kB sent")
                         .arg(l.toString(static_cast<qulonglong>(sent / 1000)),
                              l.toString(static_cast<qulonglong>(total / 1000))));
}

}  // namespace arkelin::window

// Takes pictures of the mail window, the address book and the attachment
// chooser for checking by eye: run it under a virtual display with an output
// folder ("arkelin_mail_screenshots out/"). It makes a small address book and
// two files to attach in a temporary folder. Not a test.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QThread>

#include "mail/ArchiveMailer.h"
#include "mail/forms/U_MailForm.h"
#include "mail/forms/U_SearchHist.h"
#include "mail/forms/u_AttachFile.h"
#include "platform/Paths.h"
#include "platform/qt/QtPlatform.h"
#include "PictureTools.h"

using namespace arkelin::mail;

int main(int argc, char** argv) {
  PictureApp app(argc, argv);
  if (argc < 2) return 2;
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  QTemporaryDir tmp(QDir::tempPath() + QStringLiteral("/mail-XXXXXX"));
  arkelin::platform::SetDataFolderOverride(tmp.path().toStdString() + "/");
  auto write = [](const QString& path, const QByteArray& data) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(data);
  };
  write(tmp.path() + "/EMHIST.TXT",
        "<Jo Quill>jo.quill@example.org\r\n<Ann Sender>ann@example.net\r\n<Mail Archive Team>team@example.com\r\n");
  write(tmp.path() + "/project-2026.zip", QByteArray(4096, 'z'));
  write(tmp.path() + "/notes.txt", "notes");
  TArchiveMailer mailer;
  QStringList attachments;
  TF_MailForm::Settings settings;
  settings.fields = [] { return TMailSettings{}; };
  settings.copies = settings.fields;
  TF_MailForm form(attachments, tmp.path() + "/project-2026.zip", mailer, settings);
  form.ed_Name->setText(QStringLiteral("Jo Quill"));
  form.ed_Email->setText(QStringLiteral("jo.quill@example.org"));
  form.ed_Subject->setText(QStringLiteral("The project archive"));
  form.show();
  Settle();
  form.grab().save(out + "/mail-window.png");

  TF_SearchHist::SetShowHook([&](TF_SearchHist& h) {
    h.show();
    h.lb_History->setCurrentRow(0);
    Settle();
    h.grab().save(out + "/address-book.png");
  });
  form.bu_AddressBookClick();

  TF_Attach::SetShowHook([&](TF_Attach& d) {
    d.SetFolder(tmp.path());
    for (int i = 0; i < d.flb_Files->count(); ++i)
      if (d.flb_Files->item(i)->text() == QStringLiteral("notes.txt")) d.flb_Files->item(i)->setSelected(true);
    d.bu_AddClick();
    d.show();
    Settle();
    d.grab().save(out + "/attachments-window.png");
  });
  form.bu_AttachClick();
  return 0;
}

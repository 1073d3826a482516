// "Mail archive..." from the archive window, end to end: the current archive
// and a second file chosen in the attachment chooser go to a real SMTP server
// (aiosmtpd on 127.0.0.1, started by the test), and Python's email parser
// reads the attachments back byte for byte. The status bar shows the send's
// progress meanwhile. Dialogs are scripted; the window runs offscreen.
#include <QtTest>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

#include "SmtpTestServer.h"
#include "mail/forms/U_MailForm.h"
#include "mail/forms/u_AttachFile.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "window/mainunit.h"
#include "SessionTestBase.h"
#include "QtTestFiles.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;
namespace am = arkelin::mail;

class MailCommandsTest : public SessionTestBase {
  Q_OBJECT
 private:
  DefaultMainSettings settings_;
  // A ZIP archive by Python's zipfile of two members.
  QString MakeZip(const QString& name);

 private slots:
  void init();
  void cleanup();
  void mailsTheArchiveAndAChosenFileToARealServer();
  void theArchiveIsListedOnceAndOpeningAnotherEmptiesTheList();
  void emptySettingsStopAtTheFirstCheck();
};

void MailCommandsTest::init() {
  QVERIFY(StartSession("data/"));
  settings_ = DefaultMainSettings();
}

void MailCommandsTest::cleanup() {
  am::TF_MailForm::SetShowHook(nullptr);
  am::TF_Attach::SetShowHook(nullptr);
  EndSession();
}

QString MailCommandsTest::MakeZip(const QString& name) {
  const QString zip = P(name);
  QProcess py;
  py.start("/usr/bin/python3",
           {"-c",
            "import sys, zipfile\n"
            "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
            "    z.writestr('docs/readme.txt', 'read me\\n' * 500)\n"
            "    z.writestr('data.bin', bytes(range(256)) * 300)\n",
            zip});
  if (!py.waitForFinished(30000) || py.exitCode() != 0) return {};
  return zip;
}

void MailCommandsTest::mailsTheArchiveAndAChosenFileToARealServer() {
  QDir().mkpath(P("server"));
  am::test::SmtpTestServer server(P("server").toStdString());
  QVERIFY2(server.Started(), server.Error().c_str());
  const QString zip = MakeZip("project.zip");
  QVERIFY(!zip.isEmpty());
  const QByteArray second = Noise(400000, 99);  // several pieces on the wire
  WriteFile(P("more/notes.bin"), second);

  settings_.mailFields = {"127.0.0.1", QString::number(server.Port()), "Ann Sender", "ann@example.org", "", ""};
  settings_.mailCopies = settings_.mailFields;
  TMainform f;
  f.SetSettings(&settings_);
  f.show();
  f.EnterZipSession(zip);
  QCOMPARE(f.CurrentZipName(), zip);

  // What the status bar shows while the mail goes out.
  bool barShown = false;
  QString panel4;
  int barValue = -1;
  fake_->pump.onProcess = [&] {
    if (f.ProgressBar1->isVisible()) {
      barShown = true;
      panel4 = f.Panel4->text();
      barValue = f.ProgressBar1->value();
    }
  };

  QStringList boxShown;
  am::TF_MailForm::SetShowHook([&](am::TF_MailForm& m) {
    boxShown << m.co_AttachedFiles->currentText();
    m.ed_Name->setText("Bob Receiver");
    m.ed_Email->setText("bob@example.org");
    m.ed_Subject->setText("Project archive");
    am::TF_Attach::SetShowHook([&](am::TF_Attach& d) {
      d.SetFolder(P("more"));
      d.flb_Files->findItems("notes.bin", Qt::MatchExactly).first()->setSelected(true);
      d.bu_AddClick();
      d.bu_Ok->click();
    });
    m.bu_Attach->click();
    for (int i = 0; i < m.co_AttachedFiles->count(); ++i) boxShown << m.co_AttachedFiles->itemText(i);
    fake_->dialogs.answers = {pf::BtnYes, pf::BtnOK};
    m.bu_Send->click();
    boxShown << m.windowTitle();
  });
  f.Mailarchive1Click();

  QCOMPARE(boxShown, (QStringList{zip, "project.zip", "notes.bin", "Disconnected"}));
  QCOMPARE(fake_->dialogs.Texts(),
           (std::vector<std::string>{"Are you connected to Internet?", "Mail sent successfully!"}));
  QCOMPARE(f.MailAttachments, (QStringList{zip, P("more/notes.bin")}));
  QCOMPARE(ReadFile(P("data/EMHIST.TXT")), QByteArray("<Bob Receiver>bob@example.org\r\n"));

  QVERIFY(barShown);
  QVERIFY2(panel4.endsWith(" kB sent"), qPrintable(panel4));
  QVERIFY(barValue > 0);
  QVERIFY(!f.ProgressBar1->isVisible());
  QVERIFY(!f.CancelBut->isVisible());
  QVERIFY(!f.Panel4->text().contains("sent"));

  // The server's copy, read by Python's email parser.
  QCOMPARE(server.MessageCount(), 1);
  QCOMPARE(server.Envelope(1)["mail_from"].toString(), QString("ann@example.org"));
  QCOMPARE(server.Envelope(1)["rcpt_tos"].toArray().size(), 1);
  QCOMPARE(server.Envelope(1)["rcpt_tos"].toArray()[0].toString(), QString("bob@example.org"));
  QDir().mkpath(P("read"));
  const QJsonObject mail = am::test::ReadWithPython(P("server/msg-1.eml").toStdString(), P("read").toStdString());
  QVERIFY(!mail.isEmpty());
  QVERIFY(mail["defects"].toArray().isEmpty());
  const QJsonArray parts = mail["parts"].toArray();
  QCOMPARE(parts.size(), 3);
  QCOMPARE(parts[0].toObject()["content_type"].toString(), QString("text/plain"));
  QCOMPARE(parts[0].toObject()["text"].toString(), QString());
  QCOMPARE(parts[1].toObject()["filename"].toString(), QString("project.zip"));
  QCOMPARE(parts[2].toObject()["filename"].toString(), QString("notes.bin"));
  QVERIFY(ReadFile(parts[1].toObject()["file"].toString()) == ReadFile(zip));
  QVERIFY(ReadFile(parts[2].toObject()["file"].toString()) == second);
  const QByteArray raw = ReadFile(P("server/msg-1.eml"));
  QVERIFY(raw.contains("Subject: Project archive\r\n"));
  QVERIFY(raw.contains("From: Ann Sender<ann@example.org>\r\n"));
}

void MailCommandsTest::theArchiveIsListedOnceAndOpeningAnotherEmptiesTheList() {
  const QString a = MakeZip("a.zip");
  const QString b = MakeZip("b.zip");
  QVERIFY(!a.isEmpty() && !b.isEmpty());
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(a);
  int shown = 0;
  am::TF_MailForm::SetShowHook([&](am::TF_MailForm& m) {
    ++shown;
    QCOMPARE(m.co_AttachedFiles->count(), 1);
    m.bu_Close->click();
  });
  f.Mailarchive1Click();
  f.Mailarchive1Click();
  QCOMPARE(shown, 2);
  QCOMPARE(f.MailAttachments, QStringList{a});
  // "Open archive..." empties the list; the next mail has the new archive alone.
  fake_->dialogs.openFiles = {{b.toStdString()}};
  f.Openarchive1Click();
  QCOMPARE(f.CurrentZipName(), b);
  QVERIFY(f.MailAttachments.isEmpty());
  f.Mailarchive1Click();
  QCOMPARE(f.MailAttachments, QStringList{b});
}

void MailCommandsTest::emptySettingsStopAtTheFirstCheck() {
  const QString a = MakeZip("a.zip");
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(a);
  am::TF_MailForm::SetShowHook([&](am::TF_MailForm& m) {
    m.ed_Name->setText("Bob");
    m.ed_Email->setText("bob@example.org");
    m.bu_Send->click();
  });
  f.Mailarchive1Click();
  QCOMPARE(fake_->dialogs.Texts(),
           std::vector<std::string>{"You must configure your mail settings first! (Smptp mailserver)"});
  QVERIFY(!QFile::exists(P("data/EMHIST.TXT")));
}

QTEST_MAIN(MailCommandsTest)
#include "MailCommandsTest.moc"

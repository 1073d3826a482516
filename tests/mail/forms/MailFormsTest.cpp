// The mail window, the address book and the attachment chooser, offscreen
// with scripted dialogs: the six checks and their messages, the address
// book filled by Send and read by "?", the current archive listed once, the
// chooser's rows (names shown, full paths sent), and Close during a send.
#include <QtTest>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

#include "SmtpTestServer.h"
#include "mail/AddressBook.h"
#include "mail/ArchiveMailer.h"
#include "mail/forms/U_MailForm.h"
#include "mail/forms/U_SearchHist.h"
#include "mail/forms/u_AttachFile.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "SessionTestBase.h"
#include "QtTestFiles.h"

using namespace arkelin::mail;
namespace pf = arkelin::platform;

Q_DECLARE_METATYPE(arkelin::mail::TMailSettings)

namespace {

TMailSettings Full() { return {"smtp.example.org", "25", "Ann", "ann@example.org", "", ""}; }

QListWidgetItem* ItemNamed(QListWidget* list, const QString& text) {
  const auto found = list->findItems(text, Qt::MatchExactly);
  return found.isEmpty() ? nullptr : found.first();
}

}  // namespace

class MailFormsTest : public SessionTestBase {
  Q_OBJECT
 private:
  std::unique_ptr<TArchiveMailer> mailer_;
  QStringList attachments_;
  TMailSettings fields_ = Full();
  QString Book() const { return P("data/EMHIST.TXT"); }
  std::unique_ptr<TF_MailForm> Form(const QString& currentZip = {}) {
    TF_MailForm::Settings s;
    s.fields = [this] { return fields_; };
    s.copies = [this] { return fields_; };
    return std::make_unique<TF_MailForm>(attachments_, currentZip, *mailer_, s);
  }

 private slots:
  void init();
  void cleanup();
  void sixChecks_data();
  void sixChecks();
  void passingChecksRecordTheAddressBeforeAskingForAnAttachment();
  void theCurrentArchiveIsListedOnce();
  void addressBookFillsNameAndAddress();
  void attachmentChooserAddsRemovesAndKeepsFullPaths();
  void attachmentChooserCancelChangesNothing();
  void closeDuringASendEndsTheWait();
};

void MailFormsTest::init() {
  QVERIFY(StartSession("data/"));
  mailer_ = std::make_unique<TArchiveMailer>();
  mailer_->Smtp().TimeOut = 20000;
  attachments_.clear();
  fields_ = Full();
}

void MailFormsTest::cleanup() {
  TF_SearchHist::SetShowHook(nullptr);
  TF_Attach::SetShowHook(nullptr);
  mailer_.reset();
  EndSession();
}

void MailFormsTest::sixChecks_data() {
  QTest::addColumn<TMailSettings>("settings");
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("email");
  QTest::addColumn<QString>("message");
  TMailSettings s = Full();
  s.server.clear();
  QTest::newRow("server") << s << "Bob" << "b@x" << "You must configure your mail settings first! (Smptp mailserver)";
  s = Full();
  s.port.clear();
  QTest::newRow("port") << s << "Bob" << "b@x" << "You must configure your mail settings first! (smtp Mailserver port)";
  s = Full();
  s.name.clear();
  QTest::newRow("sender name") << s << "Bob" << "b@x" << "You must configure your mail settings first! (Your name)";
  s = Full();
  s.email.clear();
  QTest::newRow("sender email") << s << "Bob" << "b@x" << "You must configure your mail settings first. (Your email)!";
  QTest::newRow("name") << Full() << "" << "b@x" << "You must enter a name first!";
  QTest::newRow("email") << Full() << "Bob" << "" << "You must enter email first!";
}

void MailFormsTest::sixChecks() {
  QFETCH(TMailSettings, settings);
  QFETCH(QString, name);
  QFETCH(QString, email);
  QFETCH(QString, message);
  fields_ = settings;
  WriteFile(P("a.zip"), "PK");
  auto form = Form(P("a.zip"));
  form->ed_Name->setText(name);
  form->ed_Email->setText(email);
  form->bu_Send->click();
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
  QCOMPARE(QString::fromStdString(fake_->dialogs.boxes[0].text), message);
  QVERIFY(fake_->dialogs.boxes[0].kind == pf::MsgKind::Warning);
  QCOMPARE(fake_->dialogs.boxes[0].buttons, pf::Buttons(pf::BtnOK));
  QVERIFY(!QFile::exists(Book()));  // a failed check records nothing
  QCOMPARE(form->windowTitle(), QString(" "));
}

void MailFormsTest::passingChecksRecordTheAddressBeforeAskingForAnAttachment() {
  auto form = Form();  // no archive open
  QCOMPARE(form->co_AttachedFiles->count(), 0);
  form->ed_Name->setText("John Doe");
  form->ed_Email->setText("john@example.org");
  form->bu_Send->click();
  QCOMPARE(ReadFile(Book()), QByteArray("<John Doe>john@example.org\r\n"));
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
  QCOMPARE(fake_->dialogs.boxes[0].text, std::string("You must attach archive first!"));
  QVERIFY(fake_->dialogs.boxes[0].kind == pf::MsgKind::Information);
  // Again in other capitals: the book stays as it was.
  form->ed_Name->setText("JOHN DOE");
  form->ed_Email->setText("John@Example.org");
  form->bu_Send->click();
  QCOMPARE(ReadFile(Book()), QByteArray("<John Doe>john@example.org\r\n"));
  // The hints of a first start are no settings: the first check fails.
  fields_ = TMailSettings{};
  form->bu_Send->click();
  QCOMPARE(fake_->dialogs.boxes.back().text,
           std::string("You must configure your mail settings first! (Smptp mailserver)"));
}

void MailFormsTest::theCurrentArchiveIsListedOnce() {
  WriteFile(P("a.zip"), "PK");
  {
    auto form = Form(P("a.zip"));
    QCOMPARE(form->co_AttachedFiles->count(), 1);
    QCOMPARE(form->co_AttachedFiles->currentText(), P("a.zip"));  // the full path at first
  }
  auto again = Form(P("a.zip"));
  QCOMPARE(attachments_, QStringList{P("a.zip")});
  QCOMPARE(again->co_AttachedFiles->count(), 1);
  QVERIFY(!again->pb_Amazon->isVisible());
}

void MailFormsTest::addressBookFillsNameAndAddress() {
  WriteFile(Book(), "<Newest>new@example.org\r\n<Older One>old@example.org\r\n<lonely@example.org\r\n");
  auto form = Form();
  QStringList listed;
  bool closed = false;
  TF_SearchHist::SetShowHook([&](TF_SearchHist& h) {
    QCOMPARE(h.la_Header->text(), QString("Addressbook"));
    QCOMPARE(h.bu_Close->text(), QString("&Close"));
    QCOMPARE(h.bu_Close->toolTip(), QString("Abort search"));
    QVERIFY(h.windowFlags() & Qt::WindowStaysOnTopHint);
    for (int i = 0; i < h.lb_History->count(); ++i) listed << h.lb_History->item(i)->text();
    h.lb_HistoryClick(h.lb_History->item(1));
    QCOMPARE(form->ed_Name->text(), QString("Older One"));
    QCOMPARE(form->ed_Email->text(), QString("old@example.org"));
    // An entry without ">" fills both fields with the whole entry.
    h.lb_HistoryClick(h.lb_History->item(2));
    QCOMPARE(form->ed_Name->text(), QString("lonely@example.org"));
    QCOMPARE(form->ed_Email->text(), QString("<lonely@example.org"));
    h.show();
    h.lb_HistoryDblClick(h.lb_History->item(0));
    closed = !h.isVisible() && h.result() == QDialog::Accepted;
  });
  form->bu_AddressBook->click();
  QCOMPARE(listed, (QStringList{"<Newest>new@example.org", "<Older One>old@example.org", "<lonely@example.org"}));
  QVERIFY(closed);
  QCOMPARE(form->ed_Name->text(), QString("Newest"));
  QCOMPARE(form->ed_Email->text(), QString("new@example.org"));

  // Without a book the list is empty and nothing breaks.
  QFile::remove(Book());
  int count = -1;
  TF_SearchHist::SetShowHook([&](TF_SearchHist& h) { count = h.lb_History->count(); });
  form->bu_AddressBook->click();
  QCOMPARE(count, 0);
}

void MailFormsTest::attachmentChooserAddsRemovesAndKeepsFullPaths() {
  WriteFile(P("arch/current.zip"), "PK");
  WriteFile(P("files/a.zip"), "a");
  WriteFile(P("files/b.TXT"), "b");
  WriteFile(P("files/sub/a.zip"), "other a");
  auto form = Form(P("arch/current.zip"));
  TF_Attach::SetShowHook([&](TF_Attach& d) {
    QCOMPARE(d.windowTitle(), QString("Attachments"));
    QCOMPARE(d.Names(), QStringList{"current.zip"});
    QCOMPARE(d.Paths(), QStringList{P("arch/current.zip")});
    QCOMPARE(d.Folder(), P("arch"));  // starts where the first attachment is
    d.SetFolder(P("files"));
    QCOMPARE(d.flb_Files->count(), 2);
    ItemNamed(d.flb_Files, "a.zip")->setSelected(true);
    ItemNamed(d.flb_Files, "b.TXT")->setSelected(true);
    d.bu_AddClick();
    QCOMPARE(d.flb_Files->selectedItems().size(), 0);  // the files are deselected
    // The same file again is not listed twice.
    ItemNamed(d.flb_Files, "a.zip")->setSelected(true);
    d.bu_AddClick();
    QCOMPARE(d.Names(), (QStringList{"current.zip", "a.zip", "b.TXT"}));
    // Another file of the same name is a row of its own.
    d.SetFolder(P("files/sub"));
    ItemNamed(d.flb_Files, "a.zip")->setSelected(true);
    d.bu_AddClick();
    QCOMPARE(d.Names(), (QStringList{"current.zip", "a.zip", "b.TXT", "a.zip"}));
    QCOMPARE(d.Paths(), (QStringList{P("arch/current.zip"), P("files/a.zip"), P("files/b.TXT"), P("files/sub/a.zip")}));
    QVERIFY(!d.lbx_attach->item(1)->icon().isNull());
    // Removing takes names and paths out together.
    d.lbx_attach->item(0)->setSelected(true);
    d.lbx_attach->item(1)->setSelected(true);
    d.bu_RemoveClick();
    QCOMPARE(d.Names(), (QStringList{"b.TXT", "a.zip"}));
    QCOMPARE(d.Paths(), (QStringList{P("files/b.TXT"), P("files/sub/a.zip")}));
    d.bu_Ok->click();
  });
  form->bu_AttachClick();
  // The box shows the names, the list keeps the paths that are sent.
  QCOMPARE(form->co_AttachedFiles->count(), 2);
  QCOMPARE(form->co_AttachedFiles->itemText(0), QString("b.TXT"));
  QCOMPARE(form->co_AttachedFiles->itemText(1), QString("a.zip"));
  QCOMPARE(form->co_AttachedFiles->currentIndex(), 0);
  QCOMPARE(attachments_, (QStringList{P("files/b.TXT"), P("files/sub/a.zip")}));
}

void MailFormsTest::attachmentChooserCancelChangesNothing() {
  WriteFile(P("current.zip"), "PK");
  WriteFile(P("extra.bin"), "x");
  auto form = Form(P("current.zip"));
  TF_Attach::SetShowHook([&](TF_Attach& d) {
    ItemNamed(d.flb_Files, "extra.bin")->setSelected(true);
    d.bu_AddClick();
    QCOMPARE(d.Paths().size(), 2);
    d.bu_Cancel->click();
  });
  form->bu_AttachClick();
  QCOMPARE(attachments_, QStringList{P("current.zip")});
  QCOMPARE(form->co_AttachedFiles->itemText(0), P("current.zip"));
}

void MailFormsTest::closeDuringASendEndsTheWait() {
  // A server that greets and then says nothing more: without Close the wait
  // for its HELO reply would last until the test's time limit.
  arkelin::mail::test::ScriptedServer server("220 ready\r\n", [](const std::string&) { return std::string(); });
  WriteFile(P("current.zip"), "PK");
  fields_.server = "127.0.0.1";
  fields_.port = QString::number(server.Port()).toStdString();
  auto form = Form(P("current.zip"));
  form->show();
  form->ed_Name->setText("Bob");
  form->ed_Email->setText("bob@example.org");
  fake_->dialogs.answers = {pf::BtnYes};
  bool clicked = false;
  bool progressShown = false;
  fake_->pump.onProcess = [&] {
    // The greeting has come: the client waits for the reply to HELO.
    if (!clicked && server.Received().size() == 1) {
      progressShown = form->pb_Amazon->isVisible();
      clicked = true;
      form->bu_Close->click();
    }
  };
  form->bu_Send->click();
  QVERIFY(clicked);
  QVERIFY(progressShown);
  QVERIFY(!form->isVisible());
  QVERIFY(!form->pb_Amazon->isVisible());
  QCOMPARE(fake_->dialogs.boxes.back().text, std::string("Socket readln aborted"));
  QVERIFY(!mailer_->Smtp().Connected());
  QVERIFY(!mailer_->Sending());
}

QTEST_MAIN(MailFormsTest)
#include "MailFormsTest.moc"

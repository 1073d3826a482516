// The archive window on encrypted RAR archives, offscreen, with the password
// dialog scripted: a wrong password is said and the dialog can be answered
// again or cancelled; an archive whose headers are encrypted asks before it
// lists anything; and the extract window's options reach the RAR reader,
// with the count of files really written.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "shared/widgets/U_InmDlg.h"
#include "window/extrunit.h"
#include "window/mainunit.h"
#include "QtTestFiles.h"
#include "WindowRows.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;

namespace {

QString Fixture(const QString& rel) { return QStringLiteral(ARKELIN_FIXTURES "/rar/") + rel; }

// The password dialog answers these in turn; an empty one cancels.
QStringList g_answers;
int g_asked = 0;
int g_rowsWhenAsked = -1;
TMainform* g_form = nullptr;

void Answer(arkelin::shared::TF_InmDlg& dialog) {
  const QString answer = g_asked < g_answers.size() ? g_answers[g_asked] : QString();
  ++g_asked;
  if (g_form && g_rowsWhenAsked < 0) g_rowsWhenAsked = g_form->Model().RowCountValue();
  arkelin::shared::TF_InmDlg* d = &dialog;
  QTimer::singleShot(0, d, [d, answer] {
    if (answer.isEmpty()) {
      d->reject();
      return;
    }
    if (!d->Edits().empty()) d->Edits()[0]->setText(answer);
    for (QPushButton* b : d->findChildren<QPushButton*>())
      if (b->text().contains("OK")) {
        b->click();
        return;
      }
  });
}

}  // namespace

class RarWindowTest : public SessionTestBase {
  Q_OBJECT
 private:
  DefaultMainSettings settings_;
  QStringList Boxes(const std::string& caption) const {
    QStringList out;
    for (const auto& b : fake_->dialogs.boxes)
      if (b.caption == caption) out << QString::fromStdString(b.text);
    return out;
  }
  void ExtractTo(TMainform& f, const QString& out, bool selected, bool overwrite = true, bool folders = true) {
    QDir().mkpath(out);  // the extract window's tree picks folders that exist
    TExtract::SetShowHook([=](TExtract& d) {
      d.SetFolder(out);
      d.RadioGroup3->SetItemIndex(selected ? 1 : 0);
      d.RadioGroup2->SetItemIndex(overwrite ? 1 : 0);
      d.RadioGroup1->SetItemIndex(folders ? 1 : 0);
      d.BitBtn1->click();
    });
    f.Extract1Click();
  }

 private slots:
  void init() {
    QVERIFY(StartSession());
    settings_ = DefaultMainSettings();
    g_answers.clear();
    g_asked = 0;
    g_rowsWhenAsked = -1;
    g_form = nullptr;
    arkelin::shared::SetInmDlgHook(&Answer);
  }
  void cleanup() {
    arkelin::shared::SetInmDlgHook(nullptr);
    TExtract::SetShowHook(nullptr);
    EndSession();
  }

  void wrongPasswordIsSaidAndTheDialogAnsweredAgain() {
    if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterRarSession(Fixture("la-test_read_format_rar5_encrypted.rar"));
    QCOMPARE(f.Model().RowCountValue(), 4);
    SelectRows(f, {"d.txt"});
    g_answers = {"password", "password2"};
    fake_->dialogs.boxes.clear();
    ExtractTo(f, P("out"), true);
    QCOMPARE(g_asked, 2);
    QCOMPARE(Boxes("Error"), QStringList({"Wrong password"}));
    QCOMPARE(ReadFile(P("out/d.txt")), QByteArray("This is from d.txt"));
    QCOMPARE(Boxes("Information"), QStringList({"1 file(s) were extracted"}));
  }

  void wrongPasswordThenCancelLeavesTheEntryAndTheOldFileAlone() {
    if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
    QVERIFY(QDir().mkpath(P("out")));
    {
      QFile old(P("out/d.txt"));
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("the user's d.txt");
    }
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterRarSession(Fixture("la-test_read_format_rar4_encrypted.rar"));
    SelectRows(f, {"d.txt"});
    g_answers = {"password", ""};
    fake_->dialogs.boxes.clear();
    ExtractTo(f, P("out"), true);
    QCOMPARE(g_asked, 2);
    // RAR 4 cannot tell a wrong password from damage: its checksum error.
    QCOMPARE(Boxes("Error"), QStringList({"CRC error, data damaged"}));
    QCOMPARE(ReadFile(P("out/d.txt")), QByteArray("the user's d.txt"));
    QCOMPARE(Boxes("Information"), QStringList({"0 file(s) were extracted"}));
    QStringList left = QDir(P("out")).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(left, QStringList({"d.txt"}));
  }

  void headerEncryptedArchiveAsksBeforeListing() {
    if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
    TMainform f;
    f.SetSettings(&settings_);
    g_form = &f;
    g_answers = {"wrong", "password"};
    f.EnterRarSession(Fixture("rf-rar5-hpsw.rar"));
    QCOMPARE(g_asked, 2);
    QCOMPARE(g_rowsWhenAsked, 0);
    QCOMPARE(Boxes("Error"), QStringList({"Wrong password"}));
    QCOMPARE(f.Model().RowCountValue(), 2);
    // The same password opens the data: extracting asks once, for the headers.
    g_asked = 0;
    g_answers = {"password"};
    fake_->dialogs.boxes.clear();
    ExtractTo(f, P("hp"), false);
    QCOMPARE(g_asked, 1);
    QCOMPARE(ReadFile(P("hp/stest2.txt")).size(), 2048);
    QCOMPARE(Boxes("Information"), QStringList({"2 file(s) were extracted"}));
  }

  void headerEncryptedArchiveCancelledListsNothing() {
    if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
    TMainform f;
    f.SetSettings(&settings_);
    g_answers = {""};
    f.EnterRarSession(Fixture("la-test_read_format_rar_encryption_header.rar"));
    QCOMPARE(g_asked, 1);
    QCOMPARE(f.Model().RowCountValue(), 0);
    QCOMPARE(Boxes("Error").size(), 1);
  }

  void rar5RowsShowTheirModifiedTime() {
    if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
    TMainform f;
    f.SetSettings(&settings_);
    // Times in RAR 5 come from a time record, not a DOS stamp.
    f.EnterRarSession(Fixture("la-test_read_format_rar5_unicode.rar"));
    QVERIFY(f.Model().RowCountValue() > 0);
    for (int r = 0; r < f.Model().RowCountValue(); ++r) {
      const QString when = f.Model().CellText(r, FileListModel::ColModified);
      QVERIFY2(when != "Unknown" && when.contains("2023"), qPrintable(when));
    }
  }

  void extractWindowOptionsReachTheRarReader() {
    if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterRarSession(Fixture("la-test_read_format_rar.rar"));
    QVERIFY(QDir().mkpath(P("opts")));
    {
      QFile mine(P("opts/test.txt"));
      QVERIFY(mine.open(QIODevice::WriteOnly));
      mine.write("mine");
    }
    fake_->dialogs.boxes.clear();
    ExtractTo(f, P("opts"), false, /*overwrite=*/false, /*folders=*/true);
    QCOMPARE(ReadFile(P("opts/test.txt")), QByteArray("mine"));
    QCOMPARE(Boxes("Information"), QStringList({"2 file(s) were extracted"}));
    // Without folders: testdir/test.txt lands beside the others.
    fake_->dialogs.boxes.clear();
    ExtractTo(f, P("flat"), false, /*overwrite=*/true, /*folders=*/false);
    QVERIFY(!QFileInfo::exists(P("flat/testdir")));
    QCOMPARE(ReadFile(P("flat/test.txt")).size(), 20);
  }

  void aTargetFolderThatCannotBeEnteredIsNamed() {
    if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterRarSession(Fixture("la-test_read_format_rar.rar"));
    // The folder chosen in the extract window is replaced by a file before
    // the extraction starts.
    const QString out = P("gone");
    QVERIFY(QDir().mkpath(out));
    TExtract::SetShowHook([=](TExtract& d) {
      d.SetFolder(out);
      QDir().rmdir(out);
      QFile in(out);
      if (in.open(QIODevice::WriteOnly)) in.write("a file, not a folder");
      d.BitBtn1->click();
    });
    fake_->dialogs.boxes.clear();
    f.Extract1Click();
    const QStringList errors = Boxes("Error");
    QCOMPARE(errors.size(), 1);
    QVERIFY2(errors[0].startsWith("File create error: ") && errors[0].contains(out), qPrintable(errors[0]));
    QCOMPARE(ReadFile(out), QByteArray("a file, not a folder"));
    QVERIFY(!QFileInfo::exists(P("test.txt")));
  }
};

QTEST_MAIN(RarWindowTest)
#include "RarWindowTest.moc"

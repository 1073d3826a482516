// The Add window's password and encryption choice, end to end with the
// scripted dialogs and the real configuration window: files added with
// AES-256 are tested by 7z with the password and their AES field says
// AES-256; the choice comes back after a restart from Arkelin.ini;
// traditional encryption is the first choice; the password is asked again
// and two different answers add nothing; "Change password..." asks the
// present and the new password and encrypts the archive again.
#include <QtTest>

#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

#include "QtTestFiles.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "settings/u_settings.h"
#include "window/Addunit.h"
#include "window/SettingsView.h"
#include "window/mainunit.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
using arkelin::settings::TF_Settings;
namespace pf = arkelin::platform;

namespace {

// Exit code of a peer tool (output dropped); -1 when it did not run.
int Run(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
  QProcess p;
  p.start(program, args);
  if (!p.waitForFinished(60000)) return -1;
  if (out) *out = p.readAllStandardOutput();
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// Per entry of the central directory: "file name (without its folders)
// encrypted-flag method strength", the
// strength from the AES field (0x9901), 0 without one. Read by Python.
QStringList AesFields(const QString& archive) {
  const char* script = R"(import sys, zipfile, struct, posixpath
for i in zipfile.ZipFile(sys.argv[1]).infolist():
    strength, pos, x = 0, 0, i.extra
    while pos + 4 <= len(x):
        tag, n = struct.unpack('<HH', x[pos:pos + 4])
        if tag == 0x9901 and n >= 7: strength = x[pos + 8]
        pos += 4 + n
    print(posixpath.basename(i.filename), i.flag_bits & 1, i.compress_type, strength)
)";
  QByteArray out;
  if (Run(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), QString::fromLatin1(script), archive}, &out) != 0)
    return {};
  QStringList lines = QString::fromUtf8(out).split('\n', Qt::SkipEmptyParts);
  lines.sort();
  return lines;
}

}  // namespace

class AddEncryptionTest : public SessionTestBase {
  Q_OBJECT
 private:

  // One program run: the configuration window and the archive window as
  // the program wires them, `archive` open, then `act`.
  void RunOnce(const QString& archive, const std::function<void(TMainform&, TF_Settings&)>& act) {
    TMainform f;
    TF_Settings s;
    s.AttachMainWindow(&f, f.lw_Files);
    SettingsView view(s);
    s.FormCreate();
    f.SetSettings(&view);
    f.EnterZipSession(archive);
    act(f, s);
    s.FormDestroy();
  }
  // An Add on `archive` scripted by `hook`.
  void AddOnce(const QString& archive, const std::function<void(TAddForm&)>& hook) {
    RunOnce(archive, [&](TMainform& f, TF_Settings&) {
      TAddForm::SetShowHook(hook);
      f.Add1Click();
      TAddForm::SetShowHook(nullptr);
    });
  }

 private slots:
  void init() {
    QVERIFY(StartSession("data/"));
    WriteFile(P("in/report.txt"), QByteArray("quarterly figures, all of them\n").repeated(400));
    WriteFile(P("in/tiny.txt"), "tiny");
  }
  void cleanup() {
    TAddForm::SetShowHook(nullptr);
    EndSession();
  }

  void aes256IsTestedBy7zAndTheChoiceSurvivesARestart() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
    if (Run(QStringLiteral("7z"), {QStringLiteral("i")}) != 0) QSKIP("7z is needed");
    QString firstChoice;
    fake_->dialogs.inputs.push_back(std::string("correct horse"));
    AddOnce(P("secret.zip"), [&](TAddForm& w) {
      firstChoice = w.co_Encryption->currentText();
      w.AppendNames({P("in/report.txt"), P("in/tiny.txt")});
      w.ed_Password->setText(QStringLiteral("correct horse"));
      w.co_Encryption->setCurrentText(QStringLiteral("AES-256"));
      QCOMPARE(w.AesBits(), 256);
      w.BitBtn1->click();
    });
    QCOMPARE(firstChoice, QStringLiteral("Traditional"));
    QCOMPARE(fake_->dialogs.inputsAsked, std::vector<std::string>({"Password: Enter the password again"}));
    QVERIFY2(fake_->dialogs.boxes.empty(), fake_->dialogs.boxes.empty() ? "" : fake_->dialogs.boxes[0].text.c_str());
    // Method 99 and strength 3 in the AES field on both entries.
    QCOMPARE(AesFields(P("secret.zip")), QStringList({"report.txt 1 99 3", "tiny.txt 1 99 3"}));
    QCOMPARE(Run(QStringLiteral("7z"), {QStringLiteral("t"), QStringLiteral("-pcorrect horse"), P("secret.zip")}), 0);
    QVERIFY(Run(QStringLiteral("7z"), {QStringLiteral("t"), QStringLiteral("-pwrong"), P("secret.zip")}) != 0);
    QVERIFY(ReadFile(TF_Settings::IniFileName()).contains("[COMPRESSION]\nENCRYPTION=256\n"));

    // The next run offers AES-256 first; without a password nothing is
    // encrypted and nothing is asked.
    QString secondChoice;
    fake_->dialogs.inputsAsked.clear();
    AddOnce(P("plain.zip"), [&](TAddForm& w) {
      secondChoice = w.co_Encryption->currentText();
      w.AppendNames({P("in/tiny.txt")});
      w.BitBtn1->click();
    });
    QCOMPARE(secondChoice, QStringLiteral("AES-256"));
    QVERIFY(fake_->dialogs.inputsAsked.empty());
    const QStringList plain = AesFields(P("plain.zip"));
    QCOMPARE(plain.size(), 1);
    QVERIFY2(plain[0].startsWith("tiny.txt 0 ") && plain[0].endsWith(" 0"), qPrintable(plain[0]));
  }

  void traditionalIsTheDefaultAndReadByPython() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
    fake_->dialogs.inputs.push_back(std::string("pass word"));
    AddOnce(P("old.zip"), [&](TAddForm& w) {
      QCOMPARE(w.AesBits(), 0);
      w.AppendNames({P("in/report.txt")});
      w.ed_Password->setText(QStringLiteral("pass word"));
      w.BitBtn1->click();
    });
    const QStringList fields = AesFields(P("old.zip"));
    QCOMPARE(fields.size(), 1);
    QVERIFY2(fields[0].startsWith("report.txt 1 ") && fields[0].endsWith(" 0") && !fields[0].contains(" 99 "),
             qPrintable(fields[0]));
    QByteArray out;
    QCOMPARE(Run(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, zipfile; z = zipfile.ZipFile(sys.argv[1]); z.setpassword(b'pass word'); "
                                 "sys.stdout.write(z.read(z.infolist()[0]).decode())"),
                  P("old.zip")},
                 &out),
             0);
    QCOMPARE(out, ReadFile(P("in/report.txt")));
    QVERIFY(ReadFile(TF_Settings::IniFileName()).contains("ENCRYPTION=0\n"));
  }

  void twoDifferentPasswordsAddNothing() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
    fake_->dialogs.inputs.push_back(std::string("pass wrod"));
    AddOnce(P("typo.zip"), [&](TAddForm& w) {
      w.AppendNames({P("in/report.txt")});
      w.ed_Password->setText(QStringLiteral("pass word"));
      w.co_Encryption->setCurrentText(QStringLiteral("AES-128"));
      w.BitBtn1->click();
    });
    QCOMPARE(fake_->dialogs.Texts(), std::vector<std::string>({"The two passwords differ; nothing was added"}));
    QVERIFY(!QFile::exists(P("typo.zip")));
    // Cancelling the second question adds nothing either, and says nothing.
    fake_->dialogs.boxes.clear();
    fake_->dialogs.inputs.push_back(std::nullopt);
    AddOnce(P("typo.zip"), [&](TAddForm& w) {
      w.AppendNames({P("in/report.txt")});
      w.ed_Password->setText(QStringLiteral("pass word"));
      w.BitBtn1->click();
    });
    QVERIFY(fake_->dialogs.boxes.empty());
    QVERIFY(!QFile::exists(P("typo.zip")));
    // Neither changed the remembered choice.
    QVERIFY(!ReadFile(TF_Settings::IniFileName()).contains("ENCRYPTION=128"));
  }

  void changePasswordFromTheMenu() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
    if (Run(QStringLiteral("7z"), {QStringLiteral("i")}) != 0) QSKIP("7z is needed");
    fake_->dialogs.inputs.push_back(std::string("before"));
    AddOnce(P("lock.zip"), [&](TAddForm& w) {
      w.AppendNames({P("in/report.txt"), P("in/tiny.txt")});
      w.ed_Password->setText(QStringLiteral("before"));
      w.co_Encryption->setCurrentText(QStringLiteral("AES-128"));
      w.BitBtn1->click();
    });
    QCOMPARE(AesFields(P("lock.zip")), QStringList({"report.txt 1 99 1", "tiny.txt 1 99 1"}));
    const QByteArray original = ReadFile(P("lock.zip"));
    auto change = [&](std::vector<std::string> answers) {
      fake_->dialogs.boxes.clear();
      fake_->dialogs.inputsAsked.clear();
      for (auto& a : answers) fake_->dialogs.inputs.push_back(a);
      RunOnce(P("lock.zip"), [&](TMainform& f, TF_Settings& s) {
        s.StoreAddAesBits(256);
        QVERIFY(f.Item("Changepassword1")->isEnabled());
        f.Changepassword1Click();
      });
    };
    // A wrong present password: the engine says so; nothing changes.
    change({"wrong", "after", "after"});
    QVERIFY2(fake_->dialogs.Saw("wrong password"), fake_->dialogs.boxes.empty() ? "no box" : fake_->dialogs.boxes[0].text.c_str());
    QVERIFY(!fake_->dialogs.Saw("encrypted with the new password"));
    QCOMPARE(ReadFile(P("lock.zip")), original);
    // Two different new passwords.
    change({"before", "after", "aftr"});
    QCOMPARE(fake_->dialogs.Texts(), std::vector<std::string>({"The two passwords differ; nothing was changed"}));
    QCOMPARE(ReadFile(P("lock.zip")), original);
    // The change, with the kind the configuration gives.
    change({"before", "after", "after"});
    QCOMPARE(fake_->dialogs.inputsAsked,
             std::vector<std::string>({"Change password: Present password:",
                                       "Change password: New password (AES-256 encryption):",
                                       "Change password: Enter the new password again:"}));
    QCOMPARE(fake_->dialogs.Texts(), std::vector<std::string>({"2 file(s) encrypted with the new password"}));
    QCOMPARE(AesFields(P("lock.zip")), QStringList({"report.txt 1 99 3", "tiny.txt 1 99 3"}));
    QCOMPARE(Run(QStringLiteral("7z"), {QStringLiteral("t"), QStringLiteral("-pafter"), P("lock.zip")}), 0);
    QVERIFY(Run(QStringLiteral("7z"), {QStringLiteral("t"), QStringLiteral("-pbefore"), P("lock.zip")}) != 0);
    QVERIFY(fake_->dialogs.inputs.empty());
  }
};

QTEST_MAIN(AddEncryptionTest)
#include "AddEncryptionTest.moc"

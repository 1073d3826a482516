// The field input dialog, driven offscreen with simulated keys; AskFields is
// exercised through its pre-show hook, which schedules the keys and clicks.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "shared/widgets/U_InmDlg.h"

using arkelin::shared::AskFields;
using arkelin::shared::FirstField;
using arkelin::shared::RarPasswordFields;
using arkelin::shared::SetInmDlgHook;
using arkelin::shared::TF_InmDlg;

namespace {
// What the hook does with the dialog once it is showing.
std::function<void(TF_InmDlg&)> g_script;
void Hook(TF_InmDlg& dialog) {
  TF_InmDlg* d = &dialog;
  QTimer::singleShot(0, d, [d] {
    g_script(*d);
    if (d->isVisible()) {
      qWarning("the script left the dialog open (a check failed); closing it");
      d->reject();
    }
  });
}
QPushButton* Button(TF_InmDlg& d, const char* name) { return d.findChild<QPushButton*>(name); }
}  // namespace

class U_InmDlgTest : public QObject {
  Q_OBJECT
 private slots:
  void init() { SetInmDlgHook(&Hook); }

  void rarPasswordRequestIsOneMaskedTenCharacterField() {
    std::string fields = RarPasswordFields();
    g_script = [](TF_InmDlg& d) {
      QCOMPARE(d.windowTitle(), QStringLiteral("Password required"));
      QCOMPARE(d.Edits().size(), size_t(1));
      QLineEdit* e = d.Edits()[0];
      QCOMPARE(e->maxLength(), 10);
      QCOMPARE(e->echoMode(), QLineEdit::Password);
      auto labels = d.findChildren<QLabel*>();
      QVERIFY(std::any_of(labels.begin(), labels.end(), [](QLabel* l) { return l->text() == "Password:"; }));
      e->setFocus();
      QTest::keyClicks(e, "secret-password-too-long");
      QCOMPARE(e->text(), QStringLiteral("secret-pas"));
      QTest::keyClick(e, Qt::Key_Return);
      QVERIFY(d.isVisible());  // Enter does not close
      QCOMPARE(d.focusWidget(), Button(d, "ok"));
      QTest::mouseClick(Button(d, "ok"), Qt::LeftButton);
    };
    AskFields("Password required", fields);
    QCOMPARE(fields, std::string("secret-pas\x02"));
    QCOMPARE(FirstField(fields), std::string("secret-pas"));
  }

  void cancelGivesTheEmptyString() {
    std::string fields = RarPasswordFields();
    g_script = [](TF_InmDlg& d) {
      QTest::keyClicks(d.Edits()[0], "abc");
      QTest::mouseClick(Button(d, "cancel"), Qt::LeftButton);
    };
    AskFields("Password required", fields);
    QCOMPARE(fields, std::string());
    QCOMPARE(FirstField(fields), std::string());

    fields = RarPasswordFields();
    g_script = [](TF_InmDlg& d) { QTest::keyClick(d.Edits()[0], Qt::Key_Escape); };
    AskFields("Password required", fields);
    QCOMPARE(fields, std::string());
  }

  void twoFieldsReturnTwoValuesInOrderAndTypesFilterKeys() {
    std::string fields = std::string("Name:\x01" "A\x01" "8\x01" "\x02") + "Count:\x01N\x01" "4\x01" "7\x02" +
                         "Key:\x01L\x01" "6\x01\x02";
    g_script = [](TF_InmDlg& d) {
      QCOMPARE(d.Edits().size(), size_t(3));
      QTest::keyClicks(d.Edits()[0], "Ab1c2");
      QTest::keyClick(d.Edits()[0], Qt::Key_Backspace);
      QTest::keyClicks(d.Edits()[1], "x4y");
      QCOMPARE(d.Edits()[2]->echoMode(), QLineEdit::Password);
      QTest::keyClicks(d.Edits()[2], "pw");
      QTest::mouseClick(Button(d, "ok"), Qt::LeftButton);
    };
    AskFields("Fields", fields);
    QCOMPARE(fields, std::string("Ab\x02" "74\x02" "pw\x02"));
  }

  void unfinishedDateCountsAsEmpty() {
    std::string fields = std::string("From:\x01" "D\x01" "10\x01" "\x02") + "To:\x01" "D\x01" "10\x01" "\x02";
    g_script = [](TF_InmDlg& d) {
      QTest::keyClicks(d.Edits()[0], "2026");
      d.Edits()[1]->setText("2026/12/09");
      QTest::mouseClick(Button(d, "ok"), Qt::LeftButton);
    };
    AskFields("Dates", fields);
    QCOMPARE(fields, std::string("\x02" "2026/12/09\x02"));
  }
};

QTEST_MAIN(U_InmDlgTest)
#include "U_InmDlgTest.moc"

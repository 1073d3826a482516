#include "shared/widgets/EnterAsTab.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <QtTest>
#include <memory>

using arkelin::shared::EnterAsTab;
using arkelin::shared::InstallEnterAsTab;

namespace {

// A small form: three edits, a memo and a button, Enter as Tab installed.
struct Form {
  QWidget w;
  QLineEdit* to;
  QLineEdit* subject;
  QLineEdit* cc;
  QPlainTextEdit* body;
  QPushButton* send;
  Form() {
    auto* lay = new QVBoxLayout(&w);
    lay->addWidget(to = new QLineEdit);
    lay->addWidget(subject = new QLineEdit);
    lay->addWidget(cc = new QLineEdit);
    lay->addWidget(body = new QPlainTextEdit);
    lay->addWidget(send = new QPushButton("Send"));
    InstallEnterAsTab(&w);
    w.show();
    w.activateWindow();
  }
};

}  // namespace

class EnterAsTabTest : public QObject {
  Q_OBJECT
 private slots:
  void OtherCharactersPassUnchanged() {
    QWidget form;
    QChar key('a');
    EnterAsTab(&form, key);
    QCOMPARE(key, QChar('a'));
    QChar lf(10);
    EnterAsTab(&form, lf);
    QCOMPARE(lf, QChar(10));
    QChar enter(13);
    EnterAsTab(&form, enter);
    QVERIFY(enter.isNull());
  }

  void FocusMoveIsPostedNotImmediate() {
    Form f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    f.to->setFocus();
    QCOMPARE(f.w.focusWidget(), f.to);
    QChar enter(13);
    EnterAsTab(&f.w, enter);
    QCOMPARE(f.w.focusWidget(), f.to);
    QTRY_COMPARE(f.w.focusWidget(), f.subject);
  }

  void EnterWalksTheTabOrderSkippingDisabledControls() {
    Form f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    f.cc->setEnabled(false);
    f.to->setFocus();
    QTest::keyClick(f.to, Qt::Key_Return);
    QTRY_COMPARE(f.w.focusWidget(), f.subject);
    QTest::keyClick(f.subject, Qt::Key_Enter);
    QTRY_COMPARE(f.w.focusWidget(), static_cast<QWidget*>(f.body));
    // Nothing of the Enter keys reached the controls.
    QCOMPARE(f.to->text(), QString());
    QCOMPARE(f.body->toPlainText(), QString());
  }

  void EnterInAMemoMovesOnInsteadOfBreakingTheLine() {
    Form f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    f.body->setFocus();
    QTest::keyClicks(f.body, "hi");
    QTest::keyClick(f.body, Qt::Key_Return);
    QTRY_COMPARE(f.w.focusWidget(), static_cast<QWidget*>(f.send));
    QCOMPARE(f.body->toPlainText(), QString("hi"));
  }

  void EnterOnTheLastControlWrapsAndDoesNotClick() {
    Form f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    QSignalSpy clicked(f.send, &QPushButton::clicked);
    f.send->setFocus();
    QTest::keyClick(f.send, Qt::Key_Return);
    QTRY_COMPARE(f.w.focusWidget(), f.to);
    QCOMPARE(clicked.count(), 0);
  }

  void TypingStillWorksAndOtherWindowsAreLeftAlone() {
    Form f;
    QVERIFY(QTest::qWaitForWindowExposed(&f.w));
    f.to->setFocus();
    QTest::keyClicks(f.to, "a@b");
    QCOMPARE(f.to->text(), QString("a@b"));
    // A memo in another window keeps its line breaks.
    QPlainTextEdit other;
    other.show();
    QVERIFY(QTest::qWaitForWindowExposed(&other));
    other.setFocus();
    QTest::keyClicks(&other, "x");
    QTest::keyClick(&other, Qt::Key_Return);
    QTest::keyClicks(&other, "y");
    QCOMPARE(other.toPlainText(), QString("x\ny"));
  }

  void FormClosedBeforeThePostedMoveIsSafe() {
    auto f = std::make_unique<Form>();
    QVERIFY(QTest::qWaitForWindowExposed(&f->w));
    f->to->setFocus();
    QChar enter(13);
    EnterAsTab(&f->w, enter);
    f.reset();
    // The move posted for the closed form must not touch a form opened since.
    Form g;
    QVERIFY(QTest::qWaitForWindowExposed(&g.w));
    g.to->setFocus();
    QTest::qWait(20);
    QCOMPARE(g.w.focusWidget(), g.to);
  }
};

QTEST_MAIN(EnterAsTabTest)
#include "EnterAsTabTest.moc"

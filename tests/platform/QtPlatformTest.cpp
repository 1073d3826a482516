#include "platform/qt/QtPlatform.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QPointer>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "platform/Platform.h"

using namespace arkelin::platform;
using arkelin::platform::qt::QtBusyCursor;
using arkelin::platform::qt::QtDialogs;
using arkelin::platform::qt::QtMessagePump;
using arkelin::platform::qt::QtNameFilters;

Q_DECLARE_METATYPE(arkelin::platform::MsgKind)

namespace {

// Runs act on the next modal dialog once it is up (polled by a timer, since
// the dialog's own event loop is running then). Records whether it ran.
struct WhenModal {
  bool ran = false;
  explicit WhenModal(std::function<void(QWidget*)> act, int tries = 500) { Poll(std::move(act), tries); }
  void Poll(std::function<void(QWidget*)> act, int tries) {
    QTimer::singleShot(10, [this, act, tries] {
      QWidget* w = QApplication::activeModalWidget();
      if (w && w->isVisible()) {
        ran = true;
        act(w);
        // A check that failed inside act leaves the dialog open; close it so
        // the test fails instead of hanging.
        QTimer::singleShot(0, [p = QPointer<QWidget>(w)] {
          if (p && p->isVisible()) p->close();
        });
      } else if (tries > 0) {
        Poll(act, tries - 1);
      }
    });
  }
};

QAbstractButton* ButtonWithText(QMessageBox* box, const QString& text) {
  for (QAbstractButton* b : box->buttons())
    if (b->text() == text) return b;
  return nullptr;
}

void Touch(const QString& path) {
  QFile f(path);
  f.open(QIODevice::WriteOnly);
}

}  // namespace

class QtPlatformTest : public QObject {
  Q_OBJECT
 private slots:
  void BoxShowsCaptionIconAndButtons_data() {
    QTest::addColumn<MsgKind>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<int>("icon");
    QTest::newRow("warning") << MsgKind::Warning << "Warning" << int(QMessageBox::Warning);
    QTest::newRow("error") << MsgKind::Error << "Error" << int(QMessageBox::Critical);
    QTest::newRow("information") << MsgKind::Information << "Information" << int(QMessageBox::Information);
    QTest::newRow("confirm") << MsgKind::Confirm << "Confirm" << int(QMessageBox::Question);
    QTest::newRow("plain") << MsgKind::None << "Tolvaren Arkelin2001" << int(QMessageBox::NoIcon);
  }
  void BoxShowsCaptionIconAndButtons() {
    QFETCH(MsgKind, kind);
    QFETCH(QString, caption);
    QFETCH(int, icon);
    QtDialogs d;
    QString seenTitle, seenText;
    int seenIcon = -1;
    QStringList seenButtons;
    WhenModal w([&](QWidget* top) {
      auto* box = qobject_cast<QMessageBox*>(top);
      QVERIFY(box);
      seenTitle = box->windowTitle();
      seenText = box->text();
      seenIcon = box->icon();
      for (QAbstractButton* b : box->buttons()) seenButtons << b->text();
      ButtonWithText(box, "&No")->click();
    });
    const Button answer = d.MessageBox("Delete 3 file(s)?", kind, BtnYes | BtnNo | BtnCancel);
    QVERIFY(w.ran);
    QCOMPARE(answer, BtnNo);
    QCOMPARE(seenTitle, caption);
    QCOMPARE(seenText, QString("Delete 3 file(s)?"));
    QCOMPARE(seenIcon, icon);
    seenButtons.sort();
    QCOMPARE(seenButtons, QStringList({"&No", "&Yes", "Cancel"}));
  }

  void EachButtonAnswersItself_data() {
    QTest::addColumn<unsigned>("buttons");
    QTest::addColumn<QString>("press");
    QTest::addColumn<unsigned>("answer");
    QTest::newRow("yes") << unsigned(BtnYes | BtnNo) << "&Yes" << unsigned(BtnYes);
    QTest::newRow("ok") << unsigned(BtnOK | BtnCancel) << "OK" << unsigned(BtnOK);
    QTest::newRow("cancel") << unsigned(BtnOK | BtnCancel) << "Cancel" << unsigned(BtnCancel);
    QTest::newRow("abort") << unsigned(BtnAbort) << "&Abort" << unsigned(BtnAbort);
    QTest::newRow("retry") << unsigned(BtnRetry | BtnCancel) << "&Retry" << unsigned(BtnRetry);
  }
  void EachButtonAnswersItself() {
    QFETCH(unsigned, buttons);
    QFETCH(QString, press);
    QFETCH(unsigned, answer);
    QtDialogs d;
    WhenModal w([&](QWidget* top) {
      auto* box = qobject_cast<QMessageBox*>(top);
      QAbstractButton* b = box ? ButtonWithText(box, press) : nullptr;
      if (b) b->click(); else top->close();
    });
    QCOMPARE(unsigned(d.MessageBox("?", MsgKind::Confirm, buttons)), answer);
    QVERIFY(w.ran);
  }

  void EscapeGivesTheSafeAnswer_data() {
    QTest::addColumn<unsigned>("buttons");
    QTest::addColumn<unsigned>("answer");
    QTest::newRow("yes-no-cancel") << unsigned(BtnYes | BtnNo | BtnCancel) << unsigned(BtnCancel);
    QTest::newRow("yes-no") << unsigned(BtnYes | BtnNo) << unsigned(BtnNo);
    QTest::newRow("abort") << unsigned(BtnAbort) << unsigned(BtnAbort);
    QTest::newRow("ok") << unsigned(BtnOK) << unsigned(BtnOK);
  }
  void EscapeGivesTheSafeAnswer() {
    QFETCH(unsigned, buttons);
    QFETCH(unsigned, answer);
    QtDialogs d;
    WhenModal w([](QWidget* top) { QTest::keyClick(top, Qt::Key_Escape); });
    QCOMPARE(unsigned(d.MessageBox("Stop?", MsgKind::Warning, buttons)), answer);
    QVERIFY(w.ran);
  }

  void FirstButtonIsDefaultAndNoButtonsMeansOK() {
    QtDialogs d;
    QString defaultText;
    QStringList texts;
    WhenModal w([&](QWidget* top) {
      auto* box = qobject_cast<QMessageBox*>(top);
      for (QAbstractButton* b : box->buttons()) texts << b->text();
      defaultText = box->defaultButton() ? box->defaultButton()->text() : QString();
      QTest::keyClick(top, Qt::Key_Return);
    });
    QCOMPARE(d.MessageBox("Done", MsgKind::Information, BtnNone), BtnOK);
    QVERIFY(w.ran);
    QCOMPARE(texts, QStringList({"OK"}));
    QCOMPARE(defaultText, QString("OK"));

    WhenModal w2([&](QWidget* top) { QTest::keyClick(top, Qt::Key_Return); });
    QCOMPARE(d.MessageBox("Overwrite?", MsgKind::Confirm, BtnYes | BtnNo), BtnYes);
    QVERIFY(w2.ran);
  }

  void TextIsShownAsItIs() {
    QtDialogs d;
    int format = -1;
    QString text;
    WhenModal w([&](QWidget* top) {
      auto* box = qobject_cast<QMessageBox*>(top);
      format = box->textFormat();
      text = box->text();
      top->close();
    });
    d.MessageBoxCaption("Arkelin", "Cannot open <b>a&b.zip</b>\nline two", MsgKind::Error, BtnOK);
    QVERIFY(w.ran);
    QCOMPARE(format, int(Qt::PlainText));
    QCOMPARE(text, QString("Cannot open <b>a&b.zip</b>\nline two"));
  }

  void InputBoxAnswersTextOrNothing() {
    QtDialogs d;
    int echo = -1;
    QString label, initial;
    WhenModal w([&](QWidget* top) {
      auto* in = qobject_cast<QInputDialog*>(top);
      QVERIFY(in);
      echo = in->textEchoMode();
      label = in->labelText();
      initial = in->textValue();
      in->setTextValue("secret");
      in->accept();
    });
    auto v = d.InputBox("Password", "Enter the password", "old", true);
    QVERIFY(w.ran);
    QVERIFY(v.has_value());
    QCOMPARE(QString::fromStdString(*v), QString("secret"));
    QCOMPARE(echo, int(QLineEdit::Password));
    QCOMPARE(label, QString("Enter the password"));
    QCOMPARE(initial, QString("old"));

    WhenModal w2([](QWidget* top) { QTest::keyClick(top, Qt::Key_Escape); });
    QVERIFY(!d.InputBox("Name", "New name", "x", false).has_value());
    QVERIFY(w2.ran);
  }

  void FilterFormBecomesQtNameFilters() {
    QCOMPARE(QtNameFilters("Zip archives|*.zip|All files|*.*"),
             QStringList({"Zip archives (*.zip)", "All files (*)"}));
    QCOMPARE(QtNameFilters("Pictures|*.gif;*.jpg; *.bmp"), QStringList({"Pictures (*.gif *.jpg *.bmp)"}));
    QCOMPARE(QtNameFilters("|*.txt"), QStringList({"*.txt (*.txt)"}));
    QCOMPARE(QtNameFilters("Lonely description"), QStringList());
    QCOMPARE(QtNameFilters("Empty||Text|*.txt"), QStringList({"Text (*.txt)"}));
    QCOMPARE(QtNameFilters(""), QStringList());
  }

  void OpenDialogStartsWhereAskedAndMatchesAnyCase() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    Touch(dir.filePath("a.zip"));
    Touch(dir.filePath("B.ZIP"));
    Touch(dir.filePath("c.txt"));
    QtDialogs d;
    FileDialogRequest req;
    req.title = "Open archive";
    req.filter = "Text|*.txt|Zip archives|*.zip|All|*.*";
    req.filterIndex = 2;
    req.initialDir = dir.path().toStdString();
    QString title, selectedFilter, startDir;
    QStringList shown;
    WhenModal w([&](QWidget* top) {
      auto* fd = qobject_cast<QFileDialog*>(top);
      QVERIFY(fd);
      title = fd->windowTitle();
      selectedFilter = fd->selectedNameFilter();
      startDir = fd->directory().absolutePath();
      auto* view = fd->findChild<QListView*>("listView");
      QVERIFY(view);
      // The listing is read in the background; wait for both archives.
      QTRY_COMPARE_WITH_TIMEOUT(view->model()->rowCount(view->rootIndex()), 2, 5000);
      for (int r = 0; r < 2; ++r) shown << view->model()->index(r, 0, view->rootIndex()).data().toString();
      // selectFile() leaves the name box alone while it has the focus, which
      // depends on the window system; type the name the way a user would.
      auto* edit = fd->findChild<QLineEdit*>("fileNameEdit");
      QVERIFY(edit);
      // Whether the dialog is active when this runs depends on the window
      // system and the machine's load; make it so, and the name box the
      // focus, on every run.
      fd->activateWindow();
      QTRY_VERIFY_WITH_TIMEOUT(fd->isActiveWindow(), 5000);
      edit->setFocus();
      QTRY_VERIFY_WITH_TIMEOUT(edit->hasFocus(), 5000);
      edit->setText("B.ZIP");
      static_cast<QDialog*>(fd)->accept();
    });
    const auto files = d.OpenFiles(req);
    QVERIFY(w.ran);
    QCOMPARE(title, QString("Open archive"));
    QCOMPARE(selectedFilter, QString("Zip archives (*.zip)"));
    QCOMPARE(startDir, QDir(dir.path()).absolutePath());
    shown.sort();
    QCOMPARE(shown, QStringList({"B.ZIP", "a.zip"}));
    QCOMPARE(files.size(), size_t(1));
    QCOMPARE(QString::fromStdString(files[0]), QDir(dir.path()).absoluteFilePath("B.ZIP"));
  }

  void CancelledDialogsAnswerNothing() {
    QtDialogs d;
    FileDialogRequest req;
    req.filter = "All|*.*";
    WhenModal w([](QWidget* top) { static_cast<QDialog*>(top)->reject(); });
    QVERIFY(d.OpenFiles(req).empty());
    QVERIFY(w.ran);
    WhenModal w2([](QWidget* top) { static_cast<QDialog*>(top)->reject(); });
    QVERIFY(!d.SaveFile(req).has_value());
    QVERIFY(w2.ran);
    WhenModal w3([](QWidget* top) { static_cast<QDialog*>(top)->reject(); });
    QVERIFY(!d.ChooseFolder("Where?", "/").has_value());
    QVERIFY(w3.ran);
  }

  void SaveDialogAddsTheDefaultExtension() {
    QTemporaryDir dir;
    QtDialogs d;
    FileDialogRequest req;
    req.title = "Save as";
    req.filter = "Zip archives|*.zip";
    req.defaultExt = ".zip";
    req.initialDir = dir.path().toStdString();
    req.fileName = "Noname.zip";
    QString offered;
    bool confirms = true;
    WhenModal w([&](QWidget* top) {
      auto* fd = qobject_cast<QFileDialog*>(top);
      QVERIFY(fd);
      auto* edit = fd->findChild<QLineEdit*>("fileNameEdit");
      QVERIFY(edit);
      offered = edit->text();
      confirms = !fd->testOption(QFileDialog::DontConfirmOverwrite);
      edit->setText("backup");
      static_cast<QDialog*>(fd)->accept();
    });
    const auto file = d.SaveFile(req);
    QVERIFY(w.ran);
    QCOMPARE(offered, QString("Noname.zip"));
    QVERIFY(!confirms);  // overwritePrompt was not asked for
    QVERIFY(file.has_value());
    QCOMPARE(QString::fromStdString(*file), QDir(dir.path()).absoluteFilePath("backup.zip"));
  }

  void FolderDialogAnswersTheFolder() {
    QTemporaryDir dir;
    QDir(dir.path()).mkdir("Extract here");
    const QString target = QDir(dir.path()).absoluteFilePath("Extract here");
    QtDialogs d;
    QString start;
    WhenModal w([&](QWidget* top) {
      auto* fd = qobject_cast<QFileDialog*>(top);
      QVERIFY(fd);
      start = fd->directory().absolutePath();
      QCOMPARE(fd->fileMode(), QFileDialog::Directory);
      fd->setDirectory(target);
      static_cast<QDialog*>(fd)->accept();
    });
    const auto folder = d.ChooseFolder("Extract to", dir.path().toStdString());
    QVERIFY(w.ran);
    QCOMPARE(start, QDir(dir.path()).absolutePath());
    QVERIFY(folder.has_value());
    QCOMPARE(QString::fromStdString(*folder), target);
  }

  void BusyCursorNestsOnTheOverrideStack() {
    QtBusyCursor c;
    QVERIFY(!QGuiApplication::overrideCursor());
    {
      BusyCursorScope outer(c);
      QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
      {
        BusyCursorScope inner(c);
        QVERIFY(c.Busy());
      }
      QVERIFY(c.Busy());
      QVERIFY(QGuiApplication::overrideCursor());
    }
    QVERIFY(!c.Busy());
    QVERIFY(!QGuiApplication::overrideCursor());
    // An End without a Begin leaves someone else's cursor alone.
    QGuiApplication::setOverrideCursor(Qt::CrossCursor);
    c.End();
    QVERIFY(QGuiApplication::overrideCursor());
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QGuiApplication::restoreOverrideCursor();
  }

  void BusyCursorIsRestoredWhenAnExceptionPasses() {
    QtBusyCursor c;
    try {
      BusyCursorScope s(c);
      throw std::runtime_error("engine failed");
    } catch (const std::runtime_error&) {
    }
    QVERIFY(!c.Busy());
    QVERIFY(!QGuiApplication::overrideCursor());
  }

  void PumpRunsPendingEvents() {
    QtMessagePump p;
    int ran = 0;
    QMetaObject::invokeMethod(qApp, [&ran] { ++ran; }, Qt::QueuedConnection);
    QCOMPARE(ran, 0);
    p.ProcessMessages();
    QCOMPARE(ran, 1);
  }

  void InstallPutsTheWindowedServicesInForce() {
    const Services before = Current();
    arkelin::platform::qt::InstallQtPlatform();
    QVERIFY(dynamic_cast<QtDialogs*>(&Dialogs()));
    QVERIFY(dynamic_cast<QtBusyCursor*>(&Busy()));
    QVERIFY(dynamic_cast<QtMessagePump*>(&Pump()));
    // The rest stays as it was.
    QCOMPARE(Current().processes, before.processes);
    QCOMPARE(Current().drives, before.drives);
    Install(before);
  }
};

QTEST_MAIN(QtPlatformTest)
#include "QtPlatformTest.moc"

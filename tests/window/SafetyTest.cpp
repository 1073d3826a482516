// The archive window under the faults a user meets: settings that cannot be
// written (a data folder that cannot hold files, a full disk through
// RLIMIT_FSIZE), the Add window closed without OK, a new archive over an
// existing file, "Only Update file(s)", commands started while Copy archive
// lets events run, and archive names holding ";" or "?". Offscreen, with
// scripted dialogs; archives by Info-ZIP zip, read and written by our engine.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <utime.h>

#include <csignal>
#include <memory>

#include "platform/FakePlatform.h"
#include "platform/NameText.h"
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "settings/u_settings.h"
#include "window/Addunit.h"
#include "window/SettingsView.h"
#include "window/extrunit.h"
#include "window/u_Info.h"
#include "window/mainunit.h"
#include "QtTestFiles.h"
#include "WindowRows.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;
namespace st = arkelin::settings;

namespace {

void SetTime(const QString& path, time_t when) {
  struct utimbuf t {when, when};
  QCOMPARE(::utime(QFile::encodeName(path).constData(), &t), 0);
}

// The configuration window as the program wires it: its controls are the
// window's live settings.
struct LiveSettings {
  explicit LiveSettings(TMainform& f) : view(settings) {
    settings.AttachMainWindow(&f, f.lw_Files);
    settings.FormCreate();
    f.SetSettings(&view);
  }
  st::TF_Settings settings;
  SettingsView view;
};

// Files above `bytes` cannot be written while the object lives (the kernel's
// file-size limit, as on a full disk); SIGXFSZ is ignored so the write fails
// with EFBIG instead of ending the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit l = saved_;
    l.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &l);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  struct rlimit saved_ {};
  void (*oldHandler_)(int) = nullptr;
};

// Swallows every activation the window would be told of.
class NoActivation : public QObject {
 public:
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::ActivationChange || e->type() == QEvent::WindowActivate) return true;
    return QObject::eventFilter(o, e);
  }
};

}  // namespace

class SafetyTest : public SessionTestBase {
  Q_OBJECT
 private:
  QString MakeSampleZip(const QString& name);

 private slots:
  void init();
  void cleanup();
  void settingsWritersRefusedByTheFolderNeverStopACommand();
  void settingsWritersOnAFullDiskNeverAbort();
  void noExceptionLeavesACommandHandler();
  void addWindowClosedByEscOrTitleBarAddsNothing();
  void newArchiveReplacesTheOldFileOnlyOnceMade();
  void extractOnlyUpdateKeepsNewerFiles();
  void commandsAndCloseAreRefusedWhileCopyRuns();
  void copyArchiveTakesItsNameLiterally();
  void dropsOfWhatIsNoLocalFileAreRefusedWithTheReason();
  void theFileNamesExtensionDecidesTheArchiveKind();
  void commandLineIsHandledWhenShownWithoutFocus();
  void namesThatAreNotUtf8KeepTheirBytes();
};

void SafetyTest::init() {
  QVERIFY(StartSession());
  TAddForm::SetShowHook([](TAddForm& w) { w.BitBtn2->click(); });
  TExtract::SetShowHook([](TExtract& w) { w.BitBtn2->click(); });
}

void SafetyTest::cleanup() {
  TAddForm::SetShowHook(nullptr);
  TExtract::SetShowHook(nullptr);
  EndSession();
}

QString SafetyTest::MakeSampleZip(const QString& name) {
  const QString src = P("zipsrc-" + name);
  WriteFile(src + "/docs/a.txt", QByteArray(5000, 'a'));
  WriteFile(src + "/c.txt", "the third file\n");
  const QString zipFile = P(name);
  return RunZipTool(src, {"-r", "-X", zipFile, "."}) ? zipFile : QString();
}

// ---- Settings that cannot be written ----------------------------------------------------------

void SafetyTest::settingsWritersRefusedByTheFolderNeverStopACommand() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString zipFile = MakeSampleZip("s.zip");
  QVERIFY(!zipFile.isEmpty());
  // The data folder sits below a regular file: nothing can be written there
  // (a read-only folder does not stop the superuser, this does).
  WriteFile(P("blocker"), "file");
  pf::SetDataFolderOverride(P("blocker").toStdString() + "/");
  const QString unable = "Unable to write to " + P("blocker") + "/Arkelin.ini";
  TMainform f;
  LiveSettings live(f);
  fake_->dialogs.boxes.clear();

  // Open: the recent list cannot be written.
  fake_->dialogs.openFiles.push_back({zipFile.toStdString()});
  f.Item("Openarchive1")->trigger();
  QCOMPARE(Texts(), QStringList({unable}));
  QCOMPARE(f.CurrentZipName(), zipFile);

  // Extract: the last folder cannot be remembered; the files still come out.
  fake_->dialogs.boxes.clear();
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(P("out"));
    d.BitBtn1->click();
  });
  QVERIFY(QDir().mkpath(P("out")));
  f.Item("Extract1")->trigger();
  QCOMPARE(Texts().first(), unable);
  QCOMPARE(ReadFile(P("out/c.txt")), QByteArray("the third file\n"));

  // Add: the same, and the file is added.
  WriteFile(P("new.txt"), "new");
  fake_->dialogs.boxes.clear();
  TAddForm::SetShowHook([&](TAddForm& w) {
    w.AppendNames({P("new.txt")});
    w.BitBtn1->click();
  });
  f.Item("Add1")->trigger();
  QCOMPARE(Texts().first(), unable);
  QCOMPARE(ZipEntryNames(f).filter(QRegularExpression("(^|\\\\)new\\.txt$")).size(), qsizetype(1));

  // Configuration OK and the layout at exit.
  fake_->dialogs.boxes.clear();
  live.settings.bu_OkClick();
  live.settings.cb_SaveLayout->setChecked(true);
  live.settings.FormDestroy();
  QCOMPARE(Texts(), QStringList({unable, unable}));
}

void SafetyTest::settingsWritersOnAFullDiskNeverAbort() {
  const QString ini = P("Arkelin.ini");
  WriteFile(ini, "[RECENT]\n0=/kept.zip\n");
  const QByteArray before = ReadFile(ini);
  const QString unable = "Unable to write to " + ini;
  const QString zipFile = MakeSampleZip("x.zip");
  QVERIFY(!zipFile.isEmpty());
  TMainform f;
  LiveSettings live(f);
  fake_->dialogs.boxes.clear();
  {
    FileSizeLimit full(8);
    fake_->dialogs.openFiles.push_back({zipFile.toStdString()});
    f.Item("Openarchive1")->trigger();
    live.settings.StoreLastFolder("E", P(""));
    live.settings.StoreLastFolder("A", P(""));
    live.settings.bu_OkClick();
    live.settings.cb_SaveLayout->setChecked(true);
    live.settings.FormDestroy();
  }
  QCOMPARE(Texts(), QStringList({unable, unable, unable, unable, unable}));
  // Every refused write left the file as it was and no temporary behind.
  QCOMPARE(ReadFile(ini), before);
  QCOMPARE(QDir(P("")).entryList({"Arkelin.ini.*"}, QDir::Files | QDir::Hidden), QStringList());
}

void SafetyTest::noExceptionLeavesACommandHandler() {
  TMainform f;
  f.ShowConfiguration = [] { throw st::EIniWriteError("/data/Arkelin.ini"); };
  f.Item("Configuration1")->trigger();
  QCOMPARE(Texts(), QStringList({"Unable to write to /data/Arkelin.ini"}));
  QVERIFY(fake_->dialogs.boxes[0].kind == pf::MsgKind::Error);
  fake_->dialogs.boxes.clear();
  f.ShowConfiguration = [] { throw 42; };
  f.Item("Configuration1")->trigger();
  QCOMPARE(Texts(), QStringList({"The command stopped on an unexpected error"}));
}

// ---- Add window, new archive, extract options ------------------------------------------------

void SafetyTest::addWindowClosedByEscOrTitleBarAddsNothing() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString zipFile = MakeSampleZip("a.zip");
  const QByteArray archive = ReadFile(zipFile);
  WriteFile(P("mine.txt"), "precious");
  TMainform f;
  f.EnterZipSession(zipFile);
  for (int way = 0; way < 2; ++way) {
    TAddForm::SetShowHook([&](TAddForm& w) {
      w.show();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      w.AppendNames({P("mine.txt")});
      w.CB_Move->setChecked(true);  // "Delete file(s) after"
      if (way == 0)
        QTest::keyClick(&w, Qt::Key_Escape);
      else
        w.close();  // the title bar's close button
      QVERIFY(!w.isVisible());
    });
    f.Add1Click();
    QCOMPARE(ReadFile(P("mine.txt")), QByteArray("precious"));
    QCOMPARE(ReadFile(zipFile), archive);
  }
}

void SafetyTest::newArchiveReplacesTheOldFileOnlyOnceMade() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString old = MakeSampleZip("old.zip");
  const QByteArray oldBytes = ReadFile(old);
  WriteFile(P("fresh.txt"), "fresh");
  TMainform f;
  auto leftovers = [&] { return QDir(P("")).entryList(QDir::Files | QDir::Hidden).filter("replaced"); };
  // Yes to the question, then the Add window is closed: the old file stays.
  fake_->dialogs.openFiles.push_back({old.toStdString()});
  fake_->dialogs.answers.push_back(pf::BtnYes);
  TAddForm::SetShowHook([](TAddForm& w) {
    w.AppendNames({QStringLiteral("/nothing")});
    w.reject();
  });
  f.Newarchive1Click();
  QCOMPARE(ReadFile(old), oldBytes);
  QCOMPARE(leftovers(), QStringList());
  // This time the add runs: the archive holds the new file only.
  fake_->dialogs.openFiles.push_back({old.toStdString()});
  fake_->dialogs.answers.push_back(pf::BtnYes);
  TAddForm::SetShowHook([&](TAddForm& w) {
    // The old archive is still on disk while the window is open.
    QCOMPARE(leftovers().size(), qsizetype(1));
    w.AppendNames({P("fresh.txt")});
    w.BitBtn1->click();
  });
  f.Newarchive1Click();
  const QStringList entries = ZipEntryNames(f);
  QCOMPARE(entries.size(), qsizetype(1));
  QVERIFY2(entries[0].endsWith("fresh.txt"), qPrintable(entries[0]));
  QVERIFY(ReadFile(old) != oldBytes);
  QCOMPARE(leftovers(), QStringList());
}

void SafetyTest::extractOnlyUpdateKeepsNewerFiles() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString zipFile = MakeSampleZip("u.zip");
  TMainform f;
  f.EnterZipSession(zipFile);
  const QString out = P("out");
  WriteFile(out + "/c.txt", "newer on disk");
  SetTime(out + "/c.txt", time(nullptr) + 86400);
  WriteFile(out + "/docs/a.txt", "older on disk");
  SetTime(out + "/docs/a.txt", 946684800);  // 2000-01-01
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(out);
    d.RadioGroup2->SetItemIndex(1);  // overwrite
    d.Ch_ExtUpdate->setChecked(true);
    d.BitBtn1->click();
  });
  f.Extract1Click();
  QCOMPARE(ReadFile(out + "/c.txt"), QByteArray("newer on disk"));
  QCOMPARE(ReadFile(out + "/docs/a.txt"), QByteArray(5000, 'a'));
}

// ---- Re-entrance and names ---------------------------------------------------------------------

void SafetyTest::commandsAndCloseAreRefusedWhileCopyRuns() {
  const QString zipFile = MakeSampleZip("c.zip");
  QVERIFY(QDir().mkpath(P("dest")));
  TMainform f;
  f.show();
  f.EnterZipSession(zipFile);
  fake_->dialogs.boxes.clear();
  fake_->dialogs.inputs.push_back(P("dest").toStdString());
  // Had Delete archive been let through, this Yes would have confirmed it.
  fake_->dialogs.answers.push_back(pf::BtnYes);
  int pumped = 0;
  bool closed = true;
  QString busy;
  fake_->pump.onProcess = [&] {
    if (pumped++ > 0) return;
    f.Item("Delete2")->trigger();
    f.Item("Closearchive1")->trigger();
    f.Button("bu_Open")->click();
    closed = f.close();
    busy = f.Panel3->text();
  };
  f.Item("Copyarchive1")->trigger();
  fake_->pump.onProcess = nullptr;
  QVERIFY(pumped > 0);
  QVERIFY(!closed);
  QCOMPARE(busy, TMainform::BusyText());
  QVERIFY(QFile::exists(zipFile));
  QCOMPARE(f.CurrentZipName(), zipFile);
  QVERIFY(fake_->dialogs.fileDialogsAsked.empty());
  QCOMPARE(Texts(), QStringList({"Copy successful"}));
  QCOMPARE(ReadFile(P("dest/c.zip")), ReadFile(zipFile));
  // Once the copy is over, the window closes again.
  QVERIFY(f.close());
}

void SafetyTest::copyArchiveTakesItsNameLiterally() {
  const QString sample = MakeSampleZip("sample.zip");
  for (const char* n : {"v1.zip", "v2.zip", "v?.zip", "a;b.zip", "v*.zip"}) QVERIFY(QFile::copy(sample, P(n)));
  QVERIFY(QDir().mkpath(P("dest")));
  TMainform f;
  for (const char* n : {"v?.zip", "a;b.zip", "v*.zip"}) {
    f.EnterZipSession(P(n));
    fake_->dialogs.boxes.clear();
    fake_->dialogs.inputs.push_back(P("dest").toStdString());
    f.Copyarchive1Click();
    QCOMPARE(Texts(), QStringList({"Copy successful"}));
  }
  QStringList copied = QDir(P("dest")).entryList(QDir::Files);
  copied.sort();
  QCOMPARE(copied, QStringList({"a;b.zip", "v*.zip", "v?.zip"}));
}

void SafetyTest::dropsOfWhatIsNoLocalFileAreRefusedWithTheReason() {
  WriteFile(P("d/one.txt"), "1");
  TMainform f;
  f.resize(400, 300);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  auto drop = [&](const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = f.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &enter);
    QDropEvent d(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &d);
    QApplication::processEvents();
  };
  const QString reason = "Only files on this computer can be dropped; not taken:\n";
  drop({QUrl("https://example.org/a.zip")});
  QCOMPARE(Texts(), QStringList({reason + "https://example.org/a.zip"}));
  QVERIFY(f.CurrentZipName().isEmpty());
  // A file on another computer is not "//host/path" on this one.
  fake_->dialogs.boxes.clear();
  drop({QUrl("file://fileserver/share/a.zip")});
  QCOMPARE(Texts(), QStringList({reason + "file://fileserver/share/a.zip"}));
  QVERIFY(f.CurrentZipName().isEmpty());
  // localhost is this computer: the drop goes on (to the archive question).
  fake_->dialogs.boxes.clear();
  QUrl local = QUrl::fromLocalFile(P("d/x.zip"));
  local.setHost("localhost");
  fake_->dialogs.answers.push_back(pf::BtnAbort);
  drop({local, QUrl("ftp://example.org/b")});
  QCOMPARE(Texts(), QStringList({reason + "ftp://example.org/b",
                                 "What do you like to do: Open Zipfile(Yes), Add Zipfile(No), Abort(Abort)"}));
  // The Add window refuses the same way and passes the local files on.
  QStringList passed;
  TAddForm::SetShowHook([&](TAddForm& w) {
    w.OnShellDrop = [&](const QStringList& names) { passed += names; };
    w.AcceptOutside(true);
    QMimeData data;
    data.setUrls({QUrl("https://example.org/c"), QUrl::fromLocalFile(P("d/one.txt"))});
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QPoint at(2, 2);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &enter);
    QDropEvent d(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&w, &d);
    w.reject();
  });
  f.EnterZipSession(P("addto.zip"));
  fake_->dialogs.boxes.clear();
  f.Add1Click();
  QCOMPARE(passed, QStringList({P("d/one.txt")}));
  QCOMPARE(Texts(), QStringList({reason + "https://example.org/c"}));
}

void SafetyTest::theFileNamesExtensionDecidesTheArchiveKind() {
  // A file in a folder whose name holds ".zip" is a file to add, not an
  // archive to open: no question about opening it.
  WriteFile(P("john.zip.d/notes.txt"), "n");
  TMainform f;
  f.EnterZipSession(P("target.zip"));
  TAddForm::SetShowHook([](TAddForm& w) { w.reject(); });
  f.DropFiles({P("john.zip.d/notes.txt")});
  QVERIFY(!fake_->dialogs.Saw("Open Zipfile"));
  // A ".zip" file is asked about, whatever its folder is called.
  fake_->dialogs.answers.push_back(pf::BtnAbort);
  f.DropFiles({P("john.d/a.ZIP")});
  QVERIFY(fake_->dialogs.Saw("Open Zipfile"));
}

void SafetyTest::commandLineIsHandledWhenShownWithoutFocus() {
  const QString zipFile = MakeSampleZip("cl.zip");
  TMainform f;
  // As under focus-stealing prevention or with no window manager: the
  // window is shown but never told it became active.
  f.setAttribute(Qt::WA_ShowWithoutActivating);
  NoActivation never;
  f.installEventFilter(&never);
  f.SetCommandLine({zipFile});
  f.show();
  QTRY_VERIFY(f.CommandLineHandled());
  QCOMPARE(f.CurrentZipName(), zipFile);
  // Activation later does not handle it a second time.
  f.CloseSession();
  f.FormActivate();
  QVERIFY(f.CurrentZipName().isEmpty());
}

void SafetyTest::namesThatAreNotUtf8KeepTheirBytes() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString sample = MakeSampleZip("sample.zip");
  // "caf\xE9.zip": a Latin-1 name, which UTF-8 text cannot hold.
  const QByteArray bytes = QFile::encodeName(dir_->path()) + "/caf\xE9.zip";
  QCOMPARE(::rename(QFile::encodeName(sample).constData(), bytes.constData()), 0);
  struct stat st {};
  QCOMPARE(::stat(bytes.constData(), &st), 0);
  {
    TMainform f;
    f.resize(400, 300);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    // Dropped from a file manager: the list carries the byte as %E9.
    QMimeData data;
    data.setData("text/uri-list", QByteArray::fromStdString(pf::FileUriOf(bytes.toStdString())) + "\r\n");
    fake_->dialogs.answers.push_back(pf::BtnYes);  // open it
    const QPoint at = f.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &enter);
    QDropEvent d(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&f, &d);
    QTRY_VERIFY(!f.CurrentZipName().isEmpty());
    QCOMPARE(pf::TextToNameBytes(f.CurrentZipName()), bytes);
    QCOMPARE(f.Model().RowCountValue(), 2);  // opened and listed by its bytes
    // Written back to the settings unchanged.
    f.EnterZipSession(f.CurrentZipName());
    QVERIFY(ReadFile(P("Arkelin.ini")).contains("\n0=" + bytes));
    // Properties find the file.
    QString shownSize;
    TF_Info::SetShowHook([&](TF_Info& w) { shownSize = w.la_Size->text(); });
    f.Archiveinformation1Click();
    TF_Info::SetShowHook(nullptr);
    QCOMPARE(shownSize, QString::number(static_cast<long long>(st.st_size)));
  }
  // A later run opens it again from the recent list, then deletes it.
  TMainform g;
  g.Item("Fil0")->trigger();
  QCOMPARE(pf::TextToNameBytes(g.CurrentZipName()), bytes);
  QCOMPARE(g.Model().RowCountValue(), 2);
  fake_->dialogs.boxes.clear();
  fake_->dialogs.answers.push_back(pf::BtnYes);
  g.Delete2Click();
  QCOMPARE(::stat(bytes.constData(), &st), -1);
  QVERIFY2(!fake_->dialogs.Saw("not found") && !fake_->dialogs.Saw("Unable"), qPrintable(Texts().join("|")));
}

QTEST_MAIN(SafetyTest)
#include "SafetyTest.moc"

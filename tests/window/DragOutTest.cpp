// Rows dragged out of the archive window: the text/uri-list a drop target
// gets, the files behind it (extracted only when asked for, the entries
// themselves), the password asked before the drag, the temporary copies
// removed, and a drag that ends inside the window doing nothing. Offscreen,
// with scripted dialogs; archives by Info-ZIP zip.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>

#include <memory>

#include "platform/FakePlatform.h"
#include "platform/NameText.h"
#include "platform/Paths.h"
#include "window/Addunit.h"
#include "window/DragOut.h"
#include "window/mainunit.h"
#include "engine/zip/ZipPassword.h"
#include "QtTestFiles.h"
#include "WindowRows.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;

namespace {

// A file manager's window, as far as a drop goes.
class DropTarget : public QWidget {
 public:
  DropTarget() { setAcceptDrops(true); }
  QByteArray list;
  QList<QUrl> urls;
  bool entered = false;

 protected:
  void dragEnterEvent(QDragEnterEvent* e) override {
    entered = e->mimeData()->hasUrls();
    if (entered) e->acceptProposedAction();
  }
  void dropEvent(QDropEvent* e) override {
    list = e->mimeData()->data(QStringLiteral("text/uri-list"));
    urls = e->mimeData()->urls();
    e->acceptProposedAction();
  }
};

// Enter and drop on widget w; true when the drop was accepted.
bool Drop(QWidget* w, QMimeData* data) {
  const QPoint at = w->rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent d(at, Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &d);
  QApplication::processEvents();
  return d.isAccepted();
}

}  // namespace

class DragOutTest : public SessionTestBase {
  Q_OBJECT
 private:
  // docs/a.txt, img/2000/b.bin and c.txt; with a password when given.
  QString MakeZip(const QString& name, const QString& password = {}) {
    const QString src = P("src-" + name);
    WriteFile(src + "/docs/a.txt", QByteArray(3000, 'a'));
    WriteFile(src + "/img/2000/b.bin", QByteArray("\x00\x01\x02 binary", 10));
    WriteFile(src + "/c.txt", "the third file\n");
    QStringList args{"-r", "-X"};
    if (!password.isEmpty()) args << "-P" << password;
    args << P(name) << ".";
    return RunZipTool(src, args) ? P(name) : QString();
  }

 private slots:
  void init() {
    QVERIFY(StartSession());
  }
  void cleanup() {
    EndSession();
  }

  void theDropTargetGetsTheEntriesFilesExtractedOnDemand() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
    TMainform f;
    f.EnterZipSession(MakeZip("a.zip"));
    SelectRows(f, {"a.txt", "b.bin"});
    std::unique_ptr<DragOutData> data = f.DragOutCommand().Prepare();
    QVERIFY(data);
    QVERIFY(data->formats().contains("text/uri-list"));
    // Nothing is extracted before a target asks.
    QVERIFY(data->TempFolder().isEmpty());
    DropTarget target;
    target.resize(100, 100);
    QVERIFY(Drop(&target, data.get()));
    QVERIFY(data->Extracted());
    const QString temp = data->TempFolder();
    // A private folder of the user's own.
    QVERIFY(temp.startsWith(QString::fromStdString(pf::PrivateTempFolder())));
    struct stat st {};
    QCOMPARE(::stat(temp.toLocal8Bit().constData(), &st), 0);
    QCOMPARE(st.st_mode & 0077, 0u);
    // The list names the two files themselves, not their folders.
    QList<QByteArray> lines = target.list.split('\n');
    QCOMPARE(lines.takeLast(), QByteArray());  // every line ends in CR LF
    std::sort(lines.begin(), lines.end());
    QCOMPARE(lines, QList<QByteArray>({QByteArray::fromStdString(pf::FileUriOf((temp + "/docs/a.txt").toStdString())) + "\r",
                                       QByteArray::fromStdString(pf::FileUriOf((temp + "/img/2000/b.bin").toStdString())) + "\r"}));
    QCOMPARE(target.urls.size(), qsizetype(2));
    QMap<QString, QByteArray> got;
    for (const QUrl& u : target.urls) got[QFileInfo(u.toLocalFile()).fileName()] = ReadFile(u.toLocalFile());
    QCOMPARE(got.value("a.txt"), QByteArray(3000, 'a'));
    QCOMPARE(got.value("b.bin"), QByteArray("\x00\x01\x02 binary", 10));
    // c.txt was not dragged and is not there.
    QVERIFY(!QFile::exists(temp + "/c.txt"));
    // Dropped: the copies stay a while for the target, then go.
    f.DragOutCommand().Finished(temp, true);
    QCOMPARE(f.DragOutCommand().Pending(), QStringList({temp}));
    QVERIFY(QFile::exists(temp + "/docs/a.txt"));
    f.DragOutCommand().RemovePending();
    QVERIFY(!QFileInfo::exists(temp));
  }

  void aDragNotDroppedRemovesItsCopiesAtOnce() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
    TMainform f;
    f.EnterZipSession(MakeZip("b.zip"));
    SelectRows(f, {"c.txt"});
    std::unique_ptr<DragOutData> data = f.DragOutCommand().Prepare();
    QVERIFY(data);
    QVERIFY(!data->data("text/uri-list").isEmpty());  // a target looked, then refused
    const QString temp = data->TempFolder();
    QVERIFY(QFile::exists(temp + "/c.txt"));
    f.DragOutCommand().Finished(temp, false);
    QVERIFY(!QFileInfo::exists(temp));
    QVERIFY(f.DragOutCommand().Pending().isEmpty());
    // Only drag folders are ever removed.
    QVERIFY(QDir().mkpath(P("keep")));
    QVERIFY(!RemoveDragFolder(P("keep")));
    QVERIFY(QFileInfo::exists(P("keep")));
    // No selection: no drag.
    f.lw_Files->clearSelection();
    QVERIFY(!f.DragOutCommand().Prepare());
  }

  void anEncryptedEntryAsksForThePasswordBeforeTheDrag() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
    TMainform f;
    f.EnterZipSession(MakeZip("p.zip", "secret"));
    SelectRows(f, {"a.txt"});
    // Cancelled: no drag at all.
    fake_->dialogs.inputs.push_back(std::nullopt);
    QVERIFY(!f.DragOutCommand().Prepare());
    QCOMPARE(fake_->dialogs.inputsAsked.size(), size_t(1));
    // Answered: asked before any data exists, and not asked again on drop.
    fake_->dialogs.inputs.push_back(std::string("secret"));
    std::unique_ptr<DragOutData> data = f.DragOutCommand().Prepare();
    QVERIFY(data);
    QCOMPARE(fake_->dialogs.inputsAsked.size(), size_t(2));
    QVERIFY(data->TempFolder().isEmpty());
    DropTarget target;
    QVERIFY(Drop(&target, data.get()));
    QCOMPARE(fake_->dialogs.inputsAsked.size(), size_t(2));
    QCOMPARE(target.urls.size(), qsizetype(1));
    QCOMPARE(ReadFile(target.urls[0].toLocalFile()), QByteArray(3000, 'a'));
    f.DragOutCommand().Finished(data->TempFolder(), false);
    // Rows that need no password ask nothing.
    TMainform g;
    g.EnterZipSession(MakeZip("q.zip"));
    SelectRows(g, {"a.txt"});
    QVERIFY(g.DragOutCommand().Prepare());
    QCOMPARE(fake_->dialogs.inputsAsked.size(), size_t(2));
  }

  // Wrong passwords that the entry's encryption header refuses: one wrong
  // password in 256 passes the check byte of a traditional header, and zip
  // writes a fresh header every time, so fixed wrong answers would let the
  // question flow below go differently about once in a hundred runs.
  static std::vector<std::string> RefusedPasswords(const QString& zip, const char* entry, size_t n) {
    std::vector<std::string> out;
    for (int i = 0; out.size() < n && i < 10000; ++i) {
      std::string pw = "wrong" + std::to_string(i);
      if (arkelin::engine::zip::EntryPasswordFits(zip.toStdString(), entry, pw) ==
          arkelin::engine::zip::PasswordFit::Wrong)
        out.push_back(pw);
    }
    return out;
  }

  void aWrongPasswordIsAskedAgainBeforeTheDragAndNeverDuringTheDrop() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
    TMainform f;
    const QString zip = MakeZip("w.zip", "secret");
    const std::vector<std::string> wrong = RefusedPasswords(zip, "docs/a.txt", 4);
    QCOMPARE(wrong.size(), size_t(4));
    f.EnterZipSession(zip);
    SelectRows(f, {"a.txt", "c.txt"});
    fake_->dialogs.inputs = {wrong[0], std::string("secret")};
    std::unique_ptr<DragOutData> data = f.DragOutCommand().Prepare();
    QVERIFY(data);
    QCOMPARE(fake_->dialogs.inputsAsked,
             std::vector<std::string>({"Password: Enter the password of the dragged files",
                                       "Password: Wrong password. Enter the password of the dragged files"}));
    DropTarget target;
    QVERIFY(Drop(&target, data.get()));
    QCOMPARE(fake_->dialogs.inputsAsked.size(), size_t(2));
    QVERIFY(fake_->dialogs.boxes.empty());
    QCOMPARE(target.urls.size(), qsizetype(2));
    f.DragOutCommand().Finished(data->TempFolder(), false);
    // Three wrong answers call the drag off, and say so.
    fake_->dialogs.inputsAsked.clear();
    fake_->dialogs.inputs = {wrong[1], wrong[2], wrong[3]};
    QVERIFY(!f.DragOutCommand().Prepare());
    QCOMPARE(fake_->dialogs.inputsAsked.size(), size_t(3));
    QVERIFY(fake_->dialogs.Saw("Wrong password: the files are not dragged"));
  }

  void anEntryUnderAnotherPasswordFailsTheDropWithoutAQuestion() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
    // a.txt under "one", c.txt under "two": the first dragged entry decides
    // the question; the other cannot come out, and the drop asks nothing.
    const QString src = P("src-two");
    WriteFile(src + "/a.txt", QByteArray(2000, 'x'));
    WriteFile(src + "/c.txt", "under the other password\n");
    QProcess zip;
    zip.setWorkingDirectory(src);
    zip.start("sh", {"-c", "zip -q -P one " + P("two.zip") + " a.txt && zip -q -P two " + P("two.zip") + " c.txt"});
    QVERIFY(zip.waitForFinished(30000) && zip.exitCode() == 0);
    TMainform f;
    f.EnterZipSession(P("two.zip"));
    SelectRows(f, {"a.txt", "c.txt"});
    fake_->dialogs.inputs = {std::string("one")};
    std::unique_ptr<DragOutData> data = f.DragOutCommand().Prepare();
    QVERIFY(data);
    fake_->dialogs.boxes.clear();
    QVERIFY(data->data("text/uri-list").isEmpty());
    QVERIFY(!data->Extracted());
    QCOMPARE(fake_->dialogs.inputsAsked.size(), size_t(1));
    QVERIFY2(fake_->dialogs.boxes.empty(), fake_->dialogs.boxes.empty() ? "" : fake_->dialogs.Texts().front().c_str());
    f.DragOutCommand().Finished(data->TempFolder(), false);
    QVERIFY(!QFileInfo::exists(data->TempFolder()));
  }

  void encryptedRarEntriesAreCheckedBeforeTheDrag() {
    if (!HaveRarLibrary()) QSKIP("the RAR library is not built");
    // b.txt is under "password", d.txt under "password2".
    TMainform f;
    f.EnterRarSession(QStringLiteral(ARKELIN_FIXTURES "/rar/la-test_read_format_rar5_encrypted.rar"));
    QVERIFY(f.Model().RowCountValue() > 0);
    fake_->dialogs.inputsAsked.clear();
    SelectRows(f, {"b.txt"});
    fake_->dialogs.inputs = {std::string("password2"), std::string("password")};
    std::unique_ptr<DragOutData> data = f.DragOutCommand().Prepare();
    QVERIFY(data);
    QCOMPARE(fake_->dialogs.inputsAsked.size(), size_t(2));
    fake_->dialogs.boxes.clear();
    DropTarget target;
    QVERIFY(Drop(&target, data.get()));
    QCOMPARE(fake_->dialogs.inputsAsked.size(), size_t(2));
    QVERIFY(fake_->dialogs.boxes.empty());
    QCOMPARE(target.urls.size(), qsizetype(1));
    QCOMPARE(ReadFile(target.urls[0].toLocalFile()).size(), qsizetype(18));
    f.DragOutCommand().Finished(data->TempFolder(), false);
  }

  void aMissingRarVolumeFailsTheDropWithoutAQuestion() {
    if (!HaveRarLibrary()) QSKIP("the RAR library is not built");
    // Listed with all three volumes; the last is gone by the time of the drop.
    for (int i = 1; i <= 3; ++i) {
      const QString name = QStringLiteral("rf-rar5-vols.part%1.rar").arg(i);
      QVERIFY(QFile::copy(QStringLiteral(ARKELIN_FIXTURES "/rar/") + name, P(name)));
    }
    TMainform f;
    f.EnterRarSession(P("rf-rar5-vols.part1.rar"));
    SelectRows(f, {"bigfile.txt"});
    std::unique_ptr<DragOutData> data = f.DragOutCommand().Prepare();
    QVERIFY(data);
    QVERIFY(QFile::remove(P("rf-rar5-vols.part3.rar")));
    fake_->dialogs.boxes.clear();
    fake_->dialogs.inputsAsked.clear();
    QVERIFY(data->data("text/uri-list").isEmpty());
    QVERIFY(fake_->dialogs.boxes.empty());
    QVERIFY(fake_->dialogs.inputsAsked.empty());
    f.DragOutCommand().Finished(data->TempFolder(), false);
  }

  void aDragThatEndsInsideTheWindowDoesNothing() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
    const QString zip = MakeZip("w.zip");
    const QByteArray before = ReadFile(zip);
    TMainform f;
    f.resize(500, 300);
    f.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f));
    f.EnterZipSession(zip);
    SelectRows(f, {"c.txt"});
    std::unique_ptr<DragOutData> data = f.DragOutCommand().Prepare();
    QVERIFY(data);
    fake_->dialogs.boxes.clear();
    QVERIFY(!Drop(&f, data.get()));
    QVERIFY(!Drop(f.lw_Files->viewport(), data.get()));
    // No question, no add, no extraction, the archive as it was.
    QVERIFY(fake_->dialogs.boxes.empty());
    QVERIFY(data->TempFolder().isEmpty());
    QCOMPARE(ReadFile(zip), before);
    // The Add window takes no rows of the list either.
    TAddForm::SetShowHook([&](TAddForm& w) {
      w.AcceptOutside(true);
      w.show();
      QVERIFY(QTest::qWaitForWindowExposed(&w));
      QVERIFY(!Drop(w.SelectedList, data.get()));
      QVERIFY(w.Names().isEmpty());
      w.reject();
    });
    f.Add1Click();
    TAddForm::SetShowHook(nullptr);
  }
};

QTEST_MAIN(DragOutTest)
#include "DragOutTest.moc"

// The archive window's self-extracting command, offscreen, with the options
// window and every message box scripted: the refusals, the options carried
// into the program, the way back to a ZIP file, and the captions.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

#include "engine/zip/ZipMstr.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "window/SfxVolumeCommands.h"
#include "window/mainunit.h"
#include "window/sfxunit.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;

namespace {

void WriteFile(const QString& path, const QByteArray& data) {
  QDir().mkpath(QFileInfo(path).absolutePath());
  QFile f(path);
  QVERIFY(f.open(QIODevice::WriteOnly));
  QCOMPARE(f.write(data), data.size());
}

QByteArray ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// The trash is a folder of its own here, never the user's.
class FolderTrash : public pf::IFiles {
 public:
  QStringList trashed;
  std::string TempFileName(const std::string&, const std::string&) override { return {}; }
  bool MoveToTrash(const std::string& path) override {
    trashed << QString::fromStdString(path);
    return QFile::remove(QString::fromStdString(path));
  }
};

}  // namespace

class SfxWindowTest : public QObject {
  Q_OBJECT
 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::unique_ptr<pf::FakePlatformScope> fake_;
  DefaultMainSettings settings_;
  int shown_ = 0;
  FolderTrash trash_;
  QString P(const QString& rel) const { return dir_->path() + "/" + rel; }
  QStringList Texts() const {
    QStringList out;
    for (const auto& t : fake_->dialogs.Texts()) out << QString::fromStdString(t);
    return out;
  }
  QString MakeZip(const QString& name) {
    WriteFile(P("src/a.txt"), QByteArray(3000, 'a'));
    WriteFile(P("src/sub/b.txt"), "bee\n");
    QProcess zip;
    zip.setWorkingDirectory(P("src"));
    zip.start("zip", {"-q", "-r", P(name), "."});
    zip.waitForFinished();
    return P(name);
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    pf::SetDataFolderOverride(dir_->path().toStdString() + "/");
    fake_ = std::make_unique<pf::FakePlatformScope>();
    auto services = pf::Current();
    services.files = &trash_;
    pf::Install(services);
    trash_.trashed.clear();
    settings_ = DefaultMainSettings();
    shown_ = 0;
    TMakeSFX::SetShowHook([this](TMakeSFX& w) {
      ++shown_;
      w.bu_Close->click();
    });
  }
  void cleanup() {
    TMakeSFX::SetShowHook(nullptr);
    SfxVolumeCommands::SetStubFolderOverride(QString());
    fake_.reset();
    pf::SetDataFolderOverride("");
    dir_.reset();
  }

  void emptyArchiveAndMissingStubAreRefused() {
    // An archive with nothing in it.
    QByteArray eocd(22, '\0');
    eocd[0] = 'P', eocd[1] = 'K', eocd[2] = 5, eocd[3] = 6;
    WriteFile(P("empty.zip"), eocd);
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(P("empty.zip"));
    f.MakeSelfExtractedfile1Click();
    QCOMPARE(Texts(), QStringList{"The Archive must contain atleast one file!"});
    QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::None);
    QCOMPARE(shown_, 0);
    QVERIFY(!QFile::exists(P("empty.exe")));

    // No stub in the program folder: the options window is not opened.
    f.EnterZipSession(MakeZip("a.zip"));
    SfxVolumeCommands::SetStubFolderOverride(P("nostub"));
    fake_->dialogs.boxes.clear();
    f.MakeSelfExtractedfile1Click();
    QCOMPARE(Texts(), QStringList{"Error: Can't find RU2001.BIN"});
    QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Error);
    QCOMPARE(shown_, 0);
    QVERIFY(!QFile::exists(P("a.exe")));
  }

  void closeMakesNothing() {
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(MakeZip("a.zip"));
    f.MakeSelfExtractedfile1Click();
    QCOMPARE(shown_, 1);
    QVERIFY(Texts().isEmpty());
    QVERIFY(!QFile::exists(P("a.exe")));
    QCOMPARE(f.Item("MakeSelfExtractedfile1")->text(), QStringLiteral("&Make Self Extracting file"));
  }

  void convertsWithTheOptionsAndBack() {
    const QString zipFile = MakeZip("a.zip");
    const QByteArray original = ReadFile(zipFile);
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zipFile);
    QString title;
    TMakeSFX::SetShowHook([&](TMakeSFX& w) {
      ++shown_;
      title = w.windowTitle();
      // The defaults of a new window.
      QCOMPARE(w.OverwriteIndex(), 0);
      QCOMPARE(w.CaptionEdit->text(), QStringLiteral("Self-extracting Archive"));
      QCOMPARE(w.DirectoryEdit->text(), QStringLiteral("C:\\"));
      QVERIFY(w.CommandEdit->text().isEmpty());
      QCOMPARE(w.Pages->tabText(0), QStringLiteral("SFX Options 1."));
      QCOMPARE(w.Pages->tabText(1), QStringLiteral("SFX Options 2."));
      w.SetOverwriteIndex(2);
      w.CmdLineCB->setChecked(true);
      w.CaptionEdit->setText("Window caption");
      w.DirectoryEdit->setText("><");
      w.CommandEdit->setText("/bin/true");
      w.bu_Ok->click();
    });
    f.MakeSelfExtractedfile1Click();
    QCOMPARE(shown_, 1);
    QCOMPARE(title, zipFile);
    const QString exe = P("a.exe");
    QCOMPARE(Texts(), QStringList{"Successfully built: " + exe});
    QCOMPARE(f.CurrentZipName(), exe);
    QVERIFY(!QFile::exists(zipFile));
    QCOMPARE(trash_.trashed, QStringList{zipFile});
    QCOMPARE(f.Item("MakeSelfExtractedfile1")->text(), QStringLiteral("Create &ZIP file"));
    QCOMPARE(f.Item("MakeEXEfile1")->text(), QStringLiteral("Create &ZIP file"));
    QCOMPARE(f.ListedCount(), 2);  // the list was read again from the .exe (folders are not rows)

    // The block after the stub carries the choices.
    const QByteArray bytes = ReadFile(exe);
    const qint64 stubSize = QFileInfo(QStringLiteral(ARKELIN_BIN_DIR "/ru2001.bin")).size();
    const QByteArray block = bytes.mid(stubSize, 256);
    QCOMPARE(block.left(3), QByteArray("MPU"));
    QCOMPARE(static_cast<int>(static_cast<uint8_t>(block[3])), 1 | 16);
    QCOMPARE(block.mid(7, 14 + 2 + 9), QByteArray("Window caption></bin/true"));
    QProcess run;
    run.start(exe, {"-l"});
    QVERIFY(run.waitForFinished());
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(run.readAllStandardOutput().startsWith("Window caption\n"));

    // Back to a ZIP file, without the options window.
    fake_->dialogs.boxes.clear();
    f.MakeSelfExtractedfile1Click();
    QCOMPARE(shown_, 1);
    QCOMPARE(Texts(), QStringList{"Successfully built: " + zipFile});
    QCOMPARE(ReadFile(zipFile), original);
    QVERIFY(!QFile::exists(exe));
    QCOMPARE(f.Item("MakeSelfExtractedfile1")->text(), QStringLiteral("&Make Self Extracting file"));
  }

  void failedConversionIsReported() {
    const QString zipFile = MakeZip("a.zip");
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zipFile);
    TMakeSFX::SetShowHook([&](TMakeSFX& w) {
      w.CaptionEdit->setText(QString(250, u'c'));
      w.bu_Ok->click();
    });
    f.MakeSelfExtractedfile1Click();
    const QStringList t = Texts();
    QCOMPARE(t.size(), 2);
    QVERIFY(t[0].startsWith("Error - On or more of the 4 property strings"));
    QVERIFY(t[0].endsWith("= 253"));
    QCOMPARE(t[1], QStringLiteral("Error while creating .EXE file"));
    QCOMPARE(f.CurrentZipName(), zipFile);
    QCOMPARE(f.Item("MakeSelfExtractedfile1")->text(), QStringLiteral("&Make Self Extracting file"));
    QVERIFY(QFile::exists(zipFile));
  }
};

QTEST_MAIN(SfxWindowTest)
#include "SfxWindowTest.moc"

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
#include "platform/FakeRemovableDrive.h"
#include "platform/LinuxPlatform.h"
#include "platform/Paths.h"
#include "window/SfxVolumeCommands.h"
#include "window/mainunit.h"
#include "window/sfxunit.h"
#include "SessionTestBase.h"
#include "QtTestFiles.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;

namespace {

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

class SfxWindowTest : public SessionTestBase {
  Q_OBJECT
 private:
  DefaultMainSettings settings_;
  int shown_ = 0;
  FolderTrash trash_;
  QString MakeZip(const QString& name) {
    WriteFile(P("src/a.txt"), QByteArray(3000, 'a'));
    WriteFile(P("src/sub/b.txt"), "bee\n");
    return RunZipTool(P("src"), {"-r", P(name), "."}) ? P(name) : QString();
  }

 private slots:
  void init() {
    QVERIFY(StartSession());
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
    SfxVolumeCommands::SetProgramFolderOverride(QString());
    EndSession();
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
    SfxVolumeCommands::SetProgramFolderOverride(P("nostub"));
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

    // The other switches and overwrite choice; the size check, which the
    // window does not show, stays as it was.
    f.ZipMaster1().SFXOptions = ez::SFXCheckSize | ez::SFXAskCmdLine;
    TMakeSFX::SetShowHook([&](TMakeSFX& w) {
      w.SetOverwriteIndex(1);
      w.FileListCB->setChecked(true);
      w.HideOverwriteCB->setChecked(true);
      w.bu_Ok->click();
    });
    fake_->dialogs.boxes.clear();
    f.MakeSelfExtractedfile1Click();
    QCOMPARE(Texts(), QStringList{"Successfully built: " + exe});
    QCOMPARE(static_cast<int>(static_cast<uint8_t>(ReadFile(exe).mid(stubSize, 256)[3])), 2 | 4 | 8);
    QCOMPARE(f.ZipMaster1().SFXOptions, ez::SFXOpts(ez::SFXCheckSize | ez::SFXAskFiles | ez::SFXHideOverWriteBox));
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

  void installedStubAndAFailedWayBack() {
    // An installed program finds the stub in ../lib/arkelin.
    QDir().mkpath(P("inst/bin"));
    QDir().mkpath(P("inst/lib/arkelin"));
    QVERIFY(QFile::copy(QStringLiteral(ARKELIN_BIN_DIR "/ru2001.bin"), P("inst/lib/arkelin/ru2001.bin")));
    SfxVolumeCommands::SetProgramFolderOverride(P("inst/bin"));
    const QString zipFile = MakeZip("i.zip");
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zipFile);
    TMakeSFX::SetShowHook([&](TMakeSFX& w) {
      ++shown_;
      w.bu_Ok->click();
    });
    f.MakeSelfExtractedfile1Click();
    const QString exe = P("i.exe");
    QCOMPARE(Texts(), QStringList{"Successfully built: " + exe});
    QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::None);
    const QByteArray stub = ReadFile(P("inst/lib/arkelin/ru2001.bin"));
    QVERIFY(ReadFile(exe).startsWith(stub));
    QCOMPARE(QString::fromStdString(f.ZipMaster1().SFXPath), P("inst/lib/arkelin/ru2001.bin"));

    // The program is damaged after it was listed: the way back fails, the
    // program stays, and so do the captions and the session.
    const QByteArray whole = ReadFile(exe);
    WriteFile(exe, whole.left(whole.size() - 10));
    fake_->dialogs.boxes.clear();
    f.MakeSelfExtractedfile1Click();
    QCOMPARE(Texts(), QStringList{"Error while creating .ZIP file"});
    QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::None);
    QCOMPARE(shown_, 1);
    QVERIFY(!QFile::exists(zipFile));
    QCOMPARE(ReadFile(exe).size(), whole.size() - 10);
    QCOMPARE(f.CurrentZipName(), exe);
    QCOMPARE(f.Item("MakeSelfExtractedfile1")->text(), QStringLiteral("Create &ZIP file"));
  }

  void createVolumesOnAFixedDrive() {
    const QString zipFile = MakeZip("c.zip");
    TMainform f;
    f.SetSettings(&settings_);
    // No archive: nothing is asked.
    f.Splitarchive1Click();
    QVERIFY(fake_->dialogs.foldersAsked.empty());
    f.EnterZipSession(zipFile);
    // Cancelled folder choice.
    f.Splitarchive1Click();
    QCOMPARE(fake_->dialogs.foldersAsked, std::vector<std::string>{"Please specify a directory"});
    QVERIFY(QDir(P("vol")).isEmpty() || !QDir(P("vol")).exists());
    // A folder: numbered files, and no format even with the setting on.
    QDir().mkpath(P("vol"));
    settings_.formatEachDisk = true;
    fake_->dialogs.folders.push_back(P("vol").toStdString());
    f.Splitarchive1Click();
    QCOMPARE(f.ZipMaster1().AddOptions, ez::AddOpts(ez::AddDiskSpan));
    QVERIFY(Texts().isEmpty());
    const QByteArray first = ReadFile(P("vol/c001.zip"));
    QVERIFY(first.startsWith(QByteArray("PK\x07\x08", 4)));
    QCOMPARE(f.CurrentZipName(), zipFile);  // the session stays on the archive
  }

  void createVolumesOnRemovableMedia() {
    const QString zipFile = MakeZip("r.zip");
    pf::LinuxDrives real;
    QDir().mkpath(P("drive"));
    QDir().mkpath(P("store"));
    pf::FakeRemovableDrive drive(real, P("drive").toStdString(), P("store").toStdString());
    drive.Insert(drive.AddMedium(10000000));
    auto services = pf::Current();
    services.drives = &drive;
    pf::Install(services);
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zipFile);
    settings_.formatEachDisk = true;
    fake_->dialogs.folders.push_back(P("drive").toStdString());
    fake_->dialogs.answers = {pf::BtnOK};
    f.Splitarchive1Click();
    QCOMPARE(f.ZipMaster1().AddOptions, ez::AddOpts(ez::AddDiskSpanErase));
    QCOMPARE(Texts(), QStringList{"Please insert disk volume 1\nin drive: " + P("drive") + "/"});
    QCOMPARE(fake_->dialogs.boxes[0].buttons, pf::BtnOK | pf::BtnCancel);
    QCOMPARE(drive.formatted, std::vector<std::string>{"PKBACK# 001"});
    QCOMPARE(drive.MediumAt(0).label, std::string("PKBACK# 001"));
    QVERIFY(QFile::exists(P("drive/r.zip")));
    // Without the setting: no format.
    settings_.formatEachDisk = false;
    fake_->dialogs.boxes.clear();
    fake_->dialogs.folders.push_back(P("drive").toStdString());
    fake_->dialogs.answers = {pf::BtnOK, pf::BtnYes};
    f.Splitarchive1Click();
    QCOMPARE(f.ZipMaster1().AddOptions, ez::AddOpts(ez::AddDiskSpan));
    QCOMPARE(drive.formatted.size(), size_t(1));
    // The file of the first run is there: asked about, and replaced.
    QCOMPARE(Texts().size(), 2);
    QVERIFY(Texts()[1].startsWith("There is already a file " + P("drive/r.zip")));

    // Opening from the removable drive: the dialog starts there; any name,
    // kept for the joined file.
    fake_->dialogs.boxes.clear();
    fake_->dialogs.fileDialogsAsked.clear();
    fake_->dialogs.openFiles.push_back({P("drive/r.zip").toStdString()});
    fake_->dialogs.folders.push_back(P("joined").toStdString());
    QDir().mkpath(P("joined"));
    fake_->dialogs.answers = {pf::BtnOK, pf::BtnOK};
    f.Openspannedarchive1Click();
    QVERIFY(QFile::exists(P("joined/r.zip")));
    QCOMPARE(f.windowTitle(), f.TitlePrefix + "- r.zip");
    QCOMPARE(fake_->dialogs.fileDialogsAsked.size(), size_t(1));
    QCOMPARE(QString::fromStdString(fake_->dialogs.fileDialogsAsked[0].initialDir), P("drive") + "/");
  }

  void openVolumesJoinsNumberedAndStandardSets() {
    QByteArray noise(6000, 0);
    uint32_t x = 12345;
    for (auto& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    WriteFile(P("src/noise.bin"), noise);
    const QString zipFile = MakeZip("big.zip");
    QDir().mkpath(P("set"));
    {
      ez::TZipMaster zm;
      zm.MaxVolumeSize = 2000;
      zm.MinFreeVolumeSize = 500;
      QCOMPARE(zm.WriteSpan(zipFile.toStdString(), P("set/data.zip").toStdString()), 0);
    }
    QVERIFY(QFile::exists(P("set/data003.zip")));
    int parts = 3;
    while (QFile::exists(P(QString("set/data%1.zip").arg(parts + 1, 3, 10, QChar('0'))))) ++parts;
    const QString lastPart = P(QString("set/data%1.zip").arg(parts, 3, 10, QChar('0')));
    TMainform f;
    f.SetSettings(&settings_);
    // Cancelled open dialog: nothing else.
    f.Openspannedarchive1Click();
    QCOMPARE(fake_->dialogs.fileDialogsAsked.size(), size_t(1));
    QCOMPARE(fake_->dialogs.fileDialogsAsked[0].title, std::string("Open spanned ZIP archive on last disk"));
    QCOMPARE(fake_->dialogs.fileDialogsAsked[0].filter, std::string("ZIP Files (*.ZIP)|*.zip"));
    QCOMPARE(fake_->dialogs.fileDialogsAsked[0].defaultExt, std::string("zip"));
    QVERIFY(fake_->dialogs.fileDialogsAsked[0].mustExist);
    QVERIFY(fake_->dialogs.foldersAsked.empty());
    // A name without the number is refused before the folder is asked.
    WriteFile(P("set/data.zip"), "x");
    fake_->dialogs.openFiles.push_back({P("set/data.zip").toStdString()});
    f.Openspannedarchive1Click();
    QCOMPARE(Texts(), QStringList{"This is not a valid (last)part of a spanned archive"});
    QVERIFY(fake_->dialogs.foldersAsked.empty());
    QFile::remove(P("set/data.zip"));
    // The last part: joined as data.zip in the chosen folder.
    fake_->dialogs.boxes.clear();
    QDir().mkpath(P("out"));
    fake_->dialogs.openFiles.push_back({lastPart.toStdString()});
    fake_->dialogs.folders.push_back(P("out").toStdString());
    f.Openspannedarchive1Click();
    QVERIFY(Texts().isEmpty());
    QCOMPARE(ReadFile(P("out/data.zip")), ReadFile(zipFile));
    QCOMPARE(f.windowTitle(), f.TitlePrefix + "- data.zip");
    // The standard form: the last part keeps its name.
    for (const char* part : {"gen-split.z01", "gen-split.z02", "gen-split.zip"})
      QVERIFY(QFile::copy(QStringLiteral(ARKELIN_FIXTURES "/zip/") + part, P(QString("std/") + part)) ||
              (QDir().mkpath(P("std")) && QFile::copy(QStringLiteral(ARKELIN_FIXTURES "/zip/") + part,
                                                       P(QString("std/") + part))));
    fake_->dialogs.openFiles.push_back({P("std/gen-split.zip").toStdString()});
    fake_->dialogs.folders.push_back(P("out").toStdString());
    f.Openspannedarchive1Click();
    QVERIFY(Texts().isEmpty());
    QVERIFY(QFile::exists(P("out/gen-split.zip")));
    QCOMPARE(f.windowTitle(), f.TitlePrefix + "- gen-split.zip");
    // A middle part of the numbered set: the engine's message.
    fake_->dialogs.openFiles.push_back({P("set/data001.zip").toStdString()});
    fake_->dialogs.folders.push_back(P("out").toStdString());
    f.Openspannedarchive1Click();
    QVERIFY(fake_->dialogs.Saw("This is the first disk in a backup set,\nplease insert the last disk of this set"));
    // A part in the middle: its number in the message.
    fake_->dialogs.boxes.clear();
    fake_->dialogs.openFiles.push_back({P("set/data002.zip").toStdString()});
    fake_->dialogs.folders.push_back(P("out").toStdString());
    f.Openspannedarchive1Click();
    QCOMPARE(Texts(), QStringList{"This is the 2th disk in a backup set,\nplease insert the last disk of this set"});
    // A cancelled folder choice joins nothing.
    QFile::remove(P("out/data.zip"));
    fake_->dialogs.boxes.clear();
    fake_->dialogs.openFiles.push_back({lastPart.toStdString()});
    f.Openspannedarchive1Click();
    QVERIFY(Texts().isEmpty());
    QVERIFY(!QFile::exists(P("out/data.zip")));
    QCOMPARE(f.windowTitle(), f.TitlePrefix + "- gen-split.zip");
  }

  void refreshRebuildsAModifiedProgram() {
    // A program made with a stand-in stub; the refresh puts the current one
    // ("arkelin.dat") in front of the same archive.
    const QString zipFile = MakeZip("s.zip");
    const QByteArray archive = ReadFile(zipFile);
    WriteFile(P("old.bin"), QByteArray(700, 'o'));
    {
      ez::TZipMaster zm;
      zm.HowToDelete = ez::htdFinal;
      zm.SFXPath = P("old.bin").toStdString();
      zm.SFXCaption = "Kept caption";
      zm.SetZipFilename(zipFile.toStdString());
      QCOMPARE(zm.ConvertSFX(), 0);
    }
    const QString exe = P("s.exe");
    const QByteArray before = ReadFile(exe);
    // An installed program: nothing beside the executable, the information
    // file in ../lib/arkelin.
    QDir().mkpath(P("inst/bin"));
    QDir().mkpath(P("inst/lib/arkelin"));
    QVERIFY(QFile::copy(QStringLiteral(ARKELIN_BIN_DIR "/arkelin.dat"), P("inst/lib/arkelin/arkelin.dat")));
    SfxVolumeCommands::SetProgramFolderOverride(P("inst/bin"));
    const QString other = MakeZip("other.zip");

    TMainform f;
    f.SetSettings(&settings_);
    // Not modified: nothing happens.
    f.EnterZipSession(exe);
    fake_->dialogs.openFiles.push_back({other.toStdString()});
    f.Openarchive1Click();
    QCOMPARE(ReadFile(exe), before);

    // Cancelled: the program stays as it was.
    f.EnterZipSession(exe);
    f.ArchiveModified = true;
    int pumps = 0;
    QString panelWhileBusy;
    fake_->pump.onProcess = [&] {
      if (f.CancelTag != 0 && ++pumps == 3) {
        panelWhileBusy = f.Panel3->text();
        f.CancelButClick();
      }
    };
    fake_->dialogs.openFiles.push_back({other.toStdString()});
    f.Openarchive1Click();
    fake_->pump.onProcess = nullptr;
    QCOMPARE(panelWhileBusy, QStringLiteral("Updating Self Extracting Archive"));
    QCOMPARE(Texts(), QStringList{"Update EXE file aborted by user"});
    QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Information);
    QCOMPARE(ReadFile(exe), before);
    QCOMPARE(f.CancelTag, 0);

    // Done: the new stub, the old block, the same archive.
    fake_->dialogs.boxes.clear();
    f.EnterZipSession(exe);
    f.ArchiveModified = true;
    fake_->dialogs.openFiles.push_back({other.toStdString()});
    f.Openarchive1Click();
    QVERIFY(Texts().isEmpty());
    QCOMPARE(f.CurrentZipName(), other);
    const QByteArray stub = ReadFile(P("inst/lib/arkelin/arkelin.dat"));
    const QByteArray after = ReadFile(exe);
    QCOMPARE(after.size(), stub.size() + 256 + archive.size());
    QVERIFY(after.startsWith(stub));
    QCOMPARE(after.mid(stub.size(), 256), before.mid(700, 256));
    QProcess run;
    run.start(exe, {"-t"});
    QVERIFY(run.waitForFinished());
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(run.readAllStandardOutput().startsWith("Kept caption\n"));
    {
      ez::TZipMaster zm;
      zm.Unattended = true;
      zm.HowToDelete = ez::htdFinal;
      zm.SetZipFilename(exe.toStdString());
      QCOMPARE(zm.ArchiveStart(), stub.size() + 256);
      QCOMPARE(zm.ConvertZIP(), 0);
      QCOMPARE(ReadFile(zipFile), archive);
    }

    // A program damaged since it was listed: the refresh fails, says so,
    // and leaves the file as it was.
    {
      ez::TZipMaster zm;
      zm.HowToDelete = ez::htdFinal;
      zm.SFXPath = P("old.bin").toStdString();
      zm.SetZipFilename(zipFile.toStdString());
      QCOMPARE(zm.ConvertSFX(), 0);
    }
    f.EnterZipSession(exe);
    f.ArchiveModified = true;
    const QByteArray whole = ReadFile(exe);
    WriteFile(exe, whole.left(whole.size() - 30));
    fake_->dialogs.boxes.clear();
    fake_->dialogs.openFiles.push_back({other.toStdString()});
    f.Openarchive1Click();
    QCOMPARE(Texts(), QStringList{"Error while creating .EXE file"});
    QCOMPARE(ReadFile(exe), whole.left(whole.size() - 30));
    QCOMPARE(f.CancelTag, 0);
    QFile::remove(exe);
    WriteFile(zipFile, archive);

    // Another program's self-extractor (no parameter block of ours) stays
    // as it is, without a word.
    {
      ez::TZipMaster zm;
      zm.HowToDelete = ez::htdFinal;
      zm.SFXPath = P("old.bin").toStdString();
      zm.SetZipFilename(zipFile.toStdString());
      QCOMPARE(zm.ConvertSFX(), 0);
    }
    QByteArray foreign = ReadFile(exe);
    foreign.replace(700, 3, "XYZ");
    WriteFile(exe, foreign);
    f.EnterZipSession(exe);
    f.ArchiveModified = true;
    fake_->dialogs.boxes.clear();
    fake_->dialogs.openFiles.push_back({other.toStdString()});
    f.Openarchive1Click();
    QVERIFY(Texts().isEmpty());
    QCOMPARE(ReadFile(exe), foreign);
    QFile::remove(exe);
    WriteFile(zipFile, archive);

    // Without the information file: the warning, nothing else.
    QFile::remove(P("inst/lib/arkelin/arkelin.dat"));
    fake_->dialogs.boxes.clear();
    {
      ez::TZipMaster zm;
      zm.HowToDelete = ez::htdFinal;
      zm.SFXPath = P("old.bin").toStdString();
      zm.SetZipFilename(zipFile.toStdString());
      QCOMPARE(zm.ConvertSFX(), 0);
    }
    const QByteArray again = ReadFile(exe);
    f.EnterZipSession(exe);
    f.ArchiveModified = true;
    fake_->dialogs.openFiles.push_back({other.toStdString()});
    f.Openarchive1Click();
    QCOMPARE(Texts(), QStringList{"Couldn't read Arkelin2001 SelfExtract Information!\nPlease reinstall Arkelin2001!"});
    QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Warning);
    QCOMPARE(ReadFile(exe), again);
  }
};

QTEST_MAIN(SfxWindowTest)
#include "SfxWindowTest.moc"

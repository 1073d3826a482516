// The commands on the archive file with names that are not valid UTF-8 (a
// Linux name is bytes): Save archive as, Copy archive, New archive, Make Self
// Extracting file and back, and the multi-volume commands, each run end to
// end through the window with the dialogs scripted. Every name is checked on
// disk by its bytes, never through Qt's file classes, which cannot hold it.
#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "engine/zip/ZipMstr.h"
#include "platform/FakePlatform.h"
#include "platform/NameText.h"
#include "platform/Paths.h"
#include "window/Addunit.h"
#include "window/MainSettings.h"
#include "window/SfxVolumeCommands.h"
#include "window/mainunit.h"
#include "window/sfxunit.h"
#include "QtTestFiles.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;

namespace {

bool IsFile(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

QByteArray Bytes(const std::string& name) {
  QByteArray out;
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return out;
  char buf[65536];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) out.append(buf, n);
  ::close(fd);
  return out;
}

// The names in a folder, by their bytes, "." and ".." left out.
QList<QByteArray> Names(const std::string& folder) {
  QList<QByteArray> out;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return out;
  while (const dirent* e = ::readdir(d))
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) out << QByteArray(e->d_name);
  ::closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

// The number of entries the engine lists in the archive (0: not a ZIP archive).
int Listed(const std::string& archive) {
  arkelin::engine::zip::TZipMaster zm;
  zm.Unattended = true;
  zm.SetZipFilename(archive);
  return zm.Count();
}

}  // namespace

class ByteNamesTest : public SessionTestBase {
  Q_OBJECT
 private:
  DefaultMainSettings settings_;
  std::string root_;  // the temporary folder's bytes, with a trailing "/"
  std::string B(const char* rel) const { return root_ + rel; }
  QStringList Texts() const {
    QStringList out;
    for (const auto& t : fake_->dialogs.Texts()) out << pf::NameToText(t);
    return out;
  }
  // A ZIP archive of two files, renamed to `name` (bytes) by rename(2).
  std::string MakeZip(const char* name) {
    const QString src = dir_->path() + "/zipsrc";
    WriteFile(src + "/a.txt", QByteArray(3000, 'a'));
    WriteFile(src + "/sub/b.txt", "bee\n");
    const QString plain = dir_->path() + "/plain.zip";
    if (!RunZipTool(src, {"-r", plain, "."})) return {};
    const std::string target = B(name);
    if (::rename(QFile::encodeName(plain).constData(), target.c_str()) != 0) return {};
    return target;
  }

 private slots:
  void init() {
    if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
    QVERIFY(StartSession());
    root_ = QFile::encodeName(dir_->path()).toStdString() + "/";
    settings_ = DefaultMainSettings();
  }
  void cleanup() {
    TAddForm::SetShowHook(nullptr);
    TMakeSFX::SetShowHook(nullptr);
    SfxVolumeCommands::SetProgramFolderOverride(QString());
    // QTemporaryDir cannot remove what it cannot name.
    std::error_code ec;
    if (!root_.empty()) std::filesystem::remove_all(std::filesystem::path(root_), ec);
    EndSession();
  }

  void saveAsMovesByTheBytesAndNeverReplaces() {
    const std::string old = MakeZip("a\xff.zip");
    QVERIFY(!old.empty());
    const QByteArray content = Bytes(old);
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(pf::NameToText(old));
    QCOMPARE(f.Model().RowCountValue(), 2);

    // Onto a name that is taken: refused, both files stay.
    const std::string taken = B("taken\xfe.zip");
    WriteFile(dir_->path() + "/plain-taken", "keep me");
    QCOMPARE(::rename(QFile::encodeName(dir_->path() + "/plain-taken").constData(), taken.c_str()), 0);
    fake_->dialogs.saveFiles.push_back(taken);
    f.Savearchiveas1Click();
    QCOMPARE(Texts().size(), qsizetype(1));
    QVERIFY2(Texts()[0].startsWith("Error: Saving file "), qPrintable(Texts().join("|")));
    QCOMPARE(Bytes(taken), QByteArray("keep me"));
    QCOMPARE(Bytes(old), content);

    // Onto a free name without an extension: ".ZIP" is added.
    fake_->dialogs.boxes.clear();
    fake_->dialogs.saveFiles.push_back(B("b\xfe\xe9"));
    f.Savearchiveas1Click();
    QVERIFY2(Texts().isEmpty(), qPrintable(Texts().join("|")));
    const std::string moved = B("b\xfe\xe9.ZIP");
    QVERIFY(!IsFile(old));
    QCOMPARE(Bytes(moved), content);
    QCOMPARE(pf::TextToName(f.CurrentZipName()), moved);
    QCOMPARE(f.Model().RowCountValue(), 2);
    QVERIFY(f.windowTitle().contains(pf::NameToText(moved)));
  }

  void copyArchiveKeepsTheBytesOfNameAndFolder() {
    const std::string source = MakeZip("c\xff.zip");
    QVERIFY(!source.empty());
    const QByteArray content = Bytes(source);
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(pf::NameToText(source));

    // A folder that does not exist yet: made when the user says Yes.
    const std::string folder = B("dest\xe9");
    fake_->dialogs.inputs.push_back(folder);
    fake_->dialogs.answers.push_back(pf::BtnYes);
    f.Copyarchive1Click();
    QCOMPARE(Texts().last(), QStringLiteral("Copy successful"));
    QVERIFY(IsFolder(folder));
    QCOMPARE(Names(folder), QList<QByteArray>{"c\xff.zip"});
    QCOMPARE(Bytes(folder + "/c\xff.zip"), content);

    // An existing folder: no question, the free space is that of its drive.
    const std::string second = B("again\xfe");
    QCOMPARE(::mkdir(second.c_str(), 0755), 0);
    fake_->dialogs.boxes.clear();
    fake_->dialogs.inputs.push_back(second);
    f.Copyarchive1Click();
    QCOMPARE(Texts(), QStringList{"Copy successful"});
    QCOMPARE(Bytes(second + "/c\xff.zip"), content);
    QCOMPARE(Bytes(source), content);
  }

  void newArchiveOverANameThatIsNotUtf8() {
    const std::string old = MakeZip("n\xff.zip");
    QVERIFY(!old.empty());
    const QByteArray content = Bytes(old);
    WriteFile(dir_->path() + "/fresh.txt", "fresh");
    TMainform f;
    f.SetSettings(&settings_);
    auto leftovers = [&] {
      QList<QByteArray> out;
      for (const QByteArray& n : Names(root_))
        if (n.contains("replaced")) out << n;
      return out;
    };

    // The existing file is seen: the question is asked. Closing the Add
    // window puts the old file back under its own name.
    fake_->dialogs.openFiles.push_back({B("n\xff")});  // ".zip" is added
    fake_->dialogs.answers.push_back(pf::BtnYes);
    TAddForm::SetShowHook([](TAddForm& w) { w.reject(); });
    f.Newarchive1Click();
    QCOMPARE(Texts().size(), qsizetype(1));
    QVERIFY2(Texts()[0].startsWith("Overwrite Existing File: "), qPrintable(Texts().join("|")));
    QCOMPARE(pf::TextToName(Texts()[0]), "Overwrite Existing File: " + old + "?");
    QCOMPARE(Bytes(old), content);
    QCOMPARE(leftovers(), QList<QByteArray>());

    // No to the question: nothing happens.
    fake_->dialogs.boxes.clear();
    fake_->dialogs.openFiles.push_back({old});
    fake_->dialogs.answers.push_back(pf::BtnNo);
    TAddForm::SetShowHook([](TAddForm&) { QFAIL("the Add window opened after No"); });
    f.Newarchive1Click();
    QCOMPARE(Bytes(old), content);

    // Yes and an add that runs: the new archive replaces it, nothing left over.
    fake_->dialogs.boxes.clear();
    fake_->dialogs.openFiles.push_back({old});
    fake_->dialogs.answers.push_back(pf::BtnYes);
    TAddForm::SetShowHook([&](TAddForm& w) {
      QCOMPARE(leftovers().size(), qsizetype(1));  // the old one set aside meanwhile
      w.AppendNames({dir_->path() + "/fresh.txt"});
      w.BitBtn1->click();
    });
    f.Newarchive1Click();
    QCOMPARE(pf::TextToName(f.CurrentZipName()), old);
    QVERIFY(Bytes(old) != content);
    QCOMPARE(f.ZipMaster1().Count(), 1);
    QVERIFY(f.ZipMaster1().Entries()[0].FileName.find("fresh.txt") != std::string::npos);
    QCOMPARE(leftovers(), QList<QByteArray>());
  }

  void selfExtractingAndBackKeepTheBytes() {
    const std::string zipName = MakeZip("s\xff.zip");
    QVERIFY(!zipName.empty());
    const QByteArray content = Bytes(zipName);
    // The program's files in a folder whose name is not UTF-8 either (an
    // installed program under such a folder).
    const std::string program = B("prog\xe9");
    QCOMPARE(::mkdir(program.c_str(), 0755), 0);
    for (const char* file : {"ru2001.bin", "arkelin.dat"}) {
      const QByteArray data = ReadFile(QStringLiteral(ARKELIN_BIN_DIR "/") + file);
      QVERIFY(!data.isEmpty());
      const std::string to = program + "/" + file;
      const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0755);
      QVERIFY(fd >= 0);
      QCOMPARE(::write(fd, data.constData(), data.size()), ssize_t(data.size()));
      ::close(fd);
    }
    SfxVolumeCommands::SetProgramFolderOverride(pf::NameToText(program));
    // The trash is a folder of this test's own.
    struct FolderTrash : pf::IFiles {
      std::vector<std::string> trashed;
      std::string TempFileName(const std::string&, const std::string&) override { return {}; }
      bool MoveToTrash(const std::string& path) override {
        trashed.push_back(path);
        return ::unlink(path.c_str()) == 0;
      }
    } trash;
    auto services = pf::Current();
    services.files = &trash;
    pf::Install(services);
    TMakeSFX::SetShowHook([](TMakeSFX& w) { w.bu_Ok->click(); });
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(pf::NameToText(zipName));
    f.MakeSelfExtractedfile1Click();
    const std::string exe = B("s\xff.exe");
    QCOMPARE(Texts().size(), qsizetype(1));
    QCOMPARE(pf::TextToName(Texts()[0]), "Successfully built: " + exe);
    QVERIFY(IsFile(exe));
    QCOMPARE(trash.trashed, std::vector<std::string>{zipName});
    QCOMPARE(pf::TextToName(f.CurrentZipName()), exe);
    QCOMPARE(f.Item("MakeSelfExtractedfile1")->text(), QStringLiteral("Create &ZIP file"));
    QCOMPARE(f.ListedCount(), 2);
    // Run by a plain name linked to it (a process's arguments go through Qt).
    QCOMPARE(::symlink(exe.c_str(), B("run-sfx").c_str()), 0);
    auto selfTest = [&] {
      QProcess run;
      run.start(dir_->path() + "/run-sfx", {"-t"});
      return run.waitForFinished() && run.exitStatus() == QProcess::NormalExit && run.exitCode() == 0;
    };
    QVERIFY(selfTest());

    // Changed, then left: rebuilt in front of the program's stub (a new file
    // put in place), still its own.
    struct stat before {};
    QCOMPARE(::stat(exe.c_str(), &before), 0);
    fake_->dialogs.boxes.clear();
    f.ArchiveModified = true;
    const std::string other = MakeZip("other.zip");
    fake_->dialogs.openFiles.push_back({other});
    f.Openarchive1Click();
    QVERIFY2(Texts().isEmpty(), qPrintable(Texts().join("|")));
    struct stat after {};
    QCOMPARE(::stat(exe.c_str(), &after), 0);
    QVERIFY(after.st_ino != before.st_ino);
    QVERIFY(selfTest());

    // And back to the ZIP file, byte for byte.
    f.EnterZipSession(pf::NameToText(exe));
    fake_->dialogs.boxes.clear();
    f.MakeSelfExtractedfile1Click();
    QCOMPARE(pf::TextToName(Texts().value(0)), "Successfully built: " + zipName);
    QCOMPARE(Bytes(zipName), content);
    QVERIFY(!IsFile(exe));
    QCOMPARE(pf::TextToName(f.CurrentZipName()), zipName);
  }

  void volumesOfANameThatIsNotUtf8() {
    // Noise that does not compress, so that the set has several volumes.
    QByteArray noise(6000, 0);
    uint32_t x = 12345;
    for (auto& c : noise) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
    WriteFile(dir_->path() + "/zipsrc/noise.bin", noise);
    const std::string zipName = MakeZip("v\xff.zip");
    QVERIFY(!zipName.empty());
    const QByteArray content = Bytes(zipName);
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(pf::NameToText(zipName));
    // Create multiple volumes into a folder of its own (not UTF-8 either).
    const std::string parts = B("parts\xe9");
    QCOMPARE(::mkdir(parts.c_str(), 0755), 0);
    fake_->dialogs.folders.push_back(parts);
    f.ZipMaster1().MaxVolumeSize = 2000;
    f.ZipMaster1().MinFreeVolumeSize = 500;
    f.Splitarchive1Click();
    QVERIFY2(Texts().isEmpty(), qPrintable(Texts().join("|")));
    const QList<QByteArray> made = Names(parts);
    QVERIFY2(made.size() >= 3, made.join(' ').constData());
    for (const QByteArray& n : made) QVERIFY2(n.startsWith("v\xff" "0"), n.constData());

    // Open the set by its last part: joined into a folder by the same name.
    const std::string joined = B("joined\xfe");
    QCOMPARE(::mkdir(joined.c_str(), 0755), 0);
    fake_->dialogs.openFiles.push_back({parts + "/" + made.last().toStdString()});
    fake_->dialogs.folders.push_back(joined);
    f.Openspannedarchive1Click();
    QVERIFY2(Texts().isEmpty(), qPrintable(Texts().join("|")));
    QCOMPARE(Names(joined), QList<QByteArray>{"v\xff.zip"});
    QCOMPARE(Bytes(joined + "/v\xff.zip"), content);
    QCOMPARE(f.windowTitle(), f.TitlePrefix + "- " + pf::NameToText(std::string("v\xff.zip")));

    // The standard form (name.z01 ... name.zip): its last part is known by
    // the .z01 beside it, which must be found by its bytes.
    const std::string std = B("std\xe9");
    QCOMPARE(::mkdir(std.c_str(), 0755), 0);
    for (const char* ext : {".z01", ".z02", ".zip"}) {
      const QByteArray part = ReadFile(QStringLiteral(ARKELIN_FIXTURES "/zip/gen-split") + ext);
      QVERIFY(!part.isEmpty());
      const std::string to = std + "/g\xff" + ext;
      const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      QVERIFY(fd >= 0);
      QCOMPARE(::write(fd, part.constData(), part.size()), ssize_t(part.size()));
      ::close(fd);
    }
    fake_->dialogs.openFiles.push_back({std + "/g\xff.zip"});
    fake_->dialogs.folders.push_back(joined);
    f.Openspannedarchive1Click();
    QVERIFY2(Texts().isEmpty(), qPrintable(Texts().join("|")));
    QVERIFY(Listed(joined + "/g\xff.zip") > 0);
  }
};

QTEST_MAIN(ByteNamesTest)
#include "ByteNamesTest.moc"

// The command line as a file manager uses it: one argument, any name. An
// archive the program reads opens by its content (ZIP, RAR, self-extracting
// programs of both kinds); anything else keeps the rule for files to add.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "window/Addunit.h"
#include "window/ArchiveKind.h"
#include "window/mainunit.h"
#include "QtTestFiles.h"
#include "WindowRows.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;

namespace {

QString Fixture(const QString& rel) { return QStringLiteral(ARKELIN_FIXTURES "/") + rel; }

}  // namespace

class OpenByContentTest : public SessionTestBase {
  Q_OBJECT
  DefaultMainSettings settings_;

  bool Copy(const QString& from, const QString& to) {
    QFile::remove(to);
    return QFile::copy(from, to);
  }
  // A ZIP made by zip(1) holding a.txt and sub/b.txt.
  QString MakeZip(const QString& name) {
    QDir().mkpath(P("src/sub"));
    QFile a(P("src/a.txt"));
    a.open(QIODevice::WriteOnly);
    a.write("alpha\n");
    a.close();
    QFile b(P("src/sub/b.txt"));
    b.open(QIODevice::WriteOnly);
    b.write(QByteArray(5000, 'b'));
    b.close();
    return RunZipTool(P("src"), {"-r", "-X", P(name), "a.txt", "sub"}) ? P(name) : QString();
  }
  void Open(TMainform& f, const QString& arg) {
    f.SetSettings(&settings_);
    f.SetCommandLine({arg});
    f.FormActivate();
  }
  QStringList RecentValues() {
    arkelin::settings::TIniFile ini(TMainform::IniFileName().toStdString());
    QStringList out;
    for (const auto& key : ini.ReadSection("RECENT")) out << QString::fromStdString(key);
    return out;
  }

 private slots:
  void init() {
    QVERIFY(StartSession());
    settings_ = DefaultMainSettings();
    settings_.askZipName = false;
    settings_.defaultZipName = P("Default.zip");
    // The Add window, when a command line leads to it, is cancelled.
    TAddForm::SetShowHook([](TAddForm& w) { w.BitBtn2->click(); });
  }
  void cleanup() {
    TAddForm::SetShowHook(nullptr);
    EndSession();
  }

  void kindsByContent() {
    const QString zip = MakeZip("plain.zip");
    QVERIFY(!zip.isEmpty());
    QVERIFY(Copy(zip, P("renamed.dat")));
    QCOMPARE(DetectArchiveKind(P("renamed.dat")), ArchiveKind::Zip);
    QCOMPARE(DetectArchiveKind(Fixture("zip/gen-sfx-adjusted.exe")), ArchiveKind::Zip);
    QCOMPARE(DetectArchiveKind(Fixture("zip/la-test_read_format_zip_sfx")), ArchiveKind::Zip);
    QCOMPARE(DetectArchiveKind(Fixture("rar/la-test_read_format_rar5_stored.rar")), ArchiveKind::Rar);
    QCOMPARE(DetectArchiveKind(Fixture("rar/la-test_read_format_rar.rar")), ArchiveKind::Rar);
    QCOMPARE(DetectArchiveKind(Fixture("rar/la-test_read_format_rar5_sfx.exe")), ArchiveKind::Rar);
    // Not archives: text, an empty file, a program, a folder, nothing at all.
    QFile t(P("notes.txt"));
    QVERIFY(t.open(QIODevice::WriteOnly));
    t.write("PK is not enough\n");
    t.close();
    QFile e(P("empty"));
    QVERIFY(e.open(QIODevice::WriteOnly));
    e.close();
    QCOMPARE(DetectArchiveKind(P("notes.txt")), ArchiveKind::None);
    QCOMPARE(DetectArchiveKind(P("empty")), ArchiveKind::None);
    QCOMPARE(DetectArchiveKind("/bin/true"), ArchiveKind::None);
    QCOMPARE(DetectArchiveKind(dir_->path()), ArchiveKind::None);
    QCOMPARE(DetectArchiveKind(P("missing.zip")), ArchiveKind::None);
  }

  void rarArchiveOpensWithoutAskingForANewZip() {
    if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
    // The name a browser download might have: no ".rar".
    QVERIFY(Copy(Fixture("rar/la-test_read_format_rar5_stored.rar"), P("download")));
    TMainform f;
    Open(f, P("download"));
    QVERIFY(f.RarMode);
    QCOMPARE(f.CurrentRarName(), P("download"));
    QVERIFY(f.CurrentZipName().isEmpty());
    QCOMPARE(f.windowTitle(), "Arkelin2001Free - " + P("download"));
    QVERIFY(f.Model().RowCountValue() > 0);
    QVERIFY(f.Panel4->text().startsWith("Total "));
    // A RAR session: group A on, group B off; nothing was asked or added.
    QVERIFY(f.Item("Extract1")->isEnabled());
    QVERIFY(!f.Item("Add1")->isEnabled());
    QVERIFY(fake_->dialogs.inputsAsked.empty());
    QVERIFY(f.LastAddRequest.isEmpty());
    QVERIFY(RecentValues().isEmpty());
  }

  void rarNamedRarOpensToo() {
    if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
    TMainform f;
    Open(f, Fixture("rar/la-test_read_format_rar.rar"));
    QVERIFY(f.RarMode);
    QVERIFY(f.Model().RowCountValue() > 0);
    QVERIFY(f.LastAddRequest.isEmpty());
  }

  void rarSelfExtractingProgramOpensAsRar() {
    if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
    TMainform f;
    Open(f, Fixture("rar/la-test_read_format_rar5_sfx.exe"));
    QVERIFY(f.RarMode);
    QVERIFY(f.Model().RowCountValue() > 0);
  }

  void linuxSelfExtractingProgramOpensAsZip() {
    // A Linux program followed by a ZIP whose offsets zip -A corrected: the
    // shape of the project's own self-extracting programs.
    const QString inner = MakeZip("inner.zip");
    QVERIFY(!inner.isEmpty());
    QFile out(P("setup.exe"));
    QVERIFY(out.open(QIODevice::WriteOnly));
    QFile prog("/bin/true"), z(inner);
    QVERIFY(prog.open(QIODevice::ReadOnly) && z.open(QIODevice::ReadOnly));
    out.write(prog.readAll());
    out.write(z.readAll());
    out.close();
    QVERIFY(RunZipTool(P(""), {"-A", P("setup.exe")}));
    QCOMPARE(DetectArchiveKind(P("setup.exe")), ArchiveKind::Zip);

    TMainform f;
    Open(f, P("setup.exe"));
    QVERIFY(!f.RarMode);
    QCOMPARE(f.CurrentZipName(), P("setup.exe"));
    QCOMPARE(Captions(f), QStringList({"a.txt", "b.txt"}));
    QCOMPARE(f.windowTitle(), "Arkelin2001Free - " + P("setup.exe"));
    QVERIFY(f.Item("Extract1")->isEnabled());
    // The self-extract command turns into its reverse for an .exe.
    QCOMPARE(f.Item("MakeSelfExtractedfile1")->text(), QString("Create &ZIP file"));
    QVERIFY(f.LastAddRequest.isEmpty());
    QVERIFY(RecentValues().isEmpty());
  }

  void zipUnderAnotherNameOpens() {
    const QString zip = MakeZip("plain.zip");
    QVERIFY(Copy(zip, P("photos.bak")));
    TMainform f;
    Open(f, P("photos.bak"));
    QCOMPARE(f.CurrentZipName(), P("photos.bak"));
    QCOMPARE(Captions(f), QStringList({"a.txt", "b.txt"}));
    QVERIFY(f.LastAddRequest.isEmpty());
  }

  void otherFilesAreStillAddedToANewArchive() {
    QFile t(P("notes.txt"));
    QVERIFY(t.open(QIODevice::WriteOnly));
    t.write("some words\n");
    t.close();
    TMainform f;
    Open(f, P("notes.txt"));
    QCOMPARE(f.CurrentZipName(), settings_.defaultZipName);
    QCOMPARE(f.LastAddRequest, QStringList{P("notes.txt")});
    // Two archives are two files to add: only a single argument opens.
    const QString zip = MakeZip("plain.zip");
    QVERIFY(Copy(zip, P("second.dat")));
    TMainform g;
    g.SetSettings(&settings_);
    g.SetCommandLine({P("second.dat"), zip});
    g.FormActivate();
    QCOMPARE(g.LastAddRequest, QStringList({P("second.dat"), zip}));
  }
};

QTEST_MAIN(OpenByContentTest)
#include "OpenByContentTest.moc"

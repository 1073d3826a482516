// Favourite archives and Install from the archive window, end to end and
// offscreen: the windows are worked through their show hooks, every box is
// scripted and recorded. Archives are made by Info-ZIP zip; Install runs a
// real shell script taken from an archive.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <fstream>
#include <iterator>
#include <memory>

#include "open/Install.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "settings/U_Favorites.h"
#include "settings/u_settings.h"
#include "shared/widgets/SortGrid.h"
#include "window/FavoritesCommands.h"
#include "window/SettingsView.h"
#include "window/U_FileToInstall.h"
#include "window/U_Install.h"
#include "window/mainunit.h"
#include "QtTestFiles.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
using arkelin::settings::TF_Favorites;
using arkelin::settings::TF_Settings;
namespace pf = arkelin::platform;

namespace {

}  // namespace

class FavoritesInstallTest : public SessionTestBase {
  Q_OBJECT
  DefaultMainSettings settings_;

  // A ZIP archive by Info-ZIP zip of the files (path inside -> content).
  QString MakeZip(const QString& name, const QList<QPair<QString, QByteArray>>& files) {
    const QString src = P("src-" + name);
    for (const auto& f : files) WriteFile(src + "/" + f.first, f.second);
    const QString zipFile = P(name);
    return RunZipTool(src, {"-r", "-X", zipFile, "."}) ? zipFile : QString();
  }
  std::string FavoritesText() const {
    std::ifstream in(dir_->path().toStdString() + "/Favorites.lst", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  bool EmptyFolder(const QString& path) const {
    QDir d(path);
    return d.exists() && d.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System).isEmpty();
  }

 private slots:
  void init() {
    QVERIFY(StartSession());
    settings_ = DefaultMainSettings();
    settings_.tempFolder = P("temp");
  }
  void cleanup() {
    TF_Favorites::SetShowHook(nullptr);
    TF_FileToInstall::SetShowHook(nullptr);
    TF_Install::SetShowHook(nullptr);
    EndSession();
  }

  // ---- Favourites ----------------------------------------------------------------

  void theListIsLoadedWhenTheWindowIsCreated() {
    WriteFile(P("Favorites.lst"), "/d/one.zip;1/2/24;10\r\n\"/d/two;x.zip\";1/3/24;20\r\n");
    TMainform f;
    QCOMPARE(f.Favorites.Count(), 2);
    QCOMPARE(f.Favorites.Items()[1].Path, std::string("/d/two;x.zip"));
    // A missing file is made empty at creation, silently.
    QFile::remove(P("Favorites.lst"));
    TMainform g;
    QVERIFY(QFile::exists(P("Favorites.lst")));
    QCOMPARE(g.Favorites.Count(), 0);
    QVERIFY(fake_->dialogs.boxes.empty());
  }

  void addToFavoritesRecordsTheArchiveAndRefusesDuplicates() {
    if (!HaveEngineLibraries()) QSKIP("engine libraries not built");
    const QString zip = MakeZip("semi;colon.zip", {{"a.txt", "hello"}});
    QVERIFY(!zip.isEmpty());
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zip);
    f.Item("AddzipfiletoFavorites1")->trigger();
    QVERIFY(fake_->dialogs.boxes.empty());
    const QString date = QLocale::system().toString(QFileInfo(zip).lastModified().date(), QLocale::ShortFormat);
    const std::string line =
        "\"" + zip.toStdString() + "\";" + date.toStdString() + ";" + std::to_string(QFileInfo(zip).size()) + "\r\n";
    QCOMPARE(FavoritesText(), line);
    QCOMPARE(f.Favorites.Count(), 1);
    QCOMPARE(f.Favorites.Items()[0].Path, zip.toStdString());
    // The same archive again, from the pop-up menu: refused, the file unchanged.
    f.Item("AddzipfiletoF1")->trigger();
    QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
    QCOMPARE(fake_->dialogs.boxes[0].text, std::string("You have already added this Zipfile to your favorites!"));
    QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Information"));
    QCOMPARE(FavoritesText(), line);
  }

  void aDuplicateIsFoundWithoutRegardToCase() {
    WriteFile(P("Favorites.lst"), QByteArray("/DATA/A.ZIP;1/2/24;10\r\n"));
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession("/data/a.zip");
    fake_->dialogs.boxes.clear();
    f.AddzipfiletoFavorites1Click();
    QVERIFY(Texts().contains("You have already added this Zipfile to your favorites!"));
    QCOMPARE(f.Favorites.Count(), 1);
  }

  void addWithoutAnArchiveOrForAMissingOneAddsNothing() {
    TMainform f;
    f.SetSettings(&settings_);
    f.AddzipfiletoFavorites1Click();  // no current archive: nothing at all
    QVERIFY(fake_->dialogs.boxes.empty());
    f.EnterZipSession(P("not made yet.zip"));
    fake_->dialogs.boxes.clear();
    f.AddzipfiletoFavorites1Click();
    QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
    QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Error"));
    QVERIFY(Texts()[0].contains("not made yet.zip"));
    QCOMPARE(FavoritesText(), std::string());
  }

  void aRarSessionIsRefusedInsteadOfAddingAnEarlierZip() {
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(P("earlier.zip"));
    f.EnterRarSession("/data/music.rar");
    fake_->dialogs.boxes.clear();
    f.AddzipfiletoFavorites1Click();
    QCOMPARE(Texts(), QStringList({"Arkelin2001 don't support this action on RAR files!"}));
    QCOMPARE(f.Favorites.Count(), 0);
    QCOMPARE(FavoritesText(), std::string());
  }

  void theWindowOpensAFavoriteAsTheCurrentArchive() {
    if (!HaveEngineLibraries()) QSKIP("engine libraries not built");
    const QString a = MakeZip("a.zip", {{"x.txt", "x"}});
    const QString b = MakeZip("b.zip", {{"y.txt", "y"}, {"z.txt", "z"}});
    WriteFile(P("Favorites.lst"), (a + ";1/1/24;300\r\n" + b + ";1/1/24;20\r\n").toUtf8());
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterRarSession("/data/music.rar");
    QVERIFY(f.RarMode);
    const QStringList recentBefore = [&] {
      QStringList out;
      for (QAction* a : f.FileMenu->actions()) out << a->text();
      return out;
    }();
    int shown = 0;
    TF_Favorites::SetShowHook([&](TF_Favorites& w) {
      ++shown;
      QCOMPARE(w.StringGrid1->Cells(0, 1), QStringLiteral("a.zip"));
      // Sorted by size ascending, the top row is b.zip and opens b.zip.
      w.StringGrid1->SortByColumn(2, {});
      QCOMPARE(w.StringGrid1->Cells(0, 1), QStringLiteral("b.zip"));
      w.OpenRow(1);
    });
    fake_->dialogs.boxes.clear();
    f.Item("Favoritearchives1")->trigger();
    QCOMPARE(shown, 1);
    QCOMPARE(f.CurrentZipName(), b);
    QCOMPARE(f.windowTitle(), QStringLiteral("Arkelin2001Free - ") + b);
    QVERIFY(!f.RarMode);
    QCOMPARE(f.Model().RowCountValue(), 2);
    for (const char* n : {"Add1", "Delete1", "Executefile1", "Install1"}) QVERIFY2(f.Item(n)->isEnabled(), n);
    QVERIFY(f.Item("Closearchive1")->isEnabled());
    // The recent list is not touched.
    QStringList recentAfter;
    for (QAction* a : f.FileMenu->actions()) recentAfter << a->text();
    QCOMPARE(recentAfter, recentBefore);
    QVERIFY(fake_->dialogs.boxes.empty());
  }

  void aFavoriteWhoseArchiveIsGoneStillOpens() {
    WriteFile(P("Favorites.lst"), (P("gone.zip") + ";1/1/24;300\r\n").toUtf8());
    TMainform f;
    f.SetSettings(&settings_);
    TF_Favorites::SetShowHook([](TF_Favorites& w) { w.OpenRow(1); });
    f.Favoritearchives1Click();
    QCOMPARE(f.CurrentZipName(), P("gone.zip"));
    QCOMPARE(f.windowTitle(), QStringLiteral("Arkelin2001Free - ") + P("gone.zip"));
    QCOMPARE(f.Model().RowCountValue(), 0);
    // The ZIP engine lists a file that is not there as a new, empty archive.
    QVERIFY(fake_->dialogs.boxes.empty());
    QVERIFY(f.Item("Add1")->isEnabled());
  }

  void theWindowOpensAtStartWhenTheSettingAsks() {
    int shown = 0;
    TF_Favorites::SetShowHook([&](TF_Favorites&) { ++shown; });
    {
      TMainform f;
      TF_Settings s;
      SettingsView view(s);
      OpenFavoritesOnStart(s, f, &view);
      s.FormCreate();
      QCOMPARE(shown, 0);
    }
    WriteFile(TF_Settings::IniFileName(), "[MISC]\nOPENFAVORITES=1\n");
    TMainform f;
    TF_Settings s;
    SettingsView view(s);
    OpenFavoritesOnStart(s, f, &view);
    s.FormCreate();
    QCOMPARE(shown, 1);
    QCOMPARE(&f.Settings(), static_cast<const IMainSettings*>(&view));
  }

  // ---- Install ---------------------------------------------------------------------

  void installNamesDefaultToWindowsAndShellNames() {
    TF_Settings s;
    s.FormCreate();
    QCOMPARE(s.InstallNames(), QString::fromLatin1(arkelin::open::kDefaultInstallNames));
    QCOMPARE(DefaultMainSettings().InstallNames(), QString::fromLatin1(arkelin::open::kDefaultInstallNames));
  }

  void noInstallProgramSaysSo() {
    if (!HaveEngineLibraries()) QSKIP("engine libraries not built");
    const QString zip = MakeZip("plain.zip", {{"readme.txt", "r"}, {"bin/tool", "t"}});
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zip);
    int windows = 0;
    TF_FileToInstall::SetShowHook([&](TF_FileToInstall&) { ++windows; });
    TF_Install::SetShowHook([&](TF_Install&) { ++windows; });
    f.Item("Install1")->trigger();
    QCOMPARE(windows, 0);
    QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
    QCOMPARE(fake_->dialogs.boxes[0].text, std::string("No file to install!"));
    QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Information"));
    QVERIFY(f.InstallList1.isEmpty());
    QVERIFY(!pf::Busy().Busy());
  }

  void oneCandidateGoesStraightToTheInstallWindow() {
    if (!HaveEngineLibraries()) QSKIP("engine libraries not built");
    const QString zip = MakeZip("one.zip", {{"SETUP.EXE", "MZ"}, {"data/readme.txt", "r"}});
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zip);
    int chooser = 0;
    QString program, folder;
    TF_FileToInstall::SetShowHook([&](TF_FileToInstall&) { ++chooser; });
    TF_Install::SetShowHook([&](TF_Install& w) {
      program = w.la_Program->text();
      folder = w.ed_Dir->text();
      QVERIFY(!w.cb_Remove->isChecked());
      QCOMPARE(w.bu_OK->toolTip(), QStringLiteral("Start install"));
      QCOMPARE(w.bu_Close->toolTip(), QStringLiteral("Cancel operation"));
      w.bu_Close->click();
    });
    f.Install1Click();
    QCOMPARE(chooser, 0);
    QCOMPARE(program, QStringLiteral("SETUP.EXE"));
    QCOMPARE(folder, P("temp"));
    QVERIFY(fake_->dialogs.boxes.empty());
    QVERIFY(!QDir(P("temp")).exists());  // closed without OK: nothing made
  }

  void twoCandidatesShowTheChooser() {
    if (!HaveEngineLibraries()) QSKIP("engine libraries not built");
    const QString zip = MakeZip("two.zip", {{"a/setup.exe", "MZ"}, {"b/setup.exe", "MZ"}, {"c.txt", "c"}});
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zip);
    QStringList listed;
    QString program;
    TF_FileToInstall::SetShowHook([&](TF_FileToInstall& w) {
      QCOMPARE(w.Header->text(), QStringLiteral("Choose installfile"));
      QCOMPARE(w.StringGrid1->Cells(0, 0), QStringLiteral("Filename"));
      QCOMPARE(w.StringGrid1->columnWidth(0), 240);
      for (int r = 1; r < w.StringGrid1->RowCount(); ++r) listed << w.StringGrid1->Cells(0, r);
      w.ChooseRow(2);
    });
    TF_Install::SetShowHook([&](TF_Install& w) { program = w.la_Program->text(); });
    f.Install1Click();
    listed.sort();
    QCOMPARE(listed, QStringList({"a\\setup.exe", "b\\setup.exe"}));
    QCOMPARE(program, QStringLiteral("setup.exe"));
    QVERIFY(f.InstallList1.isEmpty());
    // Closed without a choice (Escape): no install window.
    program.clear();
    TF_FileToInstall::SetShowHook([&](TF_FileToInstall& w) {
      w.show();
      QTest::keyClick(&w, Qt::Key_Escape);
      QVERIFY(!w.isVisible());
    });
    f.Install1Click();
    QVERIFY(program.isEmpty());
  }

  void aRealInstallScriptRunsAndTheFolderIsEmptiedAfterwards() {
    if (!HaveEngineLibraries()) QSKIP("engine libraries not built");
    const QString marker = P("outside/installed.txt");
    QDir().mkpath(P("outside"));
    // The script finds its data beside it (folders are dropped on extraction).
    const QByteArray script = "cat payload.txt > '" + marker.toUtf8() + "'\necho done >> '" + marker.toUtf8() + "'\n";
    const QString zip = MakeZip("pkg.zip", {{"pkg/install.sh", script}, {"pkg/files/payload.txt", "payload\n"}});
    QFile::setPermissions(P("src-pkg.zip/pkg/install.sh"), QFile::ReadOwner | QFile::WriteOwner);
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zip);
    pf::Current().processes = nullptr;  // programs start for real
    const QString target = P("inst");
    TF_Install::SetShowHook([&](TF_Install& w) {
      QCOMPARE(w.la_Program->text(), QStringLiteral("install.sh"));
      w.ed_Dir->setText(target);
      w.cb_Remove->setChecked(true);
      fake_->dialogs.answers = {pf::BtnYes, pf::BtnYes};  // start it; delete the folder
      w.bu_OK->click();
      QCOMPARE(ReadFile(marker), QByteArray("payload\ndone\n"));
      QVERIFY(EmptyFolder(target));
      QCOMPARE(Texts(), QStringList({QString::fromStdString(
                                         arkelin::open::ConfirmStartText(target.toStdString() + "/install.sh")),
                                     "Delete temp directory?"}));
      // OK again: the folder is there now and the question comes first; No stops.
      fake_->dialogs.boxes.clear();
      fake_->dialogs.answers = {pf::BtnNo};
      w.bu_OK->click();
      QCOMPARE(Texts(), QStringList({"Directory already exists!, use it anyway?"}));
      QVERIFY(EmptyFolder(target));
    });
    f.Install1Click();
  }

  void theFolderIsEmptiedAlsoWhenTheProgramFailsOrIsDeclined() {
    if (!HaveEngineLibraries()) QSKIP("engine libraries not built");
    const QString zip = MakeZip("bad.zip", {{"setup.sh", "exit 7\n"}, {"other.dat", "o"}});
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zip);
    pf::Current().processes = nullptr;
    const QString target = P("inst");
    QDir().mkpath(target);
    TF_Install::SetShowHook([&](TF_Install& w) {
      w.ed_Dir->setText(target);
      w.cb_Remove->setChecked(true);
      // Use the folder; start (fails with 7); delete.
      fake_->dialogs.answers = {pf::BtnYes, pf::BtnYes, pf::BtnYes};
      w.bu_OK->click();
      QVERIFY(EmptyFolder(target));
      QCOMPARE(Texts().size(), 3);
      // Declined: nothing starts, and the folder is still emptied.
      fake_->dialogs.boxes.clear();
      fake_->dialogs.answers = {pf::BtnYes, pf::BtnNo, pf::BtnYes};
      w.bu_OK->click();
      QVERIFY(EmptyFolder(target));
      QCOMPARE(Texts().last(), QStringLiteral("Delete temp directory?"));
      // Without the check box the files stay and nothing more is asked.
      fake_->dialogs.boxes.clear();
      w.cb_Remove->setChecked(false);
      fake_->dialogs.answers = {pf::BtnYes, pf::BtnNo};
      w.bu_OK->click();
      QVERIFY(QFile::exists(target + "/setup.sh"));
      QVERIFY(QFile::exists(target + "/other.dat"));
      QCOMPARE(Texts().size(), 2);
    });
    f.Install1Click();
  }

  void aFolderThatCannotBeMadeIsReported() {
    if (!HaveEngineLibraries()) QSKIP("engine libraries not built");
    const QString zip = MakeZip("c.zip", {{"install.sh", "exit 0\n"}});
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(zip);
    TF_Install::SetShowHook([&](TF_Install& w) {
      w.ed_Dir->setText(P("no/such/deep"));  // one level only
      w.bu_OK->click();
    });
    f.Install1Click();
    QCOMPARE(Texts(), QStringList({"Couldn't create Directory"}));
    QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Warning"));
    QVERIFY(fake_->processes.startedArgs.empty());
  }
};

QTEST_MAIN(FavoritesInstallTest)
#include "FavoritesInstallTest.moc"

// The archive window: start-up state, menus, the archive session, the recent
// list, the command line and the file list, run offscreen with scripted
// dialogs. Every test has its own data folder.
#include <QtTest>

#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QMenuBar>
#include <QTemporaryDir>

#include <memory>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "window/Addunit.h"
#include "window/RecentIni.h"
#include "window/extrunit.h"
#include "window/mainunit.h"
#include "window/u_Info.h"
#include "QtTestFiles.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;

namespace {

const QStringList kGroupA = {
    "Closearchive1", "Savearchiveas1", "Archiveinformation1", "AddzipfiletoFavorites1",
    "Copyarchive1", "Delete2", "Splitarchive1", "MakeSelfExtractedfile1", "Add1", "Extract1",
    "Delete1", "Viewfile1", "SelectAll2", "DeselectAll2", "Searchfile1", "Test1", "Changepassword1",
    "Executefile1", "Install1", "Add2", "Extract2", "Delete3", "View1", "Searchfile2",
    "SelectAll1", "DeselectAll1", "AddzipfiletoF1", "MakeEXEfile1", "Test2", "Run1", "Install2"};
const QStringList kGroupB = {"Splitarchive1", "MakeSelfExtractedfile1", "Add1", "Delete1",
                             "Viewfile1", "Executefile1", "Install1", "Add2", "Delete3",
                             "MakeEXEfile1", "Run1", "Install2", "Changepassword1"};
const QStringList kAlways = {"Newarchive1", "Openarchive1", "Openspannedarchive1",
                             "Multiplefileextracting1", "Favoritearchives1", "Searchforarchives1",
                             "Exit1", "Configuration1", "Mailarchive1", "Homepage1", "About1"};
const QStringList kGroupAButtons = {"bu_Extract", "bu_run", "bu_View", "bu_Add", "bu_Delete"};

uint32_t Dos(int y, int mo, int d, int h, int mi) {
  return (static_cast<uint32_t>(((y - 1980) << 9) | (mo << 5) | d) << 16) |
         static_cast<uint32_t>((h << 11) | (mi << 5));
}

// The recent items of the File menu as captions, in menu order.
QStringList RecentCaptions(const TMainform& f) {
  QStringList out;
  for (QAction* a : f.FileMenu->actions())
    if (a->objectName().startsWith("Fil")) out << a->data().toString();
  return out;
}

}  // namespace

class MainformTest : public SessionTestBase {
  Q_OBJECT
 private:
  QString Ini() const { return dir_->path() + "/Arkelin.ini"; }
  QStringList RecentValues() {
    IniSectionFile f(Ini().toStdString());
    QStringList out;
    for (const auto& l : f.SectionLines("RECENT")) out << QString::fromStdString(l);
    return out;
  }

 private slots:
  void init();
  void cleanup();

  void startsWithNoArchiveAndArchiveCommandsDisabled();
  void menuItemsHaveTheirCaptionsAndShortcuts_data();
  void menuItemsHaveTheirCaptionsAndShortcuts();
  void popupMenuHoldsItsItemsInOrder();
  void toolbarHasEightButtonsInOrder();
  void toolbarHintsFollowTheSetting();
  void recentItemsAreReadAtStartEvenWithoutSection();
  void zipSessionEnablesEverythingAndRecordsRecent();
  void rarSessionDisablesGroupBAndRefusesZipCommands();
  void closeSessionResetsAndRecordsClosedArchive();
  void recentListMovesNamesToTopAndKeepsFive();
  void recentListIgnoresCaseAndKeepsLastSpelling();
  void recentItemOpensItsArchive();
  void selfExtractCaptionsFollowTheExtension();
  void commandLine_data();
  void commandLine();
  void commandLineIsHandledOnlyOnce();
  void rarListingFillsRowsAndTotals();
  void selectAllAndDeselectAllCountSelection();
  void headerClickSortsRows();
  void zipArchiveMadeByZipListsItsFiles();
  void openArchiveUsesTheDialogAndEntersTheSession();
  void recentWriteFailureIsReported();
  void aboutShowsTheVersion();
  void closingAsksNothing();
  void firstSizeTitlesAndPanelsAfterCommands();
};

void MainformTest::init() {
  QVERIFY(StartSession());
  // The command windows close at once instead of waiting in a modal loop.
  TAddForm::SetShowHook([](TAddForm& w) { w.BitBtn2->click(); });
  TExtract::SetShowHook([](TExtract& w) { w.BitBtn2->click(); });
}

void MainformTest::cleanup() {
  TAddForm::SetShowHook(nullptr);
  TExtract::SetShowHook(nullptr);
  EndSession();
}

void MainformTest::startsWithNoArchiveAndArchiveCommandsDisabled() {
  TMainform f;
  QCOMPARE(f.windowTitle(), QString("Arkelin2001Free - <none>"));
  QVERIFY(!f.RarMode);
  QVERIFY(!f.ArchiveModified);
  for (const QString& n : kGroupA) {
    QVERIFY2(f.Item(n), qPrintable(n));
    QVERIFY2(!f.Item(n)->isEnabled(), qPrintable(n));
  }
  for (const QString& n : kAlways) QVERIFY2(f.Item(n)->isEnabled(), qPrintable(n));
  for (const QString& n : kGroupAButtons) QVERIFY2(!f.Button(n)->isEnabled(), qPrintable(n));
  for (const char* n : {"bu_Open", "bu_New", "bu_Close"}) QVERIFY(f.Button(n)->isEnabled());
  QVERIFY(f.ProgressBar1->isHidden());
  QVERIFY(f.CancelBut->isHidden());
  QCOMPARE(f.lw_Files->model()->rowCount(), 0);
  QVERIFY(fake_->dialogs.boxes.empty());
}

void MainformTest::menuItemsHaveTheirCaptionsAndShortcuts_data() {
  QTest::addColumn<QString>("menu");
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QString>("shortcut");
  auto row = [](const char* menu, const char* name, const char* caption, const char* key) {
    QTest::newRow(name) << QString(menu) << QString(name) << QString(caption) << QString(key);
  };
  row("&File", "Newarchive1", "New archive...", "Ctrl+N");
  row("&File", "Openarchive1", "Open archive...", "Ctrl+O");
  row("&File", "Openspannedarchive1", "&Open multiple volume archive...", "");
  row("&File", "Closearchive1", "Close archive", "Ctrl+L");
  row("&File", "Savearchiveas1", "&Save archive as...", "Ctrl+S");
  row("&File", "Archiveinformation1", "Properties...", "Ctrl+I");
  row("&File", "AddzipfiletoFavorites1", "Add to Favorites", "F5");
  row("&File", "Copyarchive1", "Copy archive...", "Ctrl+C");
  row("&File", "Delete2", "&Delete archive", "");
  row("&File", "Splitarchive1", "&Create multiple volumes...", "");
  row("&File", "MakeSelfExtractedfile1", "Make &Self Extracting file...", "");
  row("&File", "Multiplefileextracting1", "&Multiple file extracting (MFE)", "");
  row("&File", "Favoritearchives1", "Favorite archives...", "Ctrl+F1");
  row("&File", "Searchforarchives1", "Search for archive(s)...", "Ctrl+F3");
  row("&File", "Exit1", "E&xit", "Ctrl+X");
  row("&Actions", "Add1", "&Add...", "Ins");
  row("&Actions", "Extract1", "&Extract...", "Ctrl+E");
  row("&Actions", "Delete1", "&Delete", "Ctrl+D");
  row("&Actions", "Viewfile1", "&View/edit...", "Ctrl+V");
  row("&Actions", "SelectAll2", "Select All", "Ctrl+A");
  row("&Actions", "DeselectAll2", "Deselect All", "");
  row("&Actions", "Searchfile1", "&Search for file(s)...", "Ctrl+F4");
  row("&Actions", "Test1", "&Test", "Ctrl+T");
  row("&Actions", "Changepassword1", "Change &password...", "");
  row("&Actions", "Executefile1", "&Run...", "Ctrl+U");
  row("&Misc", "Configuration1", "Config&uration...", "");
  row("&Misc", "Mailarchive1", "&Mail archive...", "");
  row("&Help", "Homepage1", "Homepage", "");
  row("&Help", "About1", "&About Arkelin", "");
}

void MainformTest::menuItemsHaveTheirCaptionsAndShortcuts() {
  QFETCH(QString, menu);
  QFETCH(QString, name);
  QFETCH(QString, caption);
  QFETCH(QString, shortcut);
  TMainform f;
  QAction* a = f.Item(name);
  QVERIFY(a);
  QCOMPARE(a->text(), caption);
  QCOMPARE(a->shortcut().toString(), shortcut);
  // The item sits in the menu it belongs to.
  QMenu* owner = nullptr;
  for (QAction* top : f.menuBar()->actions())
    if (top->menu() && top->menu()->actions().contains(a)) owner = top->menu();
  QVERIFY(owner);
  QCOMPARE(owner->title(), menu);
}

void MainformTest::popupMenuHoldsItsItemsInOrder() {
  TMainform f;
  QStringList names;
  for (QAction* a : f.PopupMenu1->actions()) names << (a->isSeparator() ? "-" : a->objectName());
  QCOMPARE(names, QStringList({"Add2", "Extract2", "Delete3", "View1", "Searchfile2", "-",
                               "SelectAll1", "DeselectAll1", "-", "AddzipfiletoF1", "MakeEXEfile1",
                               "-", "Test2", "Run1", "Install2"}));
  QStringList captions;
  for (QAction* a : f.PopupMenu1->actions())
    if (!a->isSeparator()) captions << a->text();
  QCOMPARE(captions, QStringList({"Add...", "Extract...", "Delete", "View/edit...", "Search file...",
                                  "Select All", "Deselect All", "Add archive to favorites",
                                  "&Make Self Extracting file...", "Test", "Run...", "Install..."}));
  // Ctrl+F1 is shown on Install but only Favorite archives takes the key.
  QVERIFY(f.Item("Install1")->text().endsWith("\tCtrl+F1"));
  QVERIFY(f.Item("Install1")->shortcut().isEmpty());
  // The bar ends with a blank item and the product name.
  const QList<QAction*> top = f.menuBar()->actions();
  QCOMPARE(top.size(), 6);
  QCOMPARE(top[4]->text(), QString(" "));
  QCOMPARE(top[5]->text(), QString("Arkelin2001"));
  top[5]->trigger();
  QCOMPARE(fake_->processes.opened, std::vector<std::string>{TMainform::HomepageAddress().toStdString()});
}

void MainformTest::toolbarHasEightButtonsInOrder() {
  TMainform f;
  const QStringList names = {"bu_Open", "bu_New", "bu_run", "bu_View", "bu_Add", "bu_Extract", "bu_Delete", "bu_Close"};
  const QStringList captions = {"Open", "New", "Run", "View", "Add", "Extract", "Delete", "Quit"};
  int lastX = -1;
  f.resize(700, 400);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  for (int i = 0; i < names.size(); ++i) {
    QToolButton* b = f.Button(names[i]);
    QVERIFY(b);
    QCOMPARE(b->text(), captions[i]);
    QCOMPARE(b->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    QVERIFY(!b->icon().pixmap(32, QIcon::Normal).isNull());
    QVERIFY(!b->icon().pixmap(32, QIcon::Active).isNull());
    // Under the mouse the image changes.
    QVERIFY(b->icon().pixmap(32, QIcon::Normal).toImage() != b->icon().pixmap(32, QIcon::Active).toImage());
    QVERIFY(b->x() > lastX);
    lastX = b->x();
  }
}

void MainformTest::toolbarHintsFollowTheSetting() {
  TMainform f;
  QVERIFY(f.bu_New->toolTip().isEmpty());  // no hints until the settings are confirmed
  f.ApplyToolbarHints(true);
  QCOMPARE(f.bu_New->toolTip(), QString("Create new Zip archive"));
  QCOMPARE(f.bu_Close->toolTip(), QString("Exit Arkelin2001"));
  QCOMPARE(f.bu_Delete->toolTip(), QString("Delete file(s) from archive"));
  f.ApplyToolbarHints(false);
  QVERIFY(f.bu_Add->toolTip().isEmpty());
}

void MainformTest::recentItemsAreReadAtStartEvenWithoutSection() {
  {
    TMainform f;
    const QList<QAction*> acts = f.FileMenu->actions();
    QCOMPARE(acts.last()->objectName(), QString("Sepp"));  // a lone separator
    QVERIFY(acts.last()->isSeparator());
    QCOMPARE(acts[acts.size() - 2]->objectName(), QString("Exit1"));
  }
  QFile ini(Ini());
  QVERIFY(ini.open(QIODevice::WriteOnly));
  ini.write("[MISC]\r\nSAVELAYOUT=1\r\n[recent]\r\n0=/data/a.zip\r\n1=/data/R&D.rar\r\n");
  ini.close();
  TMainform f;
  QCOMPARE(RecentCaptions(f), QStringList({"0=/data/a.zip", "1=/data/R&D.rar"}));
  QCOMPARE(f.Item("Fil1")->text(), QString("1=/data/R&&D.rar"));
  QCOMPARE(f.Item("Fil0")->isEnabled(), true);
}

void MainformTest::zipSessionEnablesEverythingAndRecordsRecent() {
  TMainform f;
  f.EnterZipSession("/data/backup.zip");
  QCOMPARE(f.windowTitle(), QString("Arkelin2001Free - /data/backup.zip"));
  QCOMPARE(f.CurrentZipName(), QString("/data/backup.zip"));
  for (const QString& n : kGroupA) QVERIFY2(f.Item(n)->isEnabled(), qPrintable(n));
  for (const QString& n : kGroupAButtons) QVERIFY(f.Button(n)->isEnabled());
  QCOMPARE(RecentValues(), QStringList({"0=/data/backup.zip"}));
  QCOMPARE(RecentCaptions(f), QStringList({"0=/data/backup.zip"}));
}

void MainformTest::rarSessionDisablesGroupBAndRefusesZipCommands() {
  TMainform f;
  f.EnterRarSession("/data/music.rar");
  QVERIFY(f.RarMode);
  QCOMPARE(f.windowTitle(), QString("Arkelin2001Free - /data/music.rar"));
  for (const QString& n : kGroupA) {
    const bool expected = !kGroupB.contains(n);
    QVERIFY2(f.Item(n)->isEnabled() == expected, qPrintable(n));
  }
  // The toolbar is not in group B: Add stays clickable and answers the refusal.
  QVERIFY(f.bu_Add->isEnabled());
  fake_->dialogs.boxes.clear();
  f.bu_Add->click();
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
  QCOMPARE(fake_->dialogs.boxes[0].text, std::string("Arkelin2001 don't support this action on RAR files!"));
  QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Error"));
  QCOMPARE(fake_->dialogs.boxes[0].buttons, pf::Buttons(pf::BtnOK));
  QCOMPARE(RecentValues().first(), QString("0=/data/music.rar"));
  // Back to a ZIP: group B returns.
  f.EnterZipSession("/data/a.zip");
  QVERIFY(!f.RarMode);
  for (const QString& n : kGroupA) QVERIFY2(f.Item(n)->isEnabled(), qPrintable(n));
  fake_->dialogs.boxes.clear();
  QVERIFY(!f.RefuseForRar());
  QVERIFY(fake_->dialogs.boxes.empty());
}

void MainformTest::closeSessionResetsAndRecordsClosedArchive() {
  TMainform f;
  f.EnterZipSession("/data/a.zip");
  f.EnterZipSession("/data/b.zip");
  f.Panel3->setText("Selected 1 files,  1 Kb");
  f.MailAttachments << "/data/b.zip";
  f.Item("Closearchive1")->trigger();
  QCOMPARE(f.windowTitle(), QString("Arkelin2001Free - <none>"));
  QVERIFY(f.CurrentZipName().isEmpty());
  QVERIFY(f.Panel3->text().isEmpty());
  QVERIFY(f.Panel4->text().isEmpty());
  QVERIFY(f.MailAttachments.isEmpty());
  for (const QString& n : kGroupA) QVERIFY2(!f.Item(n)->isEnabled(), qPrintable(n));
  QCOMPARE(RecentCaptions(f).first(), QString("0=/data/b.zip"));
  QCOMPARE(f.Item("MakeEXEfile1")->text(), QString("&Make Self Extracting file"));
  // Closing a RAR session records the RAR name.
  f.EnterRarSession("/data/c.rar");
  f.EnterZipSession("/data/a.zip");
  f.EnterRarSession("/data/c.rar");
  f.CloseSession();
  QVERIFY(!f.RarMode);
  QCOMPARE(RecentCaptions(f).first(), QString("0=/data/c.rar"));
}

void MainformTest::recentListMovesNamesToTopAndKeepsFive() {
  TMainform f;
  f.EnterZipSession("/d/A.zip");
  f.EnterZipSession("/d/B.zip");
  f.EnterZipSession("/d/A.zip");
  QCOMPARE(RecentValues(), QStringList({"0=/d/A.zip", "1=/d/B.zip"}));
  for (const char* n : {"/d/C.zip", "/d/D.zip", "/d/E.zip", "/d/F.zip"}) f.EnterZipSession(n);
  QCOMPARE(RecentValues(), QStringList({"0=/d/F.zip", "1=/d/E.zip", "2=/d/D.zip", "3=/d/C.zip",
                                        "4=/d/A.zip"}));
  QCOMPARE(RecentCaptions(f).size(), 5);
  QCOMPARE(f.Item("Fil4")->data().toString(), QString("4=/d/A.zip"));
}

void MainformTest::recentListIgnoresCaseAndKeepsLastSpelling() {
  {
    QFile ini(Ini());
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[MISC]\r\nSAVELAYOUT=1\r\n");
  }
  TMainform f;
  f.EnterZipSession("/d/Backup.zip");
  f.EnterZipSession("/d/other.zip");
  f.EnterZipSession("/D/BACKUP.ZIP");
  QCOMPARE(RecentValues(), QStringList({"0=/D/BACKUP.ZIP", "1=/d/other.zip"}));
  // Other sections survive the writes.
  QFile ini(Ini());
  QVERIFY(ini.open(QIODevice::ReadOnly));
  const QByteArray text = ini.readAll();
  QVERIFY(text.startsWith("[MISC]\r\nSAVELAYOUT=1\r\n[RECENT]\r\n"));
}

void MainformTest::recentItemOpensItsArchive() {
  QFile ini(Ini());
  QVERIFY(ini.open(QIODevice::WriteOnly));
  ini.write("[RECENT]\r\n0=/d/one.zip\r\n1=/d/two.rar\r\n2=/d/x=y.zip\r\n");
  ini.close();
  TMainform f;
  QCOMPARE(RecentCaptions(f).size(), 3);
  f.Item("Fil2")->trigger();
  QCOMPARE(f.CurrentZipName(), QString("/d/x=y.zip"));  // text after the first "="
  QVERIFY(!f.RarMode);
  QCOMPARE(RecentCaptions(f), QStringList({"0=/d/x=y.zip", "1=/d/one.zip", "2=/d/two.rar"}));
  f.Item("Fil2")->trigger();
  QVERIFY(f.RarMode);
  QCOMPARE(f.CurrentRarName(), QString("/d/two.rar"));
  QCOMPARE(f.windowTitle(), QString("Arkelin2001Free - /d/two.rar"));
  QCOMPARE(RecentCaptions(f).first(), QString("0=/d/two.rar"));
}

void MainformTest::selfExtractCaptionsFollowTheExtension() {
  TMainform f;
  f.EnterZipSession("/d/setup.EXE");
  QCOMPARE(f.Item("MakeSelfExtractedfile1")->text(), QString("Create &ZIP file"));
  QCOMPARE(f.Item("MakeEXEfile1")->text(), QString("Create &ZIP file"));
  f.EnterZipSession("/d/plain.zip");
  QCOMPARE(f.Item("MakeSelfExtractedfile1")->text(), QString("&Make Self Extracting file"));
}

void MainformTest::commandLine_data() {
  QTest::addColumn<QStringList>("args");
  QTest::addColumn<bool>("ask");
  QTest::addColumn<QVariant>("answer");  // invalid = cancelled / not asked
  QTest::addColumn<QString>("zipName");
  QTest::addColumn<QStringList>("added");
  QTest::addColumn<bool>("controlsOn");
  QTest::newRow("single zip, any case") << QStringList{"/d/a.ZIP"} << true << QVariant() << "/d/a.ZIP"
                                        << QStringList() << true;
  QTest::newRow("ask, answer without zip") << QStringList{"x.txt"} << true << QVariant("backup")
                                           << "backup.ZIP" << QStringList{"x.txt"} << false;
  // The extension decides: "zip" inside the name is no extension.
  QTest::newRow("ask, answer containing zip") << QStringList{"x.txt", "y.txt"} << true
                                              << QVariant("myzipfile") << "myzipfile.ZIP"
                                              << QStringList{"x.txt", "y.txt"} << false;
  QTest::newRow("ask, cancelled") << QStringList{"x.txt"} << true << QVariant() << ""
                                  << QStringList() << false;
  QTest::newRow("zip then text does nothing") << QStringList{"/d/a.zip", "x.txt"} << true << QVariant()
                                              << "" << QStringList() << false;
  QTest::newRow("two zips do nothing") << QStringList{"/d/a.zip", "/d/b.zip"} << true << QVariant()
                                       << "" << QStringList() << false;
  QTest::newRow("no arguments") << QStringList() << true << QVariant() << "" << QStringList() << false;
}

void MainformTest::commandLine() {
  QFETCH(QStringList, args);
  QFETCH(bool, ask);
  QFETCH(QVariant, answer);
  QFETCH(QString, zipName);
  QFETCH(QStringList, added);
  QFETCH(bool, controlsOn);
  DefaultMainSettings settings;
  settings.askZipName = ask;
  TMainform f;
  f.SetSettings(&settings);
  if (answer.isValid())
    fake_->dialogs.inputs.push_back(answer.toString().toStdString());
  else
    fake_->dialogs.inputs.push_back(std::nullopt);
  f.SetCommandLine(args);
  f.FormActivate();
  QCOMPARE(f.CurrentZipName(), zipName);
  QCOMPARE(f.LastAddRequest, added);
  QCOMPARE(f.Item("Closearchive1")->isEnabled(), controlsOn);
  if (!zipName.isEmpty()) QCOMPARE(f.windowTitle(), "Arkelin2001Free - " + zipName);
  const bool asked = !args.isEmpty() && !args[0].toLower().endsWith(".zip");
  QCOMPARE(fake_->dialogs.inputsAsked.size(), size_t(asked ? 1 : 0));
  if (asked) QCOMPARE(fake_->dialogs.inputsAsked[0], std::string("Zipfile: Name:"));
  // The command line never touches the recent list.
  QVERIFY(RecentValues().isEmpty());
}

void MainformTest::commandLineIsHandledOnlyOnce() {
  DefaultMainSettings settings;
  settings.askZipName = false;
  settings.defaultZipName = dir_->path() + "/Default.zip";
  TMainform f;
  f.SetSettings(&settings);
  f.SetCommandLine({"notes.txt"});
  f.FormActivate();
  QCOMPARE(f.CurrentZipName(), settings.defaultZipName);
  QCOMPARE(f.LastAddRequest, QStringList{"notes.txt"});
  QVERIFY(fake_->dialogs.inputsAsked.empty());
  f.LastAddRequest.clear();
  f.FormActivate();
  QVERIFY(f.LastAddRequest.isEmpty());
  // Activation withdraws the drop target when outside files are refused.
  QVERIFY(f.acceptDrops());
  settings.acceptOutside = false;
  f.FormActivate();
  QVERIFY(!f.acceptDrops());
  settings.acceptOutside = true;
  f.ConfigurationClosed();
  QVERIFY(f.acceptDrops());
}

void MainformTest::rarListingFillsRowsAndTotals() {
  TMainform f;
  f.EnterRarSession("/d/x.rar");
  f.AddRarRow("docs\\manual\\intro.txt", 2'345'000, 1'000'000, Dos(2021, 3, 9, 8, 7));
  f.AddRarRow("", 5, 5, 0);  // no name: nothing added
  f.AddRarRow("setup.exe", 999, 0, 0);
  f.AddRarRow("README", 500, 400, Dos(2020, 1, 2, 3, 4));
  f.AddRarRow("big.iso", 4'000'000'000, 3'900'000'000, Dos(2020, 1, 2, 3, 4));
  QAbstractItemModel* m = f.lw_Files->model();
  QCOMPARE(m->rowCount(), 4);
  QCOMPARE(f.Panel4->text(), QString("Total 4 files, 4002 346 Kb"));
  QCOMPARE(m->index(0, 0).data().toString(), QString("intro.txt"));
  QCOMPARE(m->index(0, 1).data().toString(), QString("2345"));
  QCOMPARE(m->index(0, 2).data().toString(), QString("1000"));
  QCOMPARE(m->index(0, 3).data().toString(), QString("2021/03/09   08:07"));
  QCOMPARE(m->index(0, 4).data().toString(), QString("42%"));
  QCOMPARE(m->index(0, 5).data().toString(), QString("docs\\manual"));
  QCOMPARE(m->index(1, 1).data().toString(), QString("1"));
  QCOMPARE(m->index(1, 3).data().toString(), QString("Unknown"));
  QCOMPARE(m->index(1, 4).data().toString(), QString("0%"));
  QCOMPARE(m->index(3, 1).data().toString(), QString("4000000"));
  for (int c = 0; c < 6; ++c)
    QCOMPARE(m->headerData(c, Qt::Horizontal).toString(),
             QStringList({"Filename", "Size kb", "Packed kb", "Modified", "Ratio", "Path"})[c]);
  // Icons: one image per extension, shared by the rows.
  QVERIFY(!m->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
  QCOMPARE(f.Model().IconCount(), 4);  // .txt, .exe, none, .iso
  f.AddRarRow("more.TXT", 1, 1, 0);
  QCOMPARE(f.Model().IconCount(), 4);
  // The date setting reaches the column.
  DefaultMainSettings s;
  s.dateFormat = "dd/mm/yy";
  s.timeFormat = "mm:hh";
  f.SetSettings(&s);
  QCOMPARE(m->index(0, 3).data().toString(), QString("09/03/21   03:08"));
}

void MainformTest::selectAllAndDeselectAllCountSelection() {
  TMainform f;
  f.EnterRarSession("/d/x.rar");
  f.AddRarRow("a", 1500, 1, 0);
  f.AddRarRow("b", 2999, 1, 0);
  f.AddRarRow("c", 5000, 1, 0);
  f.Item("SelectAll2")->trigger();
  QCOMPARE(f.SelectedCount, 3);
  QCOMPARE(f.SelectedBytes, 8000);
  QCOMPARE(f.Panel3->text(), QString("Selected 3 files,  8 Kb"));
  f.Item("DeselectAll1")->trigger();
  QCOMPARE(f.Panel3->text(), QString("Selected 0 files,  0 Bytes"));
  // A click on a row counts the selection.
  f.resize(600, 400);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  const QRect r = f.lw_Files->visualRect(f.lw_Files->model()->index(2, 0));
  QTest::mouseClick(f.lw_Files->viewport(), Qt::LeftButton, {}, r.center());
  QTRY_COMPARE(f.Panel3->text(), QString("Selected 1 files,  5 Kb"));
  // Keyboard selection does not recount.
  QTest::keyClick(f.lw_Files, Qt::Key_Up, Qt::ShiftModifier);
  QCOMPARE(f.lw_Files->selectionModel()->selectedRows().size(), 2);
  QTest::qWait(20);
  QCOMPARE(f.Panel3->text(), QString("Selected 1 files,  5 Kb"));
  // A click on empty space clears the selection and counts it.
  QTest::mouseClick(f.lw_Files->viewport(), Qt::LeftButton, {},
                    QPoint(10, f.lw_Files->viewport()->height() - 5));
  QTRY_COMPARE(f.Panel3->text(), QString("Selected 0 files,  0 Bytes"));
}

void MainformTest::headerClickSortsRows() {
  TMainform f;
  f.EnterRarSession("/d/x.rar");
  f.AddRarRow("three", 3000, 3000, Dos(2001, 1, 1, 0, 0));
  f.AddRarRow("twelve", 12000, 12000, Dos(2003, 1, 1, 0, 0));
  f.AddRarRow("nine", 9000, 9000, Dos(2002, 1, 1, 0, 0));
  auto names = [&] {
    QStringList out;
    for (int r = 0; r < 3; ++r) out << f.lw_Files->model()->index(r, 0).data().toString();
    return out;
  };
  f.resize(700, 400);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  QHeaderView* h = f.lw_Files->horizontalHeader();
  auto clickHeader = [&](int c) {
    QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                      QPoint(h->sectionViewportPosition(c) + h->sectionSize(c) / 2, h->height() / 2));
  };
  clickHeader(2);
  QCOMPARE(names(), QStringList({"three", "nine", "twelve"}));  // 3 < 9 < 12, as numbers
  clickHeader(1);
  QCOMPARE(names(), QStringList({"three", "nine", "twelve"}));
  clickHeader(3);
  QCOMPARE(names(), QStringList({"twelve", "nine", "three"}));  // newest first
  clickHeader(0);
  QCOMPARE(names(), QStringList({"nine", "three", "twelve"}));
  clickHeader(0);
  QCOMPARE(names(), QStringList({"nine", "three", "twelve"}));
}

void MainformTest::zipArchiveMadeByZipListsItsFiles() {
  // Needs the ZIP engine and Info-ZIP zip.
  if (QStandardPaths::findExecutable("zip").isEmpty()) QSKIP("Info-ZIP zip is not installed");
  const QString work = dir_->path() + "/src";
  QVERIFY(QDir().mkpath(work + "/docs/manual"));
  auto write = [&](const QString& rel, const QByteArray& data, const QDateTime& when) {
    QFile file(work + "/" + rel);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(when, QFileDevice::FileModificationTime));
  };
  write("docs/manual/intro.txt", QByteArray(20000, 'a'), QDateTime(QDate(2022, 5, 17), QTime(14, 30, 10)));
  write("empty.dat", QByteArray(), QDateTime(QDate(2019, 12, 31), QTime(23, 59, 58)));
  QByteArray noise(3000, 0);
  for (int i = 0; i < noise.size(); ++i) noise[i] = char((i * 7919 + 13) % 251);
  write("noise.bin", noise, QDateTime(QDate(2020, 2, 29), QTime(6, 0, 0)));
  const QString zipFile = dir_->path() + "/made-by-zip.zip";
  QVERIFY(RunZipTool(work, {"-r", "-X", zipFile, "."}));

  TMainform f;
  f.SetCommandLine({zipFile});
  f.FormActivate();
  QCOMPARE(f.windowTitle(), "Arkelin2001Free - " + zipFile);
  QCOMPARE(f.Item("Extract1")->isEnabled(), true);
  QAbstractItemModel* m = f.lw_Files->model();
  QCOMPARE(m->rowCount(), 3);  // the folder entries give no rows
  QMap<QString, QStringList> rows;
  for (int r = 0; r < m->rowCount(); ++r) {
    QStringList cells;
    for (int c = 0; c < 6; ++c) cells << m->index(r, c).data().toString();
    rows[cells[0]] = cells;
  }
  const QStringList intro = rows.value("intro.txt");
  QCOMPARE(intro.value(1), QString("20"));
  QCOMPARE(intro.value(3), QString("2022/05/17   14:30"));
  QCOMPARE(intro.value(5), QString("docs\\manual"));
  QVERIFY(intro.value(2).toInt() < 20);  // 20000 equal bytes compress well
  const QStringList empty = rows.value("empty.dat");
  QCOMPARE(empty.value(1), QString("1"));
  QCOMPARE(empty.value(2), QString("1"));
  QCOMPARE(empty.value(4), QString("0%"));
  QCOMPARE(empty.value(3), QString("2019/12/31   23:59"));
  QCOMPARE(rows.value("noise.bin").value(5), QString(""));
  QCOMPARE(f.Panel4->text(), QString("Total 3 files,  23 Kb"));
  // Every title and every stamp and ratio shown fits its column whole.
  const QFontMetrics fm = f.lw_Files->fontMetrics();
  for (int c = 0; c < 6; ++c) {
    const QString title = m->headerData(c, Qt::Horizontal).toString();
    QVERIFY2(f.lw_Files->columnWidth(c) >= f.lw_Files->horizontalHeader()->fontMetrics().horizontalAdvance(title) + 6,
             qPrintable(title));
  }
  for (const QStringList& cells : rows) {
    QVERIFY2(f.lw_Files->columnWidth(3) >= fm.horizontalAdvance(cells[3]) + 6, qPrintable(cells[3]));
    QVERIFY2(f.lw_Files->columnWidth(4) >= fm.horizontalAdvance(cells[4]) + 6, qPrintable(cells[4]));
  }
}

void MainformTest::openArchiveUsesTheDialogAndEntersTheSession() {
  DefaultMainSettings settings;
  settings.openFolder = "/start/here";
  TMainform f;
  f.SetSettings(&settings);
  QFile tmp(dir_->path() + "/tmp.tmp");
  QVERIFY(tmp.open(QIODevice::WriteOnly));
  tmp.close();
  fake_->dialogs.openFiles.push_back({"/d/songs.RAR"});
  fake_->dialogs.openFiles.push_back({"/d/backup.zip"});
  fake_->dialogs.openFiles.push_back({});  // cancelled
  f.MailAttachments << "x";
  f.bu_Open->click();
  QVERIFY(f.RarMode);
  QVERIFY(f.MailAttachments.isEmpty());
  QCOMPARE(f.CurrentRarName(), QString("/d/songs.RAR"));
  QVERIFY(!f.Item("Add1")->isEnabled());
  QVERIFY(QFile::exists(tmp.fileName()));  // a RAR open leaves tmp.tmp alone
  f.ArchiveModified = true;
  f.Item("Openarchive1")->trigger();
  QVERIFY(!f.RarMode);
  QVERIFY(!f.ArchiveModified);
  QVERIFY(!QFile::exists(tmp.fileName()));
  QCOMPARE(f.CurrentZipName(), QString("/d/backup.zip"));
  QVERIFY(f.Item("Add1")->isEnabled());
  QCOMPARE(RecentValues(), QStringList({"0=/d/backup.zip", "1=/d/songs.RAR"}));
  f.Item("Openarchive1")->trigger();
  QCOMPARE(f.CurrentZipName(), QString("/d/backup.zip"));
  QCOMPARE(fake_->dialogs.fileDialogsAsked.size(), size_t(3));
  const pf::FileDialogRequest& req = fake_->dialogs.fileDialogsAsked[0];
  QCOMPARE(req.title, std::string("Open archive"));
  QCOMPARE(req.initialDir, std::string("/start/here"));
  QCOMPARE(req.filter, std::string("ZIP Files (*.ZIP)|*.ZIP|Arkelin2001 SFX Files (*.EXE)|*.EXE|RAR Files (*.RAR)|*.RAR"));
  QVERIFY(req.mustExist);
  QVERIFY(!req.allowMultiple);
}

void MainformTest::recentWriteFailureIsReported() {
  QVERIFY(QDir().mkpath(Ini()));  // a folder where the settings file belongs
  TMainform f;
  fake_->dialogs.boxes.clear();
  f.EnterZipSession("/d/a.zip");
  QVERIFY(fake_->dialogs.Saw("Unable to write to " + Ini().toStdString()));
  QCOMPARE(f.windowTitle(), QString("Arkelin2001Free - /d/a.zip"));
}

void MainformTest::aboutShowsTheVersion() {
  TMainform f;
  f.EnterZipSession("/d/a.zip");
  fake_->dialogs.boxes.clear();
  f.Item("About1")->trigger();
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
  QVERIFY(fake_->dialogs.boxes[0].text.find("V 1.01") != std::string::npos);
}

void MainformTest::closingAsksNothing() {
  auto* f = new TMainform;
  f->Favorites.Append({"/x.zip", "d", "1"});
  f->MailBody << "y";
  f->show();
  QVERIFY(f->close());
  QVERIFY(f->Favorites.Count() == 0);
  QVERIFY(f->MailBody.isEmpty());
  QVERIFY(fake_->dialogs.boxes.empty());
  delete f;
}

void MainformTest::firstSizeTitlesAndPanelsAfterCommands() {
  TMainform f;
  // The first window shows every column of the list, header to the edge.
  QCOMPARE(f.size(), f.DefaultSize());
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  int columns = 0;
  for (int c = 0; c < FileListModel::ColumnCount - 1; ++c) columns += f.lw_Files->columnWidth(c);
  QVERIFY2(columns + FileListModel::DefaultColumnWidth(FileListModel::ColPath) <= f.lw_Files->viewport()->width(),
           qPrintable(QString("%1 of %2").arg(columns).arg(f.lw_Files->viewport()->width())));
  QVERIFY(f.lw_Files->horizontalHeader()->stretchLastSection());
  // A long name widens its column, but only up to a limit.
  const int before = f.lw_Files->columnWidth(FileListModel::ColFilename);
  f.Model().AddRow(QString("d\\") + QString(40, 'n') + ".txt", 1, 1, 0);
  f.FitNameColumn();
  const int wider = f.lw_Files->columnWidth(FileListModel::ColFilename);
  QVERIFY(wider > before);
  QVERIFY(wider >= f.lw_Files->fontMetrics().horizontalAdvance(QString(40, 'n') + ".txt"));
  f.Model().AddRow(QString(400, 'w'), 1, 1, 0);
  f.FitNameColumn();
  QCOMPARE(f.lw_Files->columnWidth(FileListModel::ColFilename), 420);
  // Proper titles.
  TF_Info info;
  QCOMPARE(info.windowTitle(), QString("Archive information"));
  TAddForm add;
  QCOMPARE(add.windowTitle(), QString("Add file(s) to archive"));
  f.About1Click();
  QCOMPARE(fake_->dialogs.boxes.back().caption, std::string("About Arkelin"));
  // A new session starts with a clean status bar.
  f.Panel3->setText("Extracting files");
  f.EnterZipSession(dir_->path() + "/none.zip");
  QCOMPARE(f.Panel3->text(), QString());
}

QTEST_MAIN(MainformTest)
#include "MainformTest.moc"

// The disk search commands end to end, offscreen: the search window's
// controls, messages, Start, Abort and Escape; the results window's lines,
// grid and buttons; a result opened as the current archive (ZIP, RAR and a
// name of another kind) and files added to the current archive (also to a
// new Noname.zip, and refused in a RAR session). Modal windows are driven
// through their show hooks, questions through the scripted dialogs.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "search/forms/U_Result.h"
#include "search/forms/U_Seach.h"
#include "window/mainunit.h"
#include "QtTestFiles.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
using arkelin::search::TF_Result;
using arkelin::search::TF_Search;
namespace pf = arkelin::platform;

namespace {

QString Cell(const TF_Result& r, int row, int col) {
  const QTableWidgetItem* it = r.StringGrid1->item(row, col);
  return it ? it->text() : QString();
}

}  // namespace

class SearchWindowTest : public SessionTestBase {
  Q_OBJECT
 private:
  DefaultMainSettings settings_;
  // a.zip and sub/b.zip (real archives by zip), notes.txt, .x/hidden.zip.
  void MakeTree();
  // Runs a search from the window with these fields; the results window
  // goes to onResult (null: not expected).
  void RunSearch(TF_Search& s, const QString& start, const QString& pattern, bool recursive);

 private slots:
  void init();
  void cleanup();

  void searchWindowControlsAndDefaults();
  void emptyPatternIsRefused();
  void resultsListEveryMatchWithTimeAndSize();
  void nothingFoundShowsOneEmptyRowAndButtonsDoNothing();
  void startFolderThatCannotBeEnteredShowsTheErrorOnly();
  void abortFromTheSecondButtonDuringASearchOfTheDisk();
  void escapeClosesAndStopsARunningSearch();
  void unreadableFoldersAreNamedBelowTheGrid();
  void openZipResultBecomesTheCurrentArchive();
  void openRarResultListsItAndRecordsIt();
  void otherNamesAskFirst();
  void addFilesToTheCurrentArchive();
  void addFilesWithoutArchiveMakesNoname();
  void addIsRefusedInARarSession();
};

void SearchWindowTest::init() {
  QVERIFY(StartSession());
  settings_ = DefaultMainSettings();
  TF_Search::SetShowHook([](TF_Search& s) { s.bu_Close->click(); });
  TF_Result::SetShowHook([](TF_Result& r) { r.bu_Close->click(); });
}

void SearchWindowTest::cleanup() {
  TF_Search::SetShowHook(nullptr);
  TF_Result::SetShowHook(nullptr);
  EndSession();
}

void SearchWindowTest::MakeTree() {
  WriteFile(P("tree/src/one.txt"), "one\n");
  WriteFile(P("tree/src/two.txt"), "two two\n");
  QVERIFY(RunZipTool(P("tree/src"), {"-X", P("tree/a.zip"), "one.txt", "two.txt"}));
  QDir().mkpath(P("tree/sub"));
  QVERIFY(QFile::copy(P("tree/a.zip"), P("tree/sub/b.zip")));
  WriteFile(P("tree/notes.txt"), "notes");
  WriteFile(P("tree/.x/hidden.zip"), "hidden");
}

void SearchWindowTest::RunSearch(TF_Search& s, const QString& start, const QString& pattern, bool recursive) {
  s.ed_Startin->setText(start);
  s.ed_file->setText(pattern);
  s.ch_Recursive->setChecked(recursive);
  s.bu_Start->click();
}

void SearchWindowTest::searchWindowControlsAndDefaults() {
  TF_Search archives(1, {});
  QCOMPARE(archives.windowTitle(), QString("Search for archive(s)"));
  QCOMPARE(archives.la_Heading->text(), QString("Search"));
  QCOMPARE(archives.ed_Startin->text(), QString::fromStdString(pf::MapDefaultPath("C:\\")));
  QCOMPARE(archives.ed_Startin->text(), QDir::homePath() + "/");
  QCOMPARE(archives.ed_file->text(), QString());
  QVERIFY(archives.ch_Recursive->isChecked());
  QCOMPARE(archives.bu_Start->text(), QString("&Start"));
  QCOMPARE(archives.bu_Start->toolTip(), QString("Start search"));
  QCOMPARE(archives.bu_Close->text(), QString("&Close"));
  QCOMPARE(archives.bu_Close->toolTip(), QString("Abort search"));
  TF_Search files(2, {});
  QCOMPARE(files.windowTitle(), QString("Search for file(s)"));

  TF_Result r1(1, {});
  QCOMPARE(r1.windowTitle(), QString(" "));
  QCOMPARE(r1.la_Heading->text(), QString("Search result"));
  QVERIFY(!r1.bu_Open->isHidden());
  QVERIFY(r1.bu_Add->isHidden());
  QCOMPARE(r1.bu_Open->text(), QString("&Open zipfile"));
  QCOMPARE(r1.bu_Close->toolTip(), QString("Cancel operation"));
  QCOMPARE(r1.StringGrid1->toolTip(), QString("Double-Click to open the selected zipfile"));
  QCOMPARE(r1.StringGrid1->horizontalHeaderItem(0)->text(), QString("File Name"));
  QCOMPARE(r1.StringGrid1->horizontalHeaderItem(1)->text(), QString("Date/Time"));
  QCOMPARE(r1.StringGrid1->horizontalHeaderItem(2)->text(), QString("Size"));
  QCOMPARE(r1.StringGrid1->columnWidth(0), 250);
  QCOMPARE(r1.StringGrid1->columnWidth(1), 84);
  TF_Result r2(2, {});
  QVERIFY(r2.bu_Open->isHidden());
  QVERIFY(!r2.bu_Add->isHidden());
  QCOMPARE(r2.bu_Add->text(), QString("Add file(s) to archive"));
}

void SearchWindowTest::emptyPatternIsRefused() {
  int shown = 0;
  TF_Result::SetShowHook([&](TF_Result&) { ++shown; });
  TF_Search s(1, {});
  RunSearch(s, dir_->path(), "", true);
  QCOMPARE(fake_->dialogs.Texts(), std::vector<std::string>{"You must enter a Search pattern first!"});
  QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Error"));
  QCOMPARE(shown, 0);
}

void SearchWindowTest::resultsListEveryMatchWithTimeAndSize() {
  MakeTree();
  struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
  QCOMPARE(::utimensat(AT_FDCWD, P("tree/sub/b.zip").toLocal8Bit().constData(), times, 0), 0);
  QStringList found;
  QString line;
  TF_Result::SetShowHook([&](TF_Result& r) {
    line = r.la_Found->text();
    for (int i = 0; i < r.StringGrid1->rowCount(); ++i) found << Cell(r, i, 0);
    for (int i = 0; i < r.StringGrid1->rowCount(); ++i)
      if (Cell(r, i, 0) == P("tree/sub/b.zip")) {
        // The file's own modification time, not the day of the search.
        QCOMPARE(Cell(r, i, 1), arkelin::search::ResultTimeText(1500000000));
        QCOMPARE(Cell(r, i, 2), QString::number(QFileInfo(P("tree/sub/b.zip")).size()));
      }
    QVERIFY(r.la_Skipped->isHidden());
    r.bu_Close->click();
  });
  TF_Search s(1, {});
  RunSearch(s, P("tree"), "*.ZIP", true);
  QCOMPARE(line, QString("2 files matching *.ZIP found"));
  found.sort();
  QCOMPARE(found, QStringList({P("tree/a.zip"), P("tree/sub/b.zip")}));
  // Closing the results leaves the search window as it was, idle.
  QCOMPARE(s.bu_Close->text(), QString("&Close"));
  QCOMPARE(s.windowTitle(), QString());
  QVERIFY(s.bu_Start->isEnabled());

  found.clear();
  RunSearch(s, P("tree"), "*.zip", false);
  QCOMPARE(line, QString("1 files matching *.zip found"));
  QCOMPARE(found, QStringList({P("tree/a.zip")}));
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(0));
  QCOMPARE(fake_->busy.depth, 0);
  QVERIFY(fake_->busy.maxDepth >= 1);
}

void SearchWindowTest::nothingFoundShowsOneEmptyRowAndButtonsDoNothing() {
  MakeTree();
  int opened = 0;
  arkelin::search::ResultActions actions;
  actions.OpenArchive = [&](const QString&) { return ++opened > 0; };
  bool closed = true;
  TF_Result::SetShowHook([&](TF_Result& r) {
    QCOMPARE(r.la_Found->text(), QString("0 files matching *.qqq found"));
    QCOMPARE(r.StringGrid1->rowCount(), 1);
    QCOMPARE(Cell(r, 0, 0), QString());
    r.bu_Open->click();
    r.StringGrid1DblClick();
    closed = r.CloseSearch;
  });
  TF_Search s(1, actions);
  RunSearch(s, P("tree"), "*.qqq", true);
  QCOMPARE(opened, 0);
  QVERIFY(!closed);
}

void SearchWindowTest::startFolderThatCannotBeEnteredShowsTheErrorOnly() {
  int shown = 0;
  TF_Result::SetShowHook([&](TF_Result&) { ++shown; });
  TF_Search s(1, {});
  RunSearch(s, P("missing"), "*.zip", true);
  QCOMPARE(shown, 0);
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
  QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Error);
  QCOMPARE(fake_->dialogs.boxes[0].text, (P("missing/") + ": No such file or directory").toStdString());
  QCOMPARE(s.bu_Close->text(), QString("&Close"));
}

void SearchWindowTest::abortFromTheSecondButtonDuringASearchOfTheDisk() {
  int shown = 0;
  TF_Result::SetShowHook([&](TF_Result&) { ++shown; });
  TF_Search s(2, {});
  int pumps = 0;
  QString captionWhileSearching, titleWhileSearching;
  fake_->pump.onProcess = [&] {
    if (++pumps == 30) {
      captionWhileSearching = s.bu_Close->text();
      titleWhileSearching = s.windowTitle();
      s.bu_Close->click();  // "&Abort"
    }
  };
  RunSearch(s, "/", "*", true);
  QCOMPARE(captionWhileSearching, QString("&Abort"));
  QVERIFY(titleWhileSearching.startsWith("/"));
  QCOMPARE(shown, 0);
  QCOMPARE(s.bu_Close->text(), QString("&Close"));
  QCOMPARE(s.windowTitle(), QString());
  QVERIFY(!s.Searching());
  QVERIFY(pumps <= 31);  // nothing more was walked after the click
  QCOMPARE(fake_->busy.depth, 0);
  // Idle again: the second button closes the window.
  fake_->pump.onProcess = nullptr;
  s.show();
  s.bu_Close->click();
  QVERIFY(s.isHidden());
  QCOMPARE(s.result(), int(QDialog::Rejected));
}

void SearchWindowTest::escapeClosesAndStopsARunningSearch() {
  int shown = 0;
  TF_Result::SetShowHook([&](TF_Result&) { ++shown; });
  TF_Search s(1, {});
  s.show();
  int pumps = 0;
  fake_->pump.onProcess = [&] {
    if (++pumps == 10) {
      QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(&s, &esc);
    }
  };
  RunSearch(s, "/", "*.zip", true);
  QCOMPARE(shown, 0);
  QVERIFY(!s.Searching());
  QVERIFY(pumps <= 11);
  // The window closes once the walk has unwound.
  QTRY_VERIFY(s.isHidden());
  // Idle: Escape closes at once.
  fake_->pump.onProcess = nullptr;
  s.show();
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&s, &esc);
  QVERIFY(s.isHidden());
}

void SearchWindowTest::unreadableFoldersAreNamedBelowTheGrid() {
  // What the search could not enter is said under the grid (the walk's own
  // tests make such folders, as root too).
  TF_Result r(1, {});
  r.SetResults({{"/data/a.zip", 0, 10}}, "*.zip", {{"/data/locked/", "Permission denied"}, {"/data/x/", "Too many"}});
  QVERIFY(!r.la_Skipped->isHidden());
  QCOMPARE(r.la_Skipped->text(),
           QString("2 folder(s) could not be read, for example /data/locked/ (Permission denied)"));
  QCOMPARE(r.la_Found->text(), QString("1 files matching *.zip found"));
  r.SetResults({}, "*.zip", {});
  QVERIFY(r.la_Skipped->isHidden());
  QCOMPARE(r.StringGrid1->rowCount(), 1);
  QCOMPARE(Cell(r, 0, 0), QString());
}

void SearchWindowTest::openZipResultBecomesTheCurrentArchive() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
  MakeTree();
  TMainform f;
  settings_.windowColor = QColor(255, 255, 200);
  f.SetSettings(&settings_);
  bool searchClosed = false;
  TF_Search::SetShowHook([&](TF_Search& s) {
    QCOMPARE(s.windowTitle(), QString("Search for archive(s)"));
    s.setResult(-1);
    RunSearch(s, P("tree"), "b.zip", true);
    searchClosed = s.result() == QDialog::Accepted;
  });
  TF_Result::SetShowHook([&](TF_Result& r) {
    // The cells in the list colour of the settings.
    QCOMPARE(r.StringGrid1->palette().color(QPalette::Base), QColor(255, 255, 200));
    QCOMPARE(Cell(r, 0, 0), P("tree/sub/b.zip"));
    r.StringGrid1->setCurrentCell(0, 0);
    emit r.StringGrid1->RowChosen(1);  // a double-click on the row opens it too
    QVERIFY(r.CloseSearch);
  });
  f.Item("Searchforarchives1")->trigger();
  QVERIFY(searchClosed);
  QCOMPARE(f.CurrentZipName(), P("tree/sub/b.zip"));
  QCOMPARE(f.windowTitle(), f.TitlePrefix + "- " + P("tree/sub/b.zip"));
  QCOMPARE(f.Model().RowCountValue(), 2);
  QVERIFY(!f.RarMode);
  QVERIFY(f.Item("Closearchive1")->isEnabled());
  // A ZIP opened from the results leaves the recent list alone.
  QFile ini(TMainform::IniFileName());
  if (ini.open(QIODevice::ReadOnly)) QVERIFY(!ini.readAll().contains("b.zip"));
}

void SearchWindowTest::openRarResultListsItAndRecordsIt() {
  const QString rar = QStringLiteral(ARKELIN_FIXTURES "/rar/la-test_read_format_rar5_stored_manyfiles.rar");
  if (!HaveRarLibrary()) QSKIP("the RAR library is not built");
  QDir().mkpath(P("rars"));
  QVERIFY(QFile::copy(rar, P("rars/many.part1.rar")));
  TMainform f;
  f.SetSettings(&settings_);
  TF_Search::SetShowHook([&](TF_Search& s) { RunSearch(s, P("rars"), "*.rar", true); });
  TF_Result::SetShowHook([&](TF_Result& r) {
    r.StringGrid1->setCurrentCell(0, 0);
    r.bu_Open->click();
  });
  f.Item("Searchforarchives1")->trigger();
  // "many.part1.rar" is a RAR archive by its extension: no question.
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(0));
  QVERIFY(f.RarMode);
  QCOMPARE(f.CurrentRarName(), P("rars/many.part1.rar"));
  QCOMPARE(f.Model().RowCountValue(), 3);
  QCOMPARE(f.windowTitle(), f.TitlePrefix + "- " + P("rars/many.part1.rar"));
  QVERIFY(!f.Item("Add1")->isEnabled());  // the ZIP-changing commands are off
  QFile ini(TMainform::IniFileName());
  QVERIFY(ini.open(QIODevice::ReadOnly));
  QVERIFY(ini.readAll().contains("many.part1.rar"));
}

void SearchWindowTest::otherNamesAskFirst() {
  MakeTree();
  TMainform f;
  f.SetSettings(&settings_);
  bool closedFirst = true;
  TF_Result::SetShowHook([&](TF_Result& r) {
    r.StringGrid1->setCurrentCell(0, 0);
    r.bu_Open->click();  // answered No: both windows stay
    closedFirst = r.CloseSearch;
    r.bu_Open->click();  // answered Yes
    QVERIFY(r.CloseSearch);
  });
  TF_Search::SetShowHook([&](TF_Search& s) { RunSearch(s, P("tree"), "notes.*", false); });
  fake_->dialogs.answers = {pf::BtnNo, pf::BtnYes};
  f.Item("Searchforarchives1")->trigger();
  QVERIFY(!closedFirst);
  QCOMPARE(f.windowTitle(), f.TitlePrefix + "- " + P("tree/notes.txt"));
  // Two questions, then whatever the engine says of a file that is no archive.
  QVERIFY(fake_->dialogs.boxes.size() >= 2);
  QCOMPARE(fake_->dialogs.boxes[0].text, std::string("This may not be a valid Zipfile, try open it anyway?"));
  QCOMPARE(fake_->dialogs.boxes[1].text, fake_->dialogs.boxes[0].text);
  QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Confirm);
  QCOMPARE(fake_->dialogs.boxes[0].buttons, pf::Buttons(pf::BtnYes | pf::BtnNo));
}

void SearchWindowTest::addFilesToTheCurrentArchive() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
  MakeTree();
  WriteFile(P("files/x1.dat"), "first");
  WriteFile(P("files/x2.dat"), "second");
  WriteFile(P("files/x3.dat"), "third");
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(P("tree/a.zip"));
  QCOMPARE(f.Model().RowCountValue(), 2);
  TF_Search::SetShowHook([&](TF_Search& s) {
    QCOMPARE(s.windowTitle(), QString("Search for file(s)"));
    RunSearch(s, P("files"), "x*.dat", true);
  });
  TF_Result::SetShowHook([&](TF_Result& r) {
    QCOMPARE(r.StringGrid1->rowCount(), 3);
    r.StringGrid1->sortItems(0);
    // Rows 0 and 1 as a range: x1.dat and x2.dat.
    r.StringGrid1->clearSelection();
    r.StringGrid1->setRangeSelected(QTableWidgetSelectionRange(0, 0, 1, 2), true);
    r.bu_Add->click();
    QCOMPARE(r.AddList, QStringList({P("files/x1.dat"), P("files/x2.dat")}));
  });
  f.Item("Searchfile1")->trigger();
  QCOMPARE(fake_->dialogs.Texts().back(), std::string("2 files were added"));
  QCOMPARE(fake_->dialogs.boxes.back().kind, pf::MsgKind::Information);
  QCOMPARE(f.Model().RowCountValue(), 4);
  QVERIFY(f.ArchiveModified);
  QVERIFY(f.ProgressBar1->isHidden());
  QCOMPARE(fake_->busy.depth, 0);
  QStringList names;
  for (const auto& e : f.ZipMaster1().Entries()) names << QString::fromStdString(e.FileName);
  QVERIFY(names.filter("x1.dat").size() == 1);
  QVERIFY(names.filter("x2.dat").size() == 1);
  QVERIFY(names.filter("x3.dat").isEmpty());
}

void SearchWindowTest::addFilesWithoutArchiveMakesNoname() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries are not built");
  WriteFile(P("files/y.dat"), "why");
  QDir().mkpath(P("cwd"));
  const QString saved = QDir::currentPath();
  QDir::setCurrent(P("cwd"));
  TMainform f;
  f.SetSettings(&settings_);
  TF_Search::SetShowHook([&](TF_Search& s) { RunSearch(s, P("files"), "*.dat", true); });
  TF_Result::SetShowHook([&](TF_Result& r) {
    r.StringGrid1->selectRow(0);
    r.bu_Add->click();
  });
  // The menu items need an archive; the handler is reached all the same
  // when a session has a name no longer (a failed open).
  QVERIFY(!f.Item("Searchfile2")->isEnabled());
  f.Searchfile1Click();
  QDir::setCurrent(saved);
  QCOMPARE(f.CurrentZipName(), P("cwd/Noname.zip"));
  QVERIFY(QFile::exists(P("cwd/Noname.zip")));
  QCOMPARE(fake_->dialogs.Texts().back(), std::string("1 files were added"));
  QCOMPARE(f.Model().RowCountValue(), 1);
}

void SearchWindowTest::addIsRefusedInARarSession() {
  const QString rar = QStringLiteral(ARKELIN_FIXTURES "/rar/la-test_read_format_rar5_stored_manyfiles.rar");
  if (!HaveRarLibrary()) QSKIP("the RAR library is not built");
  WriteFile(P("files/z.dat"), "zed");
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterRarSession(rar);
  fake_->dialogs.boxes.clear();
  bool closed = true;
  TF_Search::SetShowHook([&](TF_Search& s) { RunSearch(s, P("files"), "*.dat", true); });
  TF_Result::SetShowHook([&](TF_Result& r) {
    r.StringGrid1->selectRow(0);
    r.bu_Add->click();
    closed = r.CloseSearch;
  });
  f.Item("Searchfile1")->trigger();
  QVERIFY(!closed);
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));  // the refusal, nothing added
  QVERIFY(f.RarMode);
  QCOMPARE(f.CurrentRarName(), rar);
}

QTEST_MAIN(SearchWindowTest)
#include "SearchWindowTest.moc"

// The archive window's commands run end to end, offscreen, with scripted
// dialogs: extract and test, add (Add window and drops), delete, the archive
// file commands, properties, and the progress bar, messages and cancel.
// Archives are made by Info-ZIP zip and read back by the engine; RAR archives
// come from the shared fixtures. Commands that need the engine libraries skip
// with the reason when they are not built.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "shared/widgets/U_InmDlg.h"
#include "window/Addunit.h"
#include "window/extrunit.h"
#include "window/mainunit.h"
#include "window/u_Info.h"
#include "QtTestFiles.h"
#include "WindowRows.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;

namespace {

QString Fixture(const QString& rel) { return QStringLiteral(ARKELIN_FIXTURES "/") + rel; }

// Drives with a fixed free-space answer; everything else from the real ones.
class TightDrives : public pf::IDrives {
 public:
  explicit TightDrives(pf::IDrives& real) : real_(real) {}
  int64_t free = 0;
  std::vector<std::string> asked;
  std::string DriveRoot(const std::string& p) override { return real_.DriveRoot(p); }
  pf::DriveType TypeOf(const std::string& r) override { return type; }
  std::string VolumeLabel(const std::string& r) override { return real_.VolumeLabel(r); }
  int64_t FreeSpace(const std::string& r) override {
    asked.push_back(r);
    return free;
  }
  int64_t TotalSpace(const std::string& r) override { return real_.TotalSpace(r); }
  bool DiskPresent(const std::string& r) override { return real_.DiskPresent(r); }
  std::vector<std::string> Roots() override { return real_.Roots(); }
  pf::DriveType type = pf::DriveType::Fixed;

 private:
  pf::IDrives& real_;
};

}  // namespace

class CommandsTest : public SessionTestBase {
  Q_OBJECT
 private:
  DefaultMainSettings settings_;
  // A ZIP archive by Info-ZIP zip of docs/a.txt, img/2000/b.png and c.txt,
  // with folder entries; stored when store is true.
  QString MakeSampleZip(const QString& name, bool store = false);

 private slots:
  void init();
  void cleanup();

  // Progress, messages and cancel
  void progressBarFollowsFilesAndBytesAndRepaintsRationed();
  void engineCallbacksReachTheEventLoopRationed();
  void engineMessagesShowOnlyPositiveCodes();
  void cancelWithNothingRunningChangesNothing();

  // Extract window and Extract
  void extractWindowHasItsControlsAndDefaults();
  void extractWindowPresetFollowsSelection();
  void extractWindowNewFolder();
  void extractCancelledOrWithoutArchiveDoesNothing();
  void extractAllAndSelectedFromZip();
  void extractWithoutOverwriteKeepsExistingFiles();
  void testReportsGoodAndDamagedZip();

  // Add window, Add, drops and Delete
  void addWindowListRules();
  void addOkWithEmptyListAndCloseAddNothing();
  void addFolderTreeWithAndWithoutFolderNames();
  void addOptionsFollowSettingsAndWindow();
  void dropOfZipAsksWhatToDo();
  void dropOfThreeFilesAddsAtOnceWithFoldersAndRecursion();
  void dropWhileAddWindowOpenWaitsInItsList();
  void deleteSelectedEntriesInDifferentFolders();
  void selectedRowsNameTheirEntriesExactly();
  void cancelDuringAddLeavesArchiveAsItWas();

  // Archive file commands and properties
  void newArchiveNames_data();
  void newArchiveNames();
  void newArchiveOnExistingFileAsks();
  void newArchiveSpanningModeFollowsDrive();
  void saveAsMovesTheArchive();
  void copyArchiveChecksSpaceAndCopies();
  void deleteArchiveRemovesFileAndEmptiesList();
  void propertiesShowFileFactsAndListSum();

  // RAR sessions
  void rarSessionListsExtractsAndTests();
  void rarDamagedEntryIsNamedAndArchiveReportedCorrupted();
  void secondCommandIsRefusedAndCancelStopsRarExtraction();
  void rarPasswordRequestThenOtherEntriesStillExtract();
  void desktopDropReachesTheDropHandler();
  void addWindowDropAcceptanceFollowsSetting();
  void cancelStopsZipExtractionAndSkipsTheCount();
};

void CommandsTest::init() {
  QVERIFY(StartSession());
  settings_ = DefaultMainSettings();
  TAddForm::SetShowHook([](TAddForm& w) { w.BitBtn2->click(); });
  TExtract::SetShowHook([](TExtract& w) { w.BitBtn2->click(); });
  TF_Info::SetShowHook([](TF_Info& w) { w.bu_Close->click(); });
}

void CommandsTest::cleanup() {
  TAddForm::SetShowHook(nullptr);
  TExtract::SetShowHook(nullptr);
  TF_Info::SetShowHook(nullptr);
  EndSession();
}

QString CommandsTest::MakeSampleZip(const QString& name, bool store) {
  const QString src = P("zipsrc-" + name);
  WriteFile(src + "/docs/a.txt", QByteArray(5000, 'a'));
  WriteFile(src + "/img/2000/b.png", Noise(7000, 1));
  WriteFile(src + "/c.txt", "the third file\n");
  const QString zipFile = P(name);
  QStringList args = {"-r", "-X"};
  if (store) args << "-0";
  return RunZipTool(src, args << zipFile << ".") ? zipFile : QString();
}

// ---- Progress, messages and cancel --------------------------------------------------------

void CommandsTest::progressBarFollowsFilesAndBytesAndRepaintsRationed() {
  int64_t now = 1000;
  ProgressMeter::SetClockForTests([&] { return now; });
  TMainform f;
  QProgressBar* bar = f.ProgressBar1;
  f.ShowProgress(true);
  QCOMPARE(bar->maximum(), ProgressMeter::kScale);
  // Two files of 1 MB and 10,000 empty ones: the files weigh 10,000 * 4096.
  const int64_t total = 2'000'000 + 10'000 * ProgressMeter::kFileWeight;
  f.ZipMaster1Progress(ez::ProgrTotalFiles, "", 10'002);
  f.ZipMaster1Progress(ez::ProgrTotalSize, "", 2'000'000);
  f.ZipMaster1Progress(ez::ProgrNewFile, "dir\\big.bin", 1'000'000);
  // The first event is shown and pumps at once.
  QCOMPARE(f.Panel4->text(), QString("big.bin"));
  QCOMPARE(fake_->pump.calls, 1);
  now += 5;
  f.ZipMaster1Progress(ez::ProgrUpdate, "", 500'000);
  // Within 10 ms: neither repainted nor pumped, but counted.
  QCOMPARE(fake_->pump.calls, 1);
  QCOMPARE(bar->value(), 0);
  now += 50;
  f.ZipMaster1Progress(ez::ProgrUpdate, "", 500'000);
  QCOMPARE(fake_->pump.calls, 2);
  QCOMPARE(bar->value(), int(1'000'000 * 1000 / total));
  // 10,000 small files within 40 ms: one repaint at most, a few pumps.
  const int pumpsBefore = fake_->pump.calls;
  int repaints = 0;
  QString shown = f.Panel4->text();
  for (int i = 0; i < 10'000; ++i) {
    if (i % 2500 == 0) now += 10;
    f.ZipMaster1Progress(ez::ProgrNewFile, QString("f%1").arg(i), 0);
    if (f.Panel4->text() != shown) ++repaints, shown = f.Panel4->text();
  }
  QCOMPARE(repaints, 0);
  QCOMPARE(fake_->pump.calls - pumpsBefore, 4);
  now += 50;
  f.ZipMaster1Progress(ez::ProgrNewFile, "last.bin", 1'000'000);
  QCOMPARE(f.Panel4->text(), QString("last.bin"));
  // big.bin and the 10,000 small files are done.
  QCOMPARE(bar->value(), int((1'000'000 + 10'001 * ProgressMeter::kFileWeight) * 1000 / total));
  f.ZipMaster1Progress(ez::ProgrUpdate, "", 1'000'000);
  // The end of the batch is always shown, however soon it comes.
  f.ZipMaster1Progress(ez::ProgrEndOfBatch, "", 0);
  QCOMPARE(bar->value(), ProgressMeter::kScale);
  // No totals (an add): the bar follows the current file.
  f.ShowProgress(true);
  f.ZipMaster1Progress(ez::ProgrNewFile, "huge", int64_t(1) << 50);
  now += 60;
  f.ZipMaster1Progress(ez::ProgrUpdate, "", int64_t(1) << 49);
  QCOMPARE(bar->value(), 500);
  ProgressMeter::SetClockForTests(nullptr);
}

void CommandsTest::engineCallbacksReachTheEventLoopRationed() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  // 300 small files: the component lets events run after each of its
  // library's callbacks, several per file.
  const QString src = P("many");
  for (int i = 0; i < 300; ++i) WriteFile(src + QString("/f%1.txt").arg(i), QByteArray(100 + i, 'x'));
  QVERIFY(RunZipTool(src, {"-r", P("many.zip"), "."}));
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(P("many.zip"));
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(P("out"));
    d.BitBtn1->click();
  });
  auto extract = [&] {
    fake_->pump.calls = 0;
    fake_->dialogs.boxes.clear();
    f.Extract1Click();
    return fake_->dialogs.Saw("300 file(s) were extracted") ? fake_->pump.calls : -1;
  };
  // The clock stands still: the first turn only, however many callbacks.
  int64_t now = 1000;
  ProgressMeter::SetClockForTests([&] { return now; });
  QCOMPARE(extract(), 1);
  // Each reading of the clock 5 ms later: a turn every other callback,
  // never two within 10 ms.
  std::vector<int64_t> turns;
  fake_->pump.onProcess = [&] { turns.push_back(now); };
  ProgressMeter::SetClockForTests([&] { return now += 5; });
  const int calls = extract();
  fake_->pump.onProcess = nullptr;
  ProgressMeter::SetClockForTests(nullptr);
  QVERIFY2(calls >= 100, qPrintable(QString::number(calls)));
  for (size_t i = 1; i < turns.size(); ++i) QVERIFY(turns[i] - turns[i - 1] >= ProgressMeter::kPumpMs);
  // The pump in force before is back once the command is over.
  QCOMPARE(&pf::Pump(), static_cast<pf::IMessagePump*>(&fake_->pump));
  QVERIFY(f.ProgressBar1->isHidden());
}

void CommandsTest::engineMessagesShowOnlyPositiveCodes() {
  TMainform f;
  f.ZipMaster1Message(0, "Beginning Add to x.zip");
  f.ZipMaster1Message(-3, "negative");
  QVERIFY(fake_->dialogs.boxes.empty());
  f.ZipMaster1Message(5, "bad CRC in a.txt");
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
  QCOMPARE(fake_->dialogs.boxes[0].text, std::string("Error message from DLL: bad CRC in a.txt"));
  QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Warning"));
  QCOMPARE(fake_->dialogs.boxes[0].buttons, pf::Buttons(pf::BtnOK));
}

void CommandsTest::cancelWithNothingRunningChangesNothing() {
  TMainform f;
  f.EnterRarSession(P("none.rar"));
  fake_->dialogs.boxes.clear();
  f.CancelBut->click();
  QVERIFY(!f.rar().Stop);
  QVERIFY(!f.ZipMaster1().Cancel);
  QVERIFY(!f.CancelRequested());
  QVERIFY(fake_->dialogs.boxes.empty());
  // A self-extracting refresh in progress is told through the tag only.
  f.CancelTag = 7;
  f.CancelButClick();
  QCOMPARE(f.CancelTag, 0);
  QVERIFY(!f.rar().Stop);
}

// ---- Extract window and Extract --------------------------------------------------------------

void CommandsTest::extractWindowHasItsControlsAndDefaults() {
  TExtract w;
  QCOMPARE(w.windowTitle(), QString("Select Extract directory"));
  QCOMPARE(w.Label1->text(), QString("Look &in:"));
  QCOMPARE(w.bu_NewDir->toolTip(), QString("Create new directory"));
  QCOMPARE(w.RadioGroup1->title(), QString("Expand ZIP Dirs"));
  QCOMPARE(w.RadioGroup1->Choice(0)->text(), QString("No"));
  QCOMPARE(w.RadioGroup1->Choice(1)->text(), QString("Yes"));
  QCOMPARE(w.RadioGroup1->ItemIndex(), 1);
  QVERIFY(w.RadioGroup1->toolTip().startsWith("Extracts and recreates the relative pathname"));
  QCOMPARE(w.RadioGroup2->title(), QString("OverWrite Existing"));
  QCOMPARE(w.RadioGroup2->ItemIndex(), 1);
  QCOMPARE(w.RadioGroup2->toolTip(), QString("Overwrite any pre-existing files during extraction."));
  QCOMPARE(w.RadioGroup3->title(), QString("Files to Extract"));
  QCOMPARE(w.RadioGroup3->Choice(0)->text(), QString("All Files"));
  QCOMPARE(w.RadioGroup3->Choice(1)->text(), QString("Selected Files"));
  QCOMPARE(w.Ch_ExtUpdate->text(), QString("Only Update file(s)"));
  QVERIFY(!w.Ch_ExtUpdate->isChecked());
  QCOMPARE(w.BitBtn1->text(), QString("&OK"));
  QVERIFY(w.BitBtn1->isDefault());
  QCOMPARE(w.BitBtn1->toolTip(), QString("Start extracting file(s)"));
  QCOMPARE(w.BitBtn2->text(), QString("&Cancel"));
  QCOMPARE(w.BitBtn2->toolTip(), QString("Cancel operation"));
  // The box holds the roots; the tree's folder moves the box and back.
  QVERIFY(w.DriveComboBox1->findData(QString("/")) >= 0);
  w.SetFolder(dir_->path());
  QCOMPARE(w.Folder(), dir_->path());
  const int root = w.DriveComboBox1->findData(QString("/"));
  w.DriveChosen(root);
  QCOMPARE(w.Folder(), QString("/"));
  // OK reads the groups; Cancel empties the folder and leaves cancelled set.
  w.SetFolder(dir_->path());
  w.RadioGroup1->SetItemIndex(0);
  w.RadioGroup3->SetItemIndex(1);
  w.BitBtn1Click();
  QVERIFY(!w.Cancelled);
  QCOMPARE(w.ExtractFolder, dir_->path());
  QVERIFY(!w.ExpandFolders);
  QVERIFY(w.Overwrite);
  QVERIFY(!w.AllFiles);
  TExtract::SetShowHook([](TExtract& d) { d.BitBtn2->click(); });
  w.ShowModal();
  QVERIFY(w.Cancelled);
  QVERIFY(w.ExtractFolder.isEmpty());
}

void CommandsTest::extractWindowPresetFollowsSelection() {
  TMainform f;
  f.EnterRarSession(P("x.rar"));
  f.AddRarRow("a.txt", 1, 1, 0);
  f.AddRarRow("docs\\b.txt", 1, 1, 0);
  QList<int> seen;
  TExtract::SetShowHook([&](TExtract& d) {
    seen << d.RadioGroup3->ItemIndex();
    d.BitBtn2->click();
  });
  SelectRows(f, {"a.txt"});
  f.Item("Extract1")->trigger();
  SelectRows(f, {"a.txt", "b.txt"});
  f.Item("Extract2")->trigger();
  QCOMPARE(seen, QList<int>({0, 1}));
}

void CommandsTest::extractWindowNewFolder() {
  TExtract w;
  w.SetFolder(dir_->path());
  fake_->dialogs.inputs.push_back(std::string("made\\"));
  fake_->dialogs.inputs.push_back(std::string("made"));  // exists now
  fake_->dialogs.inputs.push_back(std::nullopt);
  w.bu_NewDirClick();
  QVERIFY(QFileInfo(P("made")).isDir());
  QCOMPARE(w.Folder(), P("made"));
  QCOMPARE(fake_->dialogs.inputsAsked[0], std::string("Input Box: Directory"));
  w.SetFolder(dir_->path());
  w.bu_NewDirClick();
  QCOMPARE(Texts(), QStringList({"Couldn't create directory!"}));
  QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Error"));
  w.bu_NewDirClick();  // cancelled: nothing
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
}

void CommandsTest::extractCancelledOrWithoutArchiveDoesNothing() {
  TMainform f;
  f.Extract1Click();
  QCOMPARE(Texts(), QStringList({"You must create a new zipfile or open a zipfile first!"}));
  fake_->dialogs.boxes.clear();
  f.EnterRarSession(P("x.rar"));
  fake_->dialogs.boxes.clear();
  f.AddRarRow("a.txt", 1, 1, 0);
  int shown = 0;
  TExtract::SetShowHook([&](TExtract& d) {
    ++shown;
    d.close();  // by the title bar
  });
  f.Extract1Click();
  QCOMPARE(shown, 1);
  QVERIFY(fake_->dialogs.boxes.empty());
  QVERIFY(f.ProgressBar1->isHidden());
  // Selected Files with nothing selected.
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(dir_->path());
    d.RadioGroup3->SetItemIndex(1);
    d.BitBtn1->click();
  });
  f.lw_Files->clearSelection();
  f.Extract1Click();
  QCOMPARE(Texts(), QStringList({"Error :No file(s) selected"}));
}

void CommandsTest::extractAllAndSelectedFromZip() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString zipFile = MakeSampleZip("sample.zip");
  QVERIFY(!zipFile.isEmpty());
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(zipFile);
  QCOMPARE(f.Model().RowCountValue(), 3);
  const QString all = P("out-all");
  QVERIFY(QDir().mkpath(all));
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(all);
    d.BitBtn1->click();
  });
  fake_->dialogs.boxes.clear();
  f.Extract1Click();
  QCOMPARE(ReadFile(all + "/docs/a.txt"), QByteArray(5000, 'a'));
  QCOMPARE(ReadFile(all + "/img/2000/b.png"), Noise(7000, 1));
  QCOMPARE(ReadFile(all + "/c.txt"), QByteArray("the third file\n"));
  QCOMPARE(Texts().last(), QString("3 file(s) were extracted"));
  QCOMPARE(fake_->dialogs.boxes.back().caption, std::string("Information"));
  QCOMPARE(settings_.FolderSetting('E'), all);
  QVERIFY(f.ProgressBar1->isHidden());
  QVERIFY(f.CancelBut->isHidden());
  QCOMPARE(f.Panel3->text(), QString());
  QCOMPARE(fake_->busy.depth, 0);
  QVERIFY(fake_->busy.maxDepth >= 1);

  // Two selected rows in different folders: only they come out, in their folders.
  const QString some = P("out-some");
  QVERIFY(QDir().mkpath(some));
  SelectRows(f, {"a.txt", "b.png"});
  TExtract::SetShowHook([&](TExtract& d) {
    QCOMPARE(d.RadioGroup3->ItemIndex(), 1);
    d.SetFolder(some);
    d.BitBtn1->click();
  });
  fake_->dialogs.boxes.clear();
  f.Extract1Click();
  QVERIFY(QFile::exists(some + "/docs/a.txt"));
  QVERIFY(QFile::exists(some + "/img/2000/b.png"));
  QVERIFY(!QFile::exists(some + "/c.txt"));
  QCOMPARE(Texts(), QStringList({"2 file(s) were extracted"}));

  // Without folder names everything lands in the folder itself; no prompt when switched off.
  const QString flat = P("out-flat");
  QVERIFY(QDir().mkpath(flat));
  settings_.promptAfterExtracted = false;
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(flat);
    d.RadioGroup1->SetItemIndex(0);
    d.RadioGroup3->SetItemIndex(0);
    d.BitBtn1->click();
  });
  fake_->dialogs.boxes.clear();
  f.Extract1Click();
  QVERIFY(QFile::exists(flat + "/a.txt"));
  QVERIFY(QFile::exists(flat + "/b.png"));
  QVERIFY(!QFile::exists(flat + "/docs"));
  QVERIFY(fake_->dialogs.boxes.empty());
}

void CommandsTest::extractWithoutOverwriteKeepsExistingFiles() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString zipFile = MakeSampleZip("sample.zip");
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(zipFile);
  const QString out = P("out");
  WriteFile(out + "/c.txt", "mine");
  int overwrite = 0;
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(out);
    d.RadioGroup2->SetItemIndex(overwrite);
    d.BitBtn1->click();
  });
  // The engine asks about the existing file; No keeps it and goes on.
  fake_->dialogs.answers.push_back(pf::BtnNo);
  f.Extract1Click();
  QVERIFY(fake_->dialogs.Saw("c.txt already exists"));
  QCOMPARE(ReadFile(out + "/c.txt"), QByteArray("mine"));
  QVERIFY(QFile::exists(out + "/docs/a.txt"));
  overwrite = 1;
  fake_->dialogs.boxes.clear();
  f.Extract1Click();
  QVERIFY(!fake_->dialogs.Saw("already exists"));
  QCOMPARE(ReadFile(out + "/c.txt"), QByteArray("the third file\n"));
}

void CommandsTest::testReportsGoodAndDamagedZip() {
  TMainform f;
  f.Test1Click();
  QCOMPARE(Texts(), QStringList({"Error - nothing to Test"}));
  QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::None);
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString zipFile = MakeSampleZip("stored.zip", true);
  f.EnterZipSession(zipFile);
  QVERIFY(f.ZipMaster1().Count() > 3);  // folder entries are in the directory
  fake_->dialogs.boxes.clear();
  f.Item("Test1")->trigger();
  // ... but a sound archive with folders is still sound.
  QCOMPARE(Texts(), QStringList({"All 3 files tested OK"}));
  QVERIFY(f.Panel3->text().startsWith("Time elapsed: 00:0"));
  QCOMPARE(f.Panel4->text(), QString("Total 3 files,  12 Kb"));
  QVERIFY(f.ProgressBar1->isHidden());
  QCOMPARE(fake_->busy.depth, 0);
  QVERIFY(f.ZipMaster1().ExtrOptions & ez::ExtrTest);
  // Damage the stored bytes of c.txt.
  QByteArray bytes = ReadFile(zipFile);
  const int at = bytes.indexOf("the third file");
  QVERIFY(at > 0);
  bytes[at] = 'T';
  QFile w(zipFile);
  QVERIFY(w.open(QIODevice::WriteOnly));
  w.write(bytes);
  w.close();
  f.EnterZipSession(zipFile);
  fake_->dialogs.boxes.clear();
  f.Item("Test2")->trigger();
  QVERIFY(!Texts().isEmpty());
  QCOMPARE(Texts().last(), QString("ERROR: 1 files tested BAD, or skipped!"));
  QCOMPARE(fake_->dialogs.boxes.back().caption, std::string("Error"));
}

// ---- Add window, Add, drops and Delete ---------------------------------------------------------

void CommandsTest::addWindowListRules() {
  WriteFile(P("src/one.txt"), "1");
  WriteFile(P("src/ONE.TXT"), "2");
  WriteFile(P("src/two.txt"), "3");
  TAddForm w;
  QCOMPARE(w.Header->text(), QString("Add file(s) to archive"));
  QCOMPARE(w.windowTitle(), QString("Add file(s) to archive"));
  QCOMPARE(w.bu_AddFiles->text(), QString("<Add file(s)>"));
  QCOMPARE(w.bu_addDir->toolTip(), QString("Add selected directory"));
  QCOMPARE(w.CheckBox1->text(), QString("Force Multiple disk Volumes. "));
  QCOMPARE(w.BitBtn1->toolTip(), QString("Start install"));
  w.SetFolder(P("src"));
  QCOMPARE(w.FileListBox1->count(), 3);
  w.bu_SelectAllClick();
  w.Cancelled = false;
  w.bu_AddFilesClick();
  // The two spellings of one name keep one line; the box is deselected.
  QCOMPARE(w.Names(), QStringList({P("src/one.txt"), P("src/two.txt")}));
  QCOMPARE(w.FileListBox1->selectedItems().size(), 0);
  QVERIFY(w.Cancelled);
  w.bu_AddFilesClick();  // nothing selected any more
  QCOMPARE(w.Names().size(), 2);
  // Dragging from the file box does the same but leaves cancelled alone.
  w.Cancelled = false;
  w.FileListBox1->item(1)->setSelected(true);  // "one.txt" sorts after "ONE.TXT"? either way a duplicate
  w.FilesDragged();
  QCOMPARE(w.Names().size(), 2);
  QVERIFY(!w.Cancelled);
  w.bu_addDirClick();
  w.bu_addDirClick();
  QCOMPARE(w.Names().last(), P("src/"));
  QCOMPARE(w.Names().size(), 3);
  // Drops append without the duplicate test.
  w.AppendNames({P("src/two.txt")});
  QCOMPARE(w.Names().size(), 4);
  // Remove the selected lines.
  w.SelectedList->item(0)->setSelected(true);
  w.SelectedList->item(3)->setSelected(true);
  w.bu_DeleteClick();
  QCOMPARE(w.Names(), QStringList({P("src/two.txt"), P("src/")}));
  // Sort keeps the list sorted from now on.
  w.SortButClick();
  QVERIFY(!w.SortBut->isEnabled());
  QCOMPARE(w.Names(), QStringList({P("src/"), P("src/two.txt")}));
  w.AppendNames({P("a.txt")});
  QCOMPARE(w.Names().first(), P("a.txt"));
}

void CommandsTest::addOkWithEmptyListAndCloseAddNothing() {
  TMainform f;
  f.SetSettings(&settings_);
  f.Add1Click();
  QCOMPARE(Texts(), QStringList({"You must create a new zipfile or open a zipfile first!"}));
  QCOMPARE(f.AddWindowTag, 0);
  f.EnterZipSession(P("new.zip"));
  fake_->dialogs.boxes.clear();
  int marks = 0;
  TAddForm::SetShowHook([&](TAddForm& w) {
    marks += f.AddWindowTag;
    QCOMPARE(f.AddForm(), &w);
    w.BitBtn1->click();
  });
  f.Add1Click();
  QCOMPARE(marks, 1);
  QCOMPARE(f.AddWindowTag, 0);
  QCOMPARE(Texts(), QStringList({"No files selected!"}));
  fake_->dialogs.boxes.clear();
  WriteFile(P("x.txt"), "x");
  TAddForm::SetShowHook([&](TAddForm& w) {
    w.AppendNames({P("x.txt")});
    w.BitBtn2->click();
  });
  f.Add1Click();
  QVERIFY(fake_->dialogs.boxes.empty());
  QVERIFY(!QFile::exists(P("new.zip")));
  QVERIFY(!f.ArchiveModified);
  // RAR archives refuse.
  f.EnterRarSession(P("x.rar"));
  fake_->dialogs.boxes.clear();
  f.Add1Click();
  QCOMPARE(Texts(), QStringList({"Arkelin2001 don't support this action on RAR files!"}));
}

void CommandsTest::addFolderTreeWithAndWithoutFolderNames() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  WriteFile(P("tree/top.txt"), "top");
  WriteFile(P("tree/sub/deep.txt"), "deep");
  WriteFile(P("tree/sub/more/deeper.bin"), Noise(3000, 4));
  TMainform f;
  f.SetSettings(&settings_);
  settings_.lastAdd = P("tree");
  // With folder names and recursion (the defaults).
  fake_->dialogs.openFiles.push_back({P("withnames").toStdString()});
  TAddForm::SetShowHook([&](TAddForm& w) {
    QCOMPARE(w.Folder(), P("tree"));
    w.bu_addDirClick();
    w.BitBtn1->click();
  });
  f.Newarchive1Click();
  QCOMPARE(f.CurrentZipName(), P("withnames.zip"));
  QVERIFY(f.ArchiveModified);
  const QStringList with = ZipEntryNames(f);
  QVERIFY2(with.contains(P("tree/sub/more/deeper.bin").mid(1).replace('/', '\\')) ||
               with.join(",").contains("sub\\more\\deeper.bin"),
           qPrintable(with.join(",")));
  QCOMPARE(f.Model().RowCountValue(), 3);
  QCOMPARE(f.Panel3->text(), QString());
  QCOMPARE(fake_->busy.depth, 0);
  // Without folder names: bare names; without recursion: only the top file.
  settings_.saveDirNames = false;
  settings_.recurseDirs = false;
  fake_->dialogs.openFiles.push_back({P("flat").toStdString()});
  f.Newarchive1Click();
  QCOMPARE(ZipEntryNames(f), QStringList({"top.txt"}));
  QCOMPARE(f.Model().Row(0).path, QString());
  settings_.recurseDirs = true;
  fake_->dialogs.openFiles.push_back({P("flatrec").toStdString()});
  f.Newarchive1Click();
  QCOMPARE(ZipEntryNames(f), QStringList({"deep.txt", "deeper.bin", "top.txt"}));
}

void CommandsTest::addOptionsFollowSettingsAndWindow() {
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(P("opts.zip"));
  WriteFile(P("x.txt"), "x");
  settings_.compressionLevel = 3;
  settings_.useTimestamp = true;
  settings_.forceMsDos = true;
  settings_.recurseDirs = false;
  settings_.formatEachDisk = false;
  f.SpanningMode = 2;
  bool forced = false;
  TAddForm::SetShowHook([&](TAddForm& w) {
    forced = w.CheckBox1->isChecked();
    w.AppendNames({P("x.txt")});
    w.CB_Move->setChecked(true);
    w.Ch_Update->setChecked(true);
    w.BitBtn1->click();
  });
  f.Add1Click();
  QVERIFY(forced);
  const ez::TZipMaster& z = f.ZipMaster1();
  QCOMPARE(z.AddCompLevel, 3);
  QCOMPARE(z.AddOptions, ez::AddOpts(ez::AddDirNames | ez::AddMove | ez::AddZipTime | ez::AddForceDOS |
                                     ez::AddUpdate | ez::AddDiskSpan));
  QVERIFY(z.Verbose);
  QVERIFY(f.ArchiveModified);
  QVERIFY(f.ProgressBar1->isHidden());
  QCOMPARE(fake_->busy.depth, 0);
  settings_.formatEachDisk = true;
  f.SpanningMode = 0;
  TAddForm::SetShowHook([&](TAddForm& w) {
    forced = w.CheckBox1->isChecked();
    w.AppendNames({P("x.txt")});
    w.CheckBox1->setChecked(true);
    w.BitBtn1->click();
  });
  f.Add1Click();
  QVERIFY(!forced);
  QVERIFY(z.AddOptions & ez::AddDiskSpanErase);
  QVERIFY(!(z.AddOptions & ez::AddDiskSpan));
}

void CommandsTest::dropOfZipAsksWhatToDo() {
  const QString zipFile = MakeSampleZip("dropped.zip");
  QVERIFY(!zipFile.isEmpty());
  TMainform f;
  f.SetSettings(&settings_);
  const QString title = f.windowTitle();
  fake_->dialogs.answers.push_back(pf::BtnAbort);
  f.DropFiles({zipFile});
  QCOMPARE(Texts(), QStringList({"What do you like to do: Open Zipfile(Yes), Add Zipfile(No), Abort(Abort)"}));
  QCOMPARE(fake_->dialogs.boxes[0].buttons, pf::Buttons(pf::BtnYes | pf::BtnNo | pf::BtnAbort));
  QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Confirm"));
  QVERIFY(f.CurrentZipName().isEmpty());
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.DropFiles({zipFile});
  QCOMPARE(f.CurrentZipName(), zipFile);
  QCOMPARE(f.windowTitle(), title);
  QCOMPARE(f.Panel4->text(), zipFile);
  QCOMPARE(f.Model().RowCountValue(), 3);
  QVERIFY(f.Item("Extract1")->isEnabled());
  // A dot in a folder name does not make a ZIP; the names are added.
  fake_->dialogs.boxes.clear();
  settings_.promptAfterAdded = false;
  WriteFile(P("my.folder/x.zip.txt"), "x");
  WriteFile(P("my.zipfolder/y.txt"), "y");
  f.DropFiles({P("my.folder/x.zip.txt")});
  QVERIFY(!fake_->dialogs.Saw("What do you like to do"));
}

void CommandsTest::dropOfThreeFilesAddsAtOnceWithFoldersAndRecursion() {
  settings_.saveDirNames = false;
  settings_.recurseDirs = false;
  settings_.askZipName = true;
  WriteFile(P("in/one.txt"), "1");
  WriteFile(P("in/two.txt"), "22");
  WriteFile(P("in/three/three.txt"), "333");
  TMainform f;
  f.SetSettings(&settings_);
  fake_->dialogs.inputs.push_back(P("dropped.zip").toStdString());
  f.DropFiles({P("in/one.txt"), P("in/two.txt"), P("in/three")});
  QCOMPARE(fake_->dialogs.inputsAsked, std::vector<std::string>({"Zipfile: Name:"}));
  QCOMPARE(f.CurrentZipName(), P("dropped.zip"));
  const ez::TZipMaster& z = f.ZipMaster1();
  QCOMPARE(z.AddOptions, ez::AddOpts(ez::AddRecurseDirs | ez::AddDirNames));
  QVERIFY(f.DropList.isEmpty());
  QVERIFY(f.ArchiveModified);
  QVERIFY(f.ProgressBar1->isHidden());
  QCOMPARE(fake_->busy.depth, 0);
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  QCOMPARE(f.Model().RowCountValue(), 3);
  QVERIFY(ZipEntryNames(f).join(",").contains("three\\three.txt"));
  QCOMPARE(Texts().last(), QString("3 files were added"));
  QCOMPARE(f.Panel4->text(), QString("Total 3 files,  6 Bytes"));
}

void CommandsTest::dropWhileAddWindowOpenWaitsInItsList() {
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(P("wait.zip"));
  QStringList inWindow;
  TAddForm::SetShowHook([&](TAddForm& w) {
    f.DropFiles({"/x/a.txt"});
    f.DropFiles({"/x/a.txt"});
    inWindow = w.Names();
    w.BitBtn2->click();
  });
  f.Add1Click();
  QCOMPARE(inWindow, QStringList({"/x/a.txt", "/x/a.txt"}));
  QVERIFY(f.DropList.isEmpty());
  QVERIFY(fake_->dialogs.boxes.empty());
}

void CommandsTest::deleteSelectedEntriesInDifferentFolders() {
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(P("none.zip"));
  f.Delete1Click();
  QCOMPARE(Texts(), QStringList({"Error :No file(s) to delete"}));
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString zipFile = MakeSampleZip("del.zip");
  f.EnterZipSession(zipFile);
  fake_->dialogs.boxes.clear();
  SelectRows(f, {"a.txt", "c.txt"});
  fake_->dialogs.answers.push_back(pf::BtnNo);
  f.Delete1Click();
  QCOMPARE(Texts(), QStringList({"Delete selected files from: " + zipFile + "?"}));
  QCOMPARE(f.Model().RowCountValue(), 3);
  fake_->dialogs.boxes.clear();
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.Item("Delete1")->trigger();
  QCOMPARE(Texts().last(), QString("2 file(s) were Deleted"));
  QCOMPARE(f.Model().RowCountValue(), 1);
  QCOMPARE(f.Model().Row(0).fullName, QString("img\\2000\\b.png"));
  QVERIFY(f.ArchiveModified);
  QCOMPARE(f.Panel3->text(), QString());
  QCOMPARE(f.Panel4->text(), QString("Total 1 files,  7 Kb"));
  // Nothing selected.
  f.lw_Files->clearSelection();
  fake_->dialogs.boxes.clear();
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.Delete1Click();
  QCOMPARE(Texts().last(), QString("Error :No file(s) selected"));
  // The archive by the peer tool agrees.
  QProcess unzip;
  unzip.start("unzip", {"-Z1", zipFile});
  QVERIFY(unzip.waitForFinished(30000));
  const QString listing = QString::fromUtf8(unzip.readAllStandardOutput());
  QVERIFY(listing.contains("img/2000/b.png"));
  QVERIFY(!listing.contains("a.txt"));
  QVERIFY(!listing.contains("c.txt"));
}

// Rows differing only in case, a row whose name reads as a pattern, and the
// same file name in a folder: Delete and Extract touch the rows chosen only.
void CommandsTest::selectedRowsNameTheirEntriesExactly() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString zipFile = P("exact.zip");
  QProcess py;
  py.start("/usr/bin/python3",
           {"-c",
            "import zipfile, sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
            "for n, d in [('Readme.txt','mixed'),('README.TXT','upper'),('readme.txt','lower'),"
            "('docs/readme.txt','in docs'),('a?c.txt','literal'),('abc.txt','abc')]: z.writestr(n, d)\n",
            zipFile});
  QVERIFY(py.waitForFinished(30000) && py.exitCode() == 0);
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(zipFile);
  QCOMPARE(f.Model().RowCountValue(), 6);
  auto selectFull = [&](const QStringList& names) {
    f.lw_Files->clearSelection();
    for (int r = 0; r < f.Model().RowCountValue(); ++r)
      if (names.contains(f.Model().Row(r).fullName))
        f.lw_Files->selectionModel()->select(f.lw_Files->model()->index(r, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
  };
  selectFull({"Readme.txt", "a?c.txt"});
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.Delete1Click();
  QCOMPARE(Texts().last(), QString("2 file(s) were Deleted"));
  QCOMPARE(ZipEntryNames(f), QStringList({"README.TXT", "abc.txt", "docs\\readme.txt", "readme.txt"}));

  // The root readme.txt, folder names junked: its own content, nothing else.
  const QString out = P("exact-out");
  QVERIFY(QDir().mkpath(out));
  selectFull({"readme.txt"});
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(out);
    d.RadioGroup1->SetItemIndex(0);
    d.RadioGroup3->SetItemIndex(1);
    d.RadioGroup2->SetItemIndex(1);
    d.BitBtn1->click();
  });
  fake_->dialogs.boxes.clear();
  f.Extract1Click();
  QCOMPARE(Texts(), QStringList({"1 file(s) were extracted"}));
  QCOMPARE(ReadFile(out + "/readme.txt"), QByteArray("lower"));
  QCOMPARE(QDir(out).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList({"readme.txt"}));
}

void CommandsTest::cancelDuringAddLeavesArchiveAsItWas() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString zipFile = MakeSampleZip("keep.zip");
  const QByteArray before = ReadFile(zipFile);
  WriteFile(P("big.bin"), Noise(24 * 1024 * 1024, 9));
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(zipFile);
  // The first pending-message round during the add clicks Cancel.
  fake_->pump.onProcess = [&] {
    if (f.EngineBusy() && !f.CancelRequested()) f.CancelBut->click();
  };
  TAddForm::SetShowHook([&](TAddForm& w) {
    w.AppendNames({P("big.bin")});
    w.BitBtn1->click();
  });
  f.Add1Click();
  fake_->pump.onProcess = nullptr;
  QVERIFY(f.CancelRequested());
  QCOMPARE(ReadFile(zipFile), before);
  QCOMPARE(f.Model().RowCountValue(), 3);
  QVERIFY(f.ProgressBar1->isHidden());
  QCOMPARE(fake_->busy.depth, 0);
  QVERIFY(!f.EngineBusy());
}

// ---- Archive file commands and properties ----------------------------------------------------------

void CommandsTest::newArchiveNames_data() {
  QTest::addColumn<QString>("typed");
  QTest::addColumn<QString>("expected");
  QTest::newRow("no extension") << "backup" << "backup.zip";
  QTest::newRow("upper-case extension") << "backup.ZIP" << "backup.ZIP";
  // The file name's extension decides, not a ".zip" anywhere in the name.
  QTest::newRow("contains .zip") << "my.zipper" << "my.zipper.zip";
  QTest::newRow("dotted folder") << "john.zip.d/x" << "john.zip.d/x.zip";
}

void CommandsTest::newArchiveNames() {
  QFETCH(QString, typed);
  QFETCH(QString, expected);
  TMainform f;
  f.SetSettings(&settings_);
  WriteFile(P("tmp.tmp"), "t");
  f.ArchiveModified = true;
  fake_->dialogs.openFiles.push_back({P(typed).toStdString()});
  int addShown = 0;
  TAddForm::SetShowHook([&](TAddForm& w) {
    ++addShown;
    w.BitBtn2->click();
  });
  f.Item("Newarchive1")->trigger();
  QCOMPARE(f.CurrentZipName(), P(expected));
  QCOMPARE(f.windowTitle(), "Arkelin2001Free - " + P(expected));
  QVERIFY(!f.ArchiveModified);
  QVERIFY(!QFile::exists(P("tmp.tmp")));
  QVERIFY(f.Item("Closearchive1")->isEnabled());
  QCOMPARE(addShown, 1);
  const pf::FileDialogRequest& req = fake_->dialogs.fileDialogsAsked.at(0);
  QCOMPARE(req.title, std::string("Create New ZIP File"));
  QCOMPARE(req.filter, std::string("ZIP Files (*.ZIP)|*.zip"));
  QVERIFY(!req.mustExist);
  QVERIFY(fake_->dialogs.boxes.empty());
  // The new name is not put in the recent list.
  QVERIFY(!QFile::exists(P("Arkelin.ini")) || !ReadFile(P("Arkelin.ini")).contains(P(expected).toUtf8()));
}

void CommandsTest::newArchiveOnExistingFileAsks() {
  WriteFile(P("old.zip"), "not really");
  TMainform f;
  fake_->dialogs.openFiles.push_back({P("old.zip").toStdString()});
  fake_->dialogs.answers.push_back(pf::BtnNo);
  f.Newarchive1Click();
  QCOMPARE(Texts(), QStringList({"Overwrite Existing File: " + P("old.zip") + "?"}));
  QCOMPARE(fake_->dialogs.boxes[0].buttons, pf::Buttons(pf::BtnYes | pf::BtnNo));
  QVERIFY(QFile::exists(P("old.zip")));
  QVERIFY(f.CurrentZipName().isEmpty());
  fake_->dialogs.openFiles.push_back({P("old.zip").toStdString()});
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.Newarchive1Click();
  // The Add window was closed without adding: the old file is back as it was.
  QCOMPARE(ReadFile(P("old.zip")), QByteArray("not really"));
  QCOMPARE(QDir(P("")).entryList(QDir::Hidden | QDir::Files).filter("replaced"), QStringList());
  // It is listed again; not being an archive, it leaves none open.
  QVERIFY(f.CurrentZipName().isEmpty());
  // Cancelling the dialog does nothing.
  f.Newarchive1Click();
  QVERIFY(f.CurrentZipName().isEmpty());
  QCOMPARE(ReadFile(P("old.zip")), QByteArray("not really"));
}

void CommandsTest::newArchiveSpanningModeFollowsDrive() {
  TightDrives drives(pf::Drives());
  pf::IDrives* saved = pf::Current().drives;
  pf::Current().drives = &drives;
  TMainform f;
  f.SetSettings(&settings_);
  auto newOn = [&](pf::DriveType t, bool autoSpan, bool format) {
    drives.type = t;
    settings_.autoSpan = autoSpan;
    settings_.formatEachDisk = format;
    fake_->dialogs.openFiles.push_back({P("span").toStdString()});
    QFile::remove(P("span.zip"));
    f.Newarchive1Click();
    return f.SpanningMode;
  };
  const int fixed = newOn(pf::DriveType::Fixed, true, true);
  const int remote = newOn(pf::DriveType::Remote, true, false);
  const int floppyOff = newOn(pf::DriveType::Removable, false, true);
  const int floppyFormat = newOn(pf::DriveType::Removable, true, true);
  const int floppyNoFormat = newOn(pf::DriveType::Removable, true, false);
  // /tmp on tmpfs, or a folder whose mount is not listed (as in a chroot):
  // one file, never volumes.
  const int memory = newOn(pf::DriveType::RamDisk, true, false);
  const int unknown = newOn(pf::DriveType::NoRootDir, true, false);
  pf::Current().drives = saved;
  QCOMPARE(fixed, 0);
  QCOMPARE(remote, 0);
  QCOMPARE(floppyOff, 0);
  QCOMPARE(floppyFormat, 1);
  QCOMPARE(floppyNoFormat, 2);
  QCOMPARE(memory, 0);
  QCOMPARE(unknown, 0);
}

void CommandsTest::saveAsMovesTheArchive() {
  TMainform f;
  f.Savearchiveas1Click();
  QCOMPARE(Texts(), QStringList({"Error :No file selected"}));
  fake_->dialogs.boxes.clear();
  f.EnterZipSession(P("gone.zip"));
  f.Savearchiveas1Click();
  QCOMPARE(Texts(), QStringList({"File not found: " + P("gone.zip")}));
  const QString zipFile = MakeSampleZip("a.zip");
  f.EnterZipSession(zipFile);
  fake_->dialogs.boxes.clear();
  fake_->dialogs.saveFiles.push_back(P("moved").toStdString());
  f.Item("Savearchiveas1")->trigger();
  QCOMPARE(fake_->dialogs.fileDialogsAsked.back().filter,
           std::string("ZIP Files (*.ZIP)|*.zip|Arkelin98 SFX Files (*.EXE)|*.EXE"));
  QCOMPARE(fake_->dialogs.fileDialogsAsked.back().fileName, zipFile.toStdString());
  QVERIFY(!QFile::exists(zipFile));
  QVERIFY(QFile::exists(P("moved.ZIP")));
  QCOMPARE(f.CurrentZipName(), P("moved.ZIP"));
  QCOMPARE(f.windowTitle(), "Arkelin2001Free - " + P("moved.ZIP"));
  QCOMPARE(f.Model().RowCountValue(), 3);
  QVERIFY(fake_->dialogs.boxes.empty());
  // A self-extracting name gets ".EXE"; an existing target is never replaced.
  QVERIFY(QFile::rename(P("moved.ZIP"), P("prog.exe")));
  f.EnterZipSession(P("prog.exe"));
  fake_->dialogs.saveFiles.push_back(P("again").toStdString());
  f.Savearchiveas1Click();
  QVERIFY(QFile::exists(P("again.EXE")));
  WriteFile(P("taken.zip"), "keep");
  fake_->dialogs.saveFiles.push_back(P("taken.zip").toStdString());
  f.Savearchiveas1Click();
  QCOMPARE(Texts(), QStringList({"Error: Saving file " + P("again.EXE")}));
  QCOMPARE(ReadFile(P("taken.zip")), QByteArray("keep"));
  QCOMPARE(f.CurrentZipName(), P("again.EXE"));
  // RAR: ".RAR" appended.
  QVERIFY(QFile::copy(Fixture("rar/la-test_read_format_rar5_stored.rar"), P("r.rar")));
  f.EnterRarSession(P("r.rar"));
  fake_->dialogs.boxes.clear();
  fake_->dialogs.saveFiles.push_back(P("r2").toStdString());
  f.Savearchiveas1Click();
  QVERIFY(QFile::exists(P("r2.RAR")));
  QCOMPARE(f.CurrentRarName(), P("r2.RAR"));
  QCOMPARE(f.windowTitle(), "Arkelin2001Free - " + P("r2.RAR"));
}

void CommandsTest::copyArchiveChecksSpaceAndCopies() {
  TMainform f;
  f.Copyarchive1Click();
  QCOMPARE(Texts(), QStringList({"You must create a new zipfile or open a zipfile first!"}));
  const QString zipFile = MakeSampleZip("c.zip");
  f.EnterZipSession(zipFile);
  QVERIFY(QDir().mkpath(P("dest")));
  fake_->dialogs.boxes.clear();
  fake_->dialogs.inputs.push_back(P("dest").toStdString());
  f.Item("Copyarchive1")->trigger();
  QCOMPARE(fake_->dialogs.inputsAsked.back(), std::string("Copy archive: Copy to:"));
  QCOMPARE(ReadFile(P("dest/c.zip")), ReadFile(zipFile));
  QCOMPARE(Texts(), QStringList({"Copy successful"}));
  QCOMPARE(f.CurrentZipName(), zipFile);
  // A missing folder: asked; Abort ends, Yes makes it.
  fake_->dialogs.boxes.clear();
  fake_->dialogs.inputs.push_back(P("newdest").toStdString());
  fake_->dialogs.answers.push_back(pf::BtnAbort);
  f.Copyarchive1Click();
  QCOMPARE(Texts(), QStringList({"Can't find destination drive/directory, Create it?"}));
  QCOMPARE(fake_->dialogs.boxes[0].buttons, pf::Buttons(pf::BtnYes | pf::BtnAbort));
  QVERIFY(!QFile::exists(P("newdest")));
  fake_->dialogs.inputs.push_back(P("newdest").toStdString());
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.Copyarchive1Click();
  QVERIFY(QFile::exists(P("newdest/c.zip")));
  // Not enough room on the destination's drive.
  TightDrives drives(pf::Drives());
  drives.free = 100;
  pf::IDrives* saved = pf::Current().drives;
  pf::Current().drives = &drives;
  QVERIFY(QDir().mkpath(P("tight")));
  fake_->dialogs.boxes.clear();
  fake_->dialogs.inputs.push_back(P("tight").toStdString());
  f.Copyarchive1Click();
  drives.free = int64_t(5) << 32;  // more than 4 GiB free
  fake_->dialogs.inputs.push_back(P("tight").toStdString());
  f.Copyarchive1Click();
  pf::Current().drives = saved;
  QCOMPARE(Texts(), QStringList({"Not enough space on destination drive!", "Copy successful"}));
  QVERIFY(QFile::exists(P("tight/c.zip")));
  QCOMPARE(drives.asked.size(), size_t(2));
}

void CommandsTest::deleteArchiveRemovesFileAndEmptiesList() {
  TMainform f;
  f.EnterZipSession(P("missing.zip"));
  fake_->dialogs.boxes.clear();
  f.Delete2Click();
  QCOMPARE(Texts(), QStringList({"Zipfile not found: " + P("missing.zip")}));
  const QString zipFile = MakeSampleZip("d.zip");
  f.EnterZipSession(zipFile);
  fake_->dialogs.boxes.clear();
  fake_->dialogs.answers.push_back(pf::BtnNo);
  f.Delete2Click();
  QCOMPARE(Texts(), QStringList({"Are you sure you want to delete: " + zipFile + "?"}));
  QVERIFY(QFile::exists(zipFile));
  fake_->dialogs.answers.push_back(pf::BtnYes);
  f.Item("Delete2")->trigger();
  QVERIFY(!QFile::exists(zipFile));
  QCOMPARE(f.windowTitle(), QString("Arkelin2001Free - <none>"));
  QCOMPARE(f.lw_Files->model()->rowCount(), 0);
  // Nothing is left to work on: the commands that need an archive are off,
  // while the session keeps its name.
  QVERIFY(!f.Item("Extract1")->isEnabled());
  QVERIFY(!f.Item("Delete2")->isEnabled());
  QVERIFY(!f.Button("bu_Extract")->isEnabled());
  QCOMPARE(f.CurrentZipName(), zipFile);
  QCOMPARE(f.Panel4->text(), TotalsText(0, 0));
}

void CommandsTest::propertiesShowFileFactsAndListSum() {
  TMainform f;
  f.Archiveinformation1Click();
  QCOMPARE(Texts(), QStringList({"You must create a new zipfile or open a zipfile first!"}));
  QVERIFY(QFile::copy(Fixture("rar/la-test_read_format_rar5_stored.rar"), P("p.rar")));
  f.EnterRarSession(P("p.rar"));
  f.Model().Clear();
  f.Model().ResetCounters();
  f.AddRarRow("a", 10, 1, 0);        // 1 kb
  f.AddRarRow("b", 999, 1, 0);       // 1 kb
  f.AddRarRow("c", 250'400, 1, 0);   // 250 kb
  QStringList seen;
  TF_Info::SetShowHook([&](TF_Info& w) {
    seen << w.la_Archive->text() << w.la_Size->text() << w.la_Unc->text() << w.la_Date->text();
    w.bu_Close->click();
  });
  fake_->dialogs.boxes.clear();
  f.Item("Archiveinformation1")->trigger();
  f.Archiveinformation1Click();
  QVERIFY(fake_->dialogs.boxes.empty());
  QCOMPARE(seen.size(), 8);
  QCOMPARE(seen[0], QString("p.rar"));
  QCOMPARE(seen[1], QString::number(QFileInfo(P("p.rar")).size()));
  QCOMPARE(seen[2], QString("251409"));  // the bytes, not the kilobyte texts
  QCOMPARE(seen[3], QLocale::system().toString(QFileInfo(P("p.rar")).lastModified().date(), QLocale::ShortFormat));
  QCOMPARE(seen.mid(4), seen.mid(0, 4));  // twice in a row: the same
  TF_Info w;
  QCOMPARE(w.Header->text(), QString("Archive information"));
  QCOMPARE(w.bu_Close->text(), QString("&Close"));
  w.Fill(P("vanished.zip"), f.Model());
  QCOMPARE(w.la_Size->text(), QString("Unknown"));
}

// ---- RAR sessions ------------------------------------------------------------------------

void CommandsTest::rarSessionListsExtractsAndTests() {
  if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterRarSession(Fixture("rar/la-test_read_format_rar.rar"));
  QVERIFY2(fake_->dialogs.boxes.empty(), fake_->dialogs.boxes.empty() ? "" : fake_->dialogs.boxes[0].text.c_str());
  // Folder entries give no rows.
  QCOMPARE(f.Model().RowCountValue(), 3);
  QCOMPARE(f.Model().Row(RowOf(f, "testlink")).uncompressed, 8);
  QCOMPARE(f.Model().CellText(2, FileListModel::ColPath), QString("testdir"));
  QCOMPARE(f.Panel4->text(), QString("Total 3 files,  48 Bytes"));
  QVERIFY(!f.Item("Delete1")->isEnabled());
  // Extract all.
  const QString out = P("rarout");
  QVERIFY(QDir().mkpath(out));
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(out);
    d.BitBtn1->click();
  });
  f.Extract1Click();
  QCOMPARE(ReadFile(out + "/test.txt").size(), 20);
  QCOMPARE(ReadFile(out + "/testdir/test.txt").size(), 20);
  QVERIFY(QFileInfo(out + "/testemptydir").isDir());
  QVERIFY(!Texts().isEmpty());
  QCOMPARE(Texts().last(), QString("%1 file(s) were extracted").arg(f.RarExtractedFiles));
  QCOMPARE(f.RarExtractedFiles, 3);  // two files and a link; folders do not count
  QVERIFY(f.ProgressBar1->isHidden());
  QCOMPARE(f.Panel3->text(), QString());
  QCOMPARE(fake_->busy.depth, 0);
  // Selected: only the entry in the folder.
  const QString one = P("rarone");
  QVERIFY(QDir().mkpath(one));
  SelectRows(f, {"test.txt"});
  const int inFolder = [&] {
    for (int r = 0; r < f.Model().RowCountValue(); ++r)
      if (f.Model().Row(r).path == "testdir") return r;
    return -1;
  }();
  f.lw_Files->clearSelection();
  f.lw_Files->selectionModel()->select(f.lw_Files->model()->index(inFolder, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(one);
    d.RadioGroup3->SetItemIndex(1);
    d.BitBtn1->click();
  });
  fake_->dialogs.boxes.clear();
  f.Extract1Click();
  QVERIFY(QFile::exists(one + "/testdir/test.txt"));
  QVERIFY(!QFile::exists(one + "/test.txt"));
  QCOMPARE(Texts(), QStringList({"1 file(s) were extracted"}));
  // Test.
  fake_->dialogs.boxes.clear();
  f.Test1Click();
  QCOMPARE(Texts(), QStringList({"Archive is OK"}));
}

void CommandsTest::rarDamagedEntryIsNamedAndArchiveReportedCorrupted() {
  if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
  TMainform f;
  f.EnterRarSession(Fixture("rar/gen-rar5-datacrc.rar"));
  fake_->dialogs.boxes.clear();
  f.Item("Test2")->trigger();
  QVERIFY(fake_->dialogs.Saw("helloworld.txtHas CRC ERROR"));
  QCOMPARE(Texts().last(), QString("Archive is corrupted"));
  QCOMPARE(fake_->busy.depth, 0);
  // A missing archive: the reader's error text in an error box.
  f.EnterRarSession(P("nothing-here.rar"));
  QVERIFY(!fake_->dialogs.boxes.empty());
  QCOMPARE(fake_->dialogs.boxes.back().caption, std::string("Error"));
}

void CommandsTest::secondCommandIsRefusedAndCancelStopsRarExtraction() {
  if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterRarSession(Fixture("rar/la-test_read_format_rar.rar"));
  const QString out = P("stopped");
  QVERIFY(QDir().mkpath(out));
  int shown = 0;
  TExtract::SetShowHook([&](TExtract& d) {
    ++shown;
    d.SetFolder(out);
    d.BitBtn1->click();
  });
  QString busyText;
  bool closed = true;
  fake_->pump.onProcess = [&] {
    if (!f.EngineBusy() || f.CancelRequested()) return;
    // A second command while the first runs is refused.
    f.Extract1Click();
    f.Test1Click();
    busyText = f.Panel3->text();
    closed = f.close();
    f.CancelBut->click();
  };
  fake_->dialogs.boxes.clear();
  f.Extract1Click();
  fake_->pump.onProcess = nullptr;
  QCOMPARE(shown, 1);
  QCOMPARE(busyText, TMainform::BusyText());
  QVERIFY(!closed);
  QVERIFY(f.CancelRequested());
  QVERIFY(!f.EngineBusy());
  QVERIFY(!fake_->dialogs.Saw("were extracted"));
  QVERIFY(!fake_->dialogs.Saw("Archive is"));
  // Only the entry that was running when Cancel came may be there.
  QVERIFY(f.RarExtractedFiles <= 1);
  QCOMPARE(fake_->busy.depth, 0);
  // Afterwards commands run again.
  fake_->dialogs.boxes.clear();
  f.Test1Click();
  QCOMPARE(Texts(), QStringList({"Archive is OK"}));
}

namespace {
QStringList g_passwordCaptions;
void TypePassword(arkelin::shared::TF_InmDlg& dialog) {
  g_passwordCaptions << dialog.windowTitle();
  arkelin::shared::TF_InmDlg* d = &dialog;
  QTimer::singleShot(0, d, [d] {
    if (!d->Edits().empty()) d->Edits()[0]->setText("password");
    for (QPushButton* b : d->findChildren<QPushButton*>())
      if (b->text().contains("OK")) {
        b->click();
        return;
      }
    d->reject();
  });
}
}  // namespace

void CommandsTest::rarPasswordRequestThenOtherEntriesStillExtract() {
  if (!HaveRarLibrary()) QSKIP("libarkunrar.so is not built");
  g_passwordCaptions.clear();
  arkelin::shared::SetInmDlgHook(&TypePassword);
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterRarSession(Fixture("rar/la-test_read_format_rar5_encrypted.rar"));
  QCOMPARE(f.Model().RowCountValue(), 4);
  const QString out = P("enc");
  QVERIFY(QDir().mkpath(out));
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(out);
    d.BitBtn1->click();
  });
  fake_->dialogs.boxes.clear();
  f.Extract1Click();
  arkelin::shared::SetInmDlgHook(nullptr);
  // Asked once per encrypted entry: b.txt takes "password"; d.txt (made
  // with "password2") is told to be the wrong one and asked again, and the
  // same answer again gives it up.
  QCOMPARE(g_passwordCaptions, QStringList({"Password required", "Password required", "Password required"}));
  QStringList errors;
  for (const auto& b : fake_->dialogs.boxes)
    if (b.caption == "Error") errors << QString::fromStdString(b.text);
  QCOMPARE(errors, QStringList({"Wrong password"}));
  QCOMPARE(ReadFile(out + "/a.txt").size(), 18);
  QCOMPARE(ReadFile(out + "/b.txt"), QByteArray("This is from b.txt"));
  QCOMPARE(ReadFile(out + "/c.txt").size(), 18);
  QVERIFY(!QFile::exists(out + "/d.txt"));
  QCOMPARE(fake_->busy.depth, 0);
}

void CommandsTest::desktopDropReachesTheDropHandler() {
  WriteFile(P("d/one.txt"), "1");
  WriteFile(P("d/two.txt"), "22");
  settings_.askZipName = false;
  settings_.defaultZipName = P("default.zip");
  settings_.promptAfterAdded = false;
  TMainform f;
  f.SetSettings(&settings_);
  f.resize(400, 300);
  f.show();
  QVERIFY(QTest::qWaitForWindowExposed(&f));
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(P("d/one.txt")), QUrl::fromLocalFile(P("d/two.txt"))});
  const QPoint at = f.rect().center();
  QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&f, &enter);
  QVERIFY(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&f, &drop);
  QTRY_COMPARE(f.CurrentZipName(), P("default.zip"));
  QCOMPARE(f.ZipMaster1().AddOptions, ez::AddOpts(ez::AddRecurseDirs | ez::AddDirNames));
  if (HaveEngineLibraries()) QCOMPARE(f.Model().RowCountValue(), 2);
}

void CommandsTest::addWindowDropAcceptanceFollowsSetting() {
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(P("acc.zip"));
  bool windowAccepts = true, listAccepts = true, mainAccepts = true;
  TAddForm::SetShowHook([&](TAddForm& w) {
    windowAccepts = w.acceptDrops();
    listAccepts = static_cast<bool>(w.SelectedList->OnShellDrop);
    mainAccepts = f.acceptDrops();
    w.BitBtn2->click();
  });
  settings_.acceptOutside = false;
  f.Add1Click();
  QVERIFY(!windowAccepts);
  QVERIFY(!listAccepts);
  QVERIFY(!mainAccepts);
  settings_.acceptOutside = true;
  f.Add1Click();
  QVERIFY(windowAccepts);
  QVERIFY(listAccepts);
  QVERIFY(mainAccepts);
}

void CommandsTest::cancelStopsZipExtractionAndSkipsTheCount() {
  if (!HaveEngineLibraries()) QSKIP("the engine libraries libzipdll.so/libunzdll.so are not built");
  const QString src = P("bigsrc");
  WriteFile(src + "/big.bin", Noise(32 * 1024 * 1024, 5));
  WriteFile(src + "/small.txt", "small");
  QVERIFY(RunZipTool(src, {"-0", P("big.zip"), "big.bin", "small.txt"}));
  TMainform f;
  f.SetSettings(&settings_);
  f.EnterZipSession(P("big.zip"));
  const QString out = P("bigout");
  QVERIFY(QDir().mkpath(out));
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(out);
    d.BitBtn1->click();
  });
  bool barShown = false;
  fake_->pump.onProcess = [&] {
    barShown = barShown || f.ProgressBar1->isVisible() || !f.ProgressBar1->isHidden();
    if (f.EngineBusy() && !f.CancelRequested()) f.CancelBut->click();
  };
  fake_->dialogs.boxes.clear();
  f.Extract1Click();
  fake_->pump.onProcess = nullptr;
  QVERIFY(barShown);
  QVERIFY(f.CancelRequested());
  QVERIFY(!fake_->dialogs.Saw("were extracted"));
  // The big entry was stopped: no complete copy of it is left behind.
  QVERIFY(QFileInfo(out + "/big.bin").size() < 32 * 1024 * 1024);
  QVERIFY(f.ProgressBar1->isHidden());
  QCOMPARE(fake_->busy.depth, 0);
  // The session is still usable: the next extract runs to its end.
  f.Extract1Click();
  QCOMPARE(QFileInfo(out + "/big.bin").size(), 32 * 1024 * 1024);
  QCOMPARE(Texts().last(), QString("2 file(s) were extracted"));
}

QTEST_MAIN(CommandsTest)
#include "CommandsTest.moc"

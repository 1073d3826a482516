// The folder tree widget offscreen over real folders: the items mirror the
// core's nodes, expanding an item reads its folders, choosing an item moves
// the core's selection, and the program's selections show as the current item.
#include <QSignalSpy>
#include <QtTest>
#include <cstdlib>
#include <filesystem>

#include "platform/FakePlatform.h"
#include "platform/Platform.h"
#include "shared/widgets/DirTreeWidget.h"
#include "shared/widgets/DriveRootBox.h"

namespace fs = std::filesystem;
using arkelin::platform::DriveType;
using arkelin::shared::TDirNode;
using arkelin::shared::TDirTreeWidget;

namespace {
class ScriptedDrives : public arkelin::platform::IDrives {
 public:
  std::vector<std::string> roots;
  std::string DriveRoot(const std::string&) override { return roots.front(); }
  DriveType TypeOf(const std::string& root) override {
    return root.find("/media/") != std::string::npos ? DriveType::Removable : DriveType::Fixed;
  }
  std::string VolumeLabel(const std::string&) override { return "LBL"; }
  int64_t FreeSpace(const std::string&) override { return -1; }
  int64_t TotalSpace(const std::string&) override { return -1; }
  bool DiskPresent(const std::string&) override { return true; }
  std::vector<std::string> Roots() override { return roots; }
};

QStringList ChildTexts(QTreeWidgetItem* item) {
  QStringList t;
  for (int i = 0; i < item->childCount(); ++i) t << item->child(i)->text(0);
  return t;
}
}  // namespace

class DirTreeWidgetTest : public QObject {
  Q_OBJECT
 private:
  QTemporaryDir tmp_;
  std::string sys_, usb_;
  ScriptedDrives drives_;
  arkelin::platform::FakePlatformScope* fake_ = nullptr;
  arkelin::platform::Services saved_;
  fs::path savedCwd_;

 private slots:
  void init() {
    QVERIFY(tmp_.isValid());
    sys_ = tmp_.path().toStdString() + "/sys/";
    usb_ = tmp_.path().toStdString() + "/media/usb/";
    fs::create_directories(sys_ + "Docs/Letters");
    fs::create_directories(sys_ + "apps");
    fs::create_directories(sys_ + "Bin");
    fs::create_directories(usb_ + "photos");
    drives_.roots = {sys_, usb_};
    fake_ = new arkelin::platform::FakePlatformScope;
    saved_ = arkelin::platform::Current();
    auto s = saved_;
    s.drives = &drives_;
    arkelin::platform::Install(s);
    savedCwd_ = fs::current_path();
    fs::current_path(sys_);
  }
  void cleanup() {
    fs::current_path(savedCwd_);
    arkelin::platform::Install(saved_);
    delete fake_;
    fs::remove_all(tmp_.path().toStdString() + "/sys");
    fs::remove_all(tmp_.path().toStdString() + "/media");
  }

  void topLevelItemsAreTheRoots() {
    TDirTreeWidget w;
    w.SetDevicePollInterval(0);
    QCOMPARE(w.topLevelItemCount(), 2);
    QCOMPARE(w.topLevelItem(0)->text(0), QString::fromStdString("LBL (" + sys_ + ")"));
    QCOMPARE(w.topLevelItem(1)->text(0), QStringLiteral("usb"));
    // Both can be opened before anything is read.
    QCOMPARE(w.topLevelItem(0)->childCount(), 1);
    QCOMPARE(w.topLevelItem(1)->childCount(), 1);
    QVERIFY(!w.topLevelItem(0)->icon(0).isNull());
    // The current folder is selected at start.
    QCOMPARE(w.currentItem(), w.topLevelItem(0));
    QCOMPARE(QString::fromStdString(w.SelectedPath()), QString::fromStdString(sys_));
  }

  void expandingReadsSortedFoldersWithPlaceholders() {
    TDirTreeWidget w;
    w.SetDevicePollInterval(0);
    QTreeWidgetItem* sys = w.topLevelItem(0);
    sys->setExpanded(true);
    QCOMPARE(ChildTexts(sys), (QStringList{"apps", "Bin", "Docs"}));
    // Docs has a folder, so it got a placeholder and can be opened.
    QTreeWidgetItem* docs = sys->child(2);
    QCOMPARE(docs->childCount(), 1);
    QVERIFY(TDirTreeWidget::NodeOf(docs->child(0)) == nullptr);
    docs->setExpanded(true);
    QCOMPARE(ChildTexts(docs), QStringList{"Letters"});
    QCOMPARE(QString::fromStdString(TDirTreeWidget::NodeOf(docs->child(0))->Path),
             QString::fromStdString(sys_ + "Docs/Letters/"));
  }

  void choosingAnItemMovesTheSelectionAndSignals() {
    TDirTreeWidget w;
    w.SetDevicePollInterval(0);
    QSignalSpy spy(&w, &TDirTreeWidget::changed);
    w.topLevelItem(0)->setExpanded(true);
    w.setCurrentItem(w.topLevelItem(0)->child(1));
    QCOMPARE(QString::fromStdString(w.SelectedPath()), QString::fromStdString(sys_ + "Bin/"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(QString::fromStdString(w.Tree().LastFolder(sys_)), QString::fromStdString(sys_ + "Bin/"));
  }

  void programSelectionOpensTheWayAndBecomesCurrent() {
    TDirTreeWidget w;
    w.SetDevicePollInterval(0);
    QSignalSpy spy(&w, &TDirTreeWidget::changed);
    QVERIFY(w.SelectPath(sys_ + "Docs/Letters"));
    QTreeWidgetItem* cur = w.currentItem();
    QVERIFY(cur);
    QCOMPARE(cur->text(0), QStringLiteral("Letters"));
    QVERIFY(cur->parent()->isExpanded());
    QVERIFY(w.topLevelItem(0)->isExpanded());
    QCOMPARE(spy.count(), 1);
    // Another root from the roots box.
    w.SelectDrive(usb_);
    QCOMPARE(w.currentItem(), w.topLevelItem(1));
    w.SelectDrive(sys_);
    QCOMPARE(w.currentItem()->text(0), QStringLiteral("Letters"));
  }

  void folderAndSetFolderForTheWindows() {
    TDirTreeWidget w;
    w.SetDevicePollInterval(0);
    QSignalSpy spy(&w, &TDirTreeWidget::FolderChanged);
    w.SetFolder(QString::fromStdString(sys_ + "Docs/Letters/missing/deeper"));
    QCOMPARE(w.Folder(), QString::fromStdString(sys_ + "Docs/Letters"));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QString::fromStdString(sys_ + "Docs/Letters"));
  }

  void rootsBoxFollowsTheTreeAndMovesIt() {
    TDirTreeWidget w;
    w.SetDevicePollInterval(0);
    arkelin::shared::TDriveRootBox box(&w);
    QCOMPARE(box.count(), 2);
    QCOMPARE(box.itemText(1), QStringLiteral("usb"));
    QCOMPARE(box.currentIndex(), 0);
    QVERIFY(w.SelectPath(sys_ + "Docs"));
    emit box.activated(1);  // the user picks the removable volume
    QCOMPARE(QString::fromStdString(w.SelectedPath()), QString::fromStdString(usb_));
    QCOMPARE(box.currentIndex(), 1);
    emit box.activated(0);  // and back: the last folder used there
    QCOMPARE(QString::fromStdString(w.SelectedPath()), QString::fromStdString(sys_ + "Docs/"));
    QCOMPARE(box.currentIndex(), 0);
  }

  void reloadAfterANewFolderShowsIt() {
    TDirTreeWidget w;
    w.SetDevicePollInterval(0);
    QVERIFY(w.SelectPath(sys_ + "Docs"));
    w.currentItem()->setExpanded(true);
    fs::create_directories(sys_ + "Docs/Archive");
    w.ReloadTree();
    QCOMPARE(QString::fromStdString(w.SelectedPath()), QString::fromStdString(sys_ + "Docs/"));
    w.currentItem()->setExpanded(true);
    QCOMPARE(ChildTexts(w.currentItem()), (QStringList{"Archive", "Letters"}));
  }

  void volumeArrivingWhilePollingShowsUp() {
    TDirTreeWidget w;
    w.SetDevicePollInterval(20);
    const std::string cam = tmp_.path().toStdString() + "/media/cam/";
    fs::create_directories(cam);
    drives_.roots.push_back(cam);
    QTRY_COMPARE(w.topLevelItemCount(), 3);
    drives_.roots.pop_back();
    QTRY_COMPARE(w.topLevelItemCount(), 2);
  }
};

QTEST_MAIN(DirTreeWidgetTest)
#include "DirTreeWidgetTest.moc"

// TDirTree over real folders in a temporary directory. The roots come from a
// scripted drives service (three folders standing for the file-system root,
// the home folder and a removable volume); volume changes are simulated by
// replacing the volume serial.
#include "shared/DirTree.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "platform/FakePlatform.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;
using namespace arkelin::shared;
using arkelin::platform::DriveType;
using arkelin::platform::FakePlatformScope;

namespace {

class ScriptedDrives : public arkelin::platform::IDrives {
 public:
  std::vector<std::string> roots;
  std::map<std::string, DriveType> types;
  std::map<std::string, std::string> labels;
  std::string DriveRoot(const std::string&) override { return roots.front(); }
  DriveType TypeOf(const std::string& root) override {
    auto it = types.find(root);
    return it == types.end() ? DriveType::Fixed : it->second;
  }
  std::string VolumeLabel(const std::string& root) override { return labels[root]; }
  int64_t FreeSpace(const std::string&) override { return -1; }
  int64_t TotalSpace(const std::string&) override { return -1; }
  bool DiskPresent(const std::string&) override { return true; }
  std::vector<std::string> Roots() override { return roots; }
};

class TestTree : public TDirTree {
 public:
  std::map<std::string, int64_t> serials;

 protected:
  int64_t VolumeSerial(const std::string& root) override {
    auto it = serials.find(root);
    return it == serials.end() ? 1 : it->second;
  }
};

class RecordingView : public IDirTreeView {
 public:
  int depth = 0, resets = 0;
  TDirNode* selected = nullptr;
  void BeginUpdate() override { ++depth; }
  void EndUpdate() override { --depth; }
  void ChildrenReset(TDirNode*) override { ++resets; }
  void NodeChanged(TDirNode&) override {}
  void Selected(TDirNode* n) override { selected = n; }
};

std::vector<std::string> Texts(const TDirNode& n) {
  std::vector<std::string> t;
  for (const auto& c : n.Children) t.push_back(c->HasRecord ? c->Text : "<placeholder>");
  return t;
}

TDirNode* Child(TDirNode* n, const std::string& text) {
  for (auto& c : n->Children)
    if (c->HasRecord && c->Text == text) return c.get();
  return nullptr;
}

class DirTree : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/arkelin-dirtree-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    dir = tmpl;
    sys = dir.string() + "/sys/";
    home = dir.string() + "/home/";
    usb = dir.string() + "/media/usb/";
    for (const auto& r : {sys, home, usb}) fs::create_directories(r);
    const char* h = std::getenv("HOME");
    savedHome = h ? h : "";
    ::setenv("HOME", home.c_str(), 1);
    savedCwd = fs::current_path();
    fs::current_path(sys);

    drives.roots = {sys, home, usb};
    drives.types[usb] = DriveType::Removable;
    drives.labels[sys] = "SYSTEM";
    saved = arkelin::platform::Current();
    auto s = saved;
    s.drives = &drives;
    s.dialogs = &fake.dialogs;
    s.busy = &fake.busy;
    arkelin::platform::Install(s);
  }
  void TearDown() override {
    arkelin::platform::Install(saved);
    fs::current_path(savedCwd);
    ::setenv("HOME", savedHome.c_str(), 1);
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  void Mk(const std::string& rel) { fs::create_directories(fs::path(rel)); }

  fs::path dir;
  std::string sys, home, usb, savedHome;
  fs::path savedCwd;
  ScriptedDrives drives;
  FakePlatformScope fake;
  arkelin::platform::Services saved;
};

}  // namespace

TEST_F(DirTree, TopLevelShowsTheRootsWithTextsAndPlaceholders) {
  Mk(sys + "folder");
  drives.roots.push_back(dir.string() + "/gone/");  // unreadable volume
  TestTree t;
  t.serials[dir.string() + "/gone/"] = -1;
  t.Create();
  ASSERT_EQ(t.Items().size(), 4u);
  EXPECT_EQ(t.DriveRoots(), (std::vector<std::string>{sys, home, usb, dir.string() + "/gone/"}));
  EXPECT_EQ(t.Items()[0]->Text, "SYSTEM (" + sys + ")");
  EXPECT_EQ(t.Items()[1]->Text, "Home (" + home + ")");
  EXPECT_EQ(t.Items()[2]->Text, "usb");
  EXPECT_EQ(t.Items()[3]->Text, "(" + dir.string() + "/gone/)");
  // A fixed root is probed: one placeholder when it has a folder, none when empty.
  EXPECT_EQ(Texts(*t.Items()[1]), std::vector<std::string>{});
  EXPECT_EQ(Texts(*t.Items()[0]), std::vector<std::string>{"<placeholder>"});
  // The selection went to the current folder, the sys root.
  EXPECT_EQ(t.SelectedPath(), sys);
  // Removable and unreadable volumes get a placeholder without being read.
  EXPECT_EQ(Texts(*t.Items()[2]), std::vector<std::string>{"<placeholder>"});
  EXPECT_EQ(Texts(*t.Items()[3]), std::vector<std::string>{"<placeholder>"});
  EXPECT_EQ(fake.busy.depth, 0);
}

TEST_F(DirTree, FoldersAreSortedWithoutRegardToCaseAndKeepTheirCase) {
  for (const char* n : {"b", "Zed", "alpha", "A", "c"}) Mk(sys + "top/" + n);
  std::ofstream(sys + "top/file.txt") << "not a folder";
  TestTree t;
  t.Create();
  t.Expanding(t.Items()[0].get());
  TDirNode* top = Child(t.Items()[0].get(), "top");
  ASSERT_NE(top, nullptr);
  t.Expanding(top);
  EXPECT_EQ(Texts(*top), (std::vector<std::string>{"A", "alpha", "b", "c", "Zed"}));
  EXPECT_EQ(Child(top, "Zed")->Path, sys + "top/Zed/");
}

TEST_F(DirTree, SelectPathWalksDownAndSelectedPathKeepsTheRealCase) {
  Mk(sys + "Music/Rock/Live");
  Mk(sys + "Music/Jazz/Old");
  TestTree t;
  std::vector<std::string> changes;
  t.OnChange = [&](TDirTree&, TDirNode* n) { changes.push_back(n ? n->Path : "null"); };
  t.Create();
  changes.clear();
  EXPECT_TRUE(t.SelectPath(sys + "Music/Rock"));
  EXPECT_EQ(t.SelectedPath(), sys + "Music/Rock/");
  EXPECT_EQ(changes, std::vector<std::string>{sys + "Music/Rock/"});
  // Levels read by SelectPath do not probe their new children, but each can
  // still be opened...
  Mk(sys + "Music/Blues");
  TDirNode* music = Child(t.Items()[0].get(), "Music");
  EXPECT_TRUE(music->Loaded);
  EXPECT_EQ(Texts(*Child(music, "Jazz")), std::vector<std::string>{"<placeholder>"});
  // ...while a user expansion probes: an empty folder loses its placeholder.
  TDirNode* rock = t.Selected();
  t.Expanding(rock);
  EXPECT_EQ(Texts(*rock), std::vector<std::string>{"Live"});
  EXPECT_EQ(Texts(*Child(rock, "Live")), std::vector<std::string>{});
  t.Expanding(Child(music, "Jazz"));
  EXPECT_EQ(Texts(*Child(music, "Jazz")), std::vector<std::string>{"Old"});
  // A path with "." and ".." in it is taken in normal form.
  EXPECT_TRUE(t.SelectPath(sys + "Music/./Jazz/../Jazz/Old/"));
  EXPECT_EQ(t.SelectedPath(), sys + "Music/Jazz/Old/");
  // Case matters on this file system: "music" is another (missing) folder.
  EXPECT_FALSE(t.SelectPath(sys + "music/rock") && t.SelectedPath() == sys + "music/rock/");
}

TEST_F(DirTree, MissingFolderSelectsTheRootOfTheCurrentFolder) {
  Mk(home + "docs");
  Mk(sys + "work");
  fs::current_path(home + "docs");
  TestTree t;
  t.Create();
  EXPECT_EQ(t.SelectedPath(), home + "docs/");
  EXPECT_TRUE(t.SelectPath(sys + "no/such/folder"));
  EXPECT_EQ(t.SelectedPath(), home);
}

TEST_F(DirTree, EmptyPathIsAnErrorAndQuestionMarkDoesNothing) {
  Mk(sys + "x");
  TestTree t;
  t.Create();
  ASSERT_TRUE(t.SelectPath(sys + "x"));
  EXPECT_FALSE(t.SelectPath(""));
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake.dialogs.boxes[0].text, "Invalid Path Name");
  EXPECT_EQ(fake.dialogs.boxes[0].caption, "Error");
  EXPECT_FALSE(t.SelectPath("?"));
  EXPECT_EQ(t.SelectedPath(), sys + "x/");
}

TEST_F(DirTree, NothingSelectedAnswersQuestionMark) {
  TestTree t;
  t.ReadOnStart = false;
  t.Create();
  EXPECT_TRUE(t.Items().empty());
  EXPECT_EQ(t.SelectedPath(), "?");
}

TEST_F(DirTree, PathsBelowHomeAreFoundUnderTheHomeRoot) {
  Mk(home + "projects/arkelin");
  TestTree t;
  t.Create();
  ASSERT_TRUE(t.SelectPath(home + "projects/arkelin/"));
  TDirNode* n = t.Selected();
  while (n->Parent) n = n->Parent;
  EXPECT_EQ(n->Path, home);
  EXPECT_EQ(t.RootOf(home + "projects"), home);
  EXPECT_EQ(t.RootOf(sys + "a"), sys);
}

TEST_F(DirTree, HiddenFoldersFollowDirTypes) {
  Mk(sys + "h/.config");
  Mk(sys + "h/visible");
  TestTree t;
  EXPECT_EQ(t.DirTypes(), dtNormal | dtAll);
  t.Create();
  ASSERT_TRUE(t.SelectPath(sys + "h"));
  t.Expanding(t.Selected());
  EXPECT_EQ(Texts(*t.Selected()), (std::vector<std::string>{".config", "visible"}));

  t.SetDirTypes(dtNormal);  // reloads, the selection survives
  EXPECT_EQ(t.SelectedPath(), sys + "h/");
  t.Expanding(t.Selected());
  EXPECT_EQ(Texts(*t.Selected()), std::vector<std::string>{"visible"});
  EXPECT_FALSE(t.SelectPath(sys + "h/.config"));

  t.SetDirTypes(dtNormal | dtHidden);
  t.Expanding(t.Selected());
  EXPECT_EQ(Texts(*t.Selected()), (std::vector<std::string>{".config", "visible"}));
  // Hidden only: "h" itself is no longer listed, the selection falls back to its root.
  t.SetDirTypes(dtHidden);
  EXPECT_EQ(t.SelectedPath(), sys);
  EXPECT_TRUE(t.PassesFilter(sys + "h/.config/", false));
  EXPECT_FALSE(t.PassesFilter(sys + "h/visible/", false));
}

TEST_F(DirTree, FoldersBelowATrashFolderAreLeftOutUnlessAsked) {
  Mk(home + ".local/share/Trash/files/deleted");
  Mk(usb + ".Trash-1000/files");
  TestTree t;
  t.Create();
  ASSERT_TRUE(t.SelectPath(home + ".local/share/Trash"));
  t.Expanding(t.Selected());
  EXPECT_TRUE(t.Selected()->Children.empty());
  ASSERT_TRUE(t.SelectPath(usb + ".Trash-1000"));
  t.Expanding(t.Selected());
  EXPECT_TRUE(t.Selected()->Children.empty());

  t.SetGoBelowRecycleBin(true);
  ASSERT_TRUE(t.SelectPath(home + ".local/share/Trash/files/deleted"));
  EXPECT_TRUE(t.PassesFilter(usb + ".Trash-1000/files/", false));
  t.SetGoBelowRecycleBin(false);
  EXPECT_FALSE(t.PassesFilter(usb + ".Trash-1000/files/", false));
  EXPECT_TRUE(t.PassesFilter(usb + ".Trash-1000/", false));
}

TEST_F(DirTree, EventsVetoReplaceListingAndSeeDeletions) {
  Mk(sys + "e/keep");
  Mk(sys + "e/veto");
  TestTree t;
  t.OnAddDir = [](TDirTree&, const std::string& path, bool& accept) {
    if (path.find("/veto/") != std::string::npos) accept = false;
  };
  int deleted = 0, icons = 0;
  t.OnDeleteItem = [&](TDirTree&, TDirNode& n) {
    EXPECT_TRUE(n.HasRecord);
    ++deleted;
  };
  t.OnGetIcon = [&](TDirTree&, TDirNode&) { ++icons; };
  t.Create();
  ASSERT_TRUE(t.SelectPath(sys + "e"));
  t.Expanding(t.Selected());
  EXPECT_EQ(Texts(*t.Selected()), std::vector<std::string>{"keep"});
  EXPECT_GT(icons, 0);
  t.Destroy();
  EXPECT_GT(deleted, 3);

  TestTree f;
  f.OnFindDir = [](TDirTree&, const std::string& folder, std::vector<std::string>& names) {
    if (folder.size() > 4 && folder.substr(folder.size() - 4) == "sys/") names = {"one", "Two"};
  };
  f.Create();
  f.Expanding(f.Items()[0].get());
  EXPECT_EQ(Texts(*f.Items()[0]), (std::vector<std::string>{"one", "Two"}));
}

TEST_F(DirTree, DriveTypesDropsRootsOfOtherKinds) {
  TestTree t;
  t.Create();
  EXPECT_EQ(t.Items().size(), 3u);
  t.SetDriveTypes(drtFixed);
  EXPECT_EQ(t.DriveRoots(), (std::vector<std::string>{sys, home}));
}

TEST_F(DirTree, ChangedVolumeIsReReadWhenAFolderOnItIsSelected) {
  Mk(usb + "old/deep");
  TestTree t;
  t.Create();
  ASSERT_TRUE(t.SelectPath(usb + "old"));
  TDirNode* root = t.Items()[2].get();
  EXPECT_TRUE(root->Loaded);
  std::vector<std::string> changes;
  t.OnChange = [&](TDirTree&, TDirNode* n) { changes.push_back(n ? n->Path : "null"); };

  // Another disk in the drive: the next selection there re-reads the root.
  fs::remove_all(usb + "old");
  Mk(usb + "new");
  t.serials[usb] = 2;
  t.SelectPath(usb);
  EXPECT_FALSE(root->Loaded);
  EXPECT_EQ(Texts(*root), std::vector<std::string>{"<placeholder>"});
  t.Expanding(root);
  EXPECT_EQ(Texts(*root), std::vector<std::string>{"new"});
  EXPECT_EQ(changes.back(), usb);
  // The serial is now recorded: no further re-read.
  t.Expanding(root);
  ASSERT_TRUE(t.SelectPath(usb + "new"));
  EXPECT_TRUE(root->Loaded);
}

TEST_F(DirTree, ClickOnAChangedVolumeReReadsIt) {
  Mk(usb + "a");
  TestTree t;
  t.Create();
  TDirNode* root = t.Items()[2].get();
  t.Expanding(root);
  ASSERT_TRUE(root->Loaded);
  t.serials[usb] = 7;
  t.Clicked(Child(root, "a"));
  EXPECT_FALSE(root->Loaded);
}

TEST_F(DirTree, SelectDriveGoesToTheLastFolderUsedThere) {
  Mk(sys + "Music");
  Mk(home + "docs");
  TestTree t;
  t.Create();
  ASSERT_TRUE(t.SelectPath(sys + "Music"));
  EXPECT_EQ(t.LastFolder(home), home);
  t.SelectDrive(home);
  EXPECT_EQ(t.SelectedPath(), home);
  ASSERT_TRUE(t.SelectPath(home + "docs"));
  t.SelectDrive(sys);
  EXPECT_EQ(t.SelectedPath(), sys + "Music/");
  t.SelectDrive(sys);  // already there: nothing moves
  EXPECT_EQ(t.SelectedPath(), sys + "Music/");
  // A last folder that is gone falls back to the root.
  fs::remove_all(home + "docs");
  t.SelectDrive(home);
  EXPECT_EQ(t.SelectedPath(), home);
}

TEST_F(DirTree, ReloadKeepsTheSelectionAndCreateRestoresTheRememberedPath) {
  Mk(sys + "a/b");
  TestTree t;
  t.InitialDirectory = sys + "a";
  t.Create();
  EXPECT_EQ(t.SelectedPath(), sys + "a/");
  ASSERT_TRUE(t.SelectPath(sys + "a/b"));
  t.ReloadTree();
  EXPECT_EQ(t.SelectedPath(), sys + "a/b/");
  t.Destroy();
  EXPECT_TRUE(t.Items().empty());
  t.Create();
  EXPECT_EQ(t.SelectedPath(), sys + "a/b/");
  // The selected folder removed on disk: reload lands on a root.
  fs::remove_all(sys + "a");
  t.ReloadTree();
  EXPECT_EQ(t.SelectedPath(), sys);
}

TEST_F(DirTree, MountedAndRemovedVolumesAreInsertedAndDropped) {
  TestTree t;
  t.Create();
  EXPECT_FALSE(t.CheckDevices());
  const std::string cam = dir.string() + "/media/cam/";
  fs::create_directories(cam + "DCIM");
  drives.roots.push_back(cam);
  drives.types[cam] = DriveType::Removable;
  int changes = 0;
  t.OnChange = [&](TDirTree&, TDirNode*) { ++changes; };
  EXPECT_TRUE(t.CheckDevices());
  // Inserted before the first shown root that sorts after it.
  EXPECT_EQ(t.DriveRoots(), (std::vector<std::string>{cam, sys, home, usb}));
  EXPECT_EQ(changes, 1);

  ASSERT_TRUE(t.SelectPath(cam + "DCIM"));
  drives.roots.pop_back();
  EXPECT_TRUE(t.CheckDevices());
  EXPECT_EQ(t.DriveRoots(), (std::vector<std::string>{sys, home, usb}));
  EXPECT_EQ(t.SelectedPath(), "?");  // no dangling selection

  // Same set, changed volume: that root is re-read.
  ASSERT_TRUE(t.SelectPath(sys));
  t.serials[home] = 9;
  EXPECT_TRUE(t.CheckDevices());
  EXPECT_FALSE(t.CheckDevices());
}

TEST_F(DirTree, AViewIsToldAndPaintingIsResumed) {
  Mk(sys + "v/w");
  TestTree t;
  RecordingView view;
  t.SetView(&view);
  t.Create();
  ASSERT_TRUE(t.SelectPath(sys + "v/w"));
  EXPECT_EQ(view.selected, t.Selected());
  EXPECT_GT(view.resets, 1);
  EXPECT_EQ(view.depth, 0);
  t.SetView(nullptr);
}

TEST_F(DirTree, FastLoadGivesEveryRootAPlaceholderAndRootsCanBeVetoed) {
  TestTree t;
  t.FastLoad = true;
  t.OnAddDir = [&](TDirTree&, const std::string& path, bool& accept) { accept = path != usb; };
  t.Create();
  EXPECT_EQ(t.DriveRoots(), (std::vector<std::string>{sys, home}));
  // The home root is empty, yet shows as expandable until it is opened.
  EXPECT_EQ(Texts(*t.Items()[1]), std::vector<std::string>{"<placeholder>"});
  t.Expanding(t.Items()[1].get());
  EXPECT_TRUE(t.Items()[1]->Children.empty());
}

// TDirTree, the folder tree shared by the extract window, the Add window and
// the folder browser: the Widgets-free core. It owns the nodes, reads folders
// from the file system on demand, keeps the selection and the last folder
// used on each top-level root, and tells an attached view (IDirTreeView) what
// changed; the widget adapter in shared/widgets only mirrors the nodes.
//
// The top-level nodes are the roots the platform offers (platform::Drives()
// .Roots(): the file-system root, the home folder, mounted removable and
// network volumes). Paths keep their real letter case and end in "/".
// Folders are sorted without regard to case. A folder whose name begins
// with "." counts as hidden for `DirTypes`; folders below a desktop trash
// folder are left out unless `GoBelowRecycleBin` is set.
//
// A changed volume (a different device mounted on a root) is noticed by its
// device number, the stand-in for a volume serial: selecting or clicking a
// node on that root re-reads the root's node.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace arkelin::shared {

enum TDirType : unsigned {
  dtReadOnly = 1u << 0,
  dtHidden = 1u << 1,
  dtSystem = 1u << 2,
  dtArchive = 1u << 3,
  dtNormal = 1u << 4,
  dtAll = 1u << 5,
};
using TDirTypes = unsigned;

enum TDriveType : unsigned {
  drtUnknown = 1u << 0,
  drtRemovable = 1u << 1,
  drtFixed = 1u << 2,
  drtRemote = 1u << 3,
  drtCDRom = 1u << 4,
  drtRamDisk = 1u << 5,
};
using TDriveTypes = unsigned;

// One node of the tree. A node without a record is a placeholder: it only
// makes its parent expandable and has no path.
struct TDirNode {
  std::string Text;
  bool HasRecord = true;
  std::string Path;  // full path with a trailing "/"
  bool Loaded = false;
  platform::DriveType Kind = platform::DriveType::Fixed;  // top-level nodes
  TDirNode* Parent = nullptr;
  std::vector<std::unique_ptr<TDirNode>> Children;
  void* ViewData = nullptr;  // the view's own item, untouched by the core

  bool IsTopLevel() const { return Parent == nullptr; }
};

// What an attached view hears. The core calls these on the user-interface
// thread after its own state is consistent; a view must not call back into
// the core from them.
class IDirTreeView {
 public:
  virtual ~IDirTreeView() = default;
  // Painting is suspended between these (they nest).
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  // The children of parent (null: the top level) were replaced; every
  // earlier child pointer below it is gone.
  virtual void ChildrenReset(TDirNode* parent) = 0;
  // The node's text changed.
  virtual void NodeChanged(TDirNode& node) = 0;
  // The selection moved to node (null: nothing selected); scroll it into view.
  virtual void Selected(TDirNode* node) = 0;
};

class TDirTree {
 public:
  // A handler may veto a folder (full path with "/") by clearing accept.
  using AddDirEvent = std::function<void(TDirTree& sender, const std::string& path, bool& accept)>;
  // Replaces the folder listing: fill names with the subfolder names of folder.
  using FindDirEvent =
      std::function<void(TDirTree& sender, const std::string& folder, std::vector<std::string>& names)>;
  using NodeEvent = std::function<void(TDirTree& sender, TDirNode& node)>;
  // The selection changed (node may be null).
  using ChangeEvent = std::function<void(TDirTree& sender, TDirNode* node)>;

  TDirTree();
  virtual ~TDirTree();
  TDirTree(const TDirTree&) = delete;
  TDirTree& operator=(const TDirTree&) = delete;

  // ---- Properties ----
  TDirTypes DirTypes() const { return dirTypes_; }
  void SetDirTypes(TDirTypes t);  // reloads the tree
  TDriveTypes DriveTypes() const { return driveTypes_; }
  void SetDriveTypes(TDriveTypes t);  // refreshes the top level
  bool GoBelowRecycleBin() const { return goBelowTrash_; }
  void SetGoBelowRecycleBin(bool b);  // reloads the tree
  bool FastLoad = false;
  bool ReadOnStart = true;
  std::string InitialDirectory;

  AddDirEvent OnAddDir;
  FindDirEvent OnFindDir;
  NodeEvent OnGetIcon;     // after a node is made (the view picks its icon)
  NodeEvent OnDeleteItem;  // before a node with a record is freed
  ChangeEvent OnChange;

  // ---- Life cycle ----
  // The view's window was created: builds the top level when ReadOnStart is
  // set, then selects the path remembered by Destroy, or InitialDirectory
  // when it exists, or the current folder.
  void Create();
  // The view's window is going: remembers the selected path, frees every node.
  void Destroy();
  void SetView(IDirTreeView* view) { view_ = view; }

  // ---- Interface ----
  const std::vector<std::unique_ptr<TDirNode>>& Items() const { return top_; }
  TDirNode* Selected() const { return selected_; }
  // The selected node's path, or "?" when nothing (or a placeholder) is selected.
  std::string SelectedPath() const;
  // Moves the selection to path (see the source for the walk). An empty path
  // shows "Invalid Path Name" and fails; "?" does nothing. True when the
  // node of the path ended up selected.
  bool SelectPath(const std::string& path);
  // Rebuilds the top level and selects the same folder again, or the
  // nearest thing left.
  void ReloadTree();
  // Moves to the last folder used below root when the selection is
  // elsewhere.
  void SelectDrive(const std::string& root);
  // The roots shown, with "/" at their end, in display order.
  std::vector<std::string> DriveRoots() const;
  // The top-level root holding path ("" when none).
  std::string RootOf(const std::string& path) const;
  // The last folder selected below root (initially the root itself; for the
  // root of the current folder, the current folder).
  std::string LastFolder(const std::string& root) const;

  // ---- From the view ----
  // The user expands node: its folders are read (when not yet) and probed.
  void Expanding(TDirNode* node);
  // The user selected node (placeholders are ignored).
  void UserSelect(TDirNode* node);
  // The user clicked node: a changed volume below it is re-read.
  void Clicked(TDirNode* node);
  // Compares the mounted roots with the shown ones: inserts and removes
  // top-level nodes, or re-reads the last root whose volume changed. True
  // when something changed (the selection change is then reported).
  bool CheckDevices();

  // The folder filter: the trash rule, OnAddDir and (for folders, not roots)
  // the DirTypes rule. path ends in "/".
  bool PassesFilter(const std::string& path, bool isRoot);

 protected:
  // The identity of the volume mounted at root (its device number), or -1
  // when it cannot be read. Tests replace it to simulate a changed disk.
  virtual int64_t VolumeSerial(const std::string& root);

 private:
  std::vector<std::string> DriveSet() const;
  std::unique_ptr<TDirNode> MakeRoot(const std::string& root);
  void SetRootText(TDirNode& node);
  void BuildDriveLevel();
  void ReadFolders(TDirNode& node, bool probe);
  void Probe(TDirNode& node);
  std::vector<std::string> ListSubfolders(const std::string& folder, bool firstOnly);
  void ClearChildren(TDirNode& node);
  void FreeNode(TDirNode& node);
  void AddPlaceholder(TDirNode& node);
  void ReReadRoot(TDirNode& root);
  TDirNode* RootNodeOf(TDirNode* node) const;
  TDirNode* FindTopLevel(const std::string& path) const;
  void SelectionChanged();
  void SetSelected(TDirNode* node);
  bool IsBelow(const TDirNode* node, const TDirNode* ancestor) const;

  TDirTypes dirTypes_ = dtNormal | dtAll;
  TDriveTypes driveTypes_ = drtUnknown | drtRemovable | drtFixed | drtRemote | drtCDRom | drtRamDisk;
  bool goBelowTrash_ = false;

  std::vector<std::unique_ptr<TDirNode>> top_;
  TDirNode* selected_ = nullptr;
  IDirTreeView* view_ = nullptr;
  bool built_ = false;
  bool rebuilding_ = false;
  bool destroying_ = false;
  std::string remembered_;
  std::map<std::string, std::string> lastFolder_;
  std::map<std::string, int64_t> serial_;
};

}  // namespace arkelin::shared

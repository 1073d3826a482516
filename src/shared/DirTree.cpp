// The folder tree's nodes, on-demand reading and selection.
#include "shared/DirTree.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "platform/Paths.h"

namespace arkelin::shared {

namespace fs = std::filesystem;
using platform::DriveType;

namespace {

std::string WithSep(std::string s) {
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool LessNoCase(const std::string& a, const std::string& b) {
  const std::string la = Lower(a), lb = Lower(b);
  if (la != lb) return la < lb;
  return a < b;  // names differing only in case keep a fixed order
}

bool StartsWith(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) out.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return out;
}

// True when the path lies below a desktop trash folder (the trash folder
// itself is still listed): ~/.local/share/Trash, and .Trash or .Trash-<uid>
// at the top of other volumes. Only the first trash folder in the path counts.
bool BelowTrash(const std::string& path) {
  const auto parts = Components(Lower(path));
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& c = parts[i];
    const bool trash = c == ".trash" || StartsWith(c, ".trash-") ||
                       (c == "trash" && i >= 2 && parts[i - 1] == "share" && parts[i - 2] == ".local");
    if (trash) return i + 1 < parts.size();
  }
  return false;
}

unsigned DriveBit(DriveType t) {
  switch (t) {
    case DriveType::Removable: return drtRemovable;
    case DriveType::Fixed: return drtFixed;
    case DriveType::Remote: return drtRemote;
    case DriveType::CDRom: return drtCDRom;
    case DriveType::RamDisk: return drtRamDisk;
    default: return drtUnknown;
  }
}

std::string NormalPath(const std::string& path) {
  fs::path p = platform::ToFsPath(path);
  std::error_code ec;
  if (p.is_relative()) p = fs::current_path(ec) / p;
  return WithSep(platform::FromFsPath(p.lexically_normal()));
}

std::string CurrentFolder() {
  std::error_code ec;
  const fs::path c = fs::current_path(ec);
  return ec ? std::string("/") : WithSep(platform::FromFsPath(c));
}

}  // namespace

TDirTree::TDirTree() = default;

TDirTree::~TDirTree() {
  destroying_ = true;
  for (auto& n : top_) FreeNode(*n);
}

// ---- Properties ----

void TDirTree::SetDirTypes(TDirTypes t) {
  if (t == dirTypes_) return;
  dirTypes_ = t;
  if (built_) ReloadTree();
}

void TDirTree::SetDriveTypes(TDriveTypes t) {
  if (t == driveTypes_) return;
  driveTypes_ = t;
  if (built_) ReloadTree();
}

void TDirTree::SetGoBelowRecycleBin(bool b) {
  if (b == goBelowTrash_) return;
  goBelowTrash_ = b;
  if (built_) ReloadTree();
}

// ---- Life cycle ----

void TDirTree::Create() {
  destroying_ = false;
  if (!ReadOnStart) return;
  BuildDriveLevel();
  std::string start = remembered_;
  if (start.empty() || start == "?") {
    std::error_code ec;
    start = !InitialDirectory.empty() && fs::is_directory(platform::ToFsPath(InitialDirectory), ec)
                ? InitialDirectory
                : CurrentFolder();
  }
  SelectPath(start);
}

void TDirTree::Destroy() {
  remembered_ = SelectedPath();
  destroying_ = true;
  selected_ = nullptr;
  for (auto& n : top_) FreeNode(*n);
  top_.clear();
  built_ = false;
  if (view_) view_->ChildrenReset(nullptr);
}

// ---- Nodes ----

void TDirTree::FreeNode(TDirNode& node) {
  for (auto& c : node.Children) FreeNode(*c);
  if (node.HasRecord && OnDeleteItem) OnDeleteItem(*this, node);
}

void TDirTree::ClearChildren(TDirNode& node) {
  if (selected_ && IsBelow(selected_, &node)) selected_ = nullptr;
  for (auto& c : node.Children) FreeNode(*c);
  node.Children.clear();
}

void TDirTree::AddPlaceholder(TDirNode& node) {
  auto ph = std::make_unique<TDirNode>();
  ph->HasRecord = false;
  ph->Parent = &node;
  node.Children.push_back(std::move(ph));
}

bool TDirTree::IsBelow(const TDirNode* node, const TDirNode* ancestor) const {
  for (const TDirNode* n = node ? node->Parent : nullptr; n; n = n->Parent)
    if (n == ancestor) return true;
  return false;
}

TDirNode* TDirTree::RootNodeOf(TDirNode* node) const {
  while (node && node->Parent) node = node->Parent;
  return node;
}

int64_t TDirTree::VolumeSerial(const std::string& root) {
  struct stat st {};
  if (::stat(root.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_dev);
}

std::vector<std::string> TDirTree::DriveSet() const {
  std::vector<std::string> out;
  auto& drives = platform::Drives();
  for (const auto& r : drives.Roots()) {
    const std::string root = WithSep(r);
    if (!(DriveBit(drives.TypeOf(root)) & driveTypes_)) continue;
    if (std::find(out.begin(), out.end(), root) == out.end()) out.push_back(root);
  }
  return out;
}

std::vector<std::string> TDirTree::DriveRoots() const {
  std::vector<std::string> out;
  for (const auto& n : top_) out.push_back(n->Path);
  return out;
}

std::string TDirTree::RootOf(const std::string& path) const {
  const std::string p = WithSep(path);
  std::string best;
  auto consider = [&](const std::string& root) {
    if (StartsWith(p, root) && root.size() > best.size()) best = root;
  };
  if (!top_.empty()) {
    for (const auto& n : top_) consider(n->Path);
  } else {
    for (const auto& r : DriveSet()) consider(r);
  }
  return best;
}

std::string TDirTree::LastFolder(const std::string& root) const {
  const auto it = lastFolder_.find(root);
  if (it != lastFolder_.end()) return it->second;
  const std::string cwd = CurrentFolder();
  return RootOf(cwd) == root ? cwd : root;
}

void TDirTree::SetRootText(TDirNode& node) {
  const int64_t serial = VolumeSerial(node.Path);
  serial_[node.Path] = serial;
  if (serial == -1) {
    node.Text = "(" + node.Path + ")";
    return;
  }
  if (node.Kind == DriveType::Removable || node.Kind == DriveType::Remote) {
    // The volume's own name: the folder it is mounted on.
    const auto parts = Components(node.Path);
    node.Text = parts.empty() ? node.Path : parts.back();
    return;
  }
  const std::string label =
      node.Path == platform::HomeFolder() ? std::string("Home") : platform::Drives().VolumeLabel(node.Path);
  node.Text = label + " (" + node.Path + ")";
}

std::unique_ptr<TDirNode> TDirTree::MakeRoot(const std::string& root) {
  auto node = std::make_unique<TDirNode>();
  node->Path = root;
  node->Kind = platform::Drives().TypeOf(root);
  SetRootText(*node);
  if (OnGetIcon) OnGetIcon(*this, *node);
  const bool placeholder = FastLoad || node->Kind == DriveType::Removable || node->Kind == DriveType::Unknown ||
                           node->Kind == DriveType::NoRootDir || node->Kind == DriveType::CDRom ||
                           serial_[root] == -1;
  if (placeholder)
    AddPlaceholder(*node);
  else
    Probe(*node);
  return node;
}

void TDirTree::BuildDriveLevel() {
  platform::BusyCursorScope busy(platform::Busy());
  if (view_) view_->BeginUpdate();
  rebuilding_ = true;
  selected_ = nullptr;
  for (auto& n : top_) FreeNode(*n);
  top_.clear();
  for (const auto& root : DriveSet()) {
    if (!PassesFilter(root, true)) continue;
    top_.push_back(MakeRoot(root));
  }
  built_ = true;
  rebuilding_ = false;
  if (view_) {
    view_->ChildrenReset(nullptr);
    view_->Selected(nullptr);
    view_->EndUpdate();
  }
}

bool TDirTree::PassesFilter(const std::string& path, bool isRoot) {
  if (!goBelowTrash_ && BelowTrash(path)) return false;
  if (OnAddDir) {
    bool accept = true;
    OnAddDir(*this, path, accept);
    if (!accept) return false;
  }
  if (isRoot || (dirTypes_ & dtAll)) return true;
  // The only attribute a folder carries here is "hidden" (a leading dot).
  const auto parts = Components(path);
  const bool hidden = !parts.empty() && parts.back()[0] == '.';
  if (hidden && !(dirTypes_ & dtHidden)) return false;
  return (dirTypes_ & dtNormal) || hidden;
}

std::vector<std::string> TDirTree::ListSubfolders(const std::string& folder, bool firstOnly) {
  std::vector<std::string> names;
  if (OnFindDir) {
    OnFindDir(*this, folder, names);
    std::vector<std::string> kept;
    for (const auto& n : names)
      if (PassesFilter(folder + n + "/", false)) kept.push_back(n);
    if (firstOnly && kept.size() > 1) kept.resize(1);
    return kept;
  }
  std::error_code ec;
  for (fs::directory_iterator it(platform::ToFsPath(folder), fs::directory_options::skip_permission_denied, ec),
       end;
       !ec && it != end; it.increment(ec)) {
    std::error_code dec;
    if (!it->is_directory(dec)) continue;  // links to folders count as folders
    const std::string name = platform::FromFsPath(it->path().filename());
    if (!PassesFilter(folder + name + "/", false)) continue;
    names.push_back(name);
    if (firstOnly) break;
  }
  return names;
}

void TDirTree::Probe(TDirNode& node) {
  if (!ListSubfolders(node.Path, true).empty()) AddPlaceholder(node);
}

void TDirTree::ReadFolders(TDirNode& node, bool probe) {
  ClearChildren(node);
  node.Loaded = true;
  auto names = ListSubfolders(node.Path, false);
  std::sort(names.begin(), names.end(), LessNoCase);
  for (const auto& name : names) {
    auto child = std::make_unique<TDirNode>();
    child->Text = name;
    child->Path = node.Path + name + "/";
    child->Parent = &node;
    if (OnGetIcon) OnGetIcon(*this, *child);
    // Children read on the way down to a selection are not probed (that
    // would list every sibling); they get a placeholder instead, so that each
    // can still be opened; opening an empty one just removes it.
    if (probe)
      Probe(*child);
    else
      AddPlaceholder(*child);
    node.Children.push_back(std::move(child));
  }
  if (view_) view_->ChildrenReset(&node);
}

void TDirTree::ReReadRoot(TDirNode& root) {
  const bool hadSelection = selected_ && (selected_ == &root || IsBelow(selected_, &root));
  ClearChildren(root);
  root.Loaded = false;
  SetRootText(root);
  if (serial_[root.Path] != -1) Probe(root);
  if (root.Children.empty() && serial_[root.Path] != -1) AddPlaceholder(root);
  if (view_) {
    view_->NodeChanged(root);
    view_->ChildrenReset(&root);
  }
  if (hadSelection && !selected_) {
    selected_ = &root;
    if (view_) view_->Selected(&root);
  }
}

// ---- Selection ----

std::string TDirTree::SelectedPath() const {
  if (!selected_ || !selected_->HasRecord) return "?";
  return selected_->Path;
}

void TDirTree::SetSelected(TDirNode* node) {
  selected_ = node;
  if (view_) view_->Selected(node);
  SelectionChanged();
}

void TDirTree::SelectionChanged() {
  if (rebuilding_ || destroying_) return;
  if (selected_ && selected_->HasRecord) {
    TDirNode* root = RootNodeOf(selected_);
    if (VolumeSerial(root->Path) != serial_[root->Path]) ReReadRoot(*root);  // a disk was changed
    lastFolder_[root->Path] = selected_->Path;
  }
  if (OnChange) OnChange(*this, selected_);
}

void TDirTree::UserSelect(TDirNode* node) {
  if (node && !node->HasRecord) return;
  SetSelected(node);
}

void TDirTree::Clicked(TDirNode* node) {
  if (!node || !node->HasRecord || rebuilding_ || destroying_) return;
  TDirNode* root = RootNodeOf(node);
  if (VolumeSerial(root->Path) != serial_[root->Path]) {
    ReReadRoot(*root);
    SelectionChanged();
  }
}

void TDirTree::Expanding(TDirNode* node) {
  if (!node || !node->HasRecord || node->Loaded) return;
  platform::BusyCursorScope busy(platform::Busy());
  if (view_) view_->BeginUpdate();
  ReadFolders(*node, true);
  if (view_) view_->EndUpdate();
}

TDirNode* TDirTree::FindTopLevel(const std::string& path) const {
  TDirNode* best = nullptr;
  for (const auto& n : top_)
    if (StartsWith(path, n->Path) && (!best || n->Path.size() > best->Path.size())) best = n.get();
  return best;
}

bool TDirTree::SelectPath(const std::string& pathIn) {
  if (pathIn.empty()) {
    platform::Dialogs().MessageBox("Invalid Path Name", platform::MsgKind::Error, platform::BtnOK);
    return false;
  }
  if (pathIn == "?") return false;
  std::string path = NormalPath(pathIn);
  std::error_code ec;
  if (!fs::is_directory(platform::ToFsPath(path), ec)) {
    path = RootOf(CurrentFolder());
    if (path.empty() && !top_.empty()) path = top_.front()->Path;
  }

  platform::BusyCursorScope busy(platform::Busy());
  if (view_) view_->BeginUpdate();
  struct EndUpdate {
    IDirTreeView* v;
    ~EndUpdate() {
      if (v) v->EndUpdate();
    }
  } endUpdate{view_};

  // The walk starts at the root that holds most of the path (the home
  // folder rather than "/" for a path below it), then goes folder by folder,
  // reading each level that has not been read yet.
  TDirNode* node = FindTopLevel(path);
  if (!node) return false;
  for (const auto& part : Components(path.substr(node->Path.size()))) {
    if (!node->Loaded) ReadFolders(*node, false);
    const std::string want = node->Path + part + "/";
    TDirNode* next = nullptr;
    for (const auto& c : node->Children)
      if (c->HasRecord && c->Path == want) next = c.get();
    if (!next) return false;  // the selection stays as it was
    node = next;
  }
  SetSelected(node);
  return selected_ == node;
}

void TDirTree::ReloadTree() {
  const std::string remembered = SelectedPath();
  BuildDriveLevel();
  if (remembered != "?") {
    SelectPath(remembered);
    if (!selected_) {
      const std::string root = RootOf(remembered);
      if (!root.empty()) SelectPath(root);
    }
  }
  if (selected_ || top_.empty()) return;
  TDirNode* pick = nullptr;
  for (const auto& n : top_) {
    if (n->Children.empty() || (n->Children.front()->HasRecord)) {
      pick = n.get();
      break;
    }
  }
  if (!pick) pick = top_.back().get();
  const std::string last = LastFolder(pick->Path);
  SelectPath(last);
  if (SelectedPath() != last) SetSelected(pick);
}

void TDirTree::SelectDrive(const std::string& rootIn) {
  const std::string root = WithSep(rootIn);
  if (selected_ && RootOf(SelectedPath()) == root) return;
  std::string target = LastFolder(root);
  std::error_code ec;
  if (!fs::is_directory(platform::ToFsPath(target), ec)) target = root;
  SelectPath(target);
}

// ---- Device changes ----

bool TDirTree::CheckDevices() {
  if (!built_) return false;
  std::vector<std::string> now;
  for (const auto& r : DriveSet())
    if (PassesFilter(r, true)) now.push_back(r);

  bool changed = false;
  if (view_) view_->BeginUpdate();
  // Roots that went away.
  for (size_t i = 0; i < top_.size();) {
    if (std::find(now.begin(), now.end(), top_[i]->Path) == now.end()) {
      if (selected_ && (selected_ == top_[i].get() || IsBelow(selected_, top_[i].get()))) selected_ = nullptr;
      FreeNode(*top_[i]);
      top_.erase(top_.begin() + static_cast<long>(i));
      changed = true;
    } else {
      ++i;
    }
  }
  // Roots that arrived go before the first shown root that sorts after them.
  for (const auto& r : now) {
    const bool shown = std::any_of(top_.begin(), top_.end(), [&](const auto& n) { return n->Path == r; });
    if (shown) continue;
    auto pos = std::find_if(top_.begin(), top_.end(), [&](const auto& n) { return r < n->Path; });
    top_.insert(pos, MakeRoot(r));
    changed = true;
  }
  if (changed) {
    if (view_) {
      view_->ChildrenReset(nullptr);
      view_->Selected(selected_);
    }
  } else {
    for (auto it = top_.rbegin(); it != top_.rend(); ++it) {
      if (VolumeSerial((*it)->Path) != serial_[(*it)->Path]) {
        ReReadRoot(**it);
        changed = true;
        break;
      }
    }
  }
  if (view_) view_->EndUpdate();
  if (changed) SelectionChanged();
  return changed;
}

}  // namespace arkelin::shared

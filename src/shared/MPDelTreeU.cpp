// Recursive delete of a folder tree.
#include "shared/MPDelTreeU.h"

#include <sys/stat.h>

#include <chrono>
#include <system_error>
#include <vector>

#include "platform/Paths.h"
#include "platform/Platform.h"

namespace arkelin::shared {

namespace fs = std::filesystem;

namespace {

// Adds the owner's write (and for folders search) permission, the nearest
// thing to clearing read-only attributes: without write permission on a
// folder nothing inside it can be removed. Failures are left to the delete.
void ClearAttributes(const fs::path& p, bool folder) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(p, ec);
  if (ec || fs::is_symlink(st)) return;
  fs::perms want = fs::perms::owner_write | fs::perms::owner_read;
  if (folder) want |= fs::perms::owner_exec;
  if ((st.permissions() & want) != want) fs::permissions(p, want, fs::perm_options::add, ec);
}

// True when `inner` is `outer` or lies below it (both absolute, normal form).
bool IsSameOrBelow(const fs::path& inner, const fs::path& outer) {
  auto i = inner.begin();
  for (auto o = outer.begin(); o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // the empty element after a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::weakly_canonical(p, ec);
  if (ec) c = fs::absolute(p, ec).lexically_normal();
  return c;
}

}  // namespace

bool TMPDelTree::Execute() {
  reported_ = false;
  cancelled_ = false;

  std::string path = Path;
  if (!path.empty() && path.back() == '/') path.pop_back();
  const fs::path target = platform::ToFsPath(path);

  std::error_code ec;
  // Path itself is never followed either: a link given as the folder to
  // delete would otherwise empty the folder it points to.
  struct stat st {};
  if (!path.empty() && ::lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    Report("Cannot delete directory %s: it is a symbolic link", path);
    return false;
  }
  const bool exists = !path.empty() && fs::is_directory(target, ec);
  if (!exists) {
    Report("The directory %s doesn't exist", path);
    return true;
  }

  // The root of the file system and the home folder are never emptied: a
  // wrong folder setting must not be able to wipe the user's files.
  const fs::path canon = Canonical(target);
  const fs::path home = Canonical(platform::ToFsPath(platform::HomeFolder()));
  if (canon == fs::path("/") || canon == home || canon.relative_path().empty()) {
    Report("Cannot delete directory %s", path);
    return false;
  }

  // A current folder inside the tree would be left dangling: step out of it.
  const fs::path cwd = fs::current_path(ec);
  if (!ec && IsSameOrBelow(Canonical(cwd), canon)) fs::current_path(canon.parent_path(), ec);

  return DeleteFolder(target, true);
}

bool TMPDelTree::DeleteFolder(const fs::path& folder, bool isRoot) {
  bool result = true;
  ClearAttributes(folder, true);

  // The listing is taken in full first: removing entries while a directory
  // stream is open may make it skip or repeat names.
  std::vector<fs::directory_entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back(*it);

  for (const auto& e : entries) {
    if (cancelled_) break;
    // One lstat gives the kind, everything the event shows and whether the
    // permissions need touching; a tree of many small files is removed at
    // about the speed of rm -rf.
    struct stat fst {};
    const bool statted = ::lstat(e.path().c_str(), &fst) == 0;
    const std::string full = platform::FromFsPath(e.path());
    if (statted && S_ISDIR(fst.st_mode)) {
      // A failed subfolder keeps this folder from going too; the listing
      // goes on so that as much as possible is removed.
      if (!DeleteFolder(e.path(), false)) result = false;
      continue;
    }

    TSearchRec rec;
    rec.Name = platform::FromFsPath(e.path().filename());
    rec.Symlink = statted && S_ISLNK(fst.st_mode);
    if (statted && !rec.Symlink) {
      rec.Size = static_cast<int64_t>(fst.st_size);
      rec.Time = std::chrono::file_clock::from_sys(
          std::chrono::sys_seconds(std::chrono::seconds(fst.st_mtim.tv_sec)) +
          std::chrono::nanoseconds(fst.st_mtim.tv_nsec));
      rec.ReadOnly = (fst.st_mode & S_IWUSR) == 0;
    }
    rec.Hidden = !rec.Name.empty() && rec.Name[0] == '.';

    bool cancel = false;
    FireProcessFile(full, rec, cancel);
    if (cancel) {
      cancelled_ = true;
      Report("DelTree aborted by user !", "");
      return false;
    }
    const bool needsPermission = statted && !rec.Symlink && (fst.st_mode & (S_IRUSR | S_IWUSR)) != (S_IRUSR | S_IWUSR);
    if (!statted || needsPermission) ClearAttributes(e.path(), false);
    if (!DeleteOneFile(e.path())) {
      Report("Cannot delete file %s", full);
      return false;
    }
  }

  if (cancelled_) return false;
  if (isRoot && !DeleteRoot) return result;
  if (!RemoveOneFolder(folder)) {
    Report("Cannot delete directory %s", platform::FromFsPath(folder));
    return false;
  }
  return result;
}

bool TMPDelTree::DeleteOneFile(const fs::path& file) {
  if (HowToDelete == htdAllowUndo) return platform::Files().MoveToTrash(platform::FromFsPath(file));
  std::error_code ec;
  return fs::remove(file, ec) && !ec;
}

bool TMPDelTree::RemoveOneFolder(const fs::path& folder) {
  std::error_code ec;
  const fs::file_status st = fs::symlink_status(folder, ec);
  if (!fs::is_symlink(st)) ClearAttributes(folder, true);
  return fs::remove(folder, ec) && !ec;
}

void TMPDelTree::FireProcessFile(const std::string& fileName, const TSearchRec& rec, bool& cancel) {
  if (OnProcessFile) OnProcessFile(*this, fileName, rec, cancel);
}

void TMPDelTree::Report(const std::string& format, const std::string& argument) {
  if (Verbose && !reported_) {
    std::string text = format;
    const auto at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, argument);
    platform::Dialogs().ShowMessage(text);
  }
  reported_ = true;
}

}  // namespace arkelin::shared

// Walks the file specifications of an add command; see ZipSources.h.
#include "engine/zip/dll/zip/ZipSources.h"

#include "engine/common/Wildcard.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <utility>
#include <vector>

namespace arkelin::engine::zip::zipdll {

namespace {

bool IsHidden(const std::string& name) { return !name.empty() && name[0] == '.'; }

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

class Walker {
 public:
  Walker(const GatherOptions& o, GatherResult& r) : o_(o), r_(r) {}

  // Adds one item unless its name was taken already; answers whether it did.
  bool AddItem(const std::string& path, const struct stat& st, bool isDir) {
    std::string name = StoredName(path, o_.dirNames, o_.forceDos);
    if (name.empty()) return false;
    if (isDir) name += "/";
    const auto [at, fresh] = names_.emplace(name, path);
    if (!fresh) {
      // The same file named twice is simply stored once; another file
      // under a name already taken (folder names junked) is left out.
      if (!isDir && at->second != path)
        r_.skipped.push_back(path + ": its name " + name + " is taken by " + at->second + ", left out");
      return false;
    }
    SourceItem it;
    it.diskPath = path;
    it.entryName = name;
    it.isDir = isDir;
    it.size = isDir ? 0 : static_cast<uint64_t>(st.st_size);
    it.mtime = st.st_mtime;
    it.mode = st.st_mode;
    r_.items.push_back(std::move(it));
    return true;
  }

  bool IsArchive(const struct stat& st) const {
    return o_.haveArchive && st.st_dev == o_.archiveDev && st.st_ino == o_.archiveIno;
  }

  // A file met by the walk or named directly; answers whether it was taken.
  bool AddFile(const std::string& path, const struct stat& st) {
    if (IsArchive(st)) return false;
    if (!S_ISREG(st.st_mode)) {
      r_.skipped.push_back(path + ": not a regular file, left out");
      return false;
    }
    AddItem(path, st, false);
    return true;
  }

  void AddFolderEntry(const std::string& path, const struct stat& st) {
    // Without folder names a folder entry would be a bare name: none then.
    if (o_.dirEntries && o_.dirNames) AddItem(path, st, true);
  }

  // Files in dir whose names match the pattern; with recursion the same in
  // every folder below, links to folders included. `id` is dir's own
  // (device, inode); a folder that is already on the way down from the
  // walk's start (reached again through a link) is a loop and left out with
  // a message. Answers how many files matched.
  size_t Walk(const std::string& dir, const std::string& pattern, int depth, const struct stat& id) {
    if (depth > kMaxDepth) {
      r_.skipped.push_back(dir + ": folders nested too deeply, left out");
      return 0;
    }
    // The folder a pattern was applied in is the user's, not ours to empty.
    if (depth > 0) r_.folders.push_back(dir);
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) {
      r_.skipped.push_back(dir + ": folder cannot be read, left out");
      return 0;
    }
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n == "." || n == "..") continue;
      names.push_back(std::move(n));
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    path_.emplace_back(id.st_dev, id.st_ino);
    size_t matched = 0;
    std::vector<std::pair<std::string, struct stat>> subdirs;
    for (const auto& n : names) {
      if (!o_.hidden && IsHidden(n)) continue;
      const std::string path = Join(dir, n);
      struct stat lst {};
      if (lstat(path.c_str(), &lst) != 0) {
        r_.skipped.push_back(path + ": " + std::strerror(errno) + ", left out");
        continue;
      }
      struct stat st = lst;
      if (S_ISLNK(lst.st_mode) && stat(path.c_str(), &st) != 0) {
        // Only a link the pattern asks for is a file that is missed.
        if (common::WildcardMatch(pattern, n)) r_.skipped.push_back(path + ": broken link, left out");
        continue;
      }
      if (S_ISDIR(st.st_mode)) {
        if (o_.recurse) subdirs.emplace_back(path, st);
        continue;
      }
      if (!common::WildcardMatch(pattern, n)) continue;
      if (AddFile(path, st)) ++matched;
    }
    for (const auto& [sub, st] : subdirs) {
      if (OnPath(st)) {
        r_.skipped.push_back(sub + ": link to a folder it lies in (a loop), left out");
        continue;
      }
      AddFolderEntry(sub, st);
      matched += Walk(sub, pattern, depth + 1, st);
    }
    path_.pop_back();
    return matched;
  }

  bool OnPath(const struct stat& st) const {
    return std::find(path_.begin(), path_.end(), std::make_pair(st.st_dev, st.st_ino)) != path_.end();
  }

  void Spec(const std::string& spec) {
    if (spec.empty()) return;
    const size_t slash = spec.find_last_of('/');
    const std::string last = slash == std::string::npos ? spec : spec.substr(slash + 1);
    if (common::HasWildcard(last)) {
      const std::string dir = slash == std::string::npos ? "" : spec.substr(0, slash + 1);
      const size_t before = r_.items.size();
      struct stat id {};
      if (stat(dir.empty() ? "." : dir.c_str(), &id) != 0) {
        r_.unmatched.push_back(spec);
        return;
      }
      Walk(dir, last, 0, id);
      if (r_.items.size() == before) r_.unmatched.push_back(spec);
      return;
    }
    struct stat st {};
    if (stat(spec.c_str(), &st) != 0) {
      r_.unmatched.push_back(spec);
      return;
    }
    if (S_ISDIR(st.st_mode)) {
      std::string dir = spec;
      while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
      const size_t before = r_.items.size();
      AddFolderEntry(dir, st);
      r_.folders.push_back(dir);
      Walk(dir, "*", 0, st);
      if (r_.items.size() == before) r_.unmatched.push_back(spec);
      return;
    }
    if (IsArchive(st)) return;
    if (!AddFile(spec, st)) return;
  }

 private:
  const GatherOptions& o_;
  GatherResult& r_;
  std::map<std::string, std::string> names_;  // stored name -> disk path
  // (device, inode) of the folders from the walk's start down to the one
  // being read.
  std::vector<std::pair<dev_t, ino_t>> path_;
  static constexpr int kMaxDepth = 256;
};

}  // namespace

std::string DosComponent(const std::string& component) {
  auto clean = [](const std::string& s, size_t max) {
    std::string out;
    for (char c : s) {
      if (out.size() == max) break;
      const auto u = static_cast<unsigned char>(c);
      if (u < 0x20 || u >= 0x80 || std::string_view("\"*+,/:;<=>?[\\]| .").find(c) != std::string_view::npos)
        out.push_back('_');
      else
        out.push_back(static_cast<char>(std::toupper(u)));
    }
    return out;
  };
  const size_t dot = component.find_last_of('.');
  std::string base = dot == std::string::npos ? component : component.substr(0, dot);
  std::string ext = dot == std::string::npos ? std::string() : component.substr(dot + 1);
  std::string out = clean(base, 8);
  if (out.empty()) out.push_back('_');
  ext = clean(ext, 3);
  if (!ext.empty()) {
    out += '.';
    out += ext;
  }
  return out;
}

std::string StoredName(const std::string& givenPath, bool dirNames, bool forceDos) {
  std::vector<std::string> parts;
  size_t i = 0;
  while (i <= givenPath.size()) {
    size_t j = givenPath.find('/', i);
    if (j == std::string::npos) j = givenPath.size();
    std::string part = givenPath.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(std::move(part));
    }
    i = j + 1;
  }
  if (parts.empty()) return {};
  if (!dirNames) parts.erase(parts.begin(), parts.end() - 1);
  std::string out;
  for (auto& p : parts) {
    if (!out.empty()) out += "/";
    out += forceDos ? DosComponent(p) : p;
  }
  return out;
}

GatherResult GatherSources(const std::vector<std::string>& specs, const GatherOptions& options) {
  GatherResult r;
  Walker w(options, r);
  for (const auto& s : specs) w.Spec(s);
  return r;
}

}  // namespace arkelin::engine::zip::zipdll

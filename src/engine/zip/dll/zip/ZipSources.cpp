// Walks the file specifications of an add command; see ZipSources.h.
#include "engine/zip/dll/zip/ZipSources.h"

#include "engine/common/Wildcard.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <set>

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
    if (!names_.insert(name).second) return false;
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
  // every folder below. Answers how many files matched.
  size_t Walk(const std::string& dir, const std::string& pattern, int depth) {
    if (depth > 256) return 0;
    // The folder a pattern was applied in is the user's, not ours to empty.
    if (depth > 0) r_.folders.push_back(dir);
    DIR* d = opendir(dir.empty() ? "." : dir.c_str());
    if (!d) {
      r_.skipped.push_back(dir + ": folder cannot be read");
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
    size_t matched = 0;
    std::vector<std::string> subdirs;
    for (const auto& n : names) {
      if (!o_.hidden && IsHidden(n)) continue;
      const std::string path = Join(dir, n);
      struct stat lst {};
      if (lstat(path.c_str(), &lst) != 0) continue;
      if (S_ISDIR(lst.st_mode)) {
        if (o_.recurse) subdirs.push_back(path);
        continue;
      }
      if (!common::WildcardMatch(pattern, n)) continue;
      struct stat st = lst;
      if (S_ISLNK(lst.st_mode) && stat(path.c_str(), &st) != 0) {
        r_.skipped.push_back(path + ": broken link, left out");
        continue;
      }
      if (S_ISDIR(st.st_mode)) continue;  // a link to a folder is not entered
      if (AddFile(path, st)) ++matched;
    }
    for (const auto& sub : subdirs) {
      struct stat st {};
      if (stat(sub.c_str(), &st) != 0) continue;
      AddFolderEntry(sub, st);
      matched += Walk(sub, pattern, depth + 1);
    }
    return matched;
  }

  void Spec(const std::string& spec) {
    if (spec.empty()) return;
    const size_t slash = spec.find_last_of('/');
    const std::string last = slash == std::string::npos ? spec : spec.substr(slash + 1);
    if (common::HasWildcard(last)) {
      const std::string dir = slash == std::string::npos ? "" : spec.substr(0, slash + 1);
      const size_t before = r_.items.size();
      Walk(dir, last, 0);
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
      Walk(dir, "*", 0);
      if (r_.items.size() == before) r_.unmatched.push_back(spec);
      return;
    }
    if (IsArchive(st)) return;
    if (!AddFile(spec, st)) return;
  }

 private:
  const GatherOptions& o_;
  GatherResult& r_;
  std::set<std::string> names_;
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

// Generated symbolic link chains for the extraction tests of both engines,
// and the check that none of the links an extraction left on disk leads out
// of its target folder.
//
// The world: the target folder sits ten folders deep below the test folder,
// and every folder above it holds a complete tree of every name the
// generator uses, two levels deep. So a link that escapes lands on a folder
// that exists, and realpath(3) sees where it went; for links that end on a
// name that does not exist, `realpath -m` (coreutils, which walks missing
// components as if they were folders) says where they would lead once it
// existed. Inside the target, every folder name has the plain folders "p"
// and "q" below it, two levels deep, before the extraction starts.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace linkchains {

namespace fs = std::filesystem;

struct LinkSpec {
  std::string path;  // relative to the target folder, "/" separators
  std::string text;
  bool plainlySafe = false;  // names a real folder beside it: must be created
};

inline const std::vector<std::string>& FolderNames() {
  static const std::vector<std::string> v{"f", "g"};
  return v;
}
inline const std::vector<std::string>& LinkNames() {
  static const std::vector<std::string> v{"l0", "l1", "l2", "l3", "l4", "l5"};
  return v;
}
inline const std::vector<std::string>& PlainNames() {
  static const std::vector<std::string> v{"p", "q"};
  return v;
}

// The test folder's world; answers the target folder (empty).
inline fs::path MakeWorld(const fs::path& base) {
  std::vector<std::string> all = FolderNames();
  all.insert(all.end(), LinkNames().begin(), LinkNames().end());
  all.insert(all.end(), PlainNames().begin(), PlainNames().end());
  fs::path at = base;
  for (int level = 0; level <= 10; ++level) {
    for (const auto& a : all)
      for (const auto& b : all) fs::create_directories(at / a / b);
    if (level < 10) at /= "up" + std::to_string(level);
  }
  fs::create_directories(at / "root");
  return at / "root";
}

// Takes every link out of the target and makes sure its plain folders are
// there (cheaper than making the whole tree again for every trial).
inline void ResetTarget(const fs::path& root) {
  if (fs::exists(root)) {
    std::vector<fs::path> links;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
      if (it->is_symlink()) links.push_back(it->path());
    for (const auto& l : links) fs::remove(l);
  }
  for (const auto& f : FolderNames())
    for (const auto& g : FolderNames())
      for (const auto& p : PlainNames()) {
        fs::create_directories(root / p);
        fs::create_directories(root / f / p);
        fs::create_directories(root / f / g / p);
      }
}

// A few links at nesting depths 0 to 2 whose texts climb, descend and go
// through each other; shuffled, so every order of the entries comes up.
inline std::vector<LinkSpec> Generate(std::mt19937& rng) {
  auto pick = [&](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
  std::vector<LinkSpec> out;
  std::set<std::string> used;
  const int count = 2 + static_cast<int>(rng() % 7);
  for (int i = 0; i < count; ++i) {
    std::string folder;
    const int depth = static_cast<int>(rng() % 3);
    for (int d = 0; d < depth; ++d) folder += pick(FolderNames()) + "/";
    const std::string path = folder + pick(LinkNames());
    if (!used.insert(path).second) continue;
    LinkSpec s;
    s.path = path;
    if (rng() % 8 == 0) {
      s.text = pick(PlainNames());
      s.plainlySafe = true;
    } else if (rng() % 25 == 0) {
      s.text = "/" + pick(PlainNames());
    } else {
      const int parts = 1 + static_cast<int>(rng() % 5);
      for (int k = 0; k < parts; ++k) {
        if (k) s.text += "/";
        switch (rng() % 6) {
          case 0: case 1: s.text += ".."; break;
          case 2: s.text += pick(FolderNames()); break;
          case 3: s.text += pick(PlainNames()); break;
          case 4: s.text += rng() % 4 ? pick(LinkNames()) : "."; break;
          default: s.text += pick(LinkNames()); break;
        }
      }
    }
    out.push_back(std::move(s));
  }
  std::shuffle(out.begin(), out.end(), rng);
  return out;
}

// Every symbolic link below root, relative, without following any.
inline std::vector<std::string> LinksBelow(const fs::path& root) {
  std::vector<std::string> v;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it)
    if (it->is_symlink()) v.push_back(it->path().lexically_relative(root).string());
  std::sort(v.begin(), v.end());
  return v;
}

inline bool StrictlyBelow(const std::string& path, const std::string& root) {
  return path.size() > root.size() + 1 && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/';
}

// The links below root that resolve outside it, to it, or in a loop, each
// with where it leads.
inline std::vector<std::string> EscapingLinks(const fs::path& root) {
  std::vector<std::string> bad;
  char* rr = ::realpath(root.c_str(), nullptr);
  const std::string realRoot = rr ? rr : root.string();
  free(rr);
  std::vector<std::string> missing;
  for (const auto& rel : LinksBelow(root)) {
    const std::string full = (root / rel).string();
    errno = 0;
    if (char* r = ::realpath(full.c_str(), nullptr)) {
      if (!StrictlyBelow(r, realRoot)) bad.push_back(rel + " -> " + r);
      free(r);
    } else if (errno == ELOOP) {
      bad.push_back(rel + " loops");
    } else {
      missing.push_back(rel);
    }
  }
  if (missing.empty()) return bad;
  std::string cmd = "realpath -m -z --";
  for (const auto& m : missing) cmd += " '" + (root / m).string() + "'";
  FILE* p = ::popen(cmd.c_str(), "r");
  if (!p) {
    bad.push_back("realpath -m could not run");
    return bad;
  }
  std::string outText;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) outText.append(buf, n);
  ::pclose(p);
  size_t i = 0, start = 0;
  for (size_t k = 0; k < outText.size(); ++k) {
    if (outText[k] != '\0') continue;
    const std::string r = outText.substr(start, k - start);
    if (i < missing.size() && !StrictlyBelow(r, realRoot)) bad.push_back(missing[i] + " -> " + r + " (missing)");
    ++i;
    start = k + 1;
  }
  if (i != missing.size()) bad.push_back("realpath -m answered for " + std::to_string(i) + " links only");
  return bad;
}

}  // namespace linkchains

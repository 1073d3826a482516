// Entry name to relative path, link containment and wildcard matching.
#include "engine/zip/dll/common/SafePath.h"

#include <cctype>

namespace arkelin::engine::zip::dll {

namespace {

constexpr size_t kNameMax = 255;

bool IsSep(char c) { return c == '/' || c == '\\'; }

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

}  // namespace

bool SplitEntryName(std::string_view name, std::vector<std::string>& parts, std::string& reason) {
  parts.clear();
  if (name.empty()) {
    reason = "the name is empty";
    return false;
  }
  if (name.find('\0') != std::string_view::npos) {
    reason = "the name holds a NUL byte";
    return false;
  }
  if (IsSep(name[0])) {
    reason = "the name is an absolute path";
    return false;
  }
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0]))) {
    reason = "the name starts with a drive letter";
    return false;
  }
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSep(name[end])) ++end;
    std::string_view part = name.substr(start, end - start);
    if (part == "..") {
      reason = "the name leads out of the target folder (\"..\")";
      parts.clear();
      return false;
    }
    if (part.size() > kNameMax) {
      reason = "a part of the name is longer than 255 bytes";
      parts.clear();
      return false;
    }
    if (!part.empty() && part != ".") parts.emplace_back(part);
    if (end >= name.size()) break;
    start = end + 1;
  }
  if (parts.empty()) {
    reason = "the name has no file or folder part";
    return false;
  }
  return true;
}

bool EntryNameToRelativePath(std::string_view name, std::string& relative, std::string& reason) {
  std::vector<std::string> parts;
  if (!SplitEntryName(name, parts, reason)) return false;
  relative.clear();
  for (const auto& p : parts) {
    if (!relative.empty()) relative += '/';
    relative += p;
  }
  return true;
}

bool LinkStaysInside(const std::vector<std::string>& linkPath, std::string_view target) {
  if (target.empty() || IsSep(target[0]) || target.find('\0') != std::string_view::npos) return false;
  if (target.size() >= 2 && target[1] == ':' && std::isalpha(static_cast<unsigned char>(target[0]))) return false;
  // Start in the link's folder: its path without the last component.
  std::vector<std::string> at(linkPath.begin(), linkPath.empty() ? linkPath.begin() : linkPath.end() - 1);
  size_t start = 0;
  while (start <= target.size()) {
    size_t end = start;
    while (end < target.size() && !IsSep(target[end])) ++end;
    std::string_view part = target.substr(start, end - start);
    if (part == "..") {
      if (at.empty()) return false;
      at.pop_back();
    } else if (!part.empty() && part != ".") {
      at.emplace_back(part);
    }
    if (end >= target.size()) break;
    start = end + 1;
  }
  // A link to the root itself would let later writers reach everything
  // through it; only links to something below the root are kept.
  return !at.empty();
}

bool WildcardMatch(std::string_view pattern, std::string_view text) {
  size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || Lower(pattern[p]) == Lower(text[t]))) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace arkelin::engine::zip::dll

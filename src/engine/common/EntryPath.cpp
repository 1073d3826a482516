// Entry name rules; see EntryPath.h.
#include "engine/common/EntryPath.h"

namespace arkelin::engine::common {

namespace {

bool IsSep(char c) { return c == '/' || c == '\\'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

bool SplitEntryName(std::string_view name, std::vector<std::string>& parts, std::string& reason) {
  parts.clear();
  if (name.empty()) {
    reason = "the name is empty";
    return false;
  }
  for (char c : name) {
    const auto u = static_cast<unsigned char>(c);
    if (u == 0) {
      reason = "the name holds a NUL byte";
      return false;
    }
    if (u < 0x20 || u == 0x7F) {
      reason = "the name holds a control character";
      return false;
    }
  }
  if (IsSep(name[0])) {
    reason = "the name is an absolute path";
    return false;
  }
  if (name.size() >= 2 && name[1] == ':' && IsAsciiLetter(name[0])) {
    reason = "the name starts with a drive letter";
    return false;
  }
  size_t total = 0;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = start;
    while (end < name.size() && !IsSep(name[end])) ++end;
    const std::string_view part = name.substr(start, end - start);
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
    if (!part.empty() && part != ".") {
      total += part.size() + 1;
      parts.emplace_back(part);
    }
    if (end >= name.size()) break;
    start = end + 1;
  }
  if (parts.empty()) {
    reason = "the name has no file or folder part";
    return false;
  }
  if (total >= kPathMax) {
    reason = "the name is longer than a path may be";
    parts.clear();
    return false;
  }
  return true;
}

bool EntryNameToRelativePath(std::string_view name, std::string& relative, std::string& reason) {
  std::vector<std::string> parts;
  if (!SplitEntryName(name, parts, reason)) return false;
  relative = JoinParts(parts);
  return true;
}

std::string JoinParts(const std::vector<std::string>& parts, size_t count) {
  std::string s;
  for (size_t i = 0; i < count && i < parts.size(); ++i) {
    if (i) s += '/';
    s += parts[i];
  }
  return s;
}

bool SameEntryName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && !(IsSep(a[i]) && IsSep(b[i]))) return false;
  return true;
}

}  // namespace arkelin::engine::common

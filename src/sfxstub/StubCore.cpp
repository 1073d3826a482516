#include "sfxstub/StubCore.h"

#include <cstdlib>

namespace sfxstub {

namespace {
std::string TempFolder() {
  const char* t = std::getenv("TMPDIR");
  return t && *t ? t : "/tmp";
}
}  // namespace

bool ParseChoice(const std::string& text, size_t count, std::vector<bool>& chosen) {
  chosen.assign(count, false);
  bool any = false;
  std::string t;
  for (char c : text)
    if (c != ' ') t += c;
  if (t.empty() || t == "*" || t == "a" || t == "all") {
    chosen.assign(count, true);
    return true;
  }
  size_t pos = 0;
  while (pos < t.size()) {
    size_t comma = t.find(',', pos);
    if (comma == std::string::npos) comma = t.size();
    const std::string part = t.substr(pos, comma - pos);
    pos = comma + 1;
    if (part.empty()) continue;
    char* end = nullptr;
    const unsigned long a = std::strtoul(part.c_str(), &end, 10);
    unsigned long b = a;
    if (*end == '-') b = std::strtoul(end + 1, &end, 10);
    if (*end != '\0' || a < 1 || b < a || b > count) return false;
    for (unsigned long i = a; i <= b; ++i) chosen[i - 1] = true;
    any = true;
  }
  return any;
}

std::string HeaderFolder(std::string dir) {
  if (dir.rfind("><", 0) == 0) {
    std::string rest = dir.substr(2);
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\\' || rest.front() == '/')) rest.erase(0, 1);
    dir = TempFolder() + (rest.empty() ? "" : "/" + rest);
  } else if (dir.size() >= 2 && dir[1] == ':' && ((dir[0] | 0x20) >= 'a' && (dir[0] | 0x20) <= 'z')) {
    dir = dir.substr(2);
    while (!dir.empty() && (dir.front() == '\\' || dir.front() == '/')) dir.erase(0, 1);
  }
  for (char& c : dir)
    if (c == '\\') c = '/';
  return dir.empty() ? "." : dir;
}

std::vector<std::string> SplitArguments(const std::string& s) {
  std::vector<std::string> out;
  std::string cur;
  bool quoted = false, any = false;
  for (char c : s) {
    if (c == '"') {
      quoted = !quoted;
      any = true;
    } else if (c == ' ' && !quoted) {
      if (any) out.push_back(cur);
      cur.clear();
      any = false;
    } else {
      cur += c;
      any = true;
    }
  }
  if (any) out.push_back(cur);
  return out;
}

std::string ReplaceAll(std::string s, const std::string& what, const std::string& with) {
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + with.size()))
    s.replace(at, what.size(), with);
  return s;
}

std::vector<std::string> CommandArguments(const std::string& commandLine, const std::string& folder) {
  std::string withSlash = folder;
  if (withSlash.empty() || withSlash.back() != '/') withSlash += '/';
  const std::string line = ReplaceAll(commandLine, "><", withSlash);
  const size_t bar = line.find('|');
  std::string program = bar == std::string::npos ? line : line.substr(0, bar);
  while (!program.empty() && program.back() == ' ') program.pop_back();
  std::vector<std::string> args{program};
  if (bar != std::string::npos)
    for (auto& a : SplitArguments(line.substr(bar + 1))) args.push_back(a);
  return args;
}

}  // namespace sfxstub

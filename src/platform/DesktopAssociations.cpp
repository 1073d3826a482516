// The freedesktop association lookup; see DesktopAssociations.h.
#include "platform/DesktopAssociations.h"

#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <sstream>

namespace arkelin::platform {

namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}

std::vector<std::string> SplitOn(const std::string& text, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : text) {
    if (c == sep) {
      if (!cur.empty()) out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) out.push_back(cur);
  return out;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t' || s[a] == '\r')) ++a;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
  return s.substr(a, b - a);
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool IsFile(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDir(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsExecutableFile(const std::string& p) { return IsFile(p) && ::access(p.c_str(), X_OK) == 0; }

// The groups of a desktop-entry style key file: group -> key -> raw value.
// Lines are "key=value"; comments start with "#"; localized keys
// ("Name[de]") are kept under their full name and simply never asked for.
using KeyFile = std::map<std::string, std::map<std::string, std::string>>;

KeyFile ReadKeyFile(const std::string& path) {
  KeyFile kf;
  std::ifstream in(path, std::ios::binary);
  if (!in) return kf;
  std::string line, group;
  // A desktop file is small; a huge file is not one (and is not read whole).
  size_t total = 0;
  while (std::getline(in, line)) {
    total += line.size();
    if (total > (size_t(16) << 20)) break;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#') continue;
    if (t.front() == '[' && t.back() == ']') {
      group = t.substr(1, t.size() - 2);
      kf[group];
      continue;
    }
    const size_t eq = t.find('=');
    if (eq == std::string::npos || group.empty()) continue;
    const std::string key = Trim(t.substr(0, eq));
    if (!kf[group].count(key)) kf[group][key] = Trim(t.substr(eq + 1));
  }
  return kf;
}

std::string Value(const KeyFile& kf, const std::string& group, const std::string& key) {
  auto g = kf.find(group);
  if (g == kf.end()) return "";
  auto k = g->second.find(key);
  return k == g->second.end() ? std::string() : k->second;
}

// Lines of a whitespace-separated two-column file (aliases, subclasses).
std::vector<std::pair<std::string, std::string>> ReadPairs(const std::string& path) {
  std::vector<std::pair<std::string, std::string>> out;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream ls(line);
    std::string a, b;
    if (ls >> a >> b) out.emplace_back(a, b);
  }
  return out;
}

// Executable MIME types: a type that is, or descends from, one of these is
// a program or a script.
const std::set<std::string>& ProgramTypes() {
  static const std::set<std::string> types = {
      "application/x-executable",         "application/x-pie-executable",
      "application/x-sharedlib",          "application/x-ms-dos-executable",
      "application/x-msdownload",         "application/vnd.microsoft.portable-executable",
      "application/x-msi",                "application/x-ms-shortcut",
      "application/x-desktop",            "application/x-shellscript",
      "application/x-bat",                "application/x-java-archive",
  };
  return types;
}

bool IsFieldCodeLetter(char c) { return std::string("fFuUickdDnNvm").find(c) != std::string::npos; }

}  // namespace

// ---- Folders ------------------------------------------------------------------

XdgFolders XdgFolders::FromEnvironment() {
  XdgFolders f;
  const std::string home = Env("HOME");
  f.configHome = Env("XDG_CONFIG_HOME");
  if (f.configHome.empty()) f.configHome = Join(home, ".config");
  f.configDirs = SplitOn(Env("XDG_CONFIG_DIRS"), ':');
  if (f.configDirs.empty()) f.configDirs = {"/etc/xdg"};
  f.dataHome = Env("XDG_DATA_HOME");
  if (f.dataHome.empty()) f.dataHome = Join(home, ".local/share");
  f.dataDirs = SplitOn(Env("XDG_DATA_DIRS"), ':');
  if (f.dataDirs.empty()) f.dataDirs = {"/usr/local/share", "/usr/share"};
  for (const std::string& d : SplitOn(Env("XDG_CURRENT_DESKTOP"), ':')) f.desktops.push_back(Lower(d));
  f.path = Env("PATH");
  return f;
}

std::vector<std::string> XdgFolders::AllDataDirs() const {
  std::vector<std::string> all{dataHome};
  all.insert(all.end(), dataDirs.begin(), dataDirs.end());
  return all;
}

// ---- Exec lines -----------------------------------------------------------------

std::string UnescapeDesktopValue(const std::string& v) {
  std::string out;
  for (size_t i = 0; i < v.size(); ++i) {
    if (v[i] != '\\' || i + 1 == v.size()) {
      out += v[i];
      continue;
    }
    const char n = v[++i];
    switch (n) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default:  // not a string escape: left for the quoting rules
        out += '\\';
        out += n;
        break;
    }
  }
  return out;
}

std::optional<std::vector<std::string>> SplitExecLine(const std::string& exec) {
  std::vector<std::string> args;
  size_t i = 0;
  const size_t n = exec.size();
  while (i < n) {
    while (i < n && (exec[i] == ' ' || exec[i] == '\t')) ++i;
    if (i == n) break;
    std::string arg;
    bool dropped = false;  // the argument was a field code alone
    if (exec[i] == '"') {
      ++i;
      bool closed = false;
      while (i < n) {
        const char c = exec[i];
        if (c == '"') {
          closed = true;
          ++i;
          break;
        }
        if (c == '\\' && i + 1 < n && std::string("\"`$\\").find(exec[i + 1]) != std::string::npos) {
          arg += exec[i + 1];
          i += 2;
          continue;
        }
        // Field codes may not appear inside a quoted argument; "%%" may.
        if (c == '%') {
          if (i + 1 < n && exec[i + 1] == '%') {
            arg += '%';
            i += 2;
            continue;
          }
          return std::nullopt;
        }
        arg += c;
        ++i;
      }
      if (!closed) return std::nullopt;
      if (i < n && exec[i] != ' ' && exec[i] != '\t') return std::nullopt;
    } else {
      while (i < n && exec[i] != ' ' && exec[i] != '\t') {
        const char c = exec[i];
        if (c == '"') return std::nullopt;  // a quote in the middle of an argument
        if (c == '%') {
          if (i + 1 >= n) return std::nullopt;
          const char code = exec[i + 1];
          if (code == '%') {
            arg += '%';
            i += 2;
            continue;
          }
          if (!IsFieldCodeLetter(code)) return std::nullopt;
          // A field code must stand alone as its argument.
          const bool alone = arg.empty() && (i + 2 == n || exec[i + 2] == ' ' || exec[i + 2] == '\t');
          if (!alone) return std::nullopt;
          dropped = true;
          i += 2;
          continue;
        }
        arg += c;
        ++i;
      }
    }
    if (!dropped) args.push_back(arg);
  }
  if (args.empty()) return std::nullopt;
  return args;
}

std::string ProgramFromAssociationCommand(const std::string& command, const std::string& windowsFolder) {
  if (!command.empty() && command[0] == '"') {
    const size_t close = command.find('"', 1);
    return close == std::string::npos ? command.substr(1) : command.substr(1, close - 1);
  }
  const size_t slash = command.find('\\');
  const std::string head = slash == std::string::npos ? command : command.substr(0, slash);
  if (Lower(head) != "%systemroot%") return "";
  std::string text = command;
  for (const char* marker : {"%systemroot%", "%SystemRoot%"}) {
    const size_t at = text.find(marker);
    if (at != std::string::npos) text.replace(at, std::string(marker).size(), windowsFolder);
  }
  const size_t blank = text.find(' ');
  return blank == std::string::npos ? text : text.substr(0, blank);
}

// ---- The databases ---------------------------------------------------------------

DesktopAssociations::DesktopAssociations(XdgFolders folders) : f_(std::move(folders)) {}

std::string DesktopAssociations::MimeTypeForExtension(const std::string& extension) const {
  if (extension.empty()) return "";
  const std::string name = "x" + extension;
  std::string best;
  int bestWeight = -1;
  size_t bestLength = 0;
  for (const std::string& dir : f_.AllDataDirs()) {
    std::ifstream in(Join(dir, "mime/globs2"));
    std::string line;
    while (std::getline(in, line)) {
      if (line.empty() || line[0] == '#') continue;
      const std::vector<std::string> parts = [&] {
        std::vector<std::string> p;
        size_t a = 0;
        while (true) {
          const size_t b = line.find(':', a);
          p.push_back(line.substr(a, b == std::string::npos ? std::string::npos : b - a));
          if (b == std::string::npos) break;
          a = b + 1;
        }
        return p;
      }();
      if (parts.size() < 3) continue;
      const int weight = std::atoi(parts[0].c_str());
      const std::string& type = parts[1];
      const std::string& glob = parts[2];
      if (glob == "__NOGLOBS__") continue;
      const bool caseSensitive = parts.size() > 3 && parts[3].find("cs") != std::string::npos;
      if (::fnmatch(glob.c_str(), name.c_str(), caseSensitive ? 0 : FNM_CASEFOLD) != 0) continue;
      // Only patterns that look at the extension: "*" alone or a prefix
      // pattern would match every synthetic name.
      if (glob.size() < 2 || glob[0] != '*' || glob.find('.') == std::string::npos) continue;
      if (weight > bestWeight || (weight == bestWeight && glob.size() > bestLength)) {
        best = type;
        bestWeight = weight;
        bestLength = glob.size();
      }
    }
  }
  return best.empty() ? best : Canonical(best);
}

std::string DesktopAssociations::Canonical(const std::string& type) const {
  for (const std::string& dir : f_.AllDataDirs())
    for (const auto& [alias, canonical] : ReadPairs(Join(dir, "mime/aliases")))
      if (alias == type) return canonical;
  return type;
}

std::vector<std::string> DesktopAssociations::TypeAndAncestors(const std::string& type) const {
  std::multimap<std::string, std::string> parents;
  for (const std::string& dir : f_.AllDataDirs())
    for (const auto& [child, parent] : ReadPairs(Join(dir, "mime/subclasses"))) parents.emplace(child, parent);
  std::vector<std::string> out;
  std::deque<std::string> queue{Canonical(type)};
  while (!queue.empty() && out.size() < 64) {
    const std::string t = queue.front();
    queue.pop_front();
    if (t.empty() || t == "application/octet-stream") continue;
    if (std::find(out.begin(), out.end(), t) != out.end()) continue;
    out.push_back(t);
    auto range = parents.equal_range(t);
    for (auto it = range.first; it != range.second; ++it) queue.push_back(Canonical(it->second));
    if (t.rfind("text/", 0) == 0 && t != "text/plain") queue.push_back("text/plain");
  }
  return out;
}

std::vector<std::string> DesktopAssociations::MimeAppsFiles() const {
  std::vector<std::string> files;
  auto add = [&](const std::string& dir) {
    for (const std::string& d : f_.desktops) files.push_back(Join(dir, d + "-mimeapps.list"));
    files.push_back(Join(dir, "mimeapps.list"));
  };
  add(f_.configHome);
  for (const std::string& d : f_.configDirs) add(d);
  add(Join(f_.dataHome, "applications"));
  for (const std::string& d : f_.dataDirs) add(Join(d, "applications"));
  return files;
}

std::string DesktopAssociations::DesktopFilePath(const std::string& id) const {
  if (id.empty() || id.find('/') != std::string::npos || id.find("..") != std::string::npos) return "";
  // "foo-bar.desktop" may be applications/foo-bar.desktop or
  // applications/foo/bar.desktop (each "-" may stand for a folder).
  struct Finder {
    static std::string Find(const std::string& dir, const std::string& rest, int depth) {
      const std::string direct = Join(dir, rest);
      if (IsFile(direct)) return direct;
      if (depth > 8) return "";
      for (size_t i = rest.find('-'); i != std::string::npos; i = rest.find('-', i + 1)) {
        const std::string sub = Join(dir, rest.substr(0, i));
        if (IsDir(sub)) {
          std::string r = Find(sub, rest.substr(i + 1), depth + 1);
          if (!r.empty()) return r;
        }
      }
      return "";
    }
  };
  for (const std::string& dir : f_.AllDataDirs()) {
    std::string r = Finder::Find(Join(dir, "applications"), id, 0);
    if (!r.empty()) return r;
  }
  return "";
}

std::string DesktopAssociations::FindProgram(const std::string& name) const {
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) return IsExecutableFile(name) ? name : "";
  for (const std::string& dir : SplitOn(f_.path, ':')) {
    const std::string p = Join(dir, name);
    if (IsExecutableFile(p)) return p;
  }
  return "";
}

std::optional<DesktopLaunch> DesktopAssociations::Launchable(const std::string& id) const {
  const std::string file = DesktopFilePath(id);
  if (file.empty()) return std::nullopt;
  const KeyFile kf = ReadKeyFile(file);
  const std::string g = "Desktop Entry";
  if (!kf.count(g)) return std::nullopt;
  if (Value(kf, g, "Type") != "Application") return std::nullopt;
  if (Value(kf, g, "Hidden") == "true") return std::nullopt;
  // A terminal program started without a terminal would wait for input
  // nobody can give, and the command waits for it.
  if (Value(kf, g, "Terminal") == "true") return std::nullopt;
  const std::string tryExec = UnescapeDesktopValue(Value(kf, g, "TryExec"));
  if (!tryExec.empty() && FindProgram(tryExec).empty()) return std::nullopt;
  const auto args = SplitExecLine(UnescapeDesktopValue(Value(kf, g, "Exec")));
  if (!args) return std::nullopt;
  // The program is started by a command line split on blanks, so an
  // argument with a blank in it cannot be passed on.
  for (const std::string& a : *args)
    if (a.find_first_of(" \t\n\"") != std::string::npos || a.empty()) return std::nullopt;
  DesktopLaunch l;
  l.id = id;
  l.file = file;
  l.command = *args;
  l.command[0] = FindProgram(l.command[0]);
  if (l.command[0].empty()) return std::nullopt;
  return l;
}

std::optional<DesktopLaunch> DesktopAssociations::DefaultApplication(const std::string& type) const {
  std::vector<KeyFile> lists;
  std::vector<bool> desktopSpecific;
  for (const std::string& f : MimeAppsFiles()) {
    lists.push_back(ReadKeyFile(f));
    const size_t slash = f.rfind('/');
    desktopSpecific.push_back(f.substr(slash == std::string::npos ? 0 : slash + 1) != "mimeapps.list");
  }
  std::vector<std::string> cacheDirs;
  for (const std::string& d : f_.AllDataDirs()) cacheDirs.push_back(Join(d, "applications"));

  for (const std::string& t : TypeAndAncestors(type)) {
    // 1. Default applications, file by file.
    for (const KeyFile& kf : lists)
      for (const std::string& id : SplitOn(Value(kf, "Default Applications", t), ';'))
        if (auto l = Launchable(Trim(id))) return l;
    // 2. Added associations (less the removed ones seen so far), then the
    // entries that list the type themselves, through the MIME caches.
    std::set<std::string> removed;
    for (size_t i = 0; i < lists.size(); ++i) {
      if (desktopSpecific[i]) continue;  // added/removed live only in mimeapps.list
      for (const std::string& id : SplitOn(Value(lists[i], "Added Associations", t), ';'))
        if (!removed.count(Trim(id)))
          if (auto l = Launchable(Trim(id))) return l;
      for (const std::string& id : SplitOn(Value(lists[i], "Removed Associations", t), ';')) removed.insert(Trim(id));
    }
    for (const std::string& dir : cacheDirs) {
      const KeyFile cache = ReadKeyFile(Join(dir, "mimeinfo.cache"));
      for (const std::string& id : SplitOn(Value(cache, "MIME Cache", t), ';'))
        if (!removed.count(Trim(id)))
          if (auto l = Launchable(Trim(id))) return l;
    }
  }
  return std::nullopt;
}

std::string DesktopAssociations::AssociationCommand(const std::string& extension) const {
  const std::string type = MimeTypeForExtension(extension);
  if (type.empty()) return "";
  const auto app = DefaultApplication(type);
  if (!app) return "";
  std::string program;
  for (const std::string& a : app->command) {
    if (!program.empty()) program += ' ';
    program += a;
  }
  return "\"" + program + "\" \"%f\"";
}

bool DesktopAssociations::IsProgramType(const std::string& extension) const {
  const std::string type = MimeTypeForExtension(extension);
  if (type.empty()) return false;
  for (const std::string& t : TypeAndAncestors(type))
    if (ProgramTypes().count(t)) return true;
  return false;
}

}  // namespace arkelin::platform

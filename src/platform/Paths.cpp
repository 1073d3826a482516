// Path conversion and the program's folders on Linux.
#include "platform/Paths.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace arkelin::platform {

namespace fs = std::filesystem;

fs::path ToFsPath(const std::string& utf8) { return fs::path(utf8); }

std::string FromFsPath(const fs::path& p) { return p.string(); }

std::string EntryToDiskRelative(const std::string& entryName) {
  std::string r = entryName;
  for (char& c : r)
    if (c == '\\') c = '/';
  return r;
}

std::string DiskRelativeToEntry(const std::string& rel) {
  std::string r = rel;
  for (char& c : r)
    if (c == '/') c = '\\';
  return r;
}

std::string HomeFolder() {
  const char* h = std::getenv("HOME");
  std::string home = (h && *h) ? h : "/";
  if (home.back() != '/') home += '/';
  return home;
}

static std::string WithSep(std::string s) {
  if (!s.empty() && s.back() != '/') s += '/';
  return s;
}

std::string MapDefaultPath(const std::string& text) {
  auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  const std::string u = upper(text);
  if (u == "C:\\" || u == "C:") return HomeFolder();
  if (u == "C:\\WINDOWS\\TEMP" || u == "C:\\WINDOWS\\TEMP\\")
    return WithSep(FromFsPath(fs::temp_directory_path() / "arkelin-temp"));
  if (u == "C:\\NONAME.ZIP") return HomeFolder() + "Noname.zip";
  return text;
}

std::string ExecutableFolder() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return WithSep(fs::current_path().string());
  return WithSep(exe.parent_path().string());
}

namespace {
std::string& Override() {
  static std::string o;
  return o;
}
}  // namespace

void SetDataFolderOverride(const std::string& folder) { Override() = folder.empty() ? "" : WithSep(folder); }

std::string DataFolder() {
  if (!Override().empty()) return Override();
  const std::string exe = ExecutableFolder();
  if (::access(exe.c_str(), W_OK) == 0) return exe;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  fs::path base = (xdg && *xdg) ? fs::path(xdg) : fs::path(HomeFolder()) / ".config";
  fs::path dir = base / "Arkelin";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return WithSep(dir.string());
}

}  // namespace arkelin::platform

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

std::vector<std::string> ProgramFileFolders(const std::string& exeFolder) {
  std::vector<std::string> r{WithSep(exeFolder)};
  std::error_code ec;
  const fs::path installed = fs::path(r.front()).parent_path().parent_path() / "lib" / "arkelin";
  if (fs::is_directory(installed, ec)) r.push_back(WithSep(installed.lexically_normal().string()));
  return r;
}
std::vector<std::string> ProgramFileFolders() { return ProgramFileFolders(ExecutableFolder()); }

std::string ProgramFileFolder(const std::string& name, const std::string& exeFolder) {
  std::error_code ec;
  for (const std::string& f : ProgramFileFolders(exeFolder))
    if (fs::exists(fs::path(f) / name, ec)) return f;
  return WithSep(exeFolder);
}
std::string ProgramFileFolder(const std::string& name) { return ProgramFileFolder(name, ExecutableFolder()); }

std::string EngineFolder() { return ProgramFileFolder("libunzdll.so"); }

bool IsSelfContainedFolder(const std::string& exeFolder) {
  const std::string exe = WithSep(exeFolder);
  std::error_code ec;
  if (!fs::exists(fs::path(exe) / "libunzdll.so", ec)) return false;
  // root may write anywhere; the system's program folders are never ours.
  for (const char* sys : {"/usr/bin/", "/usr/local/bin/", "/bin/", "/usr/sbin/", "/sbin/"})
    if (exe == sys) return false;
  return ::access(exe.c_str(), W_OK) == 0;
}
bool IsSelfContainedFolder() { return IsSelfContainedFolder(ExecutableFolder()); }

namespace {
// $name when it is an absolute path, otherwise the home folder's fallback.
fs::path XdgBase(const char* name, const char* homeFallback) {
  const char* v = std::getenv(name);
  if (v && *v == '/') return fs::path(v);
  return fs::path(HomeFolder()) / homeFallback;
}
}  // namespace

std::string DataFolderFor(const std::string& exeFolder) {
  if (!Override().empty()) return Override();
  if (IsSelfContainedFolder(exeFolder)) return WithSep(exeFolder);
  fs::path dir = XdgBase("XDG_CONFIG_HOME", ".config") / "Arkelin";
  std::error_code ec;
  fs::create_directories(dir, ec);
  return WithSep(dir.string());
}
std::string DataFolder() { return DataFolderFor(ExecutableFolder()); }

std::string CacheFolderFor(const std::string& exeFolder) {
  if (!Override().empty()) return Override();
  if (IsSelfContainedFolder(exeFolder)) return WithSep(exeFolder);
  std::error_code ec;
  fs::path dir = XdgBase("XDG_CACHE_HOME", ".cache") / "Arkelin";
  if (fs::create_directories(dir, ec), fs::is_directory(dir, ec)) return WithSep(dir.string());
  const char* run = std::getenv("XDG_RUNTIME_DIR");
  if (run && *run == '/') {
    dir = fs::path(run) / "Arkelin";
    if (fs::create_directories(dir, ec), fs::is_directory(dir, ec)) return WithSep(dir.string());
  }
  return DataFolderFor(exeFolder);
}
std::string CacheFolder() { return CacheFolderFor(ExecutableFolder()); }

}  // namespace arkelin::platform

// Path conversion and the program's folders on Linux.
#include "platform/Paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
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
  if (u == "C:\\WINDOWS\\TEMP" || u == "C:\\WINDOWS\\TEMP\\") return PrivateTempFolder();
  if (u == "C:\\NONAME.ZIP") return HomeFolder() + "Noname.zip";
  return text;
}

namespace {

// A folder (not a link) owned by this user that no one else may enter.
bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         (st.st_mode & 077) == 0;
}

// Makes path with mode 0700 unless it exists; true when it is then private.
bool MakePrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  return IsPrivateFolder(path);
}

}  // namespace

std::string PrivateTempFolder() {
  // The session's runtime folder is private to the user by definition; it is
  // checked all the same.
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && run[0] == '/' && IsPrivateFolder(run)) {
    const std::string folder = WithSep(run) + "arkelin-temp";
    if (MakePrivateFolder(folder)) return folder + "/";
  }
  std::error_code ec;
  const fs::path system = fs::temp_directory_path(ec);
  const std::string base = ec ? std::string("/tmp") : FromFsPath(system);
  const std::string named = WithSep(base) + "arkelin-" + std::to_string(::getuid());
  if (MakePrivateFolder(named)) return named + "/";
  // The usual name is taken by someone else (or is a link): a fresh folder
  // with an unpredictable name, made once per run.
  static std::mutex lock;
  static std::string made;
  const std::lock_guard<std::mutex> hold(lock);
  if (made.empty() || !IsPrivateFolder(made)) {
    std::string tmpl = WithSep(base) + "arkelin-XXXXXX";
    if (::mkdtemp(tmpl.data()) != nullptr) made = tmpl;
  }
  return made.empty() ? std::string() : made + "/";
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

// Headless Linux implementations: POSIX calls and Qt Core.
#include "platform/LinuxPlatform.h"

#include "platform/DesktopAssociations.h"

#include <fcntl.h>
#include <mntent.h>
#include <spawn.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QString>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>

#include "platform/Paths.h"
#include "platform/Trash.h"

extern char** environ;

namespace arkelin::platform {

namespace fs = std::filesystem;

// ---- ConsoleDialogs ----

Button ConsoleDialogs::MessageBox(const std::string& text, MsgKind kind, Buttons buttons) {
  return MessageBoxCaption(CaptionForKind(kind), text, kind, buttons);
}

Button ConsoleDialogs::MessageBoxCaption(const std::string& caption, const std::string& text, MsgKind,
                                         Buttons buttons) {
  std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  if (buttons & BtnOK) return BtnOK;
  if (buttons & BtnCancel) return BtnCancel;
  if (buttons & BtnNo) return BtnNo;
  if (buttons & BtnAbort) return BtnAbort;
  return BtnOK;
}

std::optional<std::string> ConsoleDialogs::InputBox(const std::string&, const std::string&,
                                                    const std::string&, bool) {
  return std::nullopt;
}
std::vector<std::string> ConsoleDialogs::OpenFiles(const FileDialogRequest&) { return {}; }
std::optional<std::string> ConsoleDialogs::SaveFile(const FileDialogRequest&) { return std::nullopt; }
std::optional<std::string> ConsoleDialogs::ChooseFolder(const std::string&, const std::string&) {
  return std::nullopt;
}

// ---- LinuxDrives ----

namespace {
struct Mount {
  std::string dir, fsname, type;
};

std::vector<Mount> ReadMounts() {
  std::vector<Mount> out;
  FILE* f = setmntent("/proc/self/mounts", "r");
  if (!f) return out;
  while (mntent* m = getmntent(f)) out.push_back({m->mnt_dir, m->mnt_fsname, m->mnt_type});
  endmntent(f);
  return out;
}

std::string WithSep(std::string s) {
  if (s.empty() || s.back() != '/') s += '/';
  return s;
}

const Mount* MountOf(const std::vector<Mount>& mounts, const std::string& path) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(ToFsPath(path), ec);
  if (ec) p = ToFsPath(path);
  const std::string s = WithSep(p.string());
  const Mount* best = nullptr;
  size_t bestLen = 0;
  for (const auto& m : mounts) {
    std::string d = WithSep(m.dir);
    if (s.compare(0, d.size(), d) == 0 && d.size() >= bestLen) {
      best = &m;
      bestLen = d.size();
    }
  }
  return best;
}

bool IsNetworkType(const std::string& t) {
  return t == "nfs" || t == "nfs4" || t == "cifs" || t == "smbfs" || t == "sshfs" || t == "fuse.sshfs" ||
         t == "9p" || t == "afs";
}
}  // namespace

std::string LinuxDrives::DriveRoot(const std::string& path) {
  auto mounts = ReadMounts();
  const Mount* m = MountOf(mounts, path);
  return m ? WithSep(m->dir) : std::string("/");
}

DriveType LinuxDrives::TypeOf(const std::string& root) {
  auto mounts = ReadMounts();
  const Mount* m = MountOf(mounts, root);
  if (!m) return DriveType::NoRootDir;
  if (IsNetworkType(m->type)) return DriveType::Remote;
  if (m->type == "iso9660" || m->type == "udf") return DriveType::CDRom;
  if (m->type == "tmpfs" || m->type == "ramfs") return DriveType::RamDisk;
  if (m->dir.rfind("/media/", 0) == 0 || m->dir.rfind("/run/media/", 0) == 0) return DriveType::Removable;
  return DriveType::Fixed;
}

std::string LinuxDrives::VolumeLabel(const std::string& root) {
  auto mounts = ReadMounts();
  const Mount* m = MountOf(mounts, root);
  if (!m) return "";
  // A label is the name of the by-label link pointing at the mounted device.
  std::error_code ec;
  for (const auto& e : fs::directory_iterator("/dev/disk/by-label", ec)) {
    std::error_code ec2;
    if (fs::canonical(e.path(), ec2) == fs::path(m->fsname)) return e.path().filename().string();
  }
  return "";
}

int64_t LinuxDrives::FreeSpace(const std::string& root) {
  struct statvfs st {};
  if (::statvfs(root.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.f_bavail) * static_cast<int64_t>(st.f_frsize);
}

int64_t LinuxDrives::TotalSpace(const std::string& root) {
  struct statvfs st {};
  if (::statvfs(root.c_str(), &st) != 0) return -1;
  return static_cast<int64_t>(st.f_blocks) * static_cast<int64_t>(st.f_frsize);
}

bool LinuxDrives::DiskPresent(const std::string& root) {
  struct statvfs st {};
  return ::statvfs(root.c_str(), &st) == 0;
}

std::vector<std::string> LinuxDrives::Roots() {
  std::vector<std::string> roots{"/", HomeFolder()};
  for (const auto& m : ReadMounts()) {
    const bool removable = m.dir.rfind("/media/", 0) == 0 || m.dir.rfind("/run/media/", 0) == 0 ||
                           m.dir.rfind("/mnt/", 0) == 0;
    if (removable || IsNetworkType(m.type)) {
      std::string r = WithSep(m.dir);
      bool dup = false;
      for (const auto& x : roots) dup = dup || x == r;
      if (!dup) roots.push_back(r);
    }
  }
  return roots;
}

// ---- LinuxFiles ----

std::string LinuxFiles::TempFileName(const std::string& folder, const std::string& prefix) {
  std::string tmpl = WithSep(folder.empty() ? fs::temp_directory_path().string() : folder) + prefix + "XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  int fd = ::mkstemp(buf.data());
  if (fd < 0) return "";
  ::close(fd);
  return std::string(buf.data());
}

bool LinuxFiles::MoveToTrash(const std::string& path) { return MoveToDesktopTrash(path); }

// ---- LinuxProcesses ----

namespace {
// Programs started without waiting, reaped as they end.
std::vector<pid_t>& Unreaped() {
  static std::vector<pid_t> pids;
  return pids;
}

void ReapEnded() {
  auto& pids = Unreaped();
  for (size_t i = 0; i < pids.size();) {
    int status = 0;
    const pid_t r = ::waitpid(pids[i], &status, WNOHANG);
    if (r == pids[i] || (r < 0 && errno == ECHILD)) {
      pids[i] = pids.back();
      pids.pop_back();
    } else {
      ++i;
    }
  }
}

bool IsRegularFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(ToFsPath(path), ec);
}
}  // namespace

bool LinuxProcesses::Run(const std::string& commandLine, int, bool wait) {
  // Split on single blanks first so that the program's own name can be
  // rebuilt with its blanks; empty pieces (runs of blanks) separate nothing.
  std::vector<std::string> pieces;
  {
    std::string cur;
    for (char c : commandLine) {
      if (c == ' ' || c == '\t') {
        pieces.push_back(cur);
        cur.clear();
      } else {
        cur += c;
      }
    }
    pieces.push_back(cur);
  }
  while (!pieces.empty() && pieces.front().empty()) pieces.erase(pieces.begin());
  if (pieces.empty()) return false;

  // The shortest run of leading pieces that names an existing file is the
  // program; a single word without one is looked up on PATH.
  size_t programPieces = 1;
  if (!IsRegularFile(pieces[0])) {
    std::string joined = pieces[0];
    for (size_t k = 1; k < pieces.size(); ++k) {
      joined += ' ';
      joined += pieces[k];
      if (IsRegularFile(joined)) {
        programPieces = k + 1;
        break;
      }
    }
  }
  std::vector<std::string> words;
  {
    std::string program = pieces[0];
    for (size_t k = 1; k < programPieces; ++k) program += ' ' + pieces[k];
    words.push_back(program);
    for (size_t k = programPieces; k < pieces.size(); ++k)
      if (!pieces[k].empty()) words.push_back(pieces[k]);
  }
  return RunArgs(words, 0, wait);
}

bool LinuxProcesses::RunArgs(const std::vector<std::string>& args, int, bool wait) {
  ReapEnded();
  if (args.empty() || args[0].empty()) return false;
  std::vector<std::string> words = args;
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (::posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return false;
  if (!wait) {
    Unreaped().push_back(pid);
    return true;
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void LinuxProcesses::OpenWithShell(const std::string& target) {
  QProcess::startDetached("xdg-open", {QString::fromStdString(target)});
}

// ---- LinuxFileTypes ----

std::string LinuxFileTypes::AssociatedProgram(const std::string& extension) {
  const DesktopAssociations db(XdgFolders::FromEnvironment());
  // There is no Windows folder here; the command text always starts with
  // the quoted program.
  return ProgramFromAssociationCommand(db.AssociationCommand(extension), "");
}

bool LinuxFileTypes::IsProgramType(const std::string& extension) {
  return DesktopAssociations(XdgFolders::FromEnvironment()).IsProgramType(extension);
}

std::vector<std::string> LinuxFileTypes::IconNames(const std::string& extension) {
  QMimeDatabase db;
  const QMimeType t = db.mimeTypeForFile(QString::fromStdString("x" + extension), QMimeDatabase::MatchExtension);
  if (!t.isValid() || t.isDefault()) return {};
  std::vector<std::string> names;
  auto add = [&names](const QString& n) {
    if (n.isEmpty()) return;
    const std::string s = n.toStdString();
    for (const auto& x : names)
      if (x == s) return;
    names.push_back(s);
  };
  add(t.iconName());
  add(t.genericIconName());
  // A type without an icon of its own borrows its parents' ("text/x-csrc" is
  // a "text/plain").
  for (const QString& parent : t.allAncestors()) {
    const QMimeType p = db.mimeTypeForName(parent);
    if (p.isValid() && !p.isDefault()) {
      add(p.iconName());
      add(p.genericIconName());
    }
  }
  return names;
}

std::string LinuxFileTypes::IconName(const std::string& extension) {
  QMimeDatabase db;
  const QMimeType t = db.mimeTypeForFile(QString::fromStdString("x" + extension), QMimeDatabase::MatchExtension);
  if (!t.isValid() || t.isDefault()) return "";
  return t.iconName().toStdString();
}

}  // namespace arkelin::platform

// Copy, move, delete and rename with a progress window and questions.
#include "shared/FileOp.h"

#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/Paths.h"
#include "platform/Platform.h"

namespace arkelin::shared {

namespace fs = std::filesystem;
using platform::BtnCancel;
using platform::BtnNo;
using platform::BtnOK;
using platform::BtnYes;
using platform::MsgKind;

namespace {

FileOpProgressFactory& Factory() {
  static FileOpProgressFactory factory;
  return factory;
}

// Large enough to keep system calls few, small enough that Cancel and
// repainting are served several times a second on slow media.
constexpr size_t kChunk = 1u << 20;

const char* Verb(TFileOp op) {
  switch (op) {
    case foCopy: return "copy";
    case foMove: return "move";
    case foDelete: return "delete";
    case foRename: return "rename";
  }
  return "copy";
}

// A disk name as an absolute path in normal form, without a trailing
// separator (so that filename() is the last component).
fs::path Absolute(const std::string& name) {
  fs::path p = platform::ToFsPath(name);
  std::error_code ec;
  if (p.is_relative()) p = fs::current_path(ec) / p;
  p = p.lexically_normal();
  if (!p.has_filename() && p.has_parent_path() && p != p.root_path()) p = p.parent_path();
  return p;
}

std::string Show(const fs::path& p) { return platform::FromFsPath(p); }

bool Exists(const fs::path& p) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(p, ec));
}

bool IsFolder(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(fs::symlink_status(p, ec));
}

bool HasWildcard(const fs::path& p) {
  const std::string n = p.filename().string();
  return n.find_first_of("*?") != std::string::npos;
}

// Bytes of the regular files at or below p; links count nothing.
int64_t TreeSize(const fs::path& p) {
  std::error_code ec;
  const auto st = fs::symlink_status(p, ec);
  if (ec) return 0;
  if (fs::is_regular_file(st)) {
    const auto n = fs::file_size(p, ec);
    return ec ? 0 : static_cast<int64_t>(n);
  }
  if (!fs::is_directory(st)) return 0;
  int64_t total = 0;
  for (fs::directory_iterator it(p, ec), end; !ec && it != end; it.increment(ec)) total += TreeSize(it->path());
  return total;
}

// "name.ext" -> "name (2).ext", "name (3).ext", ... the first that is free.
fs::path FreeName(const fs::path& target) {
  const fs::path folder = target.parent_path();
  const std::string stem = target.stem().string();
  const std::string ext = target.extension().string();
  for (int n = 2;; ++n) {
    fs::path candidate = folder / (stem + " (" + std::to_string(n) + ")" + ext);
    if (!Exists(candidate)) return candidate;
  }
}

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::weakly_canonical(p, ec);
  return ec ? p : c;
}

bool IsSameOrBelow(const fs::path& inner, const fs::path& outer) {
  const fs::path i = Canonical(inner), o = Canonical(outer);
  auto ii = i.begin();
  for (auto oi = o.begin(); oi != o.end(); ++oi, ++ii) {
    if (oi->empty()) continue;
    if (ii == i.end() || *ii != *oi) return false;
  }
  return true;
}

bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return Exists(b) && fs::equivalent(a, b, ec) && !ec;
}

std::string ErrnoText(int err) { return std::string(std::strerror(err)) + "."; }

}  // namespace

void SetFileOpProgressFactory(FileOpProgressFactory factory) { Factory() = std::move(factory); }

std::string TFileOperation::ShellList(const std::string& list) {
  std::string out;
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(';', start);
    if (end == std::string::npos) end = list.size();
    if (end > start) {
      out.append(list, start, end - start);
      out.push_back('\0');
    }
    start = end + 1;
  }
  if (out.empty()) out.push_back('\0');
  out.push_back('\0');
  return out;
}

std::vector<std::string> TFileOperation::SplitShellList(const std::string& shellList) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start < shellList.size()) {
    const size_t end = shellList.find('\0', start);
    if (end == start || end == std::string::npos) break;  // the double NUL ends the list
    names.push_back(shellList.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::vector<std::string> TFileOperation::SourceNames() const {
  if (Flags & fofLiteralNames) return FilesFrom.empty() ? std::vector<std::string>{} : std::vector<std::string>{FilesFrom};
  return SplitShellList(ShellList(FilesFrom));
}

std::vector<std::string> TFileOperation::DestinationNames() const {
  if (Flags & fofLiteralNames) return FilesTo.empty() ? std::vector<std::string>{} : std::vector<std::string>{FilesTo};
  return SplitShellList(ShellList(FilesTo));
}

bool TFileOperation::Execute() {
  aborted_ = false;
  done_ = 0;
  progress_.reset();
  if (!(Flags & fofSilent) && Factory()) progress_ = Factory()(*this);

  bool ok = false;
  switch (Operation) {
    case foCopy: ok = RunCopyMove(false); break;
    case foMove: ok = RunCopyMove(true); break;
    case foDelete: ok = RunDelete(); break;
    case foRename: ok = RunRename(); break;
  }
  progress_.reset();
  return ok;
}

bool TFileOperation::Fail(const std::string& verb, const fs::path& name, const std::string& reason) {
  platform::Dialogs().MessageBox("Cannot " + verb + " " + Show(name) + ": " + reason, MsgKind::Error, BtnOK);
  return false;
}

void TFileOperation::Pump() { platform::Pump().ProcessMessages(); }

bool TFileOperation::AskStop() {
  const auto answer = platform::Dialogs().MessageBox("Are you sure you want to cancel this operation?",
                                                     MsgKind::Confirm, BtnYes | BtnNo);
  if (answer == BtnYes) return true;
  if (progress_) progress_->Resume();
  return false;
}

std::vector<fs::path> TFileOperation::ExpandSources(const std::vector<std::string>& names, bool& ok) {
  std::vector<fs::path> out;
  ok = true;
  for (const auto& name : names) {
    const fs::path p = Absolute(name);
    if (!(Flags & fofLiteralNames) && HasWildcard(p)) {
      std::string pattern = p.filename().string();
      if (pattern == "*.*") pattern = "*";  // every name, with or without a dot
      std::vector<fs::path> matches;
      std::error_code ec;
      for (fs::directory_iterator it(p.parent_path(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string n = it->path().filename().string();
        if (::fnmatch(pattern.c_str(), n.c_str(), FNM_PERIOD) != 0) continue;
        if ((Flags & fofFilesOnly) && IsFolder(it->path())) continue;
        matches.push_back(it->path());
      }
      std::sort(matches.begin(), matches.end());
      out.insert(out.end(), matches.begin(), matches.end());
      continue;
    }
    if (!Exists(p)) {
      ok = Fail(Verb(Operation), p, "It does not exist.");
      return {};
    }
    out.push_back(p);
  }
  return out;
}

bool TFileOperation::EnsureFolder(const fs::path& folder) {
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return true;
  if (Exists(folder)) return Fail("create the folder", folder, "A file with that name exists.");
  if (!(Flags & (fofNoConfirmMkDir | fofNoConfirmation))) {
    const auto answer = platform::Dialogs().MessageBox(
        "The folder " + Show(folder) + " does not exist.\n\nDo you want to create it?", MsgKind::Confirm,
        BtnYes | BtnNo);
    if (answer != BtnYes) {
      aborted_ = true;
      return false;
    }
  }
  fs::create_directories(folder, ec);
  if (ec) return Fail("create the folder", folder, ec.message() + ".");
  return true;
}

TFileOperation::Step TFileOperation::ResolveCollision(const fs::path& from, fs::path& to) {
  if (!Exists(to)) return Step::Ok;
  if (IsFolder(to)) {
    Fail(Verb(Operation), from, "A folder with the same name exists at the destination.");
    return Step::Fail;
  }
  if (Flags & fofRenameOnCollision) {
    to = FreeName(to);
    return Step::Ok;
  }
  if (Flags & fofNoConfirmation) return Step::Ok;
  const auto answer = platform::Dialogs().MessageBox(
      "The file " + Show(to) + " already exists.\n\nDo you want to replace it?", MsgKind::Confirm,
      BtnYes | BtnNo | BtnCancel);
  if (answer == BtnYes) return Step::Ok;
  if (answer == BtnNo) return Step::Skip;
  return Step::Abort;
}

TFileOperation::Step TFileOperation::CopyFile(const fs::path& from, const fs::path& to) {
  const char* verb = Verb(Operation);
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    Fail(verb, from, ErrnoText(errno));
    return Step::Fail;
  }
  struct stat st {};
  ::fstat(in, &st);

  // The copy goes to a hidden temporary name beside the target and replaces
  // it only when complete.
  std::string tmpl = Show(to.parent_path() / ("." + to.filename().string() + ".part-XXXXXX"));
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int out = ::mkstemp(name.data());
  if (out < 0) {
    const int err = errno;
    ::close(in);
    Fail(verb, from, ErrnoText(err));
    return Step::Fail;
  }
  const std::string temp(name.data());
  auto giveUp = [&](Step s, int err) {
    ::close(in);
    ::close(out);
    ::unlink(temp.c_str());
    if (s == Step::Fail) Fail(verb, from, ErrnoText(err));
    return s;
  };

  // The kernel copies without a trip through user memory where the file
  // systems allow it; otherwise the data goes through a buffer.
  bool inKernel = true;
  std::vector<char> buf;
  for (;;) {
    ssize_t n = 0;
    if (inKernel) {
      n = ::copy_file_range(in, nullptr, out, nullptr, kChunk, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                    errno == EBADF)) {
        inKernel = false;  // the offsets moved only by what was copied so far
        continue;
      }
      if (n < 0) return giveUp(Step::Fail, errno);
      if (n == 0) break;
    } else {
      if (buf.empty()) buf.resize(kChunk);
      n = ::read(in, buf.data(), buf.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        return giveUp(Step::Fail, errno);
      }
      if (n == 0) break;
      for (ssize_t off = 0; off < n;) {
        const ssize_t w = ::write(out, buf.data() + off, static_cast<size_t>(n - off));
        if (w < 0) {
          if (errno == EINTR) continue;
          return giveUp(Step::Fail, errno);
        }
        off += w;
      }
    }
    done_ += n;
    if (progress_) progress_->Done(done_);
    Pump();
    if (progress_ && progress_->CancelRequested() && AskStop()) return giveUp(Step::Abort, 0);
  }

  ::fchmod(out, st.st_mode & 07777);
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out, times);
  ::close(in);
  if (::close(out) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    Fail(verb, from, ErrnoText(err));
    return Step::Fail;
  }
  if (::rename(temp.c_str(), to.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    Fail(verb, from, ErrnoText(err));
    return Step::Fail;
  }
  return Step::Ok;
}

// A move within one file system is one rename; true when that settled it
// (`result` says how), false when the target is on another file system and
// the move becomes a copy followed by a removal.
bool TFileOperation::MoveByRename(const fs::path& from, const fs::path& to, const char* verb, Step& result) {
  const int64_t size = TreeSize(from);
  std::error_code ec;
  fs::rename(from, to, ec);
  if (!ec) {
    done_ += size;
    if (progress_) progress_->Done(done_);
    result = Step::Ok;
    return true;
  }
  if (ec == std::errc::cross_device_link) return false;
  Fail(verb, from, ec.message() + ".");
  result = Step::Fail;
  return true;
}

TFileOperation::Step TFileOperation::CopyFolder(const fs::path& from, const fs::path& toIn, bool move) {
  const char* verb = Verb(Operation);
  fs::path to = toIn;
  std::error_code ec;
  if (Exists(to) && !IsFolder(to)) {
    Fail(verb, from, "A file with the same name exists at the destination.");
    return Step::Fail;
  }
  if (Exists(to) && (Flags & fofRenameOnCollision)) to = FreeName(to);

  Step renamed;
  if (move && !Exists(to) && MoveByRename(from, to, verb, renamed)) return renamed;

  // Otherwise the folder is made (or merged into) and its entries go one by
  // one, each with its own questions.
  if (!Exists(to)) {
    fs::create_directory(to, ec);
    if (ec) {
      Fail(verb, from, ec.message() + ".");
      return Step::Fail;
    }
  }
  std::vector<fs::path> entries;
  for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(it->path());
  if (ec) {
    Fail(verb, from, ec.message() + ".");
    return Step::Fail;
  }
  std::sort(entries.begin(), entries.end());
  bool skipped = false;
  for (const auto& e : entries) {
    const Step s = Transfer(e, to / e.filename(), move);
    if (s == Step::Abort || s == Step::Fail) return s;
    if (s == Step::Skip) skipped = true;
  }
  std::error_code pec;
  fs::permissions(to, fs::status(from, pec).permissions(), pec);
  if (move && !skipped) {
    fs::remove(from, ec);
    if (ec) {
      Fail(verb, from, ec.message() + ".");
      return Step::Fail;
    }
  }
  return skipped ? Step::Skip : Step::Ok;
}

TFileOperation::Step TFileOperation::Transfer(const fs::path& from, const fs::path& toIn, bool move) {
  const char* verb = Verb(Operation);
  Pump();
  if (progress_ && progress_->CancelRequested() && AskStop()) return Step::Abort;

  if (IsFolder(from)) return CopyFolder(from, toIn, move);

  fs::path to = toIn;
  const Step c = ResolveCollision(from, to);
  if (c != Step::Ok) return c;
  if (progress_) {
    if (Flags & fofSimpleProgress)
      progress_->Item("", "");
    else
      progress_->Item(Show(from), Show(to));
  }

  std::error_code ec;
  const bool link = fs::is_symlink(fs::symlink_status(from, ec));
  Step renamed;
  if (move && MoveByRename(from, to, verb, renamed)) return renamed;
  ec.clear();

  if (link) {
    const fs::path target = fs::read_symlink(from, ec);
    if (!ec && Exists(to)) fs::remove(to, ec);
    if (!ec) fs::create_symlink(target, to, ec);
    if (ec) {
      Fail(verb, from, ec.message() + ".");
      return Step::Fail;
    }
  } else {
    const Step s = CopyFile(from, to);
    if (s != Step::Ok) return s;
  }
  if (move) {
    fs::remove(from, ec);
    if (ec) {
      Fail(verb, from, ec.message() + ".");
      return Step::Fail;
    }
  }
  return Step::Ok;
}

bool TFileOperation::RunCopyMove(bool move) {
  const char* verb = Verb(Operation);
  bool ok = true;
  const auto fromNames = SourceNames();
  const auto sources = ExpandSources(fromNames, ok);
  if (!ok) return false;
  if (sources.empty()) return true;
  const auto dests = DestinationNames();

  std::vector<Pair> pairs;
  if (Flags & fofMultiDestFiles) {
    if (dests.size() != sources.size())
      return Fail(verb, sources[0], "The number of destinations does not match the number of sources.");
    for (size_t i = 0; i < sources.size(); ++i) {
      const fs::path to = Absolute(dests[i]);
      if (!EnsureFolder(to.parent_path())) return false;
      pairs.push_back({sources[i], to});
    }
  } else {
    std::error_code ec;
    const fs::path dest = dests.empty() ? fs::current_path(ec) : Absolute(dests[0]);
    bool wildcard = false;
    for (const auto& n : fromNames)
      wildcard = wildcard || (!(Flags & fofLiteralNames) && HasWildcard(platform::ToFsPath(n)));
    const bool intoFolder = sources.size() > 1 || wildcard || IsFolder(Canonical(dest)) ||
                            (!dests.empty() && dests[0].back() == '/');
    if (intoFolder) {
      if (!EnsureFolder(dest)) return false;
      for (const auto& s : sources) pairs.push_back({s, dest / s.filename()});
    } else {
      if (!EnsureFolder(dest.parent_path())) return false;
      pairs.push_back({sources[0], dest});
    }
  }

  int64_t total = 0;
  for (const auto& s : sources) total += TreeSize(s);
  if (progress_) progress_->Start(ProgressTitle, total);

  bool all = true;
  for (auto& p : pairs) {
    if (SameFile(p.from, p.to)) {
      if (move) continue;          // already where it should go
      p.to = FreeName(p.to);       // a copy beside the original
    }
    if (IsFolder(p.from) && IsSameOrBelow(p.to, p.from))
      return Fail(verb, p.from, "The destination folder is a subfolder of the source folder.");
    const Step s = Transfer(p.from, p.to, move);
    if (s == Step::Abort) {
      aborted_ = true;
      return false;
    }
    if (s == Step::Fail) return false;
    if (s == Step::Skip) all = false;
  }
  return all;
}

bool TFileOperation::RunDelete() {
  bool ok = true;
  const auto sources = ExpandSources(SourceNames(), ok);
  if (!ok) return false;
  if (sources.empty()) return true;
  const bool trash = Flags & fofAllowUndo;

  if (!(Flags & fofNoConfirmation)) {
    std::string text;
    if (sources.size() == 1)
      text = trash ? "Are you sure you want to move '" + Show(sources[0]) + "' to the trash?"
                   : "Are you sure you want to delete '" + Show(sources[0]) + "'?";
    else
      text = trash ? "Are you sure you want to move these " + std::to_string(sources.size()) + " items to the trash?"
                   : "Are you sure you want to delete these " + std::to_string(sources.size()) + " items?";
    if (platform::Dialogs().MessageBox(text, MsgKind::Confirm, BtnYes | BtnNo) != BtnYes) {
      aborted_ = true;
      return false;
    }
  }

  if (progress_) progress_->Start(ProgressTitle, 0);
  for (const auto& s : sources) {
    Pump();
    if (progress_ && progress_->CancelRequested() && AskStop()) {
      aborted_ = true;
      return false;
    }
    if (progress_) {
      if (Flags & fofSimpleProgress)
        progress_->Item("", "");
      else
        progress_->Item(Show(s), "");
    }
    if (trash) {
      if (!platform::Files().MoveToTrash(Show(s))) return Fail("delete", s, "It could not be moved to the trash.");
    } else {
      std::error_code ec;
      fs::remove_all(s, ec);
      if (ec) return Fail("delete", s, ec.message() + ".");
    }
  }
  return true;
}

bool TFileOperation::RunRename() {
  const auto from = SourceNames();
  const auto to = DestinationNames();
  if (from.size() != 1 || to.size() != 1)
    return Fail("rename", Absolute(from.empty() ? "" : from[0]), "Give exactly one name and one new name.");
  const fs::path source = Absolute(from[0]);
  if (!Exists(source)) return Fail("rename", source, "It does not exist.");
  fs::path target = platform::ToFsPath(to[0]);
  // A bare new name stays in the source's folder.
  target = target.has_parent_path() ? Absolute(to[0]) : source.parent_path() / target;
  if (source == target) return true;
  if (Exists(target))
    return Fail("rename", source, "A file with the name you specified already exists. Specify a different file name.");
  if (progress_) {
    progress_->Start(ProgressTitle, 0);
    progress_->Item((Flags & fofSimpleProgress) ? "" : Show(source), (Flags & fofSimpleProgress) ? "" : Show(target));
  }
  std::error_code ec;
  fs::rename(source, target, ec);
  if (ec) return Fail("rename", source, ec.message() + ".");
  return true;
}

}  // namespace arkelin::shared

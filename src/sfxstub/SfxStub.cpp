// ru2001.bin: the self-extractor stub. A small statically linked program
// that, run under any name, reads its own file, finds the 256-byte parameter
// block right after its own ELF image, and extracts the ZIP archive behind
// it into a folder, with the options of the block:
//
//   caption        printed as the first line
//   default folder where the files go ("><" = the system temporary folder)
//   overwrite mode ask / always / never ("ask" asks on the terminal)
//   command line   run afterwards: "|" separates the program from its
//                  arguments, "><" becomes the extract folder
//   ask switches   ask before running the command line; offer a numbered
//                  list of the files to choose from
//   size check     the file must end where the archive ends
//
// Flags for scripts: -d DIR, -y (answer yes), -n (never overwrite), -l
// (list), -t (test), -p PASSWORD. Stored and deflated entries are read,
// with the traditional encryption. Everything is written through the
// engine's ExtractRoot, so nothing lands outside the folder. The exit code
// is 0 only when every chosen entry was extracted (or tested) intact.
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/common/DosTime.h"
#include "engine/common/EntryPath.h"
#include "engine/common/ExtractRoot.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/SfxHeader.h"
#include "sfxstub/ElfExtent.h"
#include "sfxstub/StubCore.h"

namespace {

using namespace arkelin::engine;
using sfxstub::Decode;
using sfxstub::HeaderFolder;
using sfxstub::ParseChoice;
using zip::dll::ArchiveFile;
using zip::dll::CentralEntry;

enum Exit { kOk = 0, kFailed = 1, kUsage = 2, kNoArchive = 3 };
enum class Overwrite { kAsk, kAlways, kNever };

struct Options {
  std::string folder;  // -d
  bool haveFolder = false;
  bool yes = false;    // -y
  bool never = false;  // -n
  bool list = false;   // -l
  bool test = false;   // -t
  std::string password;
  bool havePassword = false;
};

void Usage(const char* self) {
  std::fprintf(stderr,
               "usage: %s [-d FOLDER] [-y] [-n] [-l] [-t] [-p PASSWORD]\n"
               "  -d FOLDER    extract into FOLDER\n"
               "  -y           answer every question with yes\n"
               "  -n           never overwrite existing files\n"
               "  -l           list the contents\n"
               "  -t           test the contents\n"
               "  -p PASSWORD  password for encrypted files\n",
               self);
}

bool ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= argc) return false;
      into = argv[++i];
      return true;
    };
    if (a == "-d") {
      if (!value(o.folder)) return false;
      o.haveFolder = true;
    } else if (a == "-p") {
      if (!value(o.password)) return false;
      o.havePassword = true;
    } else if (a == "-y") {
      o.yes = true;
    } else if (a == "-n") {
      o.never = true;
    } else if (a == "-l") {
      o.list = true;
    } else if (a == "-t") {
      o.test = true;
    } else {
      return false;
    }
  }
  return true;
}

// One line from the terminal (standard input); false at its end.
bool ReadLine(std::string& line) {
  line.clear();
  std::fflush(stdout);
  int c;
  while ((c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return c != EOF || !line.empty();
}





// Runs the command line; its exit status, or -1 when it could not run.
int RunCommand(const std::string& commandLine, const std::string& folder) {
  std::vector<std::string> args = sfxstub::CommandArguments(commandLine, folder);
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::execvp(argv[0], argv.data());
    std::fprintf(stderr, "cannot run %s: %s\n", argv[0], std::strerror(errno));
    ::_exit(127);
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return -1;
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 127 ? -1 : WEXITSTATUS(status);
}



std::string DateText(const CentralEntry& e) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d", 1980 + (e.dosDate >> 9), (e.dosDate >> 5) & 15,
                e.dosDate & 31, e.dosTime >> 11, (e.dosTime >> 5) & 63);
  return buf;
}

class Extractor {
 public:
  Extractor(const ArchiveFile& file, const zip::dll::CentralDirectory& dir, const Options& o,
            const zip::dll::SfxHeader& h)
      : file_(file), dir_(dir), opt_(o), header_(h) {
    if (o.havePassword) {
      password_ = o.password;
      havePassword_ = true;
    }
    mode_ = o.never                                                  ? Overwrite::kNever
            : o.yes                                                  ? Overwrite::kAlways
            : (h.options & zip::dll::kSfxOverwriteNever) != 0  ? Overwrite::kNever
            : (h.options & zip::dll::kSfxOverwriteAlways) != 0 ? Overwrite::kAlways
                                                                     : Overwrite::kAsk;
  }

  int Run(const std::vector<bool>& chosen, const std::string& folder) {
    std::string why;
    if (!opt_.test && !root_.Open(folder, true, why)) {
      std::fprintf(stderr, "%s\n", why.c_str());
      return kFailed;
    }
    int failures = 0, done = 0;
    for (size_t i = 0; i < dir_.entries.size(); ++i) {
      if (!chosen[i]) continue;
      const Result r = One(i);
      if (r == Result::kStop) {
        std::fprintf(stderr, "Stopped.\n");
        return kFailed;
      }
      if (r == Result::kFailed) ++failures;
      if (r == Result::kDone) ++done;
    }
    if (!opt_.test) {
      auto fin = root_.Finish([this](size_t, const std::vector<std::string>& parts, const common::OnDisk&) {
        return Replace(common::JoinParts(parts)) ? 1 : 0;
      });
      for (const auto& l : fin.links)
        if (!l.created && !l.failure.empty()) {
          std::fprintf(stderr, "%s: link not made: %s\n", common::JoinParts(l.parts).c_str(), l.failure.c_str());
          ++failures;
        }
    }
    std::printf("%d file(s) %s, %d error(s)\n", done, opt_.test ? "tested" : "extracted", failures);
    return failures ? kFailed : kOk;
  }

 private:
  enum class Result { kDone, kSkipped, kFailed, kStop };

  // Whether an existing file may be replaced; asks in "ask" mode.
  bool Replace(const std::string& name) {
    if (mode_ == Overwrite::kAlways) return true;
    if (mode_ == Overwrite::kNever) return false;
    for (;;) {
      std::printf("%s exists. Overwrite? [y]es, [n]o, [A]ll, [N]one, [q]uit: ", name.c_str());
      std::string a;
      if (!ReadLine(a)) {
        std::printf("\n");
        stop_ = true;
        return false;
      }
      if (a == "y" || a == "Y" || a == "yes") return true;
      if (a == "n" || a == "no") return false;
      if (a == "A") {
        mode_ = Overwrite::kAlways;
        return true;
      }
      if (a == "N") {
        mode_ = Overwrite::kNever;
        return false;
      }
      if (a == "q" || a == "Q") {
        stop_ = true;
        return false;
      }
    }
  }

  const std::string* PasswordFor(const CentralEntry& e) {
    if (havePassword_) return &password_;
    std::printf("Password for %s: ", e.name.c_str());
    std::string p;
    if (!ReadLine(p)) return nullptr;
    password_ = p;
    havePassword_ = true;
    return &password_;
  }

  Result One(size_t index) {
    const CentralEntry& e = dir_.entries[index];
    std::vector<std::string> parts;
    std::string why;
    if (!common::SplitEntryName(e.name, parts, why)) {
      std::fprintf(stderr, "%s: refused: %s\n", e.name.c_str(), why.c_str());
      return Result::kFailed;
    }
    const std::string shown = common::JoinParts(parts);
    const int64_t mtime = e.mtime >= 0 ? e.mtime : common::DosToUnix(e.dosTime, e.dosDate);
    if (e.IsDirectory()) {
      if (opt_.test) return Result::kSkipped;
      if (!root_.MakeFolder(parts, mtime, why)) {
        std::fprintf(stderr, "%s: %s\n", shown.c_str(), why.c_str());
        return Result::kFailed;
      }
      return Result::kSkipped;
    }
    const std::string* password = nullptr;
    if (e.IsEncrypted()) password = PasswordFor(e);
    if (opt_.test) {
      const bool ok = Decode(file_, e, password, [](const uint8_t*, size_t) { return true; }, why);
      std::printf("%s %s\n", ok ? "OK     " : "FAILED ", shown.c_str());
      if (!ok) std::fprintf(stderr, "%s: %s\n", shown.c_str(), why.c_str());
      if (!ok && why == "wrong password" && !opt_.havePassword) havePassword_ = false;
      return ok ? Result::kDone : Result::kFailed;
    }
    if (root_.Look(parts).kind != common::OnDisk::kNone && !Replace(shown))
      return stop_ ? Result::kStop : Result::kSkipped;
    if (e.IsSymlink()) {
      std::string text;
      const bool ok = Decode(file_, e, password,
                             [&](const uint8_t* p, size_t n) {
                               text.append(reinterpret_cast<const char*>(p), n);
                               return text.size() <= common::kPathMax;
                             },
                             why);
      if (!ok) {
        std::fprintf(stderr, "%s: %s\n", shown.c_str(), why.c_str());
        return Result::kFailed;
      }
      root_.AddLink(parts, text, mtime, index);
      return Result::kDone;
    }
    common::ExtractRoot::File f;
    if (!root_.BeginFile(parts, f, why)) {
      std::fprintf(stderr, "%s: %s\n", shown.c_str(), why.c_str());
      return Result::kFailed;
    }
    const bool ok = Decode(file_, e, password, [&](const uint8_t* p, size_t n) { return f.Write(p, n); }, why);
    if (!ok) {
      f.Discard();
      std::fprintf(stderr, "%s: %s\n", shown.c_str(), why.c_str());
      if (why == "wrong password" && !opt_.havePassword) havePassword_ = false;
      return Result::kFailed;
    }
    const uint32_t mode = e.UnixMode() ? e.UnixMode() : 0644;
    if (!f.Commit(mode & 0777 ? mode : 0644, mtime, why)) {
      std::fprintf(stderr, "%s: %s\n", shown.c_str(), why.c_str());
      return Result::kFailed;
    }
    std::printf("  %s\n", shown.c_str());
    return Result::kDone;
  }

  const ArchiveFile& file_;
  const zip::dll::CentralDirectory& dir_;
  const Options& opt_;
  const zip::dll::SfxHeader& header_;
  common::ExtractRoot root_;
  Overwrite mode_ = Overwrite::kAsk;
  std::string password_;
  bool havePassword_ = false;
  bool stop_ = false;
};

bool AskYes(const std::string& question, bool yes) {
  if (yes) return true;
  std::printf("%s [Y/n]: ", question.c_str());
  std::string a;
  if (!ReadLine(a)) return false;
  return a.empty() || a == "y" || a == "Y" || a == "yes";
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  if (!ParseArgs(argc, argv, opt)) {
    Usage(argv[0]);
    return kUsage;
  }
  ArchiveFile self;
  if (!self.Open("/proc/self/exe")) {
    std::fprintf(stderr, "cannot read this program's own file: %s\n", std::strerror(errno));
    return kNoArchive;
  }
  uint64_t stubSize = 0;
  if (!sfxstub::ElfImageEnd(self, stubSize)) {
    std::fprintf(stderr, "cannot find the end of this program's image\n");
    return kNoArchive;
  }
  uint8_t block[zip::dll::kSfxHeaderSize];
  zip::dll::SfxHeader header;
  if (!self.ReadAt(stubSize, block, sizeof block) || !zip::dll::ParseSfxHeader(block, sizeof block, header)) {
    std::fprintf(stderr, "this program carries no self-extracting archive\n");
    return kNoArchive;
  }
  std::printf("%s\n", header.caption.empty() ? "Self-extracting Archive" : header.caption.c_str());

  zip::dll::CentralDirectory dir;
  const zip::dll::ReadResult r = zip::dll::ReadCentralDirectory(self, dir);
  if (!r.Ok()) {
    std::fprintf(stderr, "the archive is damaged: %s\n", r.message.c_str());
    return kFailed;
  }
  if (!(header.options & zip::dll::kSfxNoSizeCheck)) {
    // The archive must end the file and start right after the block: a file
    // cut short or grown is refused before anything is written.
    zip::dll::EndInfo end;
    const bool found = zip::dll::FindEndRecord(self, end).Ok();
    const uint64_t start = stubSize + zip::dll::kSfxHeaderSize;
    if (!found || end.dataEnd != self.Size() || (!dir.entries.empty() && dir.FirstLocalOffset() != start)) {
      std::fprintf(stderr, "the size check failed: the file is not the one that was built (%llu bytes)\n",
                   static_cast<unsigned long long>(self.Size()));
      return kFailed;
    }
  }
  for (const auto& e : dir.entries)
    if (e.localOffset >= self.Size()) {
      std::fprintf(stderr, "the archive is damaged: %s lies past the end of the file\n", e.name.c_str());
      return kFailed;
    }

  if (opt.list) {
    uint64_t total = 0;
    for (const auto& e : dir.entries) {
      std::printf("%12llu  %s  %s%s\n", static_cast<unsigned long long>(e.uncompressedSize), DateText(e).c_str(),
                  e.name.c_str(), e.IsEncrypted() ? " *" : "");
      total += e.uncompressedSize;
    }
    std::printf("%12llu  %zu file(s)\n", static_cast<unsigned long long>(total), dir.entries.size());
    return kOk;
  }

  const bool autoRun = (header.options & zip::dll::kSfxAutoRun) != 0;
  const bool yes = opt.yes || autoRun;
  std::vector<bool> chosen(dir.entries.size(), true);
  if (!opt.test && (header.options & zip::dll::kSfxAskFiles) && !yes) {
    for (size_t i = 0; i < dir.entries.size(); ++i)
      std::printf("%4zu  %s\n", i + 1, dir.entries[i].name.c_str());
    for (;;) {
      std::printf("Files to extract (for example 1,3-5; Enter for all): ");
      std::string a;
      if (!ReadLine(a)) {
        std::printf("\n");
        return kFailed;
      }
      if (ParseChoice(a, dir.entries.size(), chosen)) break;
      std::printf("Please give numbers from 1 to %zu.\n", dir.entries.size());
    }
  }

  const std::string folder = opt.haveFolder ? opt.folder : HeaderFolder(header.defaultDir);
  if (!opt.test) {
    std::printf("Extracting to %s\n", folder.c_str());
    if (!(header.options & zip::dll::kSfxHideOverwrite) && !opt.yes && !opt.never) {
      const char* how = (header.options & zip::dll::kSfxOverwriteAlways) ? "overwrite"
                        : (header.options & zip::dll::kSfxOverwriteNever) ? "skip"
                                                                            : "ask";
      std::printf("Existing files: %s (-y overwrites, -n skips)\n", how);
    }
  }
  Extractor x(self, dir, opt, header);
  const int result = x.Run(chosen, folder);
  if (result != kOk || opt.test || header.commandLine.empty()) return result;
  if ((header.options & zip::dll::kSfxAskCmdLine) && !AskYes("Run " + header.commandLine + "?", yes)) return kOk;
  const int rc = RunCommand(header.commandLine, folder);
  if (rc != 0) {
    std::fprintf(stderr, "the command line failed (%d)\n", rc);
    return kFailed;
  }
  return kOk;
}

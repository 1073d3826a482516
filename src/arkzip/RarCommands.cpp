// arkzip list|test|extract for RAR archives: sets TRAR's properties from the
// command line, prints its events, and turns its error codes into exit codes.
#include "arkzip/RarCommands.h"

#include <cstdio>
#include <string>

#include "engine/rar/RARArc.h"

using arkelin::engine::rar::TRAR;

namespace {

constexpr int kOk = 0;
constexpr int kEntriesFailed = 1;
constexpr int kCannotRun = 2;

bool IsWholeArchiveError(int code) {
  return code == ERAR_BAD_ARCHIVE || code == ERAR_UNKNOWN_FORMAT || code == ERAR_EOPEN || code == ERAR_NO_MEMORY ||
         code == arkelin::engine::rar::kNoLibrary;
}

}  // namespace

int RunRarCommand(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: arkzip list|test|extract ARCHIVE.rar [--dir D] [--password P]\n");
    return kCannotRun;
  }
  const std::string& command = args[0];
  std::string dir, password;
  bool havePassword = false;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--dir" && i + 1 < args.size()) {
      dir = args[++i];
    } else if (args[i] == "--password" && i + 1 < args.size()) {
      password = args[++i];
      havePassword = true;
    } else {
      std::fprintf(stderr, "arkzip: unknown option for a RAR archive: %s\n", args[i].c_str());
      return kCannotRun;
    }
  }
  if (command != "list" && command != "test" && command != "extract") {
    std::fprintf(stderr, "arkzip: RAR archives are read-only; only list, test and extract work on them\n");
    return kCannotRun;
  }

  TRAR rar;
  if (!rar.LoadedDLL()) {
    std::fprintf(stderr,
                 "arkzip: RAR archives are not available yet: no UnRAR library was found "
                 "(neither the system libunrar.so nor libarkunrar.so beside arkzip)\n");
    return kCannotRun;
  }
  rar.ArchiveName = args[1];
  rar.TargetDir = dir;
  bool fatal = false;
  int failures = 0;
  rar.OnError = [&](TRAR&, int code) {
    std::fprintf(stderr, "arkzip: %s: %s\n", args[1].c_str(), TRAR::ErrorText(code).c_str());
    if (IsWholeArchiveError(code)) fatal = true;
    ++failures;
  };
  rar.OnComment = [](TRAR&, const arkelin::engine::rar::TComment& c) { std::printf("Comment: %s\n", c.Text.c_str()); };
  rar.OnReqPassword = [&](TRAR&, const RARHeaderDataEx&, std::string& pw) {
    if (havePassword) pw = password;
  };

  bool ok = true;
  if (command == "list") {
    unsigned long long total = 0;
    unsigned long count = 0;
    rar.OnListFile = [&](TRAR&, const RARHeaderDataEx& h) {
      unsigned long long size = (static_cast<unsigned long long>(h.UnpSizeHigh) << 32) | h.UnpSize;
      std::printf("%12llu  %08X  %s%s\n", size, h.FileCRC, h.FileName, (h.Flags & RHDF_ENCRYPTED) ? " *" : "");
      total += size;
      ++count;
    };
    rar.ListFiles();
    if (!fatal) std::printf("%12llu  %lu files\n", total, count);
    ok = failures == 0;
  } else if (command == "test") {
    rar.OnTested = [](TRAR&, const RARHeaderDataEx& h, bool good) {
      std::printf("%s  %s\n", good ? "OK    " : "FAILED", h.FileName);
    };
    ok = rar.TestFiles();
  } else {
    rar.OnExtract = [](TRAR&, const RARHeaderDataEx& h, bool good) {
      std::printf("%s  %s\n", good ? "extracted" : "FAILED   ", h.FileName);
    };
    ok = rar.ExtractFiles();
  }
  if (fatal) return kCannotRun;
  return ok ? kOk : kEntriesFailed;
}

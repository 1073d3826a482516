// arkzip list|test|extract for RAR archives: sets TRAR's properties from the
// command line, prints its events, and turns its error codes into exit codes.
// Typed specifications select entries by wildcard, as they do for ZIP.
#include "arkzip/RarCommands.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "arkzip/ListFormat.h"
#include "engine/rar/RARArc.h"
#include "platform/Paths.h"

using arkelin::engine::rar::TRAR;

namespace {

constexpr int kOk = 0;
constexpr int kEntriesFailed = 1;
constexpr int kCannotRun = 2;

bool IsWholeArchiveError(int code) {
  return code == ERAR_BAD_ARCHIVE || code == ERAR_UNKNOWN_FORMAT || code == ERAR_EOPEN || code == ERAR_NO_MEMORY ||
         code == arkelin::engine::rar::kNoLibrary;
}

struct Options {
  std::string dir, password;
  bool havePassword = false, dirnames = false, overwrite = false, update = false, freshen = false;
  std::vector<std::string> specs;
};

bool Parse(const std::vector<std::string>& args, const std::string& command, Options& o) {
  const bool extract = command == "extract";
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    const bool hasValue = i + 1 < args.size();
    if (a == "--password" && hasValue) {
      o.password = args[++i];
      o.havePassword = true;
    } else if (extract && a == "--dir" && hasValue) {
      o.dir = args[++i];
    } else if (extract && a == "--dirnames") {
      o.dirnames = true;
    } else if (extract && a == "--overwrite") {
      o.overwrite = true;
    } else if (extract && a == "--update") {
      o.update = true;
    } else if (extract && a == "--freshen") {
      o.freshen = true;
    } else if (extract && a.rfind("--", 0) != 0) {
      o.specs.push_back(a);
    } else {
      std::fprintf(stderr, "arkzip: unknown option %s\n", a.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace

int RunRarCommand(const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::fprintf(stderr, "usage: arkzip list|test|extract ARCHIVE.rar [options]\n");
    return kCannotRun;
  }
  const std::string& command = args[0];
  if (command != "list" && command != "test" && command != "extract") {
    std::fprintf(stderr, "arkzip: RAR archives are read-only; only list, test and extract work on them\n");
    return kCannotRun;
  }
  Options o;
  if (!Parse(args, command, o)) return kCannotRun;

  TRAR rar;
  if (!rar.LoadedDLL()) {
    std::fprintf(stderr, "arkzip: no UnRAR library was found (neither the system libunrar.so nor libarkunrar.so "
                         "beside arkzip)\n");
    return kCannotRun;
  }
  rar.ArchiveName = args[1];
  bool fatal = false;
  int failures = 0;
  rar.OnError = [&](TRAR&, int code) {
    std::fprintf(stderr, "arkzip: %s: %s\n", args[1].c_str(), TRAR::ErrorText(code).c_str());
    if (IsWholeArchiveError(code)) fatal = true;
    ++failures;
  };
  rar.OnComment = [](TRAR&, const arkelin::engine::rar::TComment& c) {
    std::printf("Comment: %s\n", arkzip::Printable(c.Text).c_str());
  };
  // The one password given stands for the headers and for every entry.
  rar.OnReqPassword = [&](TRAR&, const RARHeaderDataEx&, std::string& pw) {
    if (o.havePassword) pw = o.password;
  };

  bool ok = true;
  if (command == "list") {
    int64_t total = 0, packed = 0;
    int count = 0;
    bool headerShown = false;
    rar.OnListFile = [&](TRAR&, const RARHeaderDataEx& h) {
      if (!headerShown) arkzip::PrintListHeader(args[1]);
      headerShown = true;
      const auto size = static_cast<int64_t>((static_cast<uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize);
      const auto pack = static_cast<int64_t>((static_cast<uint64_t>(h.PackSizeHigh) << 32) | h.PackSize);
      arkzip::PrintListRow(size, pack, h.FileTime, h.FileCRC, TRAR::EntryName(h));
      total += size;
      packed += pack;
      ++count;
    };
    rar.ListFiles();
    if (!fatal) {
      if (!headerShown) arkzip::PrintListHeader(args[1]);
      arkzip::PrintListTotals(count, total, packed);
    }
    ok = failures == 0;
  } else if (command == "test") {
    rar.OnTested = [](TRAR&, const RARHeaderDataEx& h, bool good) {
      if (!good) std::fprintf(stderr, "arkzip: %s: failed\n", arkzip::Printable(TRAR::EntryName(h)).c_str());
    };
    ok = rar.TestFiles();
    std::printf("%d file(s) tested OK\n", rar.SuccessCount());
  } else {
    // As for ZIP: the folder is made first, and one that cannot be made
    // stops the command before anything is read.
    if (!o.dir.empty()) {
      std::error_code ec;
      const std::filesystem::path dir = arkelin::platform::ToFsPath(o.dir);
      std::filesystem::create_directories(dir, ec);
      if (!std::filesystem::is_directory(dir, ec)) {
        std::fprintf(stderr, "arkzip: cannot create the folder %s\n", o.dir.c_str());
        return kCannotRun;
      }
    }
    rar.TargetDir = o.dir.empty() ? "." : o.dir;
    rar.ExtrOptions.DirNames = o.dirnames;
    rar.ExtrOptions.OverWrite = o.overwrite;
    rar.ExtrOptions.Update = o.update;
    rar.ExtrOptions.Freshen = o.freshen;
    rar.SpecsToExtract = o.specs;
    rar.OnExtract = [](TRAR&, const RARHeaderDataEx& h, bool good) {
      if (!good) std::fprintf(stderr, "arkzip: %s: not extracted\n", arkzip::Printable(TRAR::EntryName(h)).c_str());
    };
    ok = rar.ExtractFiles();
    std::printf("%d file(s) extracted\n", rar.SuccessCount());
  }
  if (fatal) return kCannotRun;
  return ok ? kOk : kEntriesFailed;
}

// arkzip: the command-line companion of the archive window, over the same
// TZipMaster the window uses, so scripts, interoperability tests and
// benchmarks exercise the real path. Commands: list, add, extract, test,
// delete, passwd, and (SfxSpanCommands) sfx, unsfx, split and join. Exit codes: 0 success, 1 some files failed, 2 error.
// Archives whose name ends in ".rar" go to the RAR commands when they are
// built into the program, and so do other names (a RAR self-extracting
// program, an old-style volume ".r00") that list, test or extract a file
// holding no ZIP directory but a RAR signature.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "arkzip/ListFormat.h"
#include "arkzip/SfxSpanCommands.h"
#include "engine/zip/ZipMstr.h"
#include "engine/zip/dll/common/NameEncoding.h"
#include "platform/LinuxPlatform.h"
#include "platform/Paths.h"
#include "platform/Platform.h"

#if __has_include("arkzip/RarCommands.h")
#include "arkzip/RarCommands.h"
#include "engine/rar/archive/HeaderReader.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#define ARKZIP_HAVE_RAR 1
#endif

using arkelin::engine::zip::TZipMaster;
using arkelin::engine::zip::ZipDirEntry;
namespace zip = arkelin::engine::zip;

namespace {

constexpr int kOk = 0, kSomeFailed = 1, kError = 2;

int Usage() {
  std::fputs(
      "usage:\n"
      "  arkzip list ARCHIVE [--names CODEPAGE]\n"
      "  arkzip add ARCHIVE [--level N] [--recurse] [--dirnames] [--move] [--update] [--freshen] "
      "[--password P [--aes 128|192|256]] PATH...\n"
      "  arkzip extract ARCHIVE [--dir D] [--dirnames] [--overwrite] [--update] [--freshen] "
      "[--password P] [--names CODEPAGE] [SPEC...]\n"
      "  arkzip test ARCHIVE [--password P] [--names CODEPAGE]\n"
      "  (CODEPAGE: Auto, CP437, CP850, CP852, CP866, CP1250, CP1251, CP1252, Shift-JIS, GBK, Big5, EUC-KR,\n"
      "   KOI8-R: what names without the UTF-8 mark are read in)\n"
      "  arkzip delete ARCHIVE [--names CODEPAGE] SPEC...\n"
      "  arkzip passwd ARCHIVE --password OLD --new-password NEW [--aes 128|192|256] [--names CODEPAGE]\n"
      "  (encrypts every file entry again with NEW, also those that were not encrypted;\n"
      "   OLD must open every entry encrypted now; without --aes: traditional encryption)\n"
      "  arkzip sfx ARCHIVE.zip [--caption C] [--dir D] [--run CMD] [--overwrite ask|always|never]\n"
      "  arkzip unsfx ARCHIVE.exe\n"
      "  arkzip split ARCHIVE --size N [--standard] [--dir D]\n"
      "  arkzip join VOLUME [--out FILE]\n",
      stderr);
  return kError;
}

bool EndsWithNoCase(const std::string& s, const std::string& suffix) {
  if (s.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[s.size() - suffix.size() + i])) !=
        std::tolower(static_cast<unsigned char>(suffix[i])))
      return false;
  return true;
}

struct Session {
  TZipMaster zm;
  int errors = 0;    // error messages from the engine (code above 0)
  int messages = 0;  // every message, the component's own included

  Session() {
    zm.Unattended = true;
    zm.OnMessage = [this](TZipMaster&, int code, const std::string& text) {
      if (code > 0) ++errors;
      ++messages;
      std::fprintf(stderr, "arkzip: %s\n", text.c_str());
    };
    zm.SetDLLDirectory(arkelin::platform::EngineFolder());
  }
};

// Options shared by the writing and reading commands.
struct Options {
  std::vector<std::string> rest;
  int level = -1;
  std::string dir, password, newPassword;
  bool recurse = false, dirnames = false, move = false, update = false, freshen = false, overwrite = false;
  bool passwordGiven = false, newPasswordGiven = false;
  int aes = 0;
  int names = 0;  // dll::NameEncoding
};

bool ParseOptions(const std::vector<std::string>& args, size_t from, Options& o, const std::string& allowed) {
  for (size_t i = from; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto flagOk = [&](const char* f) { return allowed.find(std::string(f) + " ") != std::string::npos; };
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    if (a.rfind("--", 0) != 0) { o.rest.push_back(a); continue; }
    if (!flagOk(a.c_str())) { std::fprintf(stderr, "arkzip: unknown option %s\n", a.c_str()); return false; }
    std::string v;
    if (a == "--level") {
      if (!value(v) || v.size() != 1 || v[0] < '0' || v[0] > '9') {
        std::fprintf(stderr, "arkzip: --level takes 0 to 9\n");
        return false;
      }
      o.level = v[0] - '0';
    } else if (a == "--dir") {
      if (!value(o.dir)) return false;
    } else if (a == "--password") {
      if (!value(o.password)) return false;
      o.passwordGiven = true;
    } else if (a == "--new-password") {
      if (!value(o.newPassword)) return false;
      o.newPasswordGiven = true;
    } else if (a == "--aes") {
      if (!value(v) || (v != "128" && v != "192" && v != "256")) {
        std::fprintf(stderr, "arkzip: --aes takes 128, 192 or 256\n");
        return false;
      }
      o.aes = std::stoi(v);
    } else if (a == "--names") {
      zip::dll::NameEncoding e{};
      if (!value(v) || !zip::dll::ParseNameEncoding(v, e)) {
        std::fprintf(stderr, "arkzip: --names takes Auto, CP437, CP850, CP852, CP866, CP1250, CP1251, CP1252, "
                             "Shift-JIS, GBK, Big5, EUC-KR or KOI8-R\n");
        return false;
      }
      o.names = static_cast<int>(e);
    } else if (a == "--recurse") o.recurse = true;
    else if (a == "--dirnames") o.dirnames = true;
    else if (a == "--move") o.move = true;
    else if (a == "--update") o.update = true;
    else if (a == "--freshen") o.freshen = true;
    else if (a == "--overwrite") o.overwrite = true;
  }
  return true;
}

int List(const std::string& archive, const std::vector<std::string>& args) {
  Options o;
  if (!ParseOptions(args, 2, o, "--names ") || !o.rest.empty()) return Usage();
  Session s;
  s.zm.NameCodePage = o.names;
  int warnings = 0;
  s.zm.OnMessage = [&](TZipMaster&, int, const std::string& text) {
    ++warnings;
    std::fprintf(stderr, "arkzip: %s\n", text.c_str());
  };
  s.zm.SetZipFilename(archive);
  if (s.zm.ZipFilename().empty()) return kError;
  arkzip::PrintListHeader(archive);
  for (const ZipDirEntry& e : s.zm.Entries())
    arkzip::PrintListRow(static_cast<int64_t>(e.UncompressedSize64), static_cast<int64_t>(e.CompressedSize64),
                         e.DateTime, e.CRC32, e.FileName);
  arkzip::PrintListTotals(s.zm.Count(), s.zm.TotalUncompressed(), s.zm.TotalCompressed());
  if (!s.zm.ArchiveComment().empty()) std::printf("Comment: %s\n", arkzip::Printable(s.zm.ArchiveComment()).c_str());
  return kOk;
}

// 0 when no file failed, even if there was nothing to do (every file skipped
// or none newer); 1 when some files failed and others were done; 2 when errors
// left nothing done, or the component itself refused (no archive, no library).
int Outcome(const Session& s) {
  if (s.errors > 0) return s.zm.SuccessCount() > 0 ? kSomeFailed : kError;
  return s.messages == 0 || s.zm.SuccessCount() > 0 ? kOk : kError;
}

int Add(const std::string& archive, const std::vector<std::string>& args) {
  Options o;
  if (!ParseOptions(args, 2, o, "--level --recurse --dirnames --move --update --freshen --password --aes ")) return kError;
  if (o.rest.empty()) return Usage();
  if (o.aes && !o.passwordGiven) {
    std::fprintf(stderr, "arkzip: --aes needs --password\n");
    return kError;
  }
  Session s;
  s.zm.SetZipFilename(archive);
  if (s.zm.ZipFilename().empty()) s.zm.SetZipFilename(archive);  // a failed listing clears it
  zip::AddOpts opts = zip::AddHiddenFiles;
  if (o.recurse) opts |= zip::AddRecurseDirs;
  if (o.dirnames) opts |= zip::AddDirNames;
  if (o.move) opts |= zip::AddMove;
  if (o.update) opts |= zip::AddUpdate;
  if (o.freshen) opts |= zip::AddFreshen;
  if (o.passwordGiven) { opts |= zip::AddEncrypt; s.zm.SetPassword(o.password); }
  s.zm.AddAesBits = o.aes;
  s.zm.AddOptions = opts;
  if (o.level >= 0) s.zm.AddCompLevel = o.level;
  s.zm.FSpecArgs = o.rest;
  s.zm.Add();
  std::printf("%d file(s) added\n", s.zm.SuccessCount());
  return Outcome(s);
}

int Extract(const std::string& archive, const std::vector<std::string>& args, bool test) {
  Options o;
  const std::string allowed =
      test ? "--password --names " : "--dir --dirnames --overwrite --update --freshen --password --names ";
  if (!ParseOptions(args, 2, o, allowed)) return kError;
  if (test && !o.rest.empty()) return Usage();
  Session s;
  s.zm.NameCodePage = o.names;
  s.zm.SetZipFilename(archive);
  if (s.zm.ZipFilename().empty()) return kError;
  zip::ExtrOpts opts = 0;
  if (test) opts |= zip::ExtrTest;
  if (o.dirnames) opts |= zip::ExtrDirNames;
  if (o.overwrite) opts |= zip::ExtrOverWrite;
  if (o.update) opts |= zip::ExtrUpdate;
  if (o.freshen) opts |= zip::ExtrFreshen;
  s.zm.ExtrOptions = opts;
  // The engine extracts into the base folder only when it exists; make it
  // first, so that files never land in the current folder by mistake.
  if (!test && !o.dir.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(arkelin::platform::ToFsPath(o.dir), ec);
    if (!std::filesystem::is_directory(arkelin::platform::ToFsPath(o.dir), ec)) {
      std::fprintf(stderr, "arkzip: cannot create the folder %s\n", o.dir.c_str());
      return kError;
    }
  }
  s.zm.ExtrBaseDir = o.dir.empty() ? "." : o.dir;
  if (o.passwordGiven) s.zm.SetPassword(o.password);
  s.zm.FSpecArgs = o.rest;
  s.zm.Extract();
  std::printf("%d file(s) %s\n", s.zm.SuccessCount(), test ? "tested OK" : "extracted");
  return Outcome(s);
}

int Delete(const std::string& archive, const std::vector<std::string>& args) {
  Options o;
  if (!ParseOptions(args, 2, o, "--names ")) return kError;
  if (o.rest.empty()) return Usage();
  Session s;
  s.zm.NameCodePage = o.names;
  s.zm.SetZipFilename(archive);
  if (s.zm.ZipFilename().empty()) return kError;
  s.zm.FSpecArgs = o.rest;
  s.zm.Delete();
  std::printf("%d file(s) deleted\n", s.zm.SuccessCount());
  return Outcome(s);
}

int Passwd(const std::string& archive, const std::vector<std::string>& args) {
  Options o;
  if (!ParseOptions(args, 2, o, "--password --new-password --aes --names ") || !o.rest.empty()) return Usage();
  if (!o.newPasswordGiven || o.newPassword.empty()) {
    std::fprintf(stderr, "arkzip: passwd needs --new-password\n");
    return kError;
  }
  Session s;
  s.zm.NameCodePage = o.names;
  s.zm.SetZipFilename(archive);
  if (s.zm.ZipFilename().empty()) return kError;
  s.zm.ChangePassword(o.password, o.newPassword, o.aes);
  std::printf("%d file(s) encrypted with the new password\n", s.zm.SuccessCount());
  return s.zm.SuccessCount() > 0 && s.errors == 0 ? kOk : kError;
}

#ifdef ARKZIP_HAVE_RAR
// A RAR archive by its name, or for the reading commands by its content.
bool IsRarArchive(const std::string& command, const std::string& archive) {
  if (EndsWithNoCase(archive, ".rar")) return true;
  if (command != "list" && command != "test" && command != "extract") return false;
  namespace zd = arkelin::engine::zip::dll;
  zd::ArchiveFile file;
  if (!file.Open(arkelin::platform::ToFsPath(archive).string())) return false;
  zd::EndInfo end;
  if (zd::FindEndRecord(file, end).status != zd::ReadStatus::NotZip) return false;
  return arkelin::engine::rar::archive::HasRarSignature(arkelin::platform::ToFsPath(archive).string());
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  static arkelin::platform::ConsoleDialogs dialogs;
  arkelin::platform::Services services = arkelin::platform::Current();
  services.dialogs = &dialogs;
  arkelin::platform::Install(services);

  const std::string& command = args[0];
  const std::string& archive = args[1];
#ifdef ARKZIP_HAVE_RAR
  if (IsRarArchive(command, archive)) return RunRarCommand(args);
#else
  if (EndsWithNoCase(archive, ".rar")) {
    std::fprintf(stderr, "arkzip: RAR archives are not available yet in this build\n");
    return kError;
  }
#endif
  if (int r = 0; arkzip::RunSfxSpanCommand(args, r)) return r;
  if (command == "list") return List(archive, args);
  if (command == "add") return Add(archive, args);
  if (command == "extract") return Extract(archive, args, false);
  if (command == "test") return Extract(archive, args, true);
  if (command == "delete") return Delete(archive, args);
  if (command == "passwd") return Passwd(archive, args);
  return Usage();
}

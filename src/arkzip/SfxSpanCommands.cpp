#include "arkzip/SfxSpanCommands.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "engine/zip/ZipMstr.h"
#include "platform/Paths.h"

namespace arkzip {

namespace zip = arkelin::engine::zip;
using zip::TZipMaster;

namespace {

constexpr int kOk = 0, kError = 2;

struct Quiet {
  TZipMaster zm;
  Quiet() {
    zm.Unattended = true;
    zm.HowToDelete = zip::htdFinal;
    zm.OnMessage = [](TZipMaster&, int, const std::string& text) {
      std::fprintf(stderr, "arkzip: %s\n", text.c_str());
    };
    zm.SetDLLDirectory(arkelin::platform::EngineFolder());
  }
};

bool Value(const std::vector<std::string>& args, size_t& i, std::string& out) {
  if (i + 1 >= args.size()) {
    std::fprintf(stderr, "arkzip: %s needs a value\n", args[i].c_str());
    return false;
  }
  out = args[++i];
  return true;
}

int Sfx(const std::vector<std::string>& args) {
  Quiet q;
  TZipMaster& zm = q.zm;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string v;
    if (a == "--caption") {
      if (!Value(args, i, zm.SFXCaption)) return kError;
    } else if (a == "--dir") {
      if (!Value(args, i, zm.SFXDefaultDir)) return kError;
    } else if (a == "--run") {
      if (!Value(args, i, zm.SFXCommandLine)) return kError;
    } else if (a == "--overwrite") {
      if (!Value(args, i, v)) return kError;
      if (v == "ask") zm.SFXOverWriteMode = zip::OvrConfirm;
      else if (v == "always") zm.SFXOverWriteMode = zip::OvrAlways;
      else if (v == "never") zm.SFXOverWriteMode = zip::OvrNever;
      else {
        std::fprintf(stderr, "arkzip: --overwrite takes ask, always or never\n");
        return kError;
      }
    } else {
      std::fprintf(stderr, "arkzip: unknown option %s\n", a.c_str());
      return kError;
    }
  }
  // The program's own stub: beside arkzip in a build tree, in ../lib/arkelin
  // when installed.
  zm.SFXPath = arkelin::platform::ProgramFileFolder("ru2001.bin") + "ru2001.bin";
  zm.SetZipFilename(args[1]);
  if (zm.ZipFilename().empty()) return kError;
  const int r = zm.ConvertSFX();
  if (r != 0) {
    std::fprintf(stderr, "arkzip: error while creating the .exe file (%d)\n", r);
    return kError;
  }
  std::printf("Successfully built: %s\n", zm.ZipFilename().c_str());
  return kOk;
}

int Unsfx(const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "usage: arkzip unsfx ARCHIVE.exe\n");
    return kError;
  }
  Quiet q;
  q.zm.SetZipFilename(args[1]);
  if (q.zm.ZipFilename().empty()) return kError;
  const int r = q.zm.ConvertZIP();
  if (r != 0) {
    std::fprintf(stderr, "arkzip: error while creating the .zip file (%d)\n", r);
    return kError;
  }
  std::printf("Successfully built: %s\n", q.zm.ZipFilename().c_str());
  return kOk;
}

// split ARCHIVE --size N [--standard] [--dir D]
int Split(const std::vector<std::string>& args) {
  Quiet q;
  TZipMaster& zm = q.zm;
  std::string dir, size;
  bool standard = false;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--size") {
      if (!Value(args, i, size)) return kError;
    } else if (a == "--dir") {
      if (!Value(args, i, dir)) return kError;
    } else if (a == "--standard") {
      standard = true;
    } else {
      std::fprintf(stderr, "arkzip: unknown option %s\n", a.c_str());
      return kError;
    }
  }
  char* end = nullptr;
  const long long n = size.empty() ? 0 : std::strtoll(size.c_str(), &end, 10);
  if (size.empty() || *end != '\0' || n < 1024) {
    std::fprintf(stderr, "arkzip: split needs --size N (bytes, at least 1024)\n");
    return kError;
  }
  zm.MaxVolumeSize = n;
  zm.MinFreeVolumeSize = std::min<long long>(zm.MinFreeVolumeSize, n / 2);
  const std::string& archive = args[1];
  const size_t slash = archive.find_last_of('/');
  const std::string file = slash == std::string::npos ? archive : archive.substr(slash + 1);
  const std::string out = dir.empty() ? archive : (dir.back() == '/' ? dir : dir + "/") + file;
  if (!dir.empty()) std::filesystem::create_directories(arkelin::platform::ToFsPath(dir));
  const int r = zm.WriteSpanForm(archive, out, standard);
  if (r != 0) return kError;
  std::printf("Volumes written for %s (last volume: disk %d)\n", out.c_str(), zm.CurrentDisk() + 1);
  return kOk;
}

// join VOLUME [--out FILE]
int Join(const std::vector<std::string>& args) {
  Quiet q;
  std::string out;
  for (size_t i = 2; i < args.size(); ++i) {
    if (args[i] == "--out") {
      if (!Value(args, i, out)) return kError;
    } else {
      std::fprintf(stderr, "arkzip: unknown option %s\n", args[i].c_str());
      return kError;
    }
  }
  const std::string& volume = args[1];
  if (out.empty()) {
    // name003.zip -> name.zip; a standard last part keeps its name and the
    // joined archive gets "-joined".
    const size_t dot = volume.rfind('.');
    const std::string stem = dot == std::string::npos ? volume : volume.substr(0, dot);
    const bool digits = stem.size() >= 3 && std::all_of(stem.end() - 3, stem.end(), [](char c) {
      return c >= '0' && c <= '9';
    });
    out = digits ? stem.substr(0, stem.size() - 3) + ".zip" : stem + "-joined.zip";
  }
  const int r = q.zm.ReadSpan(volume, out);
  if (r != 0) return kError;
  std::printf("Joined into %s\n", out.c_str());
  return kOk;
}

}  // namespace

bool RunSfxSpanCommand(const std::vector<std::string>& args, int& result) {
  const std::string& command = args[0];
  if (command == "sfx") result = Sfx(args);
  else if (command == "unsfx") result = Unsfx(args);
  else if (command == "split") result = Split(args);
  else if (command == "join") result = Join(args);
  else return false;
  return true;
}

}  // namespace arkzip

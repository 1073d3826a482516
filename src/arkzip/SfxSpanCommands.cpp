#include "arkzip/SfxSpanCommands.h"

#include <cstdio>

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
    zm.SetDLLDirectory(arkelin::platform::ExecutableFolder());
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
  zm.SFXPath = arkelin::platform::ExecutableFolder() + "ru2001.bin";
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

}  // namespace

bool RunSfxSpanCommand(const std::vector<std::string>& args, int& result) {
  const std::string& command = args[0];
  if (command == "sfx") result = Sfx(args);
  else if (command == "unsfx") result = Unsfx(args);
  else return false;
  return true;
}

}  // namespace arkzip

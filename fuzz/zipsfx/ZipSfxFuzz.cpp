// Fuzz entry point for the self-extracting conversions: the input bytes
// become an archive that TZipMaster lists unattended and converts into a
// self-extracting program with a stand-in stub, rebuilds with a stub of
// another length and converts back; the same input named .exe is rebuilt
// and converted back directly. Each of these reads the input's directory
// and copies it with the offsets moved. Any crash, hang, or read outside a
// buffer is a finding; failures are expected. Everything is written in a
// private temporary folder, emptied after each input.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "engine/zip/ZipMstr.h"
#include "platform/LinuxPlatform.h"
#include "platform/Platform.h"

namespace {

namespace fs = std::filesystem;
using arkelin::engine::zip::TZipMaster;

const std::string& Folder() {
  static const std::string folder = [] {
    const char* tmp = std::getenv("TMPDIR");
    std::string t = std::string(tmp && *tmp ? tmp : "/tmp") + "/arkelin-zipsfx-fuzz-XXXXXX";
    return std::string(mkdtemp(t.data()) ? t : std::string()) + "/";
  }();
  return folder;
}

void Write(const std::string& name, const uint8_t* data, size_t size) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

void Quiet(TZipMaster& zm, const std::string& stub) {
  zm.Unattended = true;
  zm.HowToDelete = arkelin::engine::zip::htdFinal;
  zm.SFXPath = stub;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static arkelin::platform::ConsoleDialogs quietDialogs;  // never reached: unattended
  static bool installed = [] {
    auto s = arkelin::platform::Current();
    s.dialogs = &quietDialogs;
    arkelin::platform::Install(s);
    (void)Folder();  // made before the handler that removes it is registered
    std::atexit([] {
      std::error_code ec;
      fs::remove_all(Folder(), ec);
    });
    return true;
  }();
  (void)installed;
  const std::string dir = Folder();
  if (dir.size() < 2) return 0;
  const std::string stub = dir + "stub.bin", other = dir + "other.bin";
  static bool stubs = [&] {
    const std::string a(1000, '\x7f'), b(3333, 'b');
    Write(stub, reinterpret_cast<const uint8_t*>(a.data()), a.size());
    Write(other, reinterpret_cast<const uint8_t*>(b.data()), b.size());
    return true;
  }();
  (void)stubs;

  {
    // As a ZIP file: into a program, rebuilt with another stub, and back.
    Write(dir + "in.zip", data, size);
    TZipMaster zm;
    Quiet(zm, stub);
    zm.SetZipFilename(dir + "in.zip");
    if (zm.ConvertSFX() == 0) {
      (void)zm.RebuildSFX(other, [] { return true; });
      (void)zm.ConvertZIP();
    }
  }
  {
    // As a program already: rebuilt, and back.
    Write(dir + "raw.exe", data, size);
    TZipMaster zm;
    Quiet(zm, stub);
    zm.SetZipFilename(dir + "raw.exe");
    (void)zm.RebuildSFX(other, [] { return true; });
    zm.SetZipFilename(dir + "raw.exe");
    (void)zm.ConvertZIP();
  }
  std::error_code ec;
  for (const char* n : {"in.zip", "in.exe", "raw.exe", "raw.zip"}) fs::remove(dir + n, ec);
  return 0;
}

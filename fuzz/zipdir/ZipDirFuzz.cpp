// Fuzz entry point for the ZIP directory reader: the input bytes become an
// archive file that TZipMaster lists unattended. Any crash, hang, or read
// outside a buffer is a finding; messages are expected and ignored. The file
// is named like the last volume of a numbered set, so that inputs claiming
// several volumes also walk the volume lookup.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/zip/ZipMstr.h"
#include "platform/LinuxPlatform.h"
#include "platform/Platform.h"

namespace {

const std::string& InputName() {
  static const std::string name = [] {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/arkelin-zipdir-fuzz-" + std::to_string(getpid()) + "-003.zip";
  }();
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static arkelin::platform::ConsoleDialogs quietDialogs;  // never reached: unattended
  static bool installed = [] {
    auto s = arkelin::platform::Current();
    s.dialogs = &quietDialogs;
    arkelin::platform::Install(s);
    std::atexit([] { std::remove(InputName().c_str()); });
    return true;
  }();
  (void)installed;
  FILE* f = std::fopen(InputName().c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  arkelin::engine::zip::TZipMaster zm;
  zm.Unattended = true;
  uint64_t total = 0;
  zm.OnDirUpdate = [&](arkelin::engine::zip::TZipMaster& z) {
    for (const auto& e : z.Entries()) total += e.FileName.size() + e.UncompressedSize64;
  };
  zm.SetZipFilename(InputName());
  zm.CodePage = arkelin::engine::zip::cpOEM;
  zm.List();
  return total == 1 ? 0 : 0;
}

// Our UnRAR-compatible library's open-and-list path over hostile bytes: the
// input is written to a file (the library reads archives by name), opened
// for listing, and every header is read and skipped.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "engine/rar/UnrarApi.h"

extern "C" {
RarHandle RAROpenArchiveEx(RAROpenArchiveDataEx*);
int RARReadHeaderEx(RarHandle, RARHeaderDataEx*);
int RARProcessFile(RarHandle, int, char*, char*);
int RARCloseArchive(RarHandle);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::string path = [] {
    char tmpl[] = "/tmp/arkunrar-fuzz-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    return std::string(dir ? dir : "/tmp") + "/input.part1.rar";
  }();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  static char comment[65536];
  RAROpenArchiveDataEx open{};
  open.ArcName = path.data();
  open.OpenMode = RAR_OM_LIST;
  open.CmtBuf = comment;
  open.CmtBufSize = sizeof comment - 1;
  RarHandle h = RAROpenArchiveEx(&open);
  if (!h) return 0;
  auto header = std::make_unique<RARHeaderDataEx>();
  for (int i = 0; i < 100000; ++i) {
    *header = RARHeaderDataEx{};
    if (RARReadHeaderEx(h, header.get()) != 0) break;
    if (RARProcessFile(h, RAR_SKIP, nullptr, nullptr) != 0) break;
  }
  RARCloseArchive(h);
  return 0;
}

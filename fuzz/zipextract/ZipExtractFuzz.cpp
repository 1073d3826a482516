// Fuzz entry point for the engine libraries' reading side over hostile
// archives: the shared directory reader (end record choice, Zip64 records,
// declared count), the local headers and the overlap check, then the
// extractor in test mode, which decodes every entry with its method
// (stored, deflate, bzip2, LZMA, zstd, xz), decrypts the traditionally
// encrypted ones with a fixed password and checks sizes and CRCs. Nothing is
// written. Any crash, hang, read outside a buffer or undefined behaviour is
// a finding; errors are expected.
//
// The archive lives in a memory file named through /proc, so the reader
// opens it by path as it opens any archive. Decoding stops after 64 MiB per
// input: a few bytes of bzip2 or zstd may claim gigabytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "engine/zip/ZipCommands_p.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/unz/UnzExtractor.h"

namespace {

namespace dll = arkelin::engine::zip::dll;

struct Budget {
  int64_t left = 64 << 20;
};

int32_t Answer(dll::EngineCallbackData* d) {
  auto* b = static_cast<Budget*>(d->caller);
  if (d->actionCode == dll::kActionUpdate) {
    b->left -= d->fileSize > 0 ? d->fileSize : 0;
    if (b->left < 0) return -1;  // stop
  }
  return 0;  // no to every question (overwrite, another password)
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("zipextract-fuzz", MFD_CLOEXEC);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < size) {
    const ssize_t w = write(fd, data + done, size - done);
    if (w <= 0) break;
    done += static_cast<size_t>(w);
  }
  const std::string path = "/proc/self/fd/" + std::to_string(fd);

  // The directory, every local header and the overlap check, as Add,
  // Delete and Extract see them.
  dll::ArchiveFile file;
  if (file.Open(path)) {
    dll::CentralDirectory dir;
    if (dll::ReadCentralDirectory(file, dir, dll::CodePageRule::kAuto).Ok()) {
      size_t n = 0;
      for (const auto& e : dir.entries) {
        if (++n > 4096) break;
        dll::LocalHeader lh;
        if (dll::ReadLocalHeader(file, e.localOffset, lh).Ok())
          (void)dll::DescriptorSize(file, lh.dataOffset + e.compressedSize, lh.zip64Extra, e.crc);
      }
      if (dir.entries.size() <= 4096) (void)dll::FindOverlaps(file, dir);
      (void)dir.FirstLocalOffset();
    }
    file.Close();
  }

  // Test mode over everything.
  Budget budget;
  dll::UnzOptions o;
  o.archive = path;
  o.password = "fuzz";
  o.test = true;
  o.dirNames = true;
  o.callback = &Answer;
  o.caller = &budget;
  (void)dll::RunUnzip(o);
  close(fd);
  return 0;
}

// Fuzz entry point for what the self-extractor stub reads from the program
// it runs as: the end of the ELF image, the 256-byte parameter block after
// it (or at the start when the input is no ELF file), the directory through
// the shared reader, and every entry decoded as "-t" decodes it (stored or
// deflated, the traditional encryption with a fixed password, size and CRC
// checked); then the extract folder, the command line's program and
// arguments, and a file-list answer made from the block's strings. Nothing
// is written or run. Any crash, hang, read outside a buffer or undefined
// behaviour is a finding; errors are expected.
//
// The input lives in a memory file named through /proc, so it is opened by
// path as the stub opens itself. Decoding stops after 64 MiB per input.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/common/EntryPath.h"
#include "engine/zip/dll/common/SfxHeader.h"
#include "sfxstub/ElfExtent.h"
#include "sfxstub/StubCore.h"

namespace dll = arkelin::engine::zip::dll;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = memfd_create("sfxstub-fuzz", MFD_CLOEXEC);
  if (fd < 0) return 0;
  size_t done = 0;
  while (done < size) {
    const ssize_t w = write(fd, data + done, size - done);
    if (w <= 0) break;
    done += static_cast<size_t>(w);
  }
  dll::ArchiveFile file;
  if (!file.Open("/proc/self/fd/" + std::to_string(fd))) {
    close(fd);
    return 0;
  }
  uint64_t blockAt = 0;
  if (!sfxstub::ElfImageEnd(file, blockAt)) blockAt = 0;
  uint8_t block[dll::kSfxHeaderSize] = {};
  dll::SfxHeader header;
  const bool haveHeader = file.ReadAt(blockAt, block, sizeof block) && dll::ParseSfxHeader(block, sizeof block, header);

  dll::CentralDirectory dir;
  if (dll::ReadCentralDirectory(file, dir).Ok()) {
    int64_t budget = 64 << 20;
    const std::string password = "fuzz";
    size_t n = 0;
    for (const auto& e : dir.entries) {
      if (++n > 4096 || budget <= 0) break;
      std::vector<std::string> parts;
      std::string why;
      (void)arkelin::engine::common::SplitEntryName(e.name, parts, why);
      (void)sfxstub::Decode(file, e, e.IsEncrypted() ? &password : nullptr,
                            [&](const uint8_t*, size_t got) {
                              budget -= static_cast<int64_t>(got);
                              return budget > 0;
                            },
                            why);
    }
  }
  if (haveHeader) {
    (void)sfxstub::HeaderFolder(header.defaultDir);
    (void)sfxstub::CommandArguments(header.commandLine, header.defaultDir);
    std::vector<bool> chosen;
    (void)sfxstub::ParseChoice(header.caption, dir.entries.size() % 5000, chosen);
  }
  file.Close();
  close(fd);
  return 0;
}

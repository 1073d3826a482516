// The RAR archive layer over hostile bytes: the input is an archive (written
// to a file, as archives are read by name), opened with a fixed password at
// hand, and every entry is walked and tested: headers, encrypted headers,
// ciphers and key derivations, checksums, solid groups and the decoders
// behind them. Output is discarded and capped, so a lying size costs no
// more than a megabyte of decoding.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "engine/rar/archive/RarReader.h"

namespace {

namespace ar = arkelin::engine::rar::archive;

class CappedSink : public arkelin::engine::rar::unpack::UnpackedSink {
 public:
  bool Write(const uint8_t*, size_t n) override {
    total_ += n;
    return total_ <= (size_t{1} << 20);
  }

 private:
  size_t total_ = 0;
};

std::string InputPath() {
  const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  std::string tmpl = std::string(base) + "/rararchive-fuzz-XXXXXX";
  const char* dir = mkdtemp(tmpl.data());
  return std::string(dir ? dir : base) + "/input.rar";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = InputPath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);

  ar::ReaderOptions o;
  o.askPassword = [](std::string& pw, bool) {
    pw = "password";
    return true;
  };
  o.limits.maxDictionary = uint64_t{64} << 20;
  o.limits.maxPpmdMemory = uint64_t{64} << 20;
  o.maxKdfLog2 = 16;
  ar::RarReader reader(o);
  if (reader.Open(path) != 0) return 0;
  (void)reader.Info();
  ar::RarEntry e;
  for (int i = 0; i < 2000 && reader.Next(e) == 0; ++i) {
    CappedSink sink;
    // Every other entry skipped, so solid groups also go through the
    // postponed decoding of skipped entries.
    if (i % 3 == 1) {
      reader.Skip();
    } else {
      reader.Test(&sink);
    }
  }
  return 0;
}

#include "engine/rar/RarPassword.h"

#include <algorithm>

#include "engine/rar/UnrarApi.h"
#include "engine/rar/archive/RarReader.h"

namespace arkelin::engine::rar {

namespace {

std::string Slashed(std::string s) {
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

// Takes decoded bytes until the probe is full, then stops the decoder.
class ProbeSink : public unpack::UnpackedSink {
 public:
  explicit ProbeSink(size_t limit) : left_(limit) {}
  bool Write(const std::uint8_t*, std::size_t n) override {
    if (n >= left_) {
      left_ = 0;
      full_ = true;
      return false;
    }
    left_ -= n;
    return true;
  }
  bool Full() const { return full_; }

 private:
  size_t left_;
  bool full_ = false;
};

}  // namespace

RarPasswordFit RarEntryPasswordFits(const std::string& archive, const std::string& entryName,
                                    const std::string& password, size_t probeBytes) {
  archive::ReaderOptions options;
  // The password given is the only one tried: nothing is asked from here.
  options.askPassword = [](std::string&, bool) { return false; };
  options.askVolume = nullptr;
  archive::RarReader reader(options);
  reader.SetPassword(password);
  const int opened = reader.Open(archive);
  if (opened == ERAR_BAD_PASSWORD || opened == ERAR_MISSING_PASSWORD) return RarPasswordFit::Wrong;
  if (opened != 0) return RarPasswordFit::Unknown;
  const std::string wanted = Slashed(entryName);
  archive::RarEntry e;
  for (;;) {
    const int r = reader.Next(e);
    if (r == ERAR_BAD_PASSWORD || r == ERAR_MISSING_PASSWORD) return RarPasswordFit::Wrong;
    if (r != 0) return RarPasswordFit::Unknown;
    if (Slashed(e.name) == wanted && !e.splitBefore) break;
  }
  if (!e.Encrypted()) return RarPasswordFit::NotEncrypted;
  ProbeSink sink(std::max<size_t>(probeBytes, 1));
  const int tested = reader.Test(&sink);
  if (tested == 0) return RarPasswordFit::Right;
  if (sink.Full()) return RarPasswordFit::Right;  // sound as far as it was decoded
  // An empty password is none: the entry cannot be opened with it.
  if (tested == ERAR_BAD_PASSWORD || tested == ERAR_BAD_DATA || tested == ERAR_MISSING_PASSWORD)
    return RarPasswordFit::Wrong;
  return RarPasswordFit::Unknown;
}

}  // namespace arkelin::engine::rar

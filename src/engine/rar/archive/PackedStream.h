// One entry's packed data as a single stream: the data areas of all its
// volume parts in order, decrypted when the entry is encrypted. Reads go
// through one fixed buffer, so memory stays flat however large the entry is.
// The CRC32 stored with each part but the last (a checksum of that part's
// packed bytes) is checked as the part is read through; a mismatch, a read
// error or a missing volume ends the stream with an error.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "engine/rar/archive/RarCrypto.h"
#include "engine/rar/archive/RarEntry.h"
#include "engine/rar/archive/VolumeSet.h"
#include "engine/rar/unpack/RarUnpack.h"

namespace arkelin::engine::rar::archive {

class PackedStream : public unpack::PackedSource {
 public:
  // `decryptor` may be null (plain data). The parts' volumes must be known
  // to `volumes`.
  PackedStream(VolumeSet& volumes, std::vector<DataPart> parts, std::unique_ptr<Decryptor> decryptor);
  std::ptrdiff_t Read(uint8_t* buf, size_t n) override;
  // After a negative Read: the ERAR_* code (bad part checksum, read error,
  // missing volume).
  int Error() const { return error_; }
  // Bytes handed out so far.
  uint64_t Delivered() const { return delivered_; }

 private:
  bool Fill();
  VolumeSet& volumes_;
  std::vector<DataPart> parts_;
  std::unique_ptr<Decryptor> decryptor_;
  size_t part_ = 0;
  uint64_t partPos_ = 0;
  uint32_t partCrc_ = 0;
  std::vector<uint8_t> buf_;
  size_t begin_ = 0, ready_ = 0, raw_ = 0;  // [begin, ready) plain, [ready, raw) not yet decrypted
  bool end_ = false;
  int error_ = 0;
  uint64_t delivered_ = 0;
};

// A PackedSource over bytes in memory (embedded comments).
class MemorySource : public unpack::PackedSource {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : b_(std::move(bytes)) {}
  std::ptrdiff_t Read(uint8_t* buf, size_t n) override;

 private:
  std::vector<uint8_t> b_;
  size_t pos_ = 0;
};

}  // namespace arkelin::engine::rar::archive

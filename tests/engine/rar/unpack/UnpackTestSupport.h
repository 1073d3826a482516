// Test support: packed sources and sinks for driving the decoders.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/common/Crc32.h"
#include "engine/rar/unpack/RarUnpack.h"

namespace arkelin::engine::rar::unpack::test {

// Serves a byte vector in pieces of at most `chunk` bytes.
class VectorSource : public PackedSource {
 public:
  explicit VectorSource(const std::vector<uint8_t>& data, size_t chunk = SIZE_MAX) : data_(data), chunk_(chunk) {}
  std::ptrdiff_t Read(uint8_t* buf, size_t n) override {
    n = std::min({n, chunk_, data_.size() - at_});
    std::copy_n(data_.data() + at_, n, buf);
    at_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  const std::vector<uint8_t>& data_;
  size_t chunk_;
  size_t at_ = 0;
};

// Keeps the bytes (up to `keepLimit`) and their CRC32.
class CollectSink : public UnpackedSink {
 public:
  explicit CollectSink(size_t keepLimit = SIZE_MAX) : keepLimit_(keepLimit) {}
  bool Write(const uint8_t* data, size_t n) override {
    crc_ = common::Crc32(crc_, data, n);
    total_ += n;
    const size_t keep = std::min(n, keepLimit_ - std::min(keepLimit_, bytes.size()));
    bytes.insert(bytes.end(), data, data + keep);
    ++calls_;
    return true;
  }
  uint32_t crc() const { return crc_; }
  uint64_t total() const { return total_; }
  size_t calls() const { return calls_; }
  std::vector<uint8_t> bytes;

 private:
  size_t keepLimit_;
  uint32_t crc_ = 0;
  uint64_t total_ = 0;
  size_t calls_ = 0;
};

// Drops everything (an entry skipped inside a solid group).
class DiscardSink : public UnpackedSink {
 public:
  bool Write(const uint8_t*, size_t) override { return true; }
};

inline uint32_t Crc32Of(const std::vector<uint8_t>& v) { return common::Crc32(0, v.data(), v.size()); }

}  // namespace arkelin::engine::rar::unpack::test

// BLAKE2s and its 8-way parallel tree form BLAKE2sp (RFC 7693 and the BLAKE2
// paper's parallel mode), the 32-byte hash RAR 5 stores for file data. Only
// what RAR needs: unkeyed, 32-byte digests, no salt or personalisation.
// Incremental: feed any number of Update calls, then Final once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace arkelin::engine::rar::archive {

using Digest32 = std::array<uint8_t, 32>;

// One BLAKE2s instance with the tree parameters BLAKE2sp uses for its nodes.
class Blake2s {
 public:
  // A sequential BLAKE2s-256 (fanout 1, depth 1).
  Blake2s();
  // A node of a tree: fanout, depth, node offset and depth, inner length,
  // and whether it is the last node of its level.
  Blake2s(uint8_t fanout, uint8_t depth, uint64_t nodeOffset, uint8_t nodeDepth, uint8_t innerLength, bool lastNode);
  void Update(const uint8_t* data, size_t n);
  Digest32 Final();

 private:
  void Init(const uint8_t param[32]);
  void Compress(const uint8_t* block, bool last);
  uint32_t h_[8];
  uint32_t t_[2] = {0, 0};
  uint8_t buf_[64];
  size_t bufLen_ = 0;
  bool lastNode_ = false;
};

class Blake2sp {
 public:
  Blake2sp();
  void Update(const uint8_t* data, size_t n);
  Digest32 Final();

 private:
  Blake2s leaves_[8];
  uint64_t pos_ = 0;  // bytes fed so far; block k goes to leaf k mod 8
};

}  // namespace arkelin::engine::rar::archive

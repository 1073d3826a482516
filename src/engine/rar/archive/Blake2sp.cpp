// BLAKE2s from RFC 7693; BLAKE2sp as the BLAKE2 paper defines it: eight
// leaves of depth 0 with node offsets 0..7 take the input's 64-byte blocks in
// turn, and a root of depth 1 hashes their eight digests. The last-node flag
// is set on leaf 7 and on the root.
#include "engine/rar/archive/Blake2sp.h"

#include <algorithm>
#include <cstring>

namespace arkelin::engine::rar::archive {

namespace {

constexpr uint32_t kIv[8] = {0x6A09E667, 0xBB67AE85, 0x3C6EF372, 0xA54FF53A,
                             0x510E527F, 0x9B05688C, 0x1F83D9AB, 0x5BE0CD19};

constexpr uint8_t kSigma[10][16] = {
    {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, {14, 10, 4, 8, 9, 15, 13, 6, 1, 12, 0, 2, 11, 7, 5, 3},
    {11, 8, 12, 0, 5, 2, 15, 13, 10, 14, 3, 6, 7, 1, 9, 4}, {7, 9, 3, 1, 13, 12, 11, 14, 2, 6, 5, 10, 4, 0, 15, 8},
    {9, 0, 5, 7, 2, 4, 10, 15, 14, 1, 11, 12, 6, 8, 3, 13}, {2, 12, 6, 10, 0, 11, 8, 3, 4, 13, 7, 5, 15, 14, 1, 9},
    {12, 5, 1, 15, 14, 13, 4, 10, 0, 7, 6, 3, 9, 2, 8, 11}, {13, 11, 7, 14, 12, 1, 3, 9, 5, 0, 15, 4, 8, 6, 2, 10},
    {6, 15, 14, 9, 11, 3, 0, 8, 12, 2, 13, 7, 1, 4, 10, 5}, {10, 2, 8, 4, 7, 6, 1, 5, 15, 11, 9, 14, 3, 12, 13, 0},
};

inline uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
inline uint32_t Load32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

Blake2s::Blake2s() {
  uint8_t p[32] = {};
  p[0] = 32;  // digest length
  p[2] = 1;   // fanout
  p[3] = 1;   // depth
  Init(p);
}

Blake2s::Blake2s(uint8_t fanout, uint8_t depth, uint64_t nodeOffset, uint8_t nodeDepth, uint8_t innerLength,
                 bool lastNode) {
  uint8_t p[32] = {};
  p[0] = 32;
  p[2] = fanout;
  p[3] = depth;
  // bytes 4..7 leaf length (0); 8..13 node offset (48 bits); 14 node depth; 15 inner length
  for (int i = 0; i < 6; ++i) p[8 + i] = static_cast<uint8_t>(nodeOffset >> (8 * i));
  p[14] = nodeDepth;
  p[15] = innerLength;
  Init(p);
  lastNode_ = lastNode;
}

void Blake2s::Init(const uint8_t param[32]) {
  for (int i = 0; i < 8; ++i) h_[i] = kIv[i] ^ Load32(param + 4 * i);
}

void Blake2s::Compress(const uint8_t* block, bool last) {
  uint32_t m[16], v[16];
  for (int i = 0; i < 16; ++i) m[i] = Load32(block + 4 * i);
  for (int i = 0; i < 8; ++i) {
    v[i] = h_[i];
    v[i + 8] = kIv[i];
  }
  v[12] ^= t_[0];
  v[13] ^= t_[1];
  if (last) {
    v[14] = ~v[14];
    if (lastNode_) v[15] = ~v[15];
  }
#define ARK_G(a, b, c, d, x, y)  \
  do {                           \
    v[a] = v[a] + v[b] + (x);    \
    v[d] = Rotr(v[d] ^ v[a], 16); \
    v[c] = v[c] + v[d];          \
    v[b] = Rotr(v[b] ^ v[c], 12); \
    v[a] = v[a] + v[b] + (y);    \
    v[d] = Rotr(v[d] ^ v[a], 8);  \
    v[c] = v[c] + v[d];          \
    v[b] = Rotr(v[b] ^ v[c], 7);  \
  } while (0)
  for (int r = 0; r < 10; ++r) {
    const uint8_t* s = kSigma[r];
    ARK_G(0, 4, 8, 12, m[s[0]], m[s[1]]);
    ARK_G(1, 5, 9, 13, m[s[2]], m[s[3]]);
    ARK_G(2, 6, 10, 14, m[s[4]], m[s[5]]);
    ARK_G(3, 7, 11, 15, m[s[6]], m[s[7]]);
    ARK_G(0, 5, 10, 15, m[s[8]], m[s[9]]);
    ARK_G(1, 6, 11, 12, m[s[10]], m[s[11]]);
    ARK_G(2, 7, 8, 13, m[s[12]], m[s[13]]);
    ARK_G(3, 4, 9, 14, m[s[14]], m[s[15]]);
  }
#undef ARK_G
  for (int i = 0; i < 8; ++i) h_[i] ^= v[i] ^ v[i + 8];
}

void Blake2s::Update(const uint8_t* data, size_t n) {
  // The last block is compressed only in Final, with the final flag, so a
  // full buffer waits until more input shows that it is not the last.
  while (n > 0) {
    if (bufLen_ == 64) {
      t_[0] += 64;
      if (t_[0] < 64) ++t_[1];
      Compress(buf_, false);
      bufLen_ = 0;
    }
    if (bufLen_ == 0) {
      while (n > 64) {
        t_[0] += 64;
        if (t_[0] < 64) ++t_[1];
        Compress(data, false);
        data += 64;
        n -= 64;
      }
    }
    const size_t take = std::min(n, 64 - bufLen_);
    std::memcpy(buf_ + bufLen_, data, take);
    bufLen_ += take;
    data += take;
    n -= take;
  }
}

Digest32 Blake2s::Final() {
  const uint32_t add = static_cast<uint32_t>(bufLen_);
  t_[0] += add;
  if (t_[0] < add) ++t_[1];
  std::memset(buf_ + bufLen_, 0, 64 - bufLen_);
  Compress(buf_, true);
  Digest32 out;
  for (int i = 0; i < 8; ++i)
    for (int k = 0; k < 4; ++k) out[4 * i + k] = static_cast<uint8_t>(h_[i] >> (8 * k));
  return out;
}

Blake2sp::Blake2sp()
    : leaves_{Blake2s(8, 2, 0, 0, 32, false), Blake2s(8, 2, 1, 0, 32, false), Blake2s(8, 2, 2, 0, 32, false),
              Blake2s(8, 2, 3, 0, 32, false), Blake2s(8, 2, 4, 0, 32, false), Blake2s(8, 2, 5, 0, 32, false),
              Blake2s(8, 2, 6, 0, 32, false), Blake2s(8, 2, 7, 0, 32, true)} {}

void Blake2sp::Update(const uint8_t* data, size_t n) {
  while (n > 0) {
    const size_t inBlock = static_cast<size_t>(pos_ % 64);
    const size_t take = std::min(n, 64 - inBlock);
    leaves_[(pos_ / 64) % 8].Update(data, take);
    pos_ += take;
    data += take;
    n -= take;
  }
}

Digest32 Blake2sp::Final() {
  Blake2s root(8, 2, 0, 1, 32, true);
  for (auto& leaf : leaves_) {
    const Digest32 d = leaf.Final();
    root.Update(d.data(), d.size());
  }
  return root.Final();
}

}  // namespace arkelin::engine::rar::archive

// RAR ciphers and key derivations over libcrypto. See RarCrypto.h.
#include "engine/rar/archive/RarCrypto.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

#include "engine/common/Crc32.h"
#include "engine/common/LittleEndian.h"
#include "engine/rar/archive/RarNames.h"

namespace arkelin::engine::rar::archive {

namespace crc = arkelin::engine::common;

void WipeMemory(void* p, size_t n) {
  if (p && n) OPENSSL_cleanse(p, n);
}

SecretBytes& SecretBytes::operator=(const SecretBytes& o) {
  if (this != &o) {
    Wipe();
    b_ = o.b_;
  }
  return *this;
}

SecretBytes& SecretBytes::operator=(SecretBytes&& o) noexcept {
  if (this != &o) {
    Wipe();
    b_ = std::move(o.b_);
  }
  return *this;
}

void SecretBytes::Wipe() {
  WipeMemory(b_.data(), b_.capacity());
  b_.clear();
}

namespace {

constexpr size_t kMaxPasswordUnits = 127;

// One code point of the password; a byte that starts no valid sequence
// stands for itself (Latin-1), so any input gives some password.
uint32_t NextCodePoint(const uint8_t* p, size_t n, size_t& i) {
  const std::string s(reinterpret_cast<const char*>(p) + i, std::min<size_t>(4, n - i));
  size_t k = 0;
  const int32_t cp = NextUtf8(s, k);
  const uint32_t out = cp < 0 ? p[i] : static_cast<uint32_t>(cp);
  i += cp < 0 ? 1 : k;
  return out;
}

// The SHA-1 message schedule applied to one 64-byte block, left in the block
// as little-endian words: what the original code's in-place transform leaves
// behind in the caller's buffer.
void Garble(uint8_t* b) {
  uint32_t w[16];
  for (int i = 0; i < 16; ++i)
    w[i] = (static_cast<uint32_t>(b[4 * i]) << 24) | (b[4 * i + 1] << 16) | (b[4 * i + 2] << 8) | b[4 * i + 3];
  for (int t = 16; t < 80; ++t) {
    const uint32_t x = w[(t - 3) & 15] ^ w[(t - 8) & 15] ^ w[(t - 14) & 15] ^ w[t & 15];
    w[t & 15] = (x << 1) | (x >> 31);
  }
  for (int i = 0; i < 16; ++i)
    for (int k = 0; k < 4; ++k) b[4 * i + k] = static_cast<uint8_t>(w[i] >> (8 * k));
}

struct MdCtx {
  EVP_MD_CTX* c = EVP_MD_CTX_new();
  ~MdCtx() { EVP_MD_CTX_free(c); }
  MdCtx() = default;
  MdCtx(const MdCtx&) = delete;
  MdCtx& operator=(const MdCtx&) = delete;
};

// HMAC-SHA256 with the keyed inner and outer states computed once, for the
// PBKDF2 loop's tens of thousands of calls.
class Hmac {
 public:
  Hmac(const uint8_t* key, size_t keyLen) {
    uint8_t k[64] = {};
    if (keyLen > 64) {
      const auto d = Sha256(key, keyLen);
      std::memcpy(k, d.data(), d.size());
    } else if (keyLen > 0) {
      std::memcpy(k, key, keyLen);
    }
    uint8_t pad[64];
    for (int i = 0; i < 64; ++i) pad[i] = k[i] ^ 0x36;
    EVP_DigestInit_ex(inner_.c, EVP_sha256(), nullptr);
    EVP_DigestUpdate(inner_.c, pad, 64);
    for (int i = 0; i < 64; ++i) pad[i] = k[i] ^ 0x5C;
    EVP_DigestInit_ex(outer_.c, EVP_sha256(), nullptr);
    EVP_DigestUpdate(outer_.c, pad, 64);
    WipeMemory(k, sizeof k);
    WipeMemory(pad, sizeof pad);
  }
  void Mac(const uint8_t* msg, size_t n, uint8_t out[32]) {
    uint8_t in[32];
    unsigned len = 0;
    EVP_MD_CTX_copy_ex(work_.c, inner_.c);
    EVP_DigestUpdate(work_.c, msg, n);
    EVP_DigestFinal_ex(work_.c, in, &len);
    EVP_MD_CTX_copy_ex(work_.c, outer_.c);
    EVP_DigestUpdate(work_.c, in, sizeof in);
    EVP_DigestFinal_ex(work_.c, out, &len);
    WipeMemory(in, sizeof in);
  }

 private:
  MdCtx inner_, outer_, work_;
};

class AesCbc : public Decryptor {
 public:
  AesCbc(const uint8_t* key, size_t keyLen, const uint8_t iv[16]) {
    ok_ = ctx_ && EVP_DecryptInit_ex(ctx_, keyLen == 32 ? EVP_aes_256_cbc() : EVP_aes_128_cbc(), nullptr, key, iv) == 1;
    if (ok_) EVP_CIPHER_CTX_set_padding(ctx_, 0);
  }
  ~AesCbc() override { EVP_CIPHER_CTX_free(ctx_); }
  size_t BlockSize() const override { return 16; }
  bool Decrypt(uint8_t* data, size_t n) override {
    if (!ok_ || n % 16) return false;
    while (n > 0) {
      const int chunk = static_cast<int>(std::min<size_t>(n, 1u << 30));
      int outl = 0;
      if (EVP_DecryptUpdate(ctx_, data, &outl, data, chunk) != 1 || outl != chunk) return false;
      data += chunk;
      n -= static_cast<size_t>(chunk);
    }
    return true;
  }

 private:
  EVP_CIPHER_CTX* ctx_ = EVP_CIPHER_CTX_new();
  bool ok_ = false;
};

inline uint32_t CrcTable(uint8_t i) { return crc::Crc32Step(0, i); }
inline uint32_t Rol(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
using arkelin::engine::common::Le32;
using arkelin::engine::common::PutLe32;

constexpr uint8_t kInitSubst[256] = {
    215, 19,  149, 35,  73,  197, 192, 205, 249, 28,  16,  119, 48,  221, 2,   42,  232, 1,   177, 233, 14,  88,
    219, 25,  223, 195, 244, 90,  87,  239, 153, 137, 255, 199, 147, 70,  92,  66,  246, 13,  216, 40,  62,  29,
    217, 230, 86,  6,   71,  24,  171, 196, 101, 113, 218, 123, 93,  91,  163, 178, 202, 67,  44,  235, 107, 250,
    75,  234, 49,  167, 125, 211, 83,  114, 157, 144, 32,  193, 143, 36,  158, 124, 247, 187, 89,  214, 141, 47,
    121, 228, 61,  130, 213, 194, 174, 251, 97,  110, 54,  229, 115, 57,  152, 94,  105, 243, 212, 55,  209, 245,
    63,  11,  164, 200, 31,  156, 81,  176, 227, 21,  76,  99,  139, 188, 127, 17,  248, 51,  207, 120, 189, 210,
    8,   226, 41,  72,  183, 203, 135, 165, 166, 60,  98,  7,   122, 38,  155, 170, 69,  172, 252, 238, 39,  134,
    59,  128, 236, 27,  240, 80,  131, 3,   85,  206, 145, 79,  154, 142, 159, 220, 201, 133, 74,  64,  20,  129,
    224, 185, 138, 103, 173, 182, 43,  34,  254, 82,  198, 151, 231, 180, 58,  10,  118, 26,  102, 12,  50,  132,
    22,  191, 136, 111, 162, 179, 45,  4,   148, 108, 161, 56,  78,  126, 242, 222, 15,  175, 146, 23,  33,  241,
    181, 190, 77,  225, 0,   46,  169, 186, 68,  95,  237, 65,  53,  208, 253, 168, 9,   18,  100, 52,  116, 184,
    160, 96,  109, 37,  30,  106, 140, 104, 150, 5,   204, 117, 112, 84};

// RAR 2.0: a 32-round Feistel network on 16-byte blocks whose keys change
// with every ciphertext block.
class Rar20 : public Decryptor {
 public:
  explicit Rar20(const SecretBytes& pw) {
    key_[0] = 0xD3A3B879;
    key_[1] = 0x3F6D12F7;
    key_[2] = 0x7515A235;
    key_[3] = 0xA4E7F123;
    std::memcpy(subst_, kInitSubst, sizeof subst_);
    uint8_t buf[128] = {};
    const size_t n = std::min<size_t>(pw.size(), 127);
    if (n) std::memcpy(buf, pw.data(), n);
    for (int j = 0; j < 256; ++j) {
      for (size_t i = 0; i < n; i += 2) {
        uint8_t a = static_cast<uint8_t>(CrcTable(static_cast<uint8_t>(buf[i] - j)));
        const uint8_t b = static_cast<uint8_t>(CrcTable(static_cast<uint8_t>(buf[i + 1] + j)));
        for (unsigned k = 1; a != b; ++a, ++k) std::swap(subst_[a], subst_[(a + i + k) & 0xFF]);
      }
    }
    for (size_t i = 0; i < n; i += 16) Crypt(buf + i, true);
    WipeMemory(buf, sizeof buf);
  }
  ~Rar20() override {
    WipeMemory(key_, sizeof key_);
    WipeMemory(subst_, sizeof subst_);
  }
  size_t BlockSize() const override { return 16; }
  bool Decrypt(uint8_t* data, size_t n) override {
    if (n % 16) return false;
    for (size_t i = 0; i < n; i += 16) Crypt(data + i, false);
    return true;
  }

 private:
  uint32_t Sub(uint32_t t) const {
    return subst_[t & 0xFF] | (subst_[(t >> 8) & 0xFF] << 8) | (subst_[(t >> 16) & 0xFF] << 16) |
           (static_cast<uint32_t>(subst_[t >> 24]) << 24);
  }
  void Crypt(uint8_t* block, bool encrypt) {
    uint8_t in[16];
    std::memcpy(in, block, 16);
    uint32_t a = Le32(block) ^ key_[0], b = Le32(block + 4) ^ key_[1], c = Le32(block + 8) ^ key_[2],
             d = Le32(block + 12) ^ key_[3];
    for (int r = 0; r < 32; ++r) {
      const uint32_t k = encrypt ? key_[r & 3] : key_[(31 - r) & 3];
      const uint32_t ta = a ^ Sub((c + Rol(d, 11)) ^ k);
      const uint32_t tb = b ^ Sub((d ^ Rol(c, 17)) + k);
      a = c;
      b = d;
      c = ta;
      d = tb;
    }
    PutLe32(block, c ^ key_[0]);
    PutLe32(block + 4, d ^ key_[1]);
    PutLe32(block + 8, a ^ key_[2]);
    PutLe32(block + 12, b ^ key_[3]);
    const uint8_t* ct = encrypt ? block : in;
    for (int q = 0; q < 16; q += 4)
      for (int j = 0; j < 4; ++j) key_[j] ^= CrcTable(ct[q + j]);
    WipeMemory(in, sizeof in);
  }
  uint32_t key_[4];
  uint8_t subst_[256];
};

// RAR 1.5: a byte-wise stream cipher over four 16-bit keys. No sample
// archive of it was available; written from the format notes alone.
class Rar15 : public Decryptor {
 public:
  explicit Rar15(const SecretBytes& pw) {
    const uint32_t c = ~crc::Crc32(0, pw.data(), pw.size());
    k0_ = c & 0xFFFF;
    k1_ = c >> 16;
    for (size_t i = 0; i < pw.size(); ++i) {
      const uint8_t p = pw.data()[i];
      k2_ = (k2_ ^ p ^ CrcTable(p)) & 0xFFFF;
      k3_ = (k3_ + p + (CrcTable(p) >> 16)) & 0xFFFF;
    }
  }
  ~Rar15() override { k0_ = k1_ = k2_ = k3_ = 0; }
  size_t BlockSize() const override { return 1; }
  bool Decrypt(uint8_t* data, size_t n) override {
    for (size_t i = 0; i < n; ++i) {
      k0_ = (k0_ + 0x1234) & 0xFFFF;
      const uint32_t t = CrcTable(static_cast<uint8_t>((k0_ >> 1) & 0xFF));
      k1_ = (k1_ ^ t) & 0xFFFF;
      k2_ = (k2_ - (t >> 16)) & 0xFFFF;
      k0_ ^= k2_;
      k3_ = Ror16(k3_) ^ k1_;
      k3_ = Ror16(k3_);
      k0_ ^= k3_;
      data[i] ^= static_cast<uint8_t>((k0_ >> 8) & 0xFF);
    }
    return true;
  }

 private:
  static uint32_t Ror16(uint32_t x) { return ((x >> 1) | (x << 15)) & 0xFFFF; }
  uint32_t k0_ = 0, k1_ = 0, k2_ = 0, k3_ = 0;
};

}  // namespace

SecretBytes PasswordUtf16(const SecretBytes& utf8) {
  std::vector<uint8_t> out;
  out.reserve(kMaxPasswordUnits * 2);
  size_t i = 0, units = 0;
  while (i < utf8.size()) {
    uint32_t cp = NextCodePoint(utf8.data(), utf8.size(), i);
    const bool pair = cp >= 0x10000;
    if (units + (pair ? 2 : 1) > kMaxPasswordUnits) break;
    auto put = [&](uint32_t u) {
      out.push_back(static_cast<uint8_t>(u & 0xFF));
      out.push_back(static_cast<uint8_t>(u >> 8));
      ++units;
    };
    if (pair) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
  SecretBytes s(out.data(), out.size());
  WipeMemory(out.data(), out.size());
  return s;
}

SecretBytes PasswordUtf8(const SecretBytes& utf8) {
  size_t i = 0, chars = 0;
  while (i < utf8.size() && chars < kMaxPasswordUnits) {
    NextCodePoint(utf8.data(), utf8.size(), i);
    ++chars;
  }
  return SecretBytes(utf8.data(), i);
}

void Rar3Key(const SecretBytes& password16, const uint8_t* salt, size_t saltLen, bool garble, uint8_t key[16],
             uint8_t iv[16]) {
  std::vector<uint8_t> seed(password16.data(), password16.data() + password16.size());
  if (saltLen) seed.insert(seed.end(), salt, salt + saltLen);
  MdCtx h, copy;
  EVP_DigestInit_ex(h.c, EVP_sha1(), nullptr);
  uint64_t total = 0;
  uint8_t digest[20];
  unsigned len = 0;
  constexpr uint32_t kRounds = 0x40000;
  for (uint32_t i = 0; i < kRounds; ++i) {
    EVP_DigestUpdate(h.c, seed.data(), seed.size());
    if (garble) {
      size_t off = 64 - static_cast<size_t>(total % 64);
      for (; off + 64 <= seed.size(); off += 64) Garble(seed.data() + off);
    }
    total += seed.size();
    const uint8_t counter[3] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i >> 16)};
    EVP_DigestUpdate(h.c, counter, 3);
    total += 3;
    if (i % (kRounds / 16) == 0) {
      EVP_MD_CTX_copy_ex(copy.c, h.c);
      EVP_DigestFinal_ex(copy.c, digest, &len);
      iv[i / (kRounds / 16)] = digest[19];
    }
  }
  EVP_DigestFinal_ex(h.c, digest, &len);
  for (int w = 0; w < 4; ++w)
    for (int k = 0; k < 4; ++k) key[4 * w + k] = digest[4 * w + 3 - k];
  WipeMemory(digest, sizeof digest);
  WipeMemory(seed.data(), seed.size());
}

void Rar5DeriveKeys(const SecretBytes& passwordUtf8, const uint8_t salt[16], unsigned lg, Rar5Keys& out) {
  Hmac mac(passwordUtf8.data(), passwordUtf8.size());
  uint8_t u[32], acc[32];
  uint8_t first[20];
  std::memcpy(first, salt, 16);
  first[16] = 0;
  first[17] = 0;
  first[18] = 0;
  first[19] = 1;  // PBKDF2 block index 1
  mac.Mac(first, sizeof first, u);
  std::memcpy(acc, u, 32);
  // U_1 is in the accumulator; snapshots after 2^lg, 2^lg + 16 and 2^lg + 32
  // iterations give the three values.
  const uint64_t n = uint64_t{1} << lg;
  for (uint64_t i = 1;; ++i) {
    if (i == n) std::memcpy(out.key, acc, 32);
    if (i == n + 16) std::memcpy(out.hashKey, acc, 32);
    if (i == n + 32) {
      std::memcpy(out.checkSeed, acc, 32);
      break;
    }
    mac.Mac(u, 32, u);
    for (int k = 0; k < 32; ++k) acc[k] ^= u[k];
  }
  WipeMemory(u, sizeof u);
  WipeMemory(acc, sizeof acc);
}

CheckResult Rar5Check(const Rar5Keys& keys, const uint8_t stored[12]) {
  const auto sum = Sha256(stored, 8);
  if (std::memcmp(sum.data(), stored + 8, 4) != 0) return CheckResult::Unusable;
  uint8_t c[8] = {};
  for (int i = 0; i < 32; ++i) c[i % 8] ^= keys.checkSeed[i];
  const bool same = std::memcmp(c, stored, 8) == 0;
  WipeMemory(c, sizeof c);
  return same ? CheckResult::Match : CheckResult::Mismatch;
}

uint32_t Rar5MacCrc(const uint8_t hashKey[32], uint32_t crcValue) {
  uint8_t m[4];
  PutLe32(m, crcValue);
  const auto d = HmacSha256(hashKey, 32, m, 4);
  uint32_t r = 0;
  for (int i = 0; i < 32; ++i) r ^= static_cast<uint32_t>(d[i]) << ((i % 4) * 8);
  return r;
}

std::array<uint8_t, 32> Rar5MacHash(const uint8_t hashKey[32], const std::array<uint8_t, 32>& hash) {
  return HmacSha256(hashKey, 32, hash.data(), hash.size());
}

std::array<uint8_t, 32> HmacSha256(const uint8_t* key, size_t keyLen, const uint8_t* msg, size_t msgLen) {
  std::array<uint8_t, 32> out{};
  Hmac(key, keyLen).Mac(msg, msgLen, out.data());
  return out;
}

std::array<uint8_t, 32> Sha256(const uint8_t* p, size_t n) {
  std::array<uint8_t, 32> out{};
  unsigned len = 0;
  EVP_Digest(p, n, out.data(), &len, EVP_sha256(), nullptr);
  return out;
}

void KeyCache::SetPassword(const SecretBytes& utf8) {
  Clear();
  password_ = utf8;
  pw16_ = PasswordUtf16(utf8);
  pw8_ = PasswordUtf8(utf8);
}

void KeyCache::Clear() {
  for (auto& r : r3_) WipeMemory(&r, sizeof r);
  r3_.clear();
  r5_.clear();
  password_.Wipe();
  pw16_.Wipe();
  pw8_.Wipe();
}

void KeyCache::Rar3(const uint8_t* salt, size_t saltLen, bool garble, uint8_t key[16], uint8_t iv[16]) {
  saltLen = std::min<size_t>(saltLen, 16);
  for (const auto& r : r3_) {
    if (r.saltLen == saltLen && r.garble == garble && std::memcmp(r.salt, salt, saltLen) == 0) {
      std::memcpy(key, r.key, 16);
      std::memcpy(iv, r.iv, 16);
      return;
    }
  }
  R3 r{};
  std::memcpy(r.salt, salt, saltLen);
  r.saltLen = saltLen;
  r.garble = garble;
  Rar3Key(pw16_, salt, saltLen, garble, r.key, r.iv);
  std::memcpy(key, r.key, 16);
  std::memcpy(iv, r.iv, 16);
  if (r3_.size() >= 16) {
    WipeMemory(&r3_.front(), sizeof(R3));
    r3_.erase(r3_.begin());
  }
  r3_.push_back(r);
  WipeMemory(&r, sizeof r);
}

const Rar5Keys& KeyCache::Rar5(const uint8_t salt[16], unsigned lg) {
  for (const auto& r : r5_)
    if (r.lg == lg && std::memcmp(r.salt, salt, 16) == 0) return *r.keys;
  if (r5_.size() >= 16) r5_.erase(r5_.begin());
  R5 r{};
  std::memcpy(r.salt, salt, 16);
  r.lg = lg;
  r.keys = std::make_unique<Rar5Keys>();
  Rar5DeriveKeys(pw8_, salt, lg, *r.keys);
  r5_.push_back(std::move(r));
  return *r5_.back().keys;
}

std::unique_ptr<Decryptor> MakeAesCbc(const uint8_t* key, size_t keyLen, const uint8_t iv[16]) {
  return std::make_unique<AesCbc>(key, keyLen, iv);
}
std::unique_ptr<Decryptor> MakeRar20(const SecretBytes& password) { return std::make_unique<Rar20>(password); }
std::unique_ptr<Decryptor> MakeRar15(const SecretBytes& password) { return std::make_unique<Rar15>(password); }

}  // namespace arkelin::engine::rar::archive

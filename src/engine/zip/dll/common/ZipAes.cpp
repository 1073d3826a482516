// AES entry encryption over libcrypto; see ZipAes.h.
#include "engine/zip/dll/common/ZipAes.h"

// The key derivation runs SHA-1's block function directly (see Pbkdf2Sha1);
// libcrypto keeps it among the interfaces it calls deprecated.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/sha.h>
#include <sys/random.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "engine/common/LittleEndian.h"

namespace arkelin::engine::zip::dll {

namespace {
constexpr int kRounds = 1000;
// Counter blocks are encrypted this many at a time.
constexpr size_t kStreamBlocks = 256;

void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

// The state after one block, as the 20 bytes of a digest.
void StateBytes(const SHA_CTX& c, uint8_t out[20]) {
  PutBe32(out, c.h0);
  PutBe32(out + 4, c.h1);
  PutBe32(out + 8, c.h2);
  PutBe32(out + 12, c.h3);
  PutBe32(out + 16, c.h4);
}

}  // namespace

void Pbkdf2Sha1(std::string_view password, const uint8_t* salt, size_t saltLen, int rounds, uint8_t* out,
                size_t outLen) {
  // HMAC's two keyed states are computed once; every later round is then
  // one block for the inner hash (the previous 20-byte result, padded) and
  // one for the outer. Going through the generic HMAC interface costs
  // several times that per round, and the derivation is most of what an
  // encrypted entry of a few kilobytes costs to read or write.
  uint8_t key[64] = {};
  if (password.size() > sizeof key)
    SHA1(reinterpret_cast<const uint8_t*>(password.data()), password.size(), key);
  else
    std::memcpy(key, password.data(), password.size());
  uint8_t pad[64];
  SHA_CTX inner, outer;
  for (size_t i = 0; i < 64; ++i) pad[i] = key[i] ^ 0x36;
  SHA1_Init(&inner);
  SHA1_Update(&inner, pad, 64);
  for (size_t i = 0; i < 64; ++i) pad[i] = key[i] ^ 0x5c;
  SHA1_Init(&outer);
  SHA1_Update(&outer, pad, 64);
  // A 20-byte message after the 64-byte key block: 0x80, zeros, and the
  // bit length 84 * 8 = 672 at the end.
  uint8_t block[64] = {};
  block[20] = 0x80;
  block[62] = 0x02;
  block[63] = 0xa0;
  for (uint32_t index = 1; outLen > 0; ++index) {
    uint8_t u[20], t[20], be[4];
    PutBe32(be, index);
    SHA_CTX c = inner;
    SHA1_Update(&c, salt, saltLen);
    SHA1_Update(&c, be, 4);
    SHA1_Final(u, &c);
    c = outer;
    SHA1_Update(&c, u, 20);
    SHA1_Final(u, &c);
    std::memcpy(t, u, 20);
    for (int r = 1; r < rounds; ++r) {
      std::memcpy(block, u, 20);
      c = inner;
      SHA1_Transform(&c, block);
      StateBytes(c, block);
      c = outer;
      SHA1_Transform(&c, block);
      StateBytes(c, u);
      for (int k = 0; k < 20; ++k) t[k] ^= u[k];
    }
    const size_t n = std::min<size_t>(outLen, 20);
    std::memcpy(out, t, n);
    out += n;
    outLen -= n;
    OPENSSL_cleanse(u, sizeof u);
    OPENSSL_cleanse(t, sizeof t);
    OPENSSL_cleanse(&c, sizeof c);
  }
  OPENSSL_cleanse(key, sizeof key);
  OPENSSL_cleanse(pad, sizeof pad);
  OPENSSL_cleanse(block, sizeof block);
  OPENSSL_cleanse(&inner, sizeof inner);
  OPENSSL_cleanse(&outer, sizeof outer);
}

size_t AesSaltSize(int strength) { return strength >= 1 && strength <= 3 ? 4 + 4 * static_cast<size_t>(strength) : 0; }
size_t AesKeySize(int strength) { return strength >= 1 && strength <= 3 ? 8 + 8 * static_cast<size_t>(strength) : 0; }

std::string BuildAesExtra(uint16_t version, int strength, uint16_t method) {
  std::string s;
  common::AppendLe16(s, kExtraAes);
  common::AppendLe16(s, 7);
  common::AppendLe16(s, version);
  s += "AE";
  s.push_back(static_cast<char>(strength));
  common::AppendLe16(s, method);
  return s;
}

struct AesCipher::Impl {
  EVP_CIPHER_CTX* aes = nullptr;
  EVP_MAC* mac = nullptr;
  EVP_MAC_CTX* hmac = nullptr;
  uint64_t counterLow = 0, counterHigh = 0;  // the last block counter used
  uint8_t stream[kStreamBlocks * 16];
  size_t streamPos = sizeof stream;          // unused keystream bytes start here
  size_t streamEnd = sizeof stream;
  ~Impl() {
    EVP_CIPHER_CTX_free(aes);
    EVP_MAC_CTX_free(hmac);
    EVP_MAC_free(mac);
  }
  void Refill() {
    uint8_t counters[sizeof stream];
    for (size_t i = 0; i < kStreamBlocks; ++i) {
      if (++counterLow == 0) ++counterHigh;
      uint8_t* c = counters + 16 * i;
      for (int b = 0; b < 8; ++b) c[b] = static_cast<uint8_t>(counterLow >> (8 * b));
      for (int b = 0; b < 8; ++b) c[8 + b] = static_cast<uint8_t>(counterHigh >> (8 * b));
    }
    int len = 0;
    EVP_EncryptUpdate(aes, stream, &len, counters, sizeof counters);
    streamPos = 0;
    streamEnd = static_cast<size_t>(len);
  }
};

AesCipher::AesCipher() : impl_(std::make_unique<Impl>()) {}
AesCipher::~AesCipher() = default;

bool AesCipher::Init(std::string_view password, int strength, const uint8_t* salt, uint8_t verifier[2]) {
  const size_t keyLen = AesKeySize(strength);
  if (!keyLen) return false;
  uint8_t keys[2 * 32 + 2];
  Pbkdf2Sha1(password, salt, AesSaltSize(strength), kRounds, keys, 2 * keyLen + 2);
  verifier[0] = keys[2 * keyLen];
  verifier[1] = keys[2 * keyLen + 1];
  const EVP_CIPHER* ecb = keyLen == 16 ? EVP_aes_128_ecb() : keyLen == 24 ? EVP_aes_192_ecb() : EVP_aes_256_ecb();
  Impl& m = *impl_;
  m.aes = EVP_CIPHER_CTX_new();
  if (!m.aes || EVP_EncryptInit_ex(m.aes, ecb, nullptr, keys, nullptr) != 1) return false;
  EVP_CIPHER_CTX_set_padding(m.aes, 0);
  m.mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  if (!m.mac) return false;
  m.hmac = EVP_MAC_CTX_new(m.mac);
  char digest[] = "SHA1";
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_construct_end()};
  if (!m.hmac || EVP_MAC_init(m.hmac, keys + keyLen, keyLen, params) != 1) return false;
  OPENSSL_cleanse(keys, sizeof keys);
  return true;
}

void AesCipher::Crypt(uint8_t* data, size_t n) {
  Impl& m = *impl_;
  while (n > 0) {
    if (m.streamPos == m.streamEnd) m.Refill();
    const size_t k = std::min(n, m.streamEnd - m.streamPos);
    const uint8_t* s = m.stream + m.streamPos;
    for (size_t i = 0; i < k; ++i) data[i] ^= s[i];
    m.streamPos += k;
    data += k;
    n -= k;
  }
}

void AesCipher::Decrypt(uint8_t* data, size_t n) {
  EVP_MAC_update(impl_->hmac, data, n);
  Crypt(data, n);
}

void AesCipher::Encrypt(uint8_t* data, size_t n) {
  Crypt(data, n);
  EVP_MAC_update(impl_->hmac, data, n);
}

void AesCipher::Code(uint8_t out[kAesCodeSize]) {
  uint8_t full[EVP_MAX_MD_SIZE];
  size_t len = 0;
  EVP_MAC_final(impl_->hmac, full, &len, sizeof full);
  std::memcpy(out, full, kAesCodeSize);
}

void AesRandom(uint8_t* out, size_t n) {
  size_t got = 0;
  while (got < n) {
    const ssize_t r = getrandom(out + got, n - got, 0);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  if (got < n) {
    std::random_device rd;
    for (; got < n; ++got) out[got] = static_cast<uint8_t>(rd());
  }
}

bool AesEncryptWhole(std::string_view password, int strength, std::string& data) {
  const size_t saltLen = AesSaltSize(strength);
  if (!saltLen) return false;
  uint8_t head[16 + kAesVerifierSize];
  AesRandom(head, saltLen);
  AesCipher c;
  if (!c.Init(password, strength, head, head + saltLen)) return false;
  c.Encrypt(reinterpret_cast<uint8_t*>(data.data()), data.size());
  uint8_t code[kAesCodeSize];
  c.Code(code);
  data.insert(0, reinterpret_cast<const char*>(head), saltLen + kAesVerifierSize);
  data.append(reinterpret_cast<const char*>(code), kAesCodeSize);
  return true;
}

}  // namespace arkelin::engine::zip::dll

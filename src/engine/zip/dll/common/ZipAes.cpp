// AES entry encryption over libcrypto; see ZipAes.h.
#include "engine/zip/dll/common/ZipAes.h"

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
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
}  // namespace

size_t AesSaltSize(int strength) { return strength >= 1 && strength <= 3 ? 4 + 4 * static_cast<size_t>(strength) : 0; }
size_t AesKeySize(int strength) { return strength >= 1 && strength <= 3 ? 8 + 8 * static_cast<size_t>(strength) : 0; }

bool ParseAesExtra(const uint8_t* d, size_t n, AesExtra& out) {
  if (n < 7 || d[2] != 'A' || d[3] != 'E') return false;
  out.version = common::Le16(d);
  out.strength = d[4];
  out.method = common::Le16(d + 5);
  return true;
}

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
  if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt,
                             static_cast<int>(AesSaltSize(strength)), kRounds, static_cast<int>(2 * keyLen + 2),
                             keys) != 1)
    return false;
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

// Traditional PKWARE encryption keys.
#include "engine/zip/dll/common/ZipCrypto.h"

#include "engine/common/Crc32.h"

namespace arkelin::engine::zip::dll {

ZipCryptoKeys::ZipCryptoKeys(std::string_view password) : k0_(0x12345678u), k1_(0x23456789u), k2_(0x34567890u) {
  for (char c : password) Update(static_cast<uint8_t>(c));
}

uint8_t ZipCryptoKeys::KeystreamByte() const {
  const uint32_t t = (k2_ | 2u) & 0xFFFFu;
  return static_cast<uint8_t>(((t * (t ^ 1u)) >> 8) & 0xFFu);
}

void ZipCryptoKeys::Update(uint8_t plain) {
  k0_ = common::Crc32Step(k0_, plain);
  k1_ = (k1_ + (k0_ & 0xFFu)) * 134775813u + 1u;
  k2_ = common::Crc32Step(k2_, static_cast<uint8_t>(k1_ >> 24));
}

void ZipCryptoKeys::Decrypt(uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t p = data[i] ^ KeystreamByte();
    Update(p);
    data[i] = p;
  }
}

void ZipCryptoKeys::Encrypt(uint8_t* data, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t p = data[i];
    data[i] = p ^ KeystreamByte();
    Update(p);
  }
}

bool ZipCryptoKeys::DecryptHeader(uint8_t* header12, uint8_t check) {
  Decrypt(header12, kCryptHeaderSize);
  return header12[kCryptHeaderSize - 1] == check;
}

}  // namespace arkelin::engine::zip::dll

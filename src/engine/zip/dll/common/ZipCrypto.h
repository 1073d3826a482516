// The traditional PKWARE encryption: three 32-bit keys seeded from the
// password, a keystream byte derived from the third key, and a 12-byte
// header in front of the data whose last byte checks the password (against
// the CRC's high byte, or the DOS time's high byte when the entry has a data
// descriptor). A matching check byte means "probably right" only; callers
// still verify the CRC after decompressing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace arkelin::engine::zip::dll {

inline constexpr size_t kCryptHeaderSize = 12;

class ZipCryptoKeys {
 public:
  explicit ZipCryptoKeys(std::string_view password);

  // In place; each byte updates the keys with the plain byte.
  void Decrypt(uint8_t* data, size_t n);
  void Encrypt(uint8_t* data, size_t n);

  // Decrypts a 12-byte header in place and answers whether its last byte
  // equals `check`.
  bool DecryptHeader(uint8_t* header12, uint8_t check);

 private:
  uint8_t KeystreamByte() const;
  void Update(uint8_t plain);

  uint32_t k0_, k1_, k2_;
};

// The byte the header's last byte must equal for an entry.
inline uint8_t CryptCheckByte(uint16_t flags, uint32_t crc, uint16_t dosTime) {
  return (flags & 0x0008) ? static_cast<uint8_t>(dosTime >> 8) : static_cast<uint8_t>(crc >> 24);
}

}  // namespace arkelin::engine::zip::dll

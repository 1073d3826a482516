// AES entry encryption (the AE-1/AE-2 scheme, method 99 with the 0x9901
// extra field): keys from PBKDF2-HMAC-SHA1 over the password and a salt of
// 8, 12 or 16 bytes (1000 rounds, two keys and a 2-byte password verifier),
// AES in counter mode with a little-endian block counter starting at 1, and
// HMAC-SHA1 over the encrypted bytes, of which the first 10 bytes follow the
// data as its authentication code. The primitives are libcrypto's.
//
// An entry's stored data: salt, verifier, encrypted data, code. The extra
// field names the strength (1, 2, 3 = 128, 192, 256 bits), the scheme's
// version (1 = AE-1, the CRC is kept; 2 = AE-2, the CRC field is 0) and the
// real compression method.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace arkelin::engine::zip::dll {

inline constexpr uint16_t kExtraAes = 0x9901;
inline constexpr size_t kAesVerifierSize = 2;
inline constexpr size_t kAesCodeSize = 10;

// Salt length for a strength (1..3), 0 for anything else.
size_t AesSaltSize(int strength);
// Key length in bytes for a strength (16, 24, 32), 0 for anything else.
size_t AesKeySize(int strength);
// What the 0x9901 field says.
struct AesExtra {
  uint16_t version = 0;   // 1 or 2
  int strength = 0;       // 1..3
  uint16_t method = 0;    // the real compression method
};
// Reads a 0x9901 block's data; false when it is too short or not "AE".
bool ParseAesExtra(const uint8_t* data, size_t n, AesExtra& out);
// The whole block (id, length and 7 bytes of data).
std::string BuildAesExtra(uint16_t version, int strength, uint16_t method);

// PBKDF2 with HMAC-SHA1: `outLen` bytes from the password and salt.
void Pbkdf2Sha1(std::string_view password, const uint8_t* salt, size_t saltLen, int rounds, uint8_t* out,
                size_t outLen);

// Encryption or decryption of one entry's data, with the running HMAC.
class AesCipher {
 public:
  AesCipher();
  ~AesCipher();
  AesCipher(const AesCipher&) = delete;
  AesCipher& operator=(const AesCipher&) = delete;

  // Derives the keys from the password and salt; `verifier` receives the two
  // check bytes. False when libcrypto fails or the strength is unknown.
  bool Init(std::string_view password, int strength, const uint8_t* salt, uint8_t verifier[2]);

  // In place. Decrypt authenticates the bytes as they come (encrypted),
  // Encrypt after encrypting them; the two must not be mixed on one cipher.
  void Decrypt(uint8_t* data, size_t n);
  void Encrypt(uint8_t* data, size_t n);

  // The 10-byte authentication code of everything passed so far.
  void Code(uint8_t out[kAesCodeSize]);

 private:
  void Crypt(uint8_t* data, size_t n);
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Fills `n` bytes with random data from the kernel.
void AesRandom(uint8_t* out, size_t n);

// Encrypts a whole entry's compressed data for storing: salt, verifier,
// encrypted bytes and code. False when libcrypto fails.
bool AesEncryptWhole(std::string_view password, int strength, std::string& data);

}  // namespace arkelin::engine::zip::dll

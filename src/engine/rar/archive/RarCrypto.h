// The ciphers and key derivations of RAR archives: the RAR 1.5 stream cipher,
// the RAR 2.0 block cipher, RAR 3.x AES-128 with its SHA-1 key derivation
// (including the in-place quirk of the original SHA-1 code), RAR 5 AES-256
// with PBKDF2-HMAC-SHA256, its password check value and its MAC-converted
// checksums. AES, SHA-1 and SHA-256 come from OpenSSL's libcrypto; the RAR
// specific parts follow the published format notes. Key material lives in
// SecretBytes, which wipes itself. Decryption only: nothing here encrypts
// archive data.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace arkelin::engine::rar::archive {

// A byte buffer that is wiped before its memory is given back.
class SecretBytes {
 public:
  SecretBytes() = default;
  explicit SecretBytes(const std::string& s) : b_(s.begin(), s.end()) {}
  SecretBytes(const uint8_t* p, size_t n) : b_(p, p + n) {}
  SecretBytes(const SecretBytes& o) : b_(o.b_) {}
  SecretBytes& operator=(const SecretBytes& o);
  SecretBytes(SecretBytes&& o) noexcept : b_(std::move(o.b_)) {}
  SecretBytes& operator=(SecretBytes&& o) noexcept;
  ~SecretBytes() { Wipe(); }
  void Wipe();
  const uint8_t* data() const { return b_.data(); }
  uint8_t* data() { return b_.data(); }
  size_t size() const { return b_.size(); }
  bool empty() const { return b_.empty(); }
  bool operator==(const SecretBytes& o) const { return b_ == o.b_; }
  void resize(size_t n) { b_.resize(n); }

 private:
  std::vector<uint8_t> b_;
};

// Wipes any buffer (OPENSSL_cleanse, which the compiler cannot drop).
void WipeMemory(void* p, size_t n);

// The password as RAR 3 hashes it: UTF-16LE of the UTF-8 text, at most 127
// code units.
SecretBytes PasswordUtf16(const SecretBytes& utf8);
// The password as RAR 5 hashes it: UTF-8, at most 127 characters.
SecretBytes PasswordUtf8(const SecretBytes& utf8);

// RAR 3.x: AES-128 key and IV from the UTF-16LE password and a salt (8
// bytes in archives; any length, also none, is accepted). `garble` applies
// the original SHA-1's habit of transforming the caller's buffer in place,
// which changes the result for seeds longer than 64 bytes.
void Rar3Key(const SecretBytes& password16, const uint8_t* salt, size_t saltLen, bool garble, uint8_t key[16],
             uint8_t iv[16]);

// RAR 5: the three PBKDF2-HMAC-SHA256 values of one salt and iteration
// exponent (2^lg, 2^lg + 16, 2^lg + 32 iterations), from one loop.
struct Rar5Keys {
  uint8_t key[32];
  uint8_t hashKey[32];
  uint8_t checkSeed[32];
  ~Rar5Keys() { WipeMemory(this, sizeof *this); }
};
constexpr unsigned kRar5MaxKdfLog2 = 24;
void Rar5DeriveKeys(const SecretBytes& passwordUtf8, const uint8_t salt[16], unsigned lg, Rar5Keys& out);

enum class CheckResult { Match, Mismatch, Unusable };
// Compares the stored 12-byte check value with the derived keys. Unusable
// when the stored value's own checksum is damaged.
CheckResult Rar5Check(const Rar5Keys& keys, const uint8_t stored[12]);
// The MAC conversion of whole-file checksums (encryption flag 0x0002).
uint32_t Rar5MacCrc(const uint8_t hashKey[32], uint32_t crc);
std::array<uint8_t, 32> Rar5MacHash(const uint8_t hashKey[32], const std::array<uint8_t, 32>& hash);

// HMAC-SHA256 and SHA-256, also used by the tests.
std::array<uint8_t, 32> HmacSha256(const uint8_t* key, size_t keyLen, const uint8_t* msg, size_t msgLen);
std::array<uint8_t, 32> Sha256(const uint8_t* p, size_t n);

// Decrypts a stream in place. BlockSize() divides every amount handed to
// Decrypt except, for a stream cipher (block size 1), none.
class Decryptor {
 public:
  virtual ~Decryptor() = default;
  virtual size_t BlockSize() const = 0;
  virtual bool Decrypt(uint8_t* data, size_t n) = 0;
};

// AES-CBC with a 16- or 32-byte key and a 16-byte IV, no padding removal
// (RAR pads to 16 and stores the real sizes itself).
std::unique_ptr<Decryptor> MakeAesCbc(const uint8_t* key, size_t keyLen, const uint8_t iv[16]);
// The RAR 2.0 cipher keyed by the password's bytes.
std::unique_ptr<Decryptor> MakeRar20(const SecretBytes& password);
// The RAR 1.5 stream cipher keyed by the password's bytes.
std::unique_ptr<Decryptor> MakeRar15(const SecretBytes& password);

// The password of one archive session and the keys derived from it, so a
// salt that many headers or files share is derived once. Setting another
// password forgets every key. Everything is wiped when it goes.
class KeyCache {
 public:
  void SetPassword(const SecretBytes& utf8);
  bool HasPassword() const { return !password_.empty(); }
  const SecretBytes& Password() const { return password_; }
  void Clear();
  // RAR 3 key and IV for a salt (UTF-16 password).
  void Rar3(const uint8_t* salt, size_t saltLen, bool garble, uint8_t key[16], uint8_t iv[16]);
  // RAR 5 keys for a salt and iteration exponent (UTF-8 password).
  const Rar5Keys& Rar5(const uint8_t salt[16], unsigned lg);
  // Whether the password is long enough for the RAR 3 in-place quirk to matter.
  bool Rar3QuirkMatters() const { return pw16_.size() + 8 > 64; }

 private:
  SecretBytes password_, pw16_, pw8_;
  struct R3 {
    uint8_t salt[16];
    size_t saltLen;
    bool garble;
    uint8_t key[16], iv[16];
  };
  struct R5 {
    uint8_t salt[16];
    unsigned lg;
    std::unique_ptr<Rar5Keys> keys;
  };
  std::vector<R3> r3_;
  std::vector<R5> r5_;
};

}  // namespace arkelin::engine::rar::archive

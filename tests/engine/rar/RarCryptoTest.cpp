// Key derivations, checksums and ciphers of the RAR archive layer against the
// published test vectors and values taken from real archives.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/rar/archive/Blake2sp.h"
#include "engine/rar/archive/RarCrypto.h"

using namespace arkelin::engine::rar::archive;

namespace {

std::vector<uint8_t> Hex(const std::string& h) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < h.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoul(h.substr(i, 2), nullptr, 16)));
  return out;
}

std::string ToHex(const uint8_t* p, size_t n) {
  static const char* d = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) {
    s += d[p[i] >> 4];
    s += d[p[i] & 15];
  }
  return s;
}

std::string Blake(const std::vector<uint8_t>& data, size_t chunk) {
  Blake2sp h;
  for (size_t i = 0; i < data.size(); i += chunk) h.Update(data.data() + i, std::min(chunk, data.size() - i));
  const Digest32 d = h.Final();
  return ToHex(d.data(), d.size());
}

struct Rar3Vector {
  std::string password, salt, key, iv;
};

}  // namespace

TEST(Blake2sp, PublishedVectorsWholeAndInOddPieces) {
  std::vector<uint8_t> fifty(50);
  for (int i = 0; i < 50; ++i) fifty[i] = static_cast<uint8_t>(i);
  std::vector<uint8_t> thousand;
  for (int r = 0; r < 20; ++r) thousand.insert(thousand.end(), fifty.begin(), fifty.end());
  const std::vector<uint8_t> hello = {'H', 'e', 'l', 'l', 'o'};
  for (size_t chunk : {size_t{1}, size_t{7}, size_t{64}, size_t{100000}}) {
    EXPECT_EQ(Blake({}, chunk), "dd0e891776933f43c7d032b08a917e25741f8aa9a12c12e1cac8801500f2ca4f");
    EXPECT_EQ(Blake(hello, chunk), "0d6bae0db99f99183d060f7994bb94b45c6490b2a0a628b8b1346ebea8ec1d66");
    EXPECT_EQ(Blake(fifty, chunk), "270affa6426f1a515c9b76dfc27d181fc2fd57d082a3ba2c1eef071533a6dfb7") << chunk;
    EXPECT_EQ(Blake(thousand, chunk), "24a78d92592d0761a3681f32935225ca55ffb8eb16b55ab9481c89c59a985ff3") << chunk;
  }
}

TEST(Blake2sp, SequentialBlake2sMatchesItsStandardValue) {
  // BLAKE2s-256("abc") from RFC 7693 appendix B.
  Blake2s h;
  const uint8_t abc[] = {'a', 'b', 'c'};
  h.Update(abc, 3);
  const Digest32 d = h.Final();
  EXPECT_EQ(ToHex(d.data(), 32), "508c5e8c327c14e2e1a72ba34eeb452f37458b209ed63a294d999b4c86675982");
}

TEST(RarCrypto, Rar3KeyDerivationVectorsOnBothSidesOfTheInPlaceQuirk) {
  const std::vector<Rar3Vector> vectors = {
      {"password", "00FF00", "a160cb31cb262e9231c0b6fc984fbb0d", "aa54a659fb0c359b30f353a6343fb11d"},
      {std::string(28, 'p'), "1122334455667788", "ffff33ffaf31987c899ccc2f965a8927", "bdff6873721b247afa4f978448a5aeef"},
      {std::string(29, 'p'), "1122334455667788", "306cafde28f1ea78c9427c3ec642c0db", "173ecdf574c0bfe9e7c23bdfd96fa435"},
      {std::string(127, 'p'), "1122334455667788", "b1bc223609af7d4f3b70e5a254ac2501", "302c97945530d7ffa7c551eb2dd21a90"},
      // From the archives themselves: a header salt and two file salts.
      {"12345678", "e32eab64a75c768c", "65d131ef3104c087f427dacf2be6b02d", "8883f8732e1c1673dd9ea851ee6a9092"},
      {"password", "be021b9a792a8a55", "a52c5531cd3f94c7cc75332f91aadcfc", "b45e05c74948ed33f28b0ad47ad43937"},
      {"password2", "afe27d13f3a55352", "5fc142b01298ec8755f76bffc7409cba", "17cbe2674c7cbda5a67be07c571b1fdc"},
  };
  for (const auto& v : vectors) {
    const auto salt = Hex(v.salt);
    uint8_t key[16], iv[16];
    Rar3Key(PasswordUtf16(SecretBytes(v.password)), salt.data(), salt.size(), true, key, iv);
    EXPECT_EQ(ToHex(key, 16), v.key) << v.password.size() << " characters";
    EXPECT_EQ(ToHex(iv, 16), v.iv) << v.password.size() << " characters";
  }
  // Without the quirk a 29-character password gives another key; below 29
  // characters the quirk changes nothing.
  const auto salt = Hex("1122334455667788");
  uint8_t key[16], iv[16];
  Rar3Key(PasswordUtf16(SecretBytes(std::string(29, 'p'))), salt.data(), salt.size(), false, key, iv);
  EXPECT_NE(ToHex(key, 16), "306cafde28f1ea78c9427c3ec642c0db");
  Rar3Key(PasswordUtf16(SecretBytes(std::string(28, 'p'))), salt.data(), salt.size(), false, key, iv);
  EXPECT_EQ(ToHex(key, 16), "ffff33ffaf31987c899ccc2f965a8927");
}

TEST(RarCrypto, Rar5KeysCheckValueAndMacConvertedChecksums) {
  // The header encryption of rf-rar5-hpsw.rar.
  Rar5Keys k;
  const auto salt = Hex("a798cbfb5c85ea540a42d4d4c2872790");
  Rar5DeriveKeys(PasswordUtf8(SecretBytes(std::string("password"))), salt.data(), 15, k);
  EXPECT_EQ(ToHex(k.key, 32), "9bd55432715738a0769d0784eb99cf8088e9189ee332f4add2bfeaa2d390ced0");
  EXPECT_EQ(ToHex(k.hashKey, 32), "b872e9d4c3c7487317ed2a683a627fb05c5f4fb3e19bff9483212f4a8f28cac7");
  const auto check = Hex("1d29a48fc21e63ea4a5f40d3");
  EXPECT_EQ(Rar5Check(k, check.data()), CheckResult::Match);

  // b.txt and d.txt of la-test_read_format_rar5_encrypted.rar.
  const auto fileSalt = Hex("c7445ee180f8b59fd62b433708bc57cd");
  Rar5Keys b, d;
  Rar5DeriveKeys(SecretBytes(std::string("password")), fileSalt.data(), 15, b);
  Rar5DeriveKeys(SecretBytes(std::string("password2")), fileSalt.data(), 15, d);
  EXPECT_EQ(ToHex(b.key, 32), "d75c7cb7e22d81138d1a15988c785d5141b4fa5c2a691a49505abb7d60aee690");
  EXPECT_EQ(ToHex(b.hashKey, 32), "523ac49a98ec2fc579792683b1c0af69490ed5e775933e74ab382f03f278d8b7");
  EXPECT_EQ(ToHex(d.hashKey, 32), "3bb7978d3cc573cb37560f3daa21a8f08f94e3c293d0dd08391e9c8871b39c04");
  EXPECT_EQ(Rar5Check(b, Hex("ea35671d70f12d4b6b9c1a9c").data()), CheckResult::Match);
  EXPECT_EQ(Rar5Check(d, Hex("834cd448e915ebd6ac77b7a3").data()), CheckResult::Match);
  // The wrong password is known from the check value alone.
  EXPECT_EQ(Rar5Check(b, Hex("834cd448e915ebd6ac77b7a3").data()), CheckResult::Mismatch);
  EXPECT_EQ(Rar5MacCrc(b.hashKey, 0xA9FA1485), 0x02A34518u);
  EXPECT_EQ(Rar5MacCrc(d.hashKey, 0x26BAE125), 0x1263DFC3u);
  // A check value whose own checksum is damaged cannot judge a password.
  auto damaged = Hex("ea35671d70f12d4b6b9c1a9c");
  damaged[10] ^= 1;
  EXPECT_EQ(Rar5Check(b, damaged.data()), CheckResult::Unusable);
}

TEST(RarCrypto, AesKnownAnswersDecryptInOneGoAndInBlocks) {
  const std::string plain = "0123456789abcdef0123456789abcdef";
  struct Case {
    size_t keyLen;
    uint8_t keyByte, ivByte;
    std::string cipher;
  };
  const Case cases[] = {
      {16, 0x02, 0x80, "4b0d438b4a1b972bd4ab81cd64674dcce4b0158090fbe616f455354284d53502"},
      {32, 0x52, 0x70, "24988f387592e4d95b6eaab013137a221f81b25aa7ecde0ef4f4d7a95f92c250"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> key(c.keyLen, c.keyByte), iv(16, c.ivByte);
    auto whole = Hex(c.cipher);
    MakeAesCbc(key.data(), key.size(), iv.data())->Decrypt(whole.data(), whole.size());
    EXPECT_EQ(std::string(whole.begin(), whole.end()), plain);
    auto pieces = Hex(c.cipher);
    auto dec = MakeAesCbc(key.data(), key.size(), iv.data());
    dec->Decrypt(pieces.data(), 16);
    dec->Decrypt(pieces.data() + 16, 16);
    EXPECT_EQ(std::string(pieces.begin(), pieces.end()), plain);
    EXPECT_FALSE(dec->Decrypt(pieces.data(), 5));  // not a whole block
  }
}

TEST(RarCrypto, PasswordsAreCutAt127UnitsAndNonAsciiBecomesUtf16) {
  EXPECT_EQ(PasswordUtf16(SecretBytes(std::string(200, 'x'))).size(), 254u);
  const SecretBytes u = PasswordUtf16(SecretBytes(std::string("\xc3\xa4\xf0\x9f\x98\x80")));  // ä and an emoji
  EXPECT_EQ(ToHex(u.data(), u.size()), "e4003dd800de");
  EXPECT_EQ(PasswordUtf8(SecretBytes(std::string(130, 'y'))).size(), 127u);
}

TEST(RarCrypto, KeyCacheDerivesOncePerSaltAndForgetsOnANewPassword) {
  KeyCache cache;
  cache.SetPassword(SecretBytes(std::string("password")));
  const auto salt = Hex("be021b9a792a8a55");
  uint8_t k1[16], iv1[16], k2[16], iv2[16];
  cache.Rar3(salt.data(), 8, true, k1, iv1);
  cache.Rar3(salt.data(), 8, true, k2, iv2);
  EXPECT_EQ(ToHex(k1, 16), "a52c5531cd3f94c7cc75332f91aadcfc");
  EXPECT_EQ(0, std::memcmp(k1, k2, 16));
  cache.SetPassword(SecretBytes(std::string("password2")));
  cache.Rar3(salt.data(), 8, true, k2, iv2);
  EXPECT_NE(0, std::memcmp(k1, k2, 16));
  cache.Clear();
  EXPECT_FALSE(cache.HasPassword());
}

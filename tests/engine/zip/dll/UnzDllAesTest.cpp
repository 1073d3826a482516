// AES-encrypted entries: the fixtures and archives 7z writes are read with
// the verifier and the authentication code checked; archives we write with
// each key size are read back by 7z and bsdtar, with the field layout and
// the AE-1/AE-2 choice checked on the stored bytes; a damaged or altered
// entry never replaces what was on disk.
#include <gtest/gtest.h>

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>

#include "UnzTestUtil.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/ZipAes.h"

using namespace unztest;
namespace dll = arkelin::engine::zip::dll;

namespace {

fs::path Fixture(const std::string& name) { return fs::path(ARKELIN_FIXTURES) / "zip" / name; }
std::string Arkzip() { return Q(fs::path(ARKELIN_BIN_DIR) / "arkzip"); }

class UnzDllAes : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Library::Get().exec); }
  Call Extract(const fs::path& archive, const std::string& password, bool test = false) {
    Call c;
    c.archive = archive.string();
    c.password = password;
    c.test = test;
    c.overwrite = true;
    c.Run();
    return c;
  }
  TempDir tmp_;
};

TEST_F(UnzDllAes, FixturesDecryptToWhat7zGives) {
  for (const char* name : {"la-test_read_format_zip_winzip_aes128.zip", "la-test_read_format_zip_winzip_aes256.zip"}) {
    SCOPED_TRACE(name);
    tmp_.ClearOut();
    Call c = Extract(Fixture(name), "password");
    EXPECT_TRUE(c.Errors().empty()) << c.AllErrors();
    fs::remove_all(tmp_ / "peer");
    ASSERT_EQ(Sh("7z x -y -ppassword -o" + Q(tmp_ / "peer") + " " + Q(Fixture(name))), 0);
    const std::string ours = ReadAll(tmp_.Out() / "README");
    EXPECT_EQ(ours.size(), 6818u);
    EXPECT_EQ(ours, ReadAll(tmp_ / "peer" / "README"));
  }
}

TEST_F(UnzDllAes, WrongPasswordIsRefusedAtTheVerifier) {
  Call c = Extract(Fixture("la-test_read_format_zip_winzip_aes256.zip"), "not the password");
  EXPECT_TRUE(c.HasError("wrong password")) << c.AllErrors();
  EXPECT_FALSE(c.HasError("authentication")) << "the data was decrypted with a wrong key";
  EXPECT_FALSE(fs::exists(tmp_.Out() / "README"));
  // A right answer to the question then opens it.
  Call asked;
  asked.archive = Fixture("la-test_read_format_zip_winzip_aes128.zip").string();
  asked.password = "wrong";
  asked.passwordAnswers = {"still wrong", "password"};
  EXPECT_EQ(asked.Run(), 1);
  EXPECT_EQ(ReadAll(tmp_.Out() / "README").size(), 6818u);
}

TEST_F(UnzDllAes, BadAuthenticationCodeRemovesTheOutputAndSaysSo) {
  WriteFile(tmp_.Out() / "test.txt", "what was there before\n");
  Call c = Extract(Fixture("lz-hmac-error.zip"), "1234");
  EXPECT_TRUE(c.HasError("authentication code does not match")) << c.AllErrors();
  EXPECT_EQ(ReadAll(tmp_.Out() / "test.txt"), "what was there before\n");
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(tmp_.Out())) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"test.txt"}) << "a temporary file was left behind";
  Call t = Extract(Fixture("lz-hmac-error.zip"), "1234", true);
  EXPECT_EQ(t.Run(), 0);
  EXPECT_TRUE(t.HasError("authentication code"));
}

TEST_F(UnzDllAes, ArchivesFrom7zExtractByteIdentical) {
  MakeSourceTree(tmp_ / "src");
  for (const char* mode : {"AES256", "AES128"}) {
    SCOPED_TRACE(mode);
    const fs::path z = tmp_ / (std::string(mode) + ".zip");
    ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && 7z a -tzip -mem=" + mode + " -p'se cret' " + Q(z) + " ."), 0);
    tmp_.ClearOut();
    Call c = Extract(z, "se cret");
    EXPECT_TRUE(c.Errors().empty()) << c.AllErrors();
    EXPECT_EQ(Tree(tmp_.Out()), Tree(tmp_ / "src"));
  }
}

// The AES field of every entry, read with the engine's own directory reader.
std::vector<dll::CentralEntry> Entries(const fs::path& z) {
  dll::ArchiveFile f;
  dll::CentralDirectory dir;
  if (!f.Open(z.string()) || !dll::ReadCentralDirectory(f, dir).Ok()) return {};
  return dir.entries;
}

TEST_F(UnzDllAes, OurArchivesAreReadBy7zAndBsdtarWithEachKeySize) {
  MakeSourceTree(tmp_ / "src");
  WriteFile(tmp_ / "src" / "tiny.txt", "seven b");
  for (const auto& [bits, strength] : {std::pair{"128", 1}, std::pair{"192", 2}, std::pair{"256", 3}}) {
    SCOPED_TRACE(bits);
    const fs::path z = tmp_ / (std::string("ours") + bits + ".zip");
    ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && " + Arkzip() + " add " + Q(z) +
                 " --recurse --dirnames --password 'p w' --aes " + bits + " ."),
              0);
    const auto entries = Entries(z);
    ASSERT_EQ(entries.size(), 7u);
    for (const auto& e : entries) {
      SCOPED_TRACE(e.name);
      EXPECT_TRUE(e.IsEncrypted());
      EXPECT_EQ(e.method, 99);
      EXPECT_EQ(e.aesStrength, strength);
      EXPECT_TRUE(e.aesMethod == 0 || e.aesMethod == 8);
      // The smallest entries leave their CRC out (AE-2), the others keep it.
      if (e.uncompressedSize < 20) {
        EXPECT_EQ(e.aesVersion, 2);
        EXPECT_EQ(e.crc, 0u);
      } else {
        EXPECT_EQ(e.aesVersion, 1);
        EXPECT_NE(e.crc, 0u);
      }
      // Salt, verifier and code around the data.
      EXPECT_GE(e.compressedSize, dll::AesSaltSize(strength) + 12);
    }
    EXPECT_EQ(Sh("7z t -p'p w' " + Q(z)), 0);
    const fs::path p7 = tmp_ / ("7z" + std::string(bits)), pb = tmp_ / ("bsd" + std::string(bits));
    fs::create_directories(pb);
    ASSERT_EQ(Sh("7z x -y -p'p w' -o" + Q(p7) + " " + Q(z)), 0);
    ASSERT_EQ(Sh("bsdtar -xf " + Q(z) + " --passphrase 'p w' -C " + Q(pb)), 0);
    EXPECT_EQ(Tree(p7), Tree(tmp_ / "src"));
    EXPECT_EQ(Tree(pb), Tree(tmp_ / "src"));
    // 7z refuses a wrong password for them too.
    EXPECT_NE(Sh("7z t -pwrong " + Q(z)), 0);
  }
}

TEST_F(UnzDllAes, LargeEntriesAreEncryptedAsTheyStream) {
  // Past the size the library compresses in one piece: blocks are encrypted
  // and authenticated one after another, sizes patched afterwards.
  std::string big;
  std::mt19937 rng(3);
  for (int i = 0; i < 1500000; ++i) big += "row " + std::to_string(rng() % 5000) + "\n";
  big.append(6000000, 'z');
  WriteFile(tmp_ / "src" / "big.txt", big);
  ASSERT_GT(big.size(), 16u << 20);
  const fs::path z = tmp_ / "big.zip";
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && " + Arkzip() + " add " + Q(z) + " --password k --aes 256 big.txt"), 0);
  EXPECT_EQ(Sh("7z t -pk " + Q(z)), 0);
  Call c = Extract(z, "k");
  EXPECT_TRUE(c.Errors().empty()) << c.AllErrors();
  EXPECT_TRUE(ReadAll(tmp_.Out() / "big.txt") == big);
}

TEST_F(UnzDllAes, AlteredDataIsCaughtAndTheOldFileStays) {
  WriteFile(tmp_ / "src" / "doc.txt", std::string(5000, 'a') + "end\n");
  const fs::path z = tmp_ / "a.zip";
  ASSERT_EQ(Sh("cd " + Q(tmp_ / "src") + " && " + Arkzip() + " add " + Q(z) + " --password k --aes 128 doc.txt"), 0);
  const auto entries = Entries(z);
  ASSERT_EQ(entries.size(), 1u);
  // Flip a bit in the middle of the encrypted bytes.
  dll::ArchiveFile f;
  dll::LocalHeader lh;
  ASSERT_TRUE(f.Open(z.string()));
  ASSERT_TRUE(dll::ReadLocalHeader(f, entries[0].localOffset, lh).Ok());
  std::string bytes = ReadAll(z);
  const size_t at = lh.dataOffset + 8 + 2 + 3;
  bytes[at] = static_cast<char>(bytes[at] ^ 0x10);
  WriteFile(z, bytes);
  WriteFile(tmp_.Out() / "doc.txt", "old\n");
  Call c = Extract(z, "k");
  EXPECT_TRUE(c.HasError("authentication code")) << c.AllErrors();
  EXPECT_EQ(ReadAll(tmp_.Out() / "doc.txt"), "old\n");
}

std::string Hex(const uint8_t* p, size_t n) {
  std::string s;
  char b[3];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(b, sizeof b, "%02x", p[i]);
    s += b;
  }
  return s;
}

// The published PBKDF2-HMAC-SHA1 vectors, and libcrypto's own derivation
// for what the vectors leave out: passwords longer than a SHA-1 block (the
// key is then hashed first), every salt and output length the scheme uses.
TEST(ZipAesKeys, DerivationMatchesThePublishedVectorsAndLibcrypto) {
  struct Vector {
    std::string password, salt;
    int rounds;
    size_t length;
    const char* hex;
  };
  const Vector vectors[] = {
      {"password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {"password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {"password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1"},
      {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16, "56fa6aa75548099dcc37d7f03425e0c3"},
  };
  for (const Vector& v : vectors) {
    SCOPED_TRACE(v.password);
    uint8_t out[32];
    dll::Pbkdf2Sha1(v.password, reinterpret_cast<const uint8_t*>(v.salt.data()), v.salt.size(), v.rounds, out,
                    v.length);
    EXPECT_EQ(Hex(out, v.length), v.hex);
  }
  const std::string passwords[] = {"", "k", std::string(63, 'p'), std::string(64, 'p'), std::string(65, 'p'),
                                   std::string(300, '\xe9')};
  const uint8_t salt[16] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0xff, 0xfe, 0x80, 0x7f, 0x10, 0x01};
  for (const std::string& pw : passwords) {
    for (int strength = 1; strength <= 3; ++strength) {
      SCOPED_TRACE(std::to_string(pw.size()) + " bytes, strength " + std::to_string(strength));
      const size_t saltLen = dll::AesSaltSize(strength), len = 2 * dll::AesKeySize(strength) + 2;
      uint8_t ours[66], theirs[66];
      dll::Pbkdf2Sha1(pw, salt, saltLen, 1000, ours, len);
      ASSERT_EQ(PKCS5_PBKDF2_HMAC_SHA1(pw.data(), static_cast<int>(pw.size()), salt, static_cast<int>(saltLen),
                                       1000, static_cast<int>(len), theirs),
                1);
      EXPECT_EQ(Hex(ours, len), Hex(theirs, len));
    }
  }
}

TEST(ZipAesField, BuildsAndParsesTheSameField) {
  const std::string f = dll::BuildAesExtra(2, 3, 8);
  ASSERT_EQ(f.size(), 11u);
  EXPECT_EQ(static_cast<uint8_t>(f[0]), 0x01);
  EXPECT_EQ(static_cast<uint8_t>(f[1]), 0x99);
  dll::AesExtra a;
  ASSERT_TRUE(dll::ParseAesExtra(reinterpret_cast<const uint8_t*>(f.data()) + 4, 7, a));
  EXPECT_EQ(a.version, 2);
  EXPECT_EQ(a.strength, 3);
  EXPECT_EQ(a.method, 8);
  EXPECT_FALSE(dll::ParseAesExtra(reinterpret_cast<const uint8_t*>("\x01\x00XE\x01\x08\x00"), 7, a));
  EXPECT_FALSE(dll::ParseAesExtra(reinterpret_cast<const uint8_t*>(f.data()) + 4, 6, a));
}

}  // namespace

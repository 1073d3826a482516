// A change of password through the library: archives encrypted again are
// read by 7z, bsdtar and Python's zipfile with the new password and refused
// with the old one; the compressed bytes under the encryption are the same
// bytes as before; a wrong old password (also one that passes the
// traditional check byte), an entry that cannot be checked, a stop and a
// full disk leave the archive byte for byte as it was.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <map>

#include "ZipDllTestUtil.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/ZipAes.h"
#include "engine/zip/dll/common/ZipCrypto.h"

using namespace ziptest;

namespace {

std::string Arkzip() { return std::string("'") + ARKELIN_BIN_DIR + "/arkzip'"; }

std::vector<dll::CentralEntry> Entries(const std::string& archive) {
  dll::ArchiveFile f;
  dll::CentralDirectory dir;
  if (!f.Open(archive) || !dll::ReadCentralDirectory(f, dir).Ok()) return {};
  return dir.entries;
}

// Each file entry's compressed bytes with the encryption taken off (the
// password checked on the way), by entry name; "?" for an entry the
// password does not open.
std::map<std::string, std::string> PlainPayloads(const std::string& archive, const std::string& password) {
  std::map<std::string, std::string> out;
  dll::ArchiveFile f;
  dll::CentralDirectory dir;
  if (!f.Open(archive) || !dll::ReadCentralDirectory(f, dir).Ok()) return out;
  for (const auto& e : dir.entries) {
    if (e.IsDirectory()) continue;
    dll::LocalHeader lh;
    if (!dll::ReadLocalHeader(f, e.localOffset, lh).Ok()) continue;
    std::string data(e.compressedSize, '\0');
    if (!f.ReadAt(lh.dataOffset, data.data(), data.size())) continue;
    auto* b = reinterpret_cast<uint8_t*>(data.data());
    if (!e.IsEncrypted()) {
      out[e.name] = data;
    } else if (e.IsAes()) {
      const size_t salt = dll::AesSaltSize(e.aesStrength);
      dll::AesCipher c;
      uint8_t v[2];
      if (!c.Init(password, e.aesStrength, b, v) || std::memcmp(v, b + salt, 2) != 0) {
        out[e.name] = "?";
        continue;
      }
      const size_t body = data.size() - salt - 2 - dll::kAesCodeSize;
      c.Decrypt(b + salt + 2, body);
      uint8_t code[dll::kAesCodeSize];
      c.Code(code);
      out[e.name] = std::memcmp(code, b + salt + 2 + body, sizeof code) == 0 ? data.substr(salt + 2, body) : "?";
    } else {
      dll::ZipCryptoKeys k(password);
      const uint8_t check = dll::CryptCheckByte(lh.flags, e.crc, e.dosTime);
      if (!k.DecryptHeader(b, check)) {
        out[e.name] = "?";
        continue;
      }
      k.Decrypt(b + 12, data.size() - 12);
      out[e.name] = data.substr(12);
    }
  }
  return out;
}

class ZipDllPasswd : public ZipDllTest {
 protected:
  // A tree with text, random bytes, a tiny and an empty file and a folder.
  void MakeTree() {
    WriteFile("src/prose.txt", Prose(300000, 1));
    WriteFile("src/noise.bin", RandomBytes(70000, 2));
    WriteFile("src/sub/tiny.txt", "seven b");
    WriteFile("src/sub/empty.txt", "");
    WriteFile("src/sub/deeper/more.txt", Prose(5000, 3));
  }
  // arkzip add with the given encryption options (empty: none).
  void Add(const std::string& archive, const std::string& options) {
    ASSERT_EQ(Shell("cd src && " + Arkzip() + " add ../" + archive + " --recurse --dirnames " + options + " ."), 0);
  }
  RunResult Passwd(const std::string& archive, const std::string& oldPw, const std::string& newPw, int aes,
                   std::function<int32_t(dll::EngineCallbackData&)> answer = nullptr) {
    ZipOptions o;
    o.archive = archive;
    o.password = oldPw;
    o.newPassword = newPw;
    o.changePassword = true;
    o.aes = aes;
    o.answer = std::move(answer);
    return RunZip(o);
  }
  std::string Sorted(const std::string& listing) {
    std::vector<std::string> lines;
    std::istringstream in(listing);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    std::sort(lines.begin(), lines.end());
    std::string s;
    for (const auto& l : lines) s += l + "\n";
    return s;
  }
  // name<TAB>sha256 of every file under the folder.
  std::string TreeDigest(const std::string& folder) {
    return Sorted(Capture("cd '" + folder + "' && find . -type f -exec sha256sum {} + | awk '{print $2\"\\t\"$1}'"));
  }
};

TEST_F(ZipDllPasswd, TraditionalToAes256KeepsTheCompressedBytesAndPeersReadIt) {
  if (!HaveTool("7z") || !HaveTool("bsdtar")) GTEST_SKIP() << "7z and bsdtar are needed";
  MakeTree();
  Add("a.zip", "--password 'old pw'");
  const auto before = Entries("a.zip");
  const auto plainBefore = PlainPayloads("a.zip", "old pw");
  ASSERT_EQ(plainBefore.size(), 5u);

  const RunResult r = Passwd("a.zip", "old pw", "new secret", 3);
  ASSERT_EQ(r.result, 5) << r.Messages();

  const auto after = Entries("a.zip");
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) {
    SCOPED_TRACE(after[i].name);
    EXPECT_EQ(after[i].rawName, before[i].rawName);
    EXPECT_EQ(after[i].dosTime, before[i].dosTime);
    EXPECT_EQ(after[i].externalAttr, before[i].externalAttr);
    EXPECT_EQ(after[i].uncompressedSize, before[i].uncompressedSize);
    if (after[i].IsDirectory()) {
      EXPECT_FALSE(after[i].IsEncrypted());
      continue;
    }
    EXPECT_TRUE(after[i].IsEncrypted());
    EXPECT_EQ(after[i].method, 99);
    EXPECT_EQ(after[i].aesStrength, 3);
    EXPECT_EQ(after[i].aesMethod, before[i].method);
    // AE-2 (no CRC) for the smallest entries, AE-1 with the CRC kept otherwise.
    if (after[i].uncompressedSize < 20) {
      EXPECT_EQ(after[i].aesVersion, 2);
      EXPECT_EQ(after[i].crc, 0u);
    } else {
      EXPECT_EQ(after[i].aesVersion, 1);
      EXPECT_EQ(after[i].crc, before[i].crc);
    }
  }
  // Not recompressed: the same compressed bytes under the new encryption.
  EXPECT_EQ(PlainPayloads("a.zip", "new secret"), plainBefore);
  for (const auto& [name, data] : PlainPayloads("a.zip", "old pw")) EXPECT_EQ(data, "?") << name;

  EXPECT_EQ(Shell("7z t -p'new secret' a.zip"), 0);
  EXPECT_NE(Shell("7z t -p'old pw' a.zip"), 0);
  ASSERT_EQ(Shell("mkdir -p bsd && bsdtar -xf a.zip -C bsd --passphrase 'new secret'"), 0);
  EXPECT_EQ(TreeDigest("bsd"), TreeDigest("src"));
  EXPECT_NE(Shell("mkdir -p bsd2 && bsdtar -xf a.zip -C bsd2 --passphrase 'old pw'"), 0);
  EXPECT_EQ(TempFilesIn("."), 0);
}

TEST_F(ZipDllPasswd, AesToTraditionalGivesTheCrcBackToAe2Entries) {
  MakeTree();
  Add("b.zip", "--password first --aes 128");
  const auto plainBefore = PlainPayloads("b.zip", "first");
  const RunResult r = Passwd("b.zip", "first", "second", 0);
  ASSERT_EQ(r.result, 5) << r.Messages();
  for (const auto& e : Entries("b.zip")) {
    SCOPED_TRACE(e.name);
    if (e.IsDirectory()) continue;
    EXPECT_TRUE(e.IsEncrypted());
    EXPECT_NE(e.method, 99);
    EXPECT_EQ(e.aesVersion, 0) << "the AES field is gone";
  }
  EXPECT_EQ(PlainPayloads("b.zip", "second"), plainBefore);
  // Python checks every CRC, the one of the AE-2 entry made up again included.
  const std::string py = PythonContents("b.zip", "second");
  EXPECT_EQ(py.find("BAD"), std::string::npos) << py;
  EXPECT_NE(py.find("sub/tiny.txt\t" + Sha256("seven b")), std::string::npos) << py;
  EXPECT_NE(py.find("prose.txt\t" + Sha256(Prose(300000, 1))), std::string::npos) << py;
  ASSERT_EQ(Shell("mkdir -p out && cd out && " + Arkzip() + " extract ../b.zip --dirnames --password second"), 0);
  EXPECT_EQ(TreeDigest("out"), TreeDigest("src"));
}

TEST_F(ZipDllPasswd, EntriesThatWereNotEncryptedAreEncryptedToo) {
  if (!HaveTool("7z")) GTEST_SKIP() << "7z is needed";
  MakeTree();
  // Stored and deflated entries and a folder entry, none encrypted.
  Python(R"(import zipfile
z = zipfile.ZipFile('c.zip', 'w')
z.writestr('folder/', '')
z.writestr(zipfile.ZipInfo('folder/stored.txt'), 'stored text ' * 50)
z.write('src/prose.txt', 'prose.txt', zipfile.ZIP_DEFLATED)
z.write('src/noise.bin', 'noise.bin', zipfile.ZIP_DEFLATED)
z.writestr('tiny.txt', 'tiny', zipfile.ZIP_DEFLATED)
z.writestr('empty.txt', '')
z.close()
)");
  ASSERT_EQ(Entries("c.zip").size(), 6u);
  const auto plainBefore = PlainPayloads("c.zip", "");
  // No old password is needed when nothing is encrypted.
  const RunResult r = Passwd("c.zip", "", "fresh", 2);
  ASSERT_EQ(r.result, 5) << r.Messages();
  EXPECT_EQ(Entries("c.zip").size(), 6u);
  for (const auto& e : Entries("c.zip")) EXPECT_EQ(e.IsEncrypted(), !e.IsDirectory()) << e.name;
  EXPECT_EQ(PlainPayloads("c.zip", "fresh"), plainBefore);
  EXPECT_EQ(Shell("7z t -pfresh c.zip"), 0);
  EXPECT_NE(Shell("7z t -pwrong c.zip"), 0);
}

TEST_F(ZipDllPasswd, AWrongOldPasswordChangesNothing) {
  MakeTree();
  Add("d.zip", "--password right --aes 256");
  const std::string original = ReadAll("d.zip");
  const RunResult r = Passwd("d.zip", "wrong", "new", 1);
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.HasMessageCode(7)) << r.Messages();
  EXPECT_NE(r.Messages().find("wrong password"), std::string::npos) << r.Messages();
  EXPECT_EQ(r.Count(dll::kActionNewFile), 0) << "refused before any entry was written";
  EXPECT_EQ(ReadAll("d.zip"), original);
  EXPECT_EQ(TempFilesIn("."), 0);
  // No old password at all, and no new one.
  EXPECT_EQ(Passwd("d.zip", "", "new", 1).result, 0);
  EXPECT_EQ(Passwd("d.zip", "right", "", 1).result, 0);
  EXPECT_EQ(ReadAll("d.zip"), original);
}

TEST_F(ZipDllPasswd, APasswordThatOnlyPassesTheCheckByteIsRefusedByTheCrc) {
  // Stored, so that wrongly decrypted bytes still "decode": only the CRC
  // can tell.
  WriteFile("src/one.txt", Prose(20000, 7));
  Add("e.zip", "--level 0 --password right");
  const auto entries = Entries("e.zip");
  ASSERT_EQ(entries.size(), 1u);
  // One wrong password in 256 decrypts the header to the right check byte.
  dll::ArchiveFile f;
  ASSERT_TRUE(f.Open("e.zip"));
  dll::LocalHeader lh;
  ASSERT_TRUE(dll::ReadLocalHeader(f, entries[0].localOffset, lh).Ok());
  uint8_t head[12];
  ASSERT_TRUE(f.ReadAt(lh.dataOffset, head, sizeof head));
  const uint8_t check = dll::CryptCheckByte(lh.flags, entries[0].crc, entries[0].dosTime);
  std::string impostor;
  for (int i = 0; i < 100000 && impostor.empty(); ++i) {
    const std::string pw = "guess" + std::to_string(i);
    uint8_t h[12];
    std::memcpy(h, head, sizeof h);
    dll::ZipCryptoKeys k(pw);
    if (k.DecryptHeader(h, check)) impostor = pw;
  }
  ASSERT_FALSE(impostor.empty());
  const std::string original = ReadAll("e.zip");
  const RunResult r = Passwd("e.zip", impostor, "new", 3);
  EXPECT_EQ(r.result, 0);
  EXPECT_TRUE(r.HasMessageCode(7)) << r.Messages();
  EXPECT_EQ(ReadAll("e.zip"), original);
  EXPECT_EQ(TempFilesIn("."), 0);
}

TEST_F(ZipDllPasswd, AnEntryThatCannotBeDecodedIsNotReencryptedBlindly) {
  if (!HaveTool("7z")) GTEST_SKIP() << "7z is needed";
  WriteFile("src/p.txt", Prose(50000, 9));
  ASSERT_EQ(Shell("cd src && 7z a -tzip -mm=PPMd -ppw ../f.zip p.txt"), 0);
  const std::string original = ReadAll("f.zip");
  const RunResult r = Passwd("f.zip", "pw", "new", 3);
  EXPECT_EQ(r.result, 0);
  EXPECT_NE(r.Messages().find("PPMd"), std::string::npos) << r.Messages();
  EXPECT_EQ(ReadAll("f.zip"), original);
}

TEST_F(ZipDllPasswd, AStopAndAFullDiskLeaveTheArchiveIdentical) {
  WriteFile("src/big.bin", RandomBytes(6u << 20, 11));
  WriteFile("src/text.txt", Prose(400000, 12));
  Add("g.zip", "--password old");
  const std::string original = ReadAll("g.zip");

  // Stopped in the middle of writing the new archive.
  bool writing = false, stopped = false;
  const RunResult r = Passwd("g.zip", "old", "new", 3, [&](dll::EngineCallbackData& d) {
    if (d.actionCode == dll::kActionNewFile) writing = true;
    if (writing && d.actionCode == dll::kActionUpdate && !stopped) {
      stopped = true;
      return -1;
    }
    return 0;
  });
  EXPECT_TRUE(stopped);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(ReadAll("g.zip"), original);
  EXPECT_EQ(TempFilesIn("."), 0);

  // A file-size limit below the archive's size: the write fails.
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl {};
    rl.rlim_cur = rl.rlim_max = 3u << 20;
    setrlimit(RLIMIT_FSIZE, &rl);
    ZipOptions o;
    o.archive = "g.zip";
    o.password = "old";
    o.newPassword = "new";
    o.changePassword = true;
    o.aes = 3;
    const RunResult c = RunZip(o);
    _exit(c.result == 0 && c.HasMessageCode(4) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "expected result 0 and a write error message";
  EXPECT_EQ(ReadAll("g.zip"), original);
  EXPECT_EQ(TempFilesIn("."), 0);

  // Then the change goes through, and the old password no longer opens it.
  ASSERT_EQ(Passwd("g.zip", "old", "new", 3).result, 2);
  EXPECT_EQ(Passwd("g.zip", "old", "other", 3).result, 0);
  const std::string py = Capture(Arkzip() + " test g.zip --password new");
  EXPECT_NE(py.find("2 file(s) tested OK"), std::string::npos) << py;
}

}  // namespace

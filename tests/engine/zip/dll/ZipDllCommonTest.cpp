// The engine libraries' shared reading code: the traditional encryption
// keys and the directory reader (prefix shift, end-record traps, Zip64,
// overlaps, descriptors).
#include <gtest/gtest.h>

#include "UnzTestUtil.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/ZipCrypto.h"

using namespace unztest;
namespace dll = arkelin::engine::zip::dll;

namespace {

TEST(ZipCryptoKeys, EncryptThenDecryptRoundTripsAndChecksThePassword) {
  std::string plain = "the quick brown fox jumps over the lazy dog";
  uint8_t header[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 0xAB};
  std::string data(reinterpret_cast<char*>(header), 12);
  data += plain;
  dll::ZipCryptoKeys enc("pw");
  enc.Encrypt(reinterpret_cast<uint8_t*>(data.data()), data.size());
  EXPECT_NE(data.substr(12), plain);
  {
    std::string copy = data;
    dll::ZipCryptoKeys dec("pw");
    ASSERT_TRUE(dec.DecryptHeader(reinterpret_cast<uint8_t*>(copy.data()), 0xAB));
    dec.Decrypt(reinterpret_cast<uint8_t*>(copy.data()) + 12, copy.size() - 12);
    EXPECT_EQ(copy.substr(12), plain);
  }
  std::string copy = data;
  dll::ZipCryptoKeys wrong("pW");
  EXPECT_FALSE(wrong.DecryptHeader(reinterpret_cast<uint8_t*>(copy.data()), 0xAB));
  EXPECT_EQ(dll::CryptCheckByte(0x0008, 0x12345678, 0xBEEF), 0xBE);
  EXPECT_EQ(dll::CryptCheckByte(0, 0x12345678, 0xBEEF), 0x12);
}

class CentralDirectoryReader : public ::testing::Test {
 protected:
  dll::ReadResult Read(const fs::path& p) {
    EXPECT_TRUE(file_.Open(p.string()));
    return dll::ReadCentralDirectory(file_, dir_);
  }
  TempDir tmp_;
  dll::ArchiveFile file_;
  dll::CentralDirectory dir_;
};

TEST_F(CentralDirectoryReader, FindsThePrefixShiftAndCorrectsOffsets) {
  ASSERT_EQ(Py(tmp_.Path(), "import zipfile\nz=zipfile.ZipFile('" + (tmp_ / "a.zip").string() +
                                "','w')\nz.writestr('one','1')\nz.writestr('two','22')\nz.close()\n"
                                "open('" + (tmp_ / "p.zip").string() + "','wb').write(b'MZ'+b'\\0'*998+open('" +
                                (tmp_ / "a.zip").string() + "','rb').read())\n"),
            0);
  ASSERT_TRUE(Read(tmp_ / "p.zip").Ok());
  EXPECT_EQ(dir_.prefixShift, 1000);
  ASSERT_EQ(dir_.entries.size(), 2u);
  EXPECT_EQ(dir_.entries[0].localOffset, 1000u);
  EXPECT_EQ(dir_.FirstLocalOffset(), 1000u);
  dll::LocalHeader lh;
  ASSERT_TRUE(dll::ReadLocalHeader(file_, dir_.entries[1].localOffset, lh).Ok());
  EXPECT_EQ(lh.rawName, "two");
  EXPECT_TRUE(dll::FindOverlaps(file_, dir_).overlaps.empty());
}

TEST_F(CentralDirectoryReader, ReadsNamesTimesAndZip64) {
  ASSERT_EQ(Py(tmp_.Path(), "import zipfile\nz=zipfile.ZipFile('" + (tmp_ / "a.zip").string() + "','w')\n"
                            "z.writestr('gr\\u00fc\\u00df.txt','x')\n"
                            "i=zipfile.ZipInfo('ut.txt'); i.extra=b'UT\\x05\\x00\\x01'+(1234567890).to_bytes(4,'little')\n"
                            "z.writestr(i,'y')\n"
                            "with z.open('big','w',force_zip64=True) as f: f.write(b'z')\n"
                            "z.close()\n"),
            0);
  ASSERT_TRUE(Read(tmp_ / "a.zip").Ok());
  ASSERT_EQ(dir_.entries.size(), 3u);
  EXPECT_EQ(dir_.entries[0].name, "gr\xC3\xBC\xC3\x9F.txt");
  EXPECT_TRUE(dir_.entries[0].flags & 0x0800);
  EXPECT_EQ(dir_.entries[1].mtime, 1234567890);
  EXPECT_EQ(dir_.entries[2].uncompressedSize, 1u);
  dll::LocalHeader lh;
  ASSERT_TRUE(dll::ReadLocalHeader(file_, dir_.entries[2].localOffset, lh).Ok());
  EXPECT_TRUE(lh.zip64Extra);
}

TEST_F(CentralDirectoryReader, RefusesWhatIsNoArchive) {
  WriteFile(tmp_ / "x", std::string(5000, 'x'));
  EXPECT_EQ(Read(tmp_ / "x").status, dll::ReadStatus::NotZip);
  WriteFile(tmp_ / "t", "PK\x05\x06");
  dll::ArchiveFile f;
  ASSERT_TRUE(f.Open((tmp_ / "t").string()));
  EXPECT_FALSE(dll::ReadCentralDirectory(f, dir_).Ok());
  // A comment length running past the end of the file.
  std::string eocd("PK\x05\x06", 4);
  eocd += std::string(16, '\0');
  eocd += "\xff\x00";
  WriteFile(tmp_ / "c", eocd);
  dll::ArchiveFile g;
  ASSERT_TRUE(g.Open((tmp_ / "c").string()));
  EXPECT_FALSE(dll::ReadCentralDirectory(g, dir_).Ok());
}

TEST_F(CentralDirectoryReader, DescriptorWithAndWithoutSignature) {
  std::string d = "PK\x07\x08" + std::string(12, '\1');
  WriteFile(tmp_ / "d", d);
  dll::ArchiveFile f;
  ASSERT_TRUE(f.Open((tmp_ / "d").string()));
  EXPECT_EQ(dll::DescriptorSize(f, 0, false, 0x01010101), 16u);
  EXPECT_EQ(dll::DescriptorSize(f, 4, false, 0x01010101), 12u);
  std::string z = "PK\x07\x08" + std::string(20, '\2');
  WriteFile(tmp_ / "z", z);
  dll::ArchiveFile g;
  ASSERT_TRUE(g.Open((tmp_ / "z").string()));
  EXPECT_EQ(dll::DescriptorSize(g, 0, true, 0), 24u);
}

}  // namespace

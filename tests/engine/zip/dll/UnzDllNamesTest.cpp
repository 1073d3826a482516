// Names without the UTF-8 flag: the Auto rule, a code page chosen for the
// archive (through iconv), the Unicode path and comment fields, and the
// same decoded names in the listing, extraction and deletion (arkzip and
// the library's record).
#include <gtest/gtest.h>

#include "UnzTestUtil.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/NameEncoding.h"
#include "ShellRun.h"

using namespace unztest;
namespace dll = arkelin::engine::zip::dll;

namespace {

fs::path Fixture(const std::string& name) { return fs::path(ARKELIN_FIXTURES) / "zip" / name; }
std::string Arkzip() { return Q(fs::path(ARKELIN_BIN_DIR) / "arkzip"); }

// Output of a command (stdout only).
std::string Out(const std::string& cmd) { return RunShell(cmd + " 2>/dev/null").out; }

dll::CodePageRule Rule(dll::NameEncoding e) { return dll::WithEncoding(dll::CodePageRule::kAuto, e); }

const std::string kPrivetUpper = "\xd0\x9f\xd0\xa0\xd0\x98\xd0\x92\xd0\x95\xd0\xa2";  // ПРИВЕТ
const std::string kPrivetLower = "\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82";  // привет
const std::string kNihongo = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";                 // 日本語
const std::string kFolder = "\xe3\x83\x95\xe3\x82\xa9\xe3\x83\xab\xe3\x83\x80";       // フォルダ

TEST(NameDecoding, AutoRuleAndChosenCodePages) {
  const uint16_t unix = 3 << 8 | 30, dos = 0 << 8 | 20, hpfs = 6 << 8 | 20;
  // Auto: names from Unix hosts are UTF-8 when they are valid UTF-8, stray
  // bytes CP437; MS-DOS and OS/2 names and the forced OEM rule are CP437.
  EXPECT_EQ(dll::DecodeStoredText(kNihongo, unix, 0, dll::CodePageRule::kAuto), kNihongo);
  EXPECT_EQ(dll::DecodeStoredText("\x94", unix, 0, dll::CodePageRule::kAuto), "\xc3\xb6");  // ö
  EXPECT_EQ(dll::DecodeStoredText("\x94", dos, 0, dll::CodePageRule::kAuto), "\xc3\xb6");
  EXPECT_EQ(dll::DecodeStoredText("\xc3\xa4", dos, 0, dll::CodePageRule::kAuto), "\xe2\x94\x9c\xc3\xb1");
  EXPECT_EQ(dll::DecodeStoredText("\xc3\xa4", hpfs, 0, dll::CodePageRule::kAuto), "\xe2\x94\x9c\xc3\xb1");
  EXPECT_EQ(dll::DecodeStoredText("\xc3\xa4", unix, 0, dll::CodePageRule::kOem), "\xe2\x94\x9c\xc3\xb1");

  // Chosen code pages.
  EXPECT_EQ(dll::DecodeStoredText("\x8f\x90\x88\x82\x85\x92", unix, 0, Rule(dll::NameEncoding::kCp866)), kPrivetUpper);
  EXPECT_EQ(dll::DecodeStoredText("\xef\xf0\xe8\xe2\xe5\xf2", unix, 0, Rule(dll::NameEncoding::kCp1251)), kPrivetLower);
  EXPECT_EQ(dll::DecodeStoredText("\xd0\xd2\xc9\xd7\xc5\xd4", unix, 0, Rule(dll::NameEncoding::kKoi8R)), kPrivetLower);
  EXPECT_EQ(dll::DecodeStoredText("\x93\xfa\x96\x7b\x8c\xea", dos, 0, Rule(dll::NameEncoding::kShiftJis)), kNihongo);
  EXPECT_EQ(dll::DecodeStoredText("\xc8\xd5\xb1\xbe", dos, 0, Rule(dll::NameEncoding::kGbk)), "\xe6\x97\xa5\xe6\x9c\xac");
  EXPECT_EQ(dll::DecodeStoredText("caf\xe9", dos, 0, Rule(dll::NameEncoding::kCp1252)), "caf\xc3\xa9");
  // Even a chosen code page leaves flagged names as UTF-8.
  EXPECT_EQ(dll::DecodeStoredText(kNihongo, dos, 0x0800, Rule(dll::NameEncoding::kCp866)), kNihongo);
  // Bytes the code page cannot map (a cut Shift-JIS pair, an unmapped lead
  // byte) still give valid UTF-8 and keep the rest.
  for (const std::string& raw : {std::string("\x93\xfa\x96"), std::string("a\xa0\xff" "b"), std::string("\x81")}) {
    const std::string s = dll::DecodeStoredText(raw, dos, 0, Rule(dll::NameEncoding::kShiftJis));
    EXPECT_TRUE(dll::DecodeStoredText(s, unix, 0, dll::CodePageRule::kAuto) == s) << "not valid UTF-8";
    EXPECT_FALSE(s.empty());
  }
  EXPECT_EQ(dll::DecodeStoredText("\x93\xfa\x96", dos, 0, Rule(dll::NameEncoding::kShiftJis)).substr(0, 3),
            "\xe6\x97\xa5");
}

TEST(NameDecoding, LabelsAndRuleValues) {
  for (int i = 0; i < dll::kNameEncodingCount; ++i) {
    const auto e = static_cast<dll::NameEncoding>(i);
    dll::NameEncoding back{};
    ASSERT_TRUE(dll::ParseNameEncoding(dll::NameEncodingLabel(e), back)) << dll::NameEncodingLabel(e);
    EXPECT_EQ(back, e);
    EXPECT_EQ(dll::EncodingOf(dll::WithEncoding(dll::CodePageRule::kOem, e)), e);
    EXPECT_EQ(dll::BaseRule(dll::WithEncoding(dll::CodePageRule::kOem, e)), dll::CodePageRule::kOem);
  }
  dll::NameEncoding e{};
  EXPECT_TRUE(dll::ParseNameEncoding("shift_jis", e));
  EXPECT_EQ(e, dll::NameEncoding::kShiftJis);
  EXPECT_TRUE(dll::ParseNameEncoding("koi8r", e));
  EXPECT_EQ(e, dll::NameEncoding::kKoi8R);
  EXPECT_FALSE(dll::ParseNameEncoding("UTF-16", e));
  EXPECT_FALSE(dll::ParseNameEncoding("", e));
  EXPECT_TRUE(dll::ValidRuleValue(0));
  EXPECT_TRUE(dll::ValidRuleValue(2 | 12 << 8));
  EXPECT_FALSE(dll::ValidRuleValue(3));
  EXPECT_FALSE(dll::ValidRuleValue(13 << 8));
  EXPECT_FALSE(dll::ValidRuleValue(-1));
}

class UnzDllNames : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Library::Get().exec); }
  // An archive Python writes with placeholder names, whose bytes are then
  // replaced by `names` (same lengths): raw names without the UTF-8 flag.
  fs::path RawNamed(const std::string& file, const std::vector<std::string>& names, int host = 0) {
    std::string script = "import zipfile\nz=zipfile.ZipFile('" + (tmp_ / file).string() + "','w',zipfile.ZIP_DEFLATED)\n";
    for (size_t i = 0; i < names.size(); ++i) {
      std::string ph;
      for (size_t k = 0; k < names[i].size(); ++k) ph += static_cast<char>('A' + (i * 7 + k) % 26);
      if (names[i].find('/') != std::string::npos) ph[names[i].find('/')] = '/';
      script += "i=zipfile.ZipInfo('" + ph + "',(2020,5,6,7,8,10))\ni.create_system=" + std::to_string(host) +
                "\nz.writestr(i,'content " + std::to_string(i) + "\\n')\n";
      placeholders_.push_back(ph);
    }
    script += "z.close()\n";
    EXPECT_EQ(Py(tmp_.Path(), script), 0);
    std::string bytes = ReadAll(tmp_ / file);
    for (size_t i = 0; i < names.size(); ++i) {
      size_t at = 0;
      int found = 0;
      while ((at = bytes.find(placeholders_[i], at)) != std::string::npos) {
        bytes.replace(at, names[i].size(), names[i]);
        ++found;
      }
      EXPECT_EQ(found, 2) << "the name is in the local and the central header";
    }
    WriteFile(tmp_ / file, bytes);
    return tmp_ / file;
  }
  std::vector<std::string> placeholders_;
  TempDir tmp_;
};

TEST_F(UnzDllNames, Cp866FixtureShowsCyrillicWithCp866Chosen) {
  const fs::path z = Fixture("la-test_read_format_zip_filename_cp866.zip");
  const std::string chosen = Out(Arkzip() + " list " + Q(z) + " --names CP866");
  EXPECT_NE(chosen.find(kPrivetUpper), std::string::npos) << chosen;
  EXPECT_NE(chosen.find(kPrivetLower), std::string::npos) << chosen;
  // Auto reads them as CP437: no Cyrillic.
  const std::string automatic = Out(Arkzip() + " list " + Q(z));
  EXPECT_EQ(automatic.find(kPrivetUpper), std::string::npos);
  EXPECT_NE(automatic.find("\xc3\x85\xc3\x89"), std::string::npos) << automatic;  // ÅÉ of CP437
  EXPECT_NE(Sh(Arkzip() + " list " + Q(z) + " --names CP999"), 0);

  // Extraction writes the decoded names, through the record and through arkzip.
  Call x;
  x.archive = z.string();
  x.codePage = static_cast<int32_t>(dll::WithEncoding(dll::CodePageRule::kAuto, dll::NameEncoding::kCp866));
  EXPECT_EQ(x.Run(), 2) << x.AllErrors();
  EXPECT_TRUE(fs::exists(tmp_.Out() / kPrivetUpper));
  EXPECT_TRUE(fs::exists(tmp_.Out() / kPrivetLower));
  const fs::path out = tmp_ / "arkzip-out";
  ASSERT_EQ(Sh(Arkzip() + " extract " + Q(z) + " --names cp866 --dir " + Q(out)), 0);
  EXPECT_EQ(Tree(out), Tree(tmp_.Out()));
}

TEST_F(UnzDllNames, AutoTakesUtf8WithoutTheFlagAndTheUnicodePathField) {
  // UTF-8 bytes without the flag, written as by a Unix host.
  const fs::path z = RawNamed("utf8.zip", {kNihongo + ".txt", kFolder + "/" + kPrivetLower + ".txt"}, 3);
  for (const auto& e : [&] {
         dll::ArchiveFile f;
         dll::CentralDirectory d;
         EXPECT_TRUE(f.Open(z.string()) && dll::ReadCentralDirectory(f, d).Ok());
         return d.entries;
       }())
    EXPECT_EQ(e.flags & 0x0800, 0) << "the test archive must not carry the flag";
  const std::string listed = Out(Arkzip() + " list " + Q(z));
  EXPECT_NE(listed.find(kNihongo + ".txt"), std::string::npos) << listed;
  Call x;
  x.archive = z.string();
  EXPECT_EQ(x.Run(), 2) << x.AllErrors();
  EXPECT_EQ(ReadAll(tmp_.Out() / (kNihongo + ".txt")), "content 0\n");
  EXPECT_EQ(ReadAll(tmp_.Out() / kFolder / (kPrivetLower + ".txt")), "content 1\n");

  // The fixture whose names are CP437 bytes with Unicode path fields.
  const std::string u = Out(Arkzip() + " list " + Q(Fixture("la-test_read_format_zip_7075_utf8_paths.zip")));
  for (const char* n : {"File 2 - \xc3\xb6.txt", "File 3 - \xc3\xa4.txt", "File 4 - \xc3\xa5.txt"})
    EXPECT_NE(u.find(n), std::string::npos) << n << "\n" << u;
}

TEST_F(UnzDllNames, ShiftJisArchiveShowsExtractsAndDeletesItsNamesWhenChosen) {
  // Python writes the names in Shift-JIS, without the UTF-8 flag, as an
  // MS-DOS host: 日本語.txt and フォルダ/ファイル.txt.
  const std::string script = R"(import zipfile
class Raw(zipfile.ZipInfo):
    def _encodeFilenameFlags(self):
        return self.filename.encode('shift_jis'), self.flag_bits
z = zipfile.ZipFile('sjis.zip', 'w', zipfile.ZIP_DEFLATED)
for i, name in enumerate(('\u65e5\u672c\u8a9e.txt', '\u30d5\u30a9\u30eb\u30c0/\u30d5\u30a1\u30a4\u30eb.txt')):
    info = Raw(name, (2021, 3, 4, 5, 6, 8))
    info.create_system = 0
    z.writestr(info, 'content %d\n' % i)
z.close()
raw = open('sjis.zip', 'rb').read()
assert '\u65e5\u672c\u8a9e.txt'.encode('shift_jis') in raw and b'\xe6\x97\xa5' not in raw
)";
  ASSERT_EQ(Py(tmp_.Path(), "import os\nos.chdir('" + tmp_.Path().string() + "')\n" + script), 0);
  const fs::path z = tmp_ / "sjis.zip";
  const std::string file = "\xe3\x83\x95\xe3\x82\xa1\xe3\x82\xa4\xe3\x83\xab.txt";  // ファイル.txt
  const std::string listed = Out(Arkzip() + " list " + Q(z) + " --names Shift-JIS");
  EXPECT_NE(listed.find(kNihongo + ".txt"), std::string::npos) << listed;
  EXPECT_NE(listed.find(kFolder + "/" + file), std::string::npos) << listed;
  EXPECT_EQ(Out(Arkzip() + " list " + Q(z)).find(kNihongo), std::string::npos);

  const fs::path out = tmp_ / "x";
  ASSERT_EQ(Sh(Arkzip() + " extract " + Q(z) + " --names Shift-JIS --dirnames --dir " + Q(out)), 0);
  EXPECT_EQ(ReadAll(out / (kNihongo + ".txt")), "content 0\n");
  EXPECT_EQ(ReadAll(out / kFolder / file), "content 1\n");
  // A specification in the decoded name finds the entry.
  const fs::path one = tmp_ / "one";
  ASSERT_EQ(Sh(Arkzip() + " extract " + Q(z) + " --names Shift-JIS --dir " + Q(one) + " " + Q(kNihongo + ".txt")), 0);
  EXPECT_EQ(Tree(one).size(), 1u);
  // Delete finds it by the same name.
  ASSERT_EQ(Sh(Arkzip() + " delete " + Q(z) + " --names Shift-JIS " + Q(kNihongo + ".txt")), 0);
  const std::string after = Out(Arkzip() + " list " + Q(z) + " --names Shift-JIS");
  EXPECT_EQ(after.find(kNihongo), std::string::npos) << after;
  EXPECT_NE(after.find(file), std::string::npos) << after;
}

TEST_F(UnzDllNames, UnicodeCommentFieldIsUsedWhenItsCrcMatches) {
  const std::string script = R"(import zipfile, zlib, struct
def field(tag, text, raw):
    data = b'\x01' + struct.pack('<I', zlib.crc32(raw)) + text.encode('utf-8')
    return struct.pack('<HH', tag, len(data)) + data
z = zipfile.ZipFile('c.zip', 'w')
for name, raw, crcof in (('good.txt', b'K\x84se', b'K\x84se'), ('stale.txt', b'old', b'other')):
    i = zipfile.ZipInfo(name)
    i.comment = raw
    i.extra = field(0x6375, 'K\u00e4se \u2713', crcof)
    z.writestr(i, 'x')
z.close()
)";
  ASSERT_EQ(Py(tmp_.Path(), "import os\nos.chdir('" + tmp_.Path().string() + "')\n" + script), 0);
  dll::ArchiveFile f;
  dll::CentralDirectory d;
  ASSERT_TRUE(f.Open((tmp_ / "c.zip").string()));
  ASSERT_TRUE(dll::ReadCentralDirectory(f, d).Ok());
  ASSERT_EQ(d.entries.size(), 2u);
  EXPECT_EQ(d.entries[0].unicodeComment, "K\xc3\xa4se \xe2\x9c\x93");
  EXPECT_EQ(d.entries[1].unicodeComment, "") << "a field for another comment is stale";
  EXPECT_EQ(d.entries[1].comment, "old");
}

}  // namespace

namespace {

// Times from the other systems' extra fields: NTFS (0x000A) and the old
// Unix field (0x5855) are restored as UTC, not the DOS local time; the
// extended timestamp wins over both, and NTFS over the old Unix field.
TEST(UnzDllTimes, NtfsAndOldUnixFieldsGiveTheRestoredTimes) {
  ASSERT_TRUE(Library::Get().exec);
  TempDir tmp;
  const std::string script = R"(import zipfile, struct
def ntfs(t):
    ft = (t + 11644473600) * 10000000 + 1234567
    body = struct.pack('<I', 0) + struct.pack('<HH', 1, 24) + struct.pack('<QQQ', ft, ft - 10**7, ft - 2 * 10**7)
    return struct.pack('<HH', 0x000a, len(body)) + body
def unix_old(t):
    return struct.pack('<HHII', 0x5855, 8, t - 100, t)
def ext(t):
    return struct.pack('<HHBI', 0x5455, 5, 1, t)
z = zipfile.ZipFile('t.zip', 'w')
for name, extra in (('ntfs.txt', ntfs(1434000000)), ('unix.txt', unix_old(1300000000)),
                    ('both.txt', unix_old(1200000000) + ntfs(1434000000)),
                    ('ext.txt', ntfs(1434000000) + ext(1500000000)), ('dos.txt', b'')):
    i = zipfile.ZipInfo(name, (1999, 1, 2, 3, 4, 6))
    i.extra = extra
    z.writestr(i, name)
z.close()
)";
  ASSERT_EQ(Py(tmp.Path(), "import os\nos.chdir('" + tmp.Path().string() + "')\n" + script), 0);
  dll::ArchiveFile f;
  dll::CentralDirectory d;
  ASSERT_TRUE(f.Open((tmp / "t.zip").string()));
  ASSERT_TRUE(dll::ReadCentralDirectory(f, d).Ok());
  ASSERT_EQ(d.entries.size(), 5u);
  EXPECT_EQ(d.entries[0].mtime, 1434000000);
  EXPECT_EQ(d.entries[1].mtime, 1300000000);
  EXPECT_EQ(d.entries[2].mtime, 1434000000);
  EXPECT_EQ(d.entries[3].mtime, 1500000000);
  EXPECT_EQ(d.entries[4].mtime, -1);
  dll::LocalHeader lh;
  ASSERT_TRUE(dll::ReadLocalHeader(f, d.entries[1].localOffset, lh).Ok());
  EXPECT_EQ(lh.mtime, 1300000000);

  Call x;
  x.archive = (tmp / "t.zip").string();
  EXPECT_EQ(x.Run(), 5) << x.AllErrors();
  auto mtime = [&](const char* n) {
    struct stat st {};
    EXPECT_EQ(::stat((tmp.Out() / n).c_str(), &st), 0) << n;
    return static_cast<int64_t>(st.st_mtime);
  };
  EXPECT_EQ(mtime("ntfs.txt"), 1434000000);
  EXPECT_EQ(mtime("unix.txt"), 1300000000);
  EXPECT_EQ(mtime("both.txt"), 1434000000);
  EXPECT_EQ(mtime("ext.txt"), 1500000000);
  // Without a field, the DOS time (local time) stands.
  struct tm t {};
  t.tm_year = 99;
  t.tm_mon = 0;
  t.tm_mday = 2;
  t.tm_hour = 3;
  t.tm_min = 4;
  t.tm_sec = 6;
  t.tm_isdst = -1;
  EXPECT_EQ(mtime("dos.txt"), static_cast<int64_t>(mktime(&t)));
}

}  // namespace

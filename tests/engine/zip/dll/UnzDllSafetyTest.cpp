// Bad input for the extractor, built with Python's zipfile (names kept as
// given) and byte patches: traversal and absolute names, NUL bytes, links
// that lead out or are planted in the target, special mode bits,
// overlapping entries, size lies, impossible counts and offsets, broken
// extra fields and end-record traps. Nothing may be written outside the
// target, each refusal names its entry, and no partial file stays.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include "DeflateBits.h"
#include "UnzTestUtil.h"
#include "engine/common/Crc32.h"

using namespace unztest;

namespace {

class UnzDllSafety : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(Library::Get().exec); }
  // Runs a Python script with `Z` bound to the archive path and the
  // zipfile module imported.
  fs::path Make(const std::string& body, const std::string& name = "bad.zip") {
    const fs::path p = tmp_ / name;
    EXPECT_EQ(Py(tmp_.Path(), "import zipfile, struct\nZ='" + p.string() + "'\n" + body), 0) << body;
    return p;
  }
  Call Extract(const fs::path& archive, bool test = false) {
    Call c;
    c.archive = archive.string();
    c.test = test;
    c.overwrite = true;
    c.Run();
    return c;
  }
  int32_t Count(const fs::path& archive, bool test = false) {
    Call c;
    c.archive = archive.string();
    c.test = test;
    c.overwrite = true;
    return c.Run();
  }
  TempDir tmp_;
};

TEST_F(UnzDllSafety, TraversalAbsoluteAndDriveNamesAreRefusedByName) {
  const std::string abs = (tmp_ / "abs/evil").string();
  const auto z = Make("z=zipfile.ZipFile(Z,'w')\n"
                      "for n in ['../evil1','a/../../evil2','" + abs + "','//h/s/x','..\\\\..\\\\evil3',"
                      "'\\\\evil4','C:\\\\x','C:x','C:/y','safe.txt']:\n"
                      "  z.writestr(zipfile.ZipInfo(n), 'data of '+n)\n"
                      "z.close()\n");
  Call c = Extract(z);
  EXPECT_EQ(c.events.empty(), false);
  auto tree = Tree(tmp_.Path());
  // Only the safe entry arrived, and only inside out/.
  std::vector<std::string> files;
  for (const auto& [k, v] : tree)
    if (k != "bad.zip" && k != "gen.py") files.push_back(k);
  EXPECT_EQ(files, std::vector<std::string>{"out/safe.txt"});
  EXPECT_FALSE(fs::exists("/h"));
  for (const char* name : {"../evil1", "a/../../evil2", "//h/s/x", "evil3", "evil4", "C:\\x", "C:x", "C:/y"})
    EXPECT_TRUE(c.HasError(name)) << name << "\n" << c.AllErrors();
  EXPECT_TRUE(c.HasError(abs)) << c.AllErrors();
}

TEST_F(UnzDllSafety, BackslashTraversalFixtureWritesNothingOutside) {
  Call c = Extract(fs::path(ARKELIN_FIXTURES) / "zip/mz-dot_dot_backslash_name.zip");
  EXPECT_FALSE(c.Errors().empty());
  for (const auto& e : fs::directory_iterator(tmp_.Path())) EXPECT_TRUE(e.path().filename() == "out") << e.path();
}

TEST_F(UnzDllSafety, NulByteInTheNameIsRefused) {
  auto z = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('aQb.txt','x')\nz.writestr('ok.txt','y')\nz.close()\n"
                "d=bytearray(open(Z,'rb').read())\ni=d.rfind(b'aQb.txt')\nd[i+1]=0\nopen(Z,'wb').write(d)\n");
  Call c = Extract(z);
  EXPECT_TRUE(c.HasError("NUL")) << c.AllErrors();
  auto t = Tree(tmp_.Out());
  EXPECT_EQ(t.size(), 1u);
  EXPECT_TRUE(t.count("ok.txt"));
}

TEST_F(UnzDllSafety, NothingIsWrittenThroughALinkEntry) {
  auto z = Make("z=zipfile.ZipFile(Z,'w')\n"
                "i=zipfile.ZipInfo('link'); i.create_system=3; i.external_attr=(0o120777<<16)\n"
                "z.writestr(i,'../outside')\n"
                "z.writestr('link/f','through the link')\n"
                "z.close()\n");
  fs::create_directories(tmp_ / "outside");
  Call c = Extract(z);
  EXPECT_FALSE(fs::exists(tmp_ / "outside/f"));
  EXPECT_FALSE(fs::is_symlink(tmp_.Out() / "link"));
  EXPECT_TRUE(c.HasError("link")) << c.AllErrors();
}

TEST_F(UnzDllSafety, LinkPlantedInTheTargetIsNotFollowed) {
  fs::create_directories(tmp_ / "victim");
  fs::create_directory_symlink(tmp_ / "victim", tmp_.Out() / "sub");
  auto z = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('sub/f','planted')\nz.writestr('g','fine')\nz.close()\n");
  Call c = Extract(z);
  EXPECT_FALSE(fs::exists(tmp_ / "victim/f"));
  EXPECT_TRUE(c.HasError("sub/f")) << c.AllErrors();
  EXPECT_EQ(ReadAll(tmp_.Out() / "g"), "fine");
  // A planted link in place of the file itself is replaced, not written through.
  WriteFile(tmp_ / "victim/target", "keep");
  fs::create_symlink(tmp_ / "victim/target", tmp_.Out() / "g2");
  auto z2 = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('g2','new')\nz.close()\n", "g2.zip");
  EXPECT_EQ(Count(z2), 1);
  EXPECT_EQ(ReadAll(tmp_ / "victim/target"), "keep");
  EXPECT_FALSE(fs::is_symlink(tmp_.Out() / "g2"));
  EXPECT_EQ(ReadAll(tmp_.Out() / "g2"), "new");
}

TEST_F(UnzDllSafety, OnlyLinksThatStayInsideAreCreatedAndOnlyLast) {
  auto z = Make("z=zipfile.ZipFile(Z,'w')\n"
                "def link(n,t):\n"
                "  i=zipfile.ZipInfo(n); i.create_system=3; i.external_attr=(0o120777<<16); z.writestr(i,t)\n"
                "link('dotdot','..')\nlink('traildot','sub/..')\nlink('abs','/etc/passwd')\n"
                "link('sub/up','../safe.txt')\nlink('good','safe.txt')\n"
                "z.writestr('sub/keep.txt','k')\nz.writestr('safe.txt','safe')\n"
                "z.close()\n");
  Call c = Extract(z);
  EXPECT_FALSE(fs::is_symlink(tmp_.Out() / "dotdot"));
  EXPECT_FALSE(fs::is_symlink(tmp_.Out() / "traildot"));
  EXPECT_FALSE(fs::is_symlink(tmp_.Out() / "abs"));
  for (const char* n : {"dotdot", "traildot", "abs"}) EXPECT_TRUE(c.HasError(n)) << n << "\n" << c.AllErrors();
  ASSERT_TRUE(fs::is_symlink(tmp_.Out() / "good"));
  EXPECT_EQ(fs::read_symlink(tmp_.Out() / "good"), "safe.txt");
  ASSERT_TRUE(fs::is_symlink(tmp_.Out() / "sub/up"));
  EXPECT_EQ(ReadAll(tmp_.Out() / "sub/up"), "safe");
}

TEST_F(UnzDllSafety, LinksAreMadeAfterEveryOtherEntry) {
  // The link "d" comes first in the archive and points at a folder; the file
  // "d/f.txt" after it must become a real folder with its file, never a write
  // through the link into "sub".
  auto z = Make("z=zipfile.ZipFile(Z,'w')\n"
                "i=zipfile.ZipInfo('d'); i.create_system=3; i.external_attr=(0o120777<<16); z.writestr(i,'sub')\n"
                "z.writestr('sub/keep.txt','k')\nz.writestr('d/f.txt','x')\nz.close()\n");
  Call c = Extract(z);
  EXPECT_FALSE(fs::is_symlink(tmp_.Out() / "d"));
  EXPECT_EQ(ReadAll(tmp_.Out() / "d" / "f.txt"), "x");
  EXPECT_FALSE(fs::exists(tmp_.Out() / "sub" / "f.txt"));
  EXPECT_EQ(ReadAll(tmp_.Out() / "sub" / "keep.txt"), "k");
  // The link itself cannot be made over the folder: reported by name.
  EXPECT_TRUE(c.HasError("d")) << c.AllErrors();
}

TEST_F(UnzDllSafety, LinkFixturesStayInside) {
  for (const char* f : {"go-symlink.zip", "la-unzip-test_symlink_1.zip", "la-unzip-test_symlink_2.zip"}) {
    SCOPED_TRACE(f);
    Call c = Extract(fs::path(ARKELIN_FIXTURES) / "zip" / f);
    for (const auto& e : fs::directory_iterator(tmp_.Path())) EXPECT_TRUE(e.path().filename() == "out") << e.path();
    for (auto it = fs::recursive_directory_iterator(tmp_.Out()); it != fs::recursive_directory_iterator(); ++it) {
      if (!it->is_symlink()) continue;
      const fs::path resolved = fs::weakly_canonical(it->path().parent_path() / fs::read_symlink(it->path()));
      const auto rel = fs::relative(resolved, fs::canonical(tmp_.Out())).string();
      EXPECT_TRUE(rel.rfind("..", 0) != 0) << it->path() << " -> " << resolved;
    }
  }
}

TEST_F(UnzDllSafety, SpecialModeBitsAreNeverRestored) {
  auto z = Make("z=zipfile.ZipFile(Z,'w')\n"
                "i=zipfile.ZipInfo('suid'); i.create_system=3; i.external_attr=(0o104777<<16)\n"
                "z.writestr(i,'x')\nz.close()\n");
  ASSERT_EQ(Count(z), 1);
  struct stat st {};
  ASSERT_EQ(lstat((tmp_.Out() / "suid").c_str(), &st), 0);
  const mode_t um = umask(0);
  umask(um);
  EXPECT_EQ(st.st_mode & 07777, 0777 & ~um);
}

TEST_F(UnzDllSafety, OverlappingEntriesAreRefusedForExtractAndTest) {
  // The second central record points at the first local header.
  auto z = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('a.txt','aaaa')\nz.writestr('b.txt','bbbb')\nz.close()\n"
                "d=bytearray(open(Z,'rb').read())\ne=d.rfind(b'PK\\x05\\x06')\ncd=struct.unpack('<I',d[e+16:e+20])[0]\n"
                "n=struct.unpack('<HHH',d[cd+28:cd+34]); second=cd+46+sum(n)\n"
                "d[second+42:second+46]=b'\\0\\0\\0\\0'\nopen(Z,'wb').write(d)\n");
  for (bool test : {false, true}) {
    Call c = Extract(z, test);
    EXPECT_TRUE(c.HasError("overlapping entries")) << c.AllErrors();
    EXPECT_TRUE(fs::is_empty(tmp_.Out()));
    EXPECT_EQ(Count(z, test), 0);
  }
  // Listing still works: both names are shown.
  const fs::path listing = tmp_.Path() / "listing.txt";
  ASSERT_EQ(Sh("(" + Q(fs::path(ARKELIN_BIN_DIR) / "arkzip") + " list " + Q(z) + " > " + Q(listing) + ")"), 0);
  const std::string text = ReadAll(listing);
  EXPECT_NE(text.find(" a.txt\n"), std::string::npos) << text;
  EXPECT_NE(text.find(" b.txt\n"), std::string::npos) << text;
  // A quoted-overlap style bomb: the data of one entry runs over the next header.
  auto q = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('a','A'*100)\nz.writestr('b','B'*100)\nz.close()\n"
                "d=bytearray(open(Z,'rb').read())\ne=d.rfind(b'PK\\x05\\x06')\ncd=struct.unpack('<I',d[e+16:e+20])[0]\n"
                "d[cd+20:cd+24]=struct.pack('<I',200); d[cd+24:cd+28]=struct.pack('<I',200)\nopen(Z,'wb').write(d)\n",
                "q.zip");
  Call c = Extract(q, true);
  EXPECT_TRUE(c.HasError("overlapping entries")) << c.AllErrors();
}

TEST_F(UnzDllSafety, SizeLiesStopWithAnErrorAndNoFile) {
  // Declared sizes patched in both headers: smaller and larger than the data.
  const std::string patch =
      "d=bytearray(open(Z,'rb').read())\ne=d.rfind(b'PK\\x05\\x06')\ncd=struct.unpack('<I',d[e+16:e+20])[0]\n"
      "d[cd+24:cd+28]=struct.pack('<I',SIZE); d[22:26]=struct.pack('<I',SIZE)\nopen(Z,'wb').write(d)\n";
  // Tiny declared sizes take another inflater than larger ones.
  const std::pair<const char*, const char*> lies[] = {{"3000", "1000"}, {"3000", "5000"}, {"3000", "10"},
                                                      {"120", "60"}, {"120", "190"}};
  for (int method : {0, 8}) {
    for (const auto& [real, size] : lies) {
      SCOPED_TRACE(std::to_string(method) + " " + real + " as " + size);
      std::string p = patch;
      p.replace(p.find("SIZE"), 4, size);
      p.replace(p.find("SIZE"), 4, size);
      auto z = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('lie.bin', b'x'*" + std::string(real) +
                    ", compress_type=" + std::to_string(method) + ")\nz.close()\n" + p);
      Call c = Extract(z);
      EXPECT_TRUE(c.HasError("lie.bin")) << c.AllErrors();
      EXPECT_TRUE(fs::is_empty(tmp_.Out()));
    }
  }
}

TEST_F(UnzDllSafety, ImpossibleCountsAndOffsetsGiveACleanError) {
  const std::string one = "z=zipfile.ZipFile(Z,'w')\nz.writestr('a.txt','aaaa')\nz.close()\n"
                          "d=bytearray(open(Z,'rb').read())\ne=d.rfind(b'PK\\x05\\x06')\n";
  // Count 65535 with a 46-byte directory: damaged, not one entry read
  // quietly as if the others did not exist.
  auto a = Make(one + "d[e+8:e+12]=b'\\xff\\xff\\xff\\xff'\nopen(Z,'wb').write(d)\n", "count.zip");
  Call ca = Extract(a, true);
  EXPECT_EQ(Count(a, true), 0);
  EXPECT_TRUE(ca.HasError("ends before all its entries (entry 2 of 65535)")) << ca.AllErrors();
  // Directory offset and size beyond the end of the file.
  auto b = Make(one + "d[e+12:e+20]=struct.pack('<II',0x7fffffff,0x7ffffff0)\nopen(Z,'wb').write(d)\n", "off.zip");
  Call cb = Extract(b);
  EXPECT_EQ(Count(b), 0);
  EXPECT_FALSE(cb.Errors().empty());
  // A local header offset past the directory.
  auto c = Make(one + "cd=struct.unpack('<I',d[e+16:e+20])[0]\nd[cd+42:cd+46]=struct.pack('<I',0xfffffff0)\n"
                      "open(Z,'wb').write(d)\n", "local.zip");
  Call cc = Extract(c);
  EXPECT_TRUE(cc.HasError("a.txt")) << cc.AllErrors();
  EXPECT_TRUE(fs::is_empty(tmp_.Out()));
  // Zip64 end record claiming 2^64-1 entries.
  auto d = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('a.txt','aaaa')\nz.close()\n"
                "d=bytearray(open(Z,'rb').read())\ne=d.rfind(b'PK\\x05\\x06')\n"
                "cd,=struct.unpack('<I',d[e+16:e+20]); size,=struct.unpack('<I',d[e+12:e+16])\n"
                "z64=struct.pack('<IQHHIIQQQQ',0x06064b50,44,45,45,0,0,2**64-1,2**64-1,size,cd)\n"
                "loc=struct.pack('<IIQI',0x07064b50,0,e,1)\n"
                "d=d[:e]+z64+loc+d[e:]\nopen(Z,'wb').write(d)\n", "z64.zip");
  // The directory's size bounds the walk: the one real entry is read.
  EXPECT_EQ(Count(d, true), 1);
}

TEST_F(UnzDllSafety, BrokenExtraFieldsAreIgnoredOrRefused) {
  // A block claiming more bytes than the field holds: ignored, data extracts.
  auto a = Make("z=zipfile.ZipFile(Z,'w')\ni=zipfile.ZipInfo('x.txt'); i.extra=b'\\x99\\x99\\x64\\x00abcd'\n"
                "z.writestr(i,'ok')\nz.close()\n");
  EXPECT_EQ(Count(a), 1);
  EXPECT_EQ(ReadAll(tmp_.Out() / "x.txt"), "ok");
  // Saturated sizes with a Zip64 field too short to hold them: refused.
  auto b = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('y.txt','data')\nz.close()\n"
                "d=bytearray(open(Z,'rb').read())\ne=d.rfind(b'PK\\x05\\x06')\ncd=struct.unpack('<I',d[e+16:e+20])[0]\n"
                "d[cd+20:cd+28]=b'\\xff'*8\nopen(Z,'wb').write(d)\n", "z64short.zip");
  Call c = Extract(b);
  EXPECT_TRUE(c.HasError("y.txt")) << c.AllErrors();
  EXPECT_FALSE(fs::exists(tmp_.Out() / "y.txt"));
}

TEST_F(UnzDllSafety, EndRecordSignatureInsideTheCommentIsNotTaken) {
  auto z = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('c.txt','comment trap')\n"
                "z.comment=b'PK\\x05\\x06'+b'\\xee'*18+b' tail'\nz.close()\n");
  EXPECT_EQ(Count(z), 1);
  EXPECT_EQ(ReadAll(tmp_.Out() / "c.txt"), "comment trap");
}

TEST_F(UnzDllSafety, FileAgainstFolderConflictIsAnErrorNotACrash) {
  auto z = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('a','file')\nz.writestr('a/b','inside')\n"
                "z.writestr('c/','')\nz.writestr('c','file over folder')\nz.close()\n");
  Call c = Extract(z);
  EXPECT_FALSE(c.Errors().empty());
  EXPECT_EQ(ReadAll(tmp_.Out() / "a"), "file");
  EXPECT_TRUE(fs::is_directory(tmp_.Out() / "c"));
}

TEST_F(UnzDllSafety, LocalNameDifferentFromTheDirectoryUsesTheDirectoryName) {
  auto z = Make("z=zipfile.ZipFile(Z,'w')\nz.writestr('real.txt','r')\nz.close()\n"
                "d=bytearray(open(Z,'rb').read())\ni=d.find(b'real.txt')\nd[i:i+8]=b'fake.txt'\nopen(Z,'wb').write(d)\n");
  Call c = Extract(z);
  EXPECT_TRUE(fs::exists(tmp_.Out() / "real.txt"));
  EXPECT_FALSE(fs::exists(tmp_.Out() / "fake.txt"));
  bool warned = false;
  for (const auto& e : c.Of(kActionMessage)) warned |= e.text.find("local header") != std::string::npos;
  EXPECT_TRUE(warned);
}

TEST_F(UnzDllSafety, DeclaredSizeBeyondTheFreeSpaceIsRefusedFirst) {
  // A stored entry of three bytes whose Zip64 size claims 2^60 bytes.
  auto z = Make("n=b'huge'; data=b'abc'; crc=__import__('zlib').crc32(data)\n"
                "lx=struct.pack('<HHQQ',1,16,1<<60,3)\n"
                "loc=struct.pack('<IHHHHHIIIHH',0x04034b50,45,0,0,0,0x5021,crc,3,0xffffffff,len(n),len(lx))+n+lx+data\n"
                "cx=struct.pack('<HHQ',1,8,1<<60)\n"
                "cen=struct.pack('<IHHHHHHIIIHHHHHII',0x02014b50,45,45,0,0,0,0x5021,crc,3,0xffffffff,len(n),len(cx),0,0,0,0,0)+n+cx\n"
                "end=struct.pack('<IHHHHIIH',0x06054b50,0,0,1,1,len(cen),len(loc),0)\n"
                "open(Z,'wb').write(loc+cen+end)\n");
  Call c = Extract(z);
  EXPECT_TRUE(c.HasError("free disk space")) << c.AllErrors();
  EXPECT_TRUE(fs::is_empty(tmp_.Out()));
  Call t = Extract(z, true);
  EXPECT_TRUE(t.HasError("huge")) << t.AllErrors();
}

TEST_F(UnzDllSafety, AFullDiskLeavesNoPartialFile) {
  // A file-size limit makes writes fail the way a full disk does.
  auto z = Make("z=zipfile.ZipFile(Z,'w',zipfile.ZIP_DEFLATED)\nz.writestr('small.txt','fits')\n"
                "z.writestr('large.bin',bytes(range(256))*8192)\nz.close()\n");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl {256 * 1024, 256 * 1024};
    setrlimit(RLIMIT_FSIZE, &rl);
    Call c = Extract(z);
    _exit(c.HasError("large.bin") ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write is reported for its entry";
  auto t = Tree(tmp_.Out());
  EXPECT_EQ(t.size(), 1u) << "no partial large.bin and no temporary file";
  EXPECT_EQ(t["small.txt"], "fits");
}

}  // namespace

namespace {
using deflatetest::BitWriter;

// A deflate stream of `size` zero bytes in one block of fixed codes: a
// literal, then matches at distance 1.
std::string DeflatedZeros(uint64_t size) {
  BitWriter w;
  w.Put(1, 1);  // last block
  w.Put(1, 2);  // fixed codes
  w.Code(0x30, 8);  // literal 0
  uint64_t left = size - 1;
  static const uint16_t kBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                     31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
  static const uint8_t kExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
  auto match = [&](uint32_t len) {
    int i = 28;
    while (kBase[i] > len) --i;
    const uint32_t sym = 257 + static_cast<uint32_t>(i);
    if (sym < 280) w.Code(sym - 256, 7);
    else w.Code(0xC0 + sym - 280, 8);
    w.Put(len - kBase[i], kExtra[i]);
    w.Code(0, 5);  // distance 1
  };
  while (left > 258 + 3) {
    match(258);
    left -= 258;
  }
  if (left > 258) {
    match(left - 3);
    left = 3;
  }
  if (left > 0) match(static_cast<uint32_t>(left));
  w.Code(0, 7);  // end of block
  w.Align();
  return w.out;
}

void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8 & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
}  // namespace

TEST_F(UnzDllSafety, ASizeOfExactly4GiBMinusOneWithoutZip64IsTheLiteralSize) {
  // 0xFFFFFFFF bytes of zeros, deflated, declared with 32-bit sizes only:
  // without a Zip64 field the value is the size itself.
  constexpr uint64_t kSize = 0xFFFFFFFFull;
  const std::string data = DeflatedZeros(kSize);
  std::string zeros(1 << 20, '\0');
  uint32_t crc = 0;
  uint64_t done = 0;
  for (; done + zeros.size() <= kSize; done += zeros.size())
    crc = arkelin::engine::common::Crc32(crc, zeros.data(), zeros.size());
  crc = arkelin::engine::common::Crc32(crc, zeros.data(), kSize - done);
  const std::string name = "zeros.bin";
  std::string z;
  auto fixed = [&](std::string& s) {
    Put16(s, 20);
    Put16(s, 0);
    Put16(s, 8);  // deflated
    Put32(s, 0x50210000);
    Put32(s, crc);
    Put32(s, static_cast<uint32_t>(data.size()));
    Put32(s, 0xFFFFFFFFu);
    Put16(s, static_cast<uint32_t>(name.size()));
    Put16(s, 0);
  };
  Put32(z, 0x04034b50);
  fixed(z);
  z += name + data;
  const uint32_t cd = static_cast<uint32_t>(z.size());
  std::string c;
  Put32(c, 0x02014b50);
  Put16(c, 20);
  fixed(c);
  Put16(c, 0);
  Put16(c, 0);
  Put16(c, 0);
  Put32(c, 0);
  Put32(c, 0);
  c += name;
  z += c;
  Put32(z, 0x06054b50);
  Put32(z, 0);
  Put16(z, 1);
  Put16(z, 1);
  Put32(z, static_cast<uint32_t>(c.size()));
  Put32(z, cd);
  Put16(z, 0);
  WriteFile(tmp_ / "literal.zip", z);
  Call t;
  t.archive = (tmp_ / "literal.zip").string();
  t.test = true;
  EXPECT_EQ(t.Run(), 1) << t.AllErrors();
  // Only a stream of exactly 4 GiB - 1 zeros matches the CRC.
  EXPECT_TRUE(t.Errors().empty()) << t.AllErrors();
}

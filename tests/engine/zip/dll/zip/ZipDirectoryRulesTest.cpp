// One directory reader for TZipMaster and both libraries: a damaged
// directory makes Add and Delete refuse and leaves the file byte for byte
// as it was; the name the window lists is the name the engine finds (one
// code page rule); rows chosen in the window act on exactly those entries;
// ambiguous or cut-short directories are damaged for every reader; a
// folder entry that carries data is reported by name.
#include <sys/stat.h>

#include "ZipDllTestUtil.h"
#include "engine/zip/ZipMstr.h"
#include "platform/FakePlatform.h"

using namespace ziptest;
namespace ez = arkelin::engine::zip;

namespace {

class ZipDirectoryRules : public ZipMasterTest {
 protected:
  // An archive made by Python's zipfile from (name, data) pairs, then `patch`
  // run over its bytes `d` (with `e` the end record's offset).
  std::string Make(const std::string& name, const std::string& entries, const std::string& patch = "") {
    const std::string out = Python("import zipfile, struct, sys\nz=zipfile.ZipFile(sys.argv[1],'w')\n"
                                   "for n, d in " + entries + ": z.writestr(n, d)\n"
                                   "z.close()\n"
                                   "d=bytearray(open(sys.argv[1],'rb').read())\ne=d.rfind(b'PK\\x05\\x06')\n" +
                                       patch + "\nopen(sys.argv[1],'wb').write(d)\nprint('ok')\n",
                                   name);
    EXPECT_NE(out.find("ok"), std::string::npos) << out;
    return dir_ + "/" + name;
  }
  std::vector<std::string> Names() {
    std::vector<std::string> v;
    for (const auto& e : zm_.Entries()) v.push_back(e.FileName);
    return v;
  }
};

const char* kFour = "[('a.txt','a'*10),('b.txt','b'*10),('c.txt','c'*10),('d.txt','d'*10)]";
// Second central header's signature broken.
const char* kBadSignature =
    "cd=struct.unpack('<I',d[e+16:e+20])[0]\nj=d.find(b'PK\\x01\\x02',cd+4)\nd[j+2]=9";
// The end record declares one entry fewer than the directory holds.
const char* kFewerDeclared = "d[e+8]-=1\nd[e+10]-=1";
// The end record declares more entries than the directory holds.
const char* kMoreDeclared = "d[e+8]+=3\nd[e+10]+=3";

TEST_F(ZipDirectoryRules, ADamagedDirectoryMakesAddAndDeleteRefuseAndLeavesTheFileByteIdentical) {
  WriteFile("new.txt", "new file");
  for (const char* patch : {kBadSignature, kFewerDeclared, kMoreDeclared}) {
    SCOPED_TRACE(patch);
    const std::string z = Make("damaged.zip", kFour, patch);
    const std::string before = ReadAll(z);
    ZipOptions add;
    add.archive = z;
    add.specs = {"new.txt"};
    RunResult r = RunZip(add);
    EXPECT_EQ(r.result, 0);
    EXPECT_NE(r.Messages().find("damaged"), std::string::npos) << r.Messages();
    EXPECT_EQ(ReadAll(z), before);
    ZipOptions del;
    del.archive = z;
    del.remove = true;
    del.specs = {"a.txt"};
    r = RunZip(del);
    EXPECT_EQ(r.result, 0);
    EXPECT_TRUE(r.HasMessageCode(3)) << r.Messages();
    EXPECT_EQ(ReadAll(z), before);
    EXPECT_EQ(TempFilesIn("."), 0);
    // The component's own listing refuses the directory as well.
    zm_.SetZipFilename(z);
    EXPECT_EQ(zm_.Count(), 0) << messages_;
    EXPECT_TRUE(zm_.ZipFilename().empty());
  }
}

TEST_F(ZipDirectoryRules, TheNameTheListShowsIsTheNameTheEngineFinds) {
  // Made on MS-DOS (host 0) without the UTF-8 flag: the bytes C3 A9 are two
  // code page 437 characters, whatever they would mean as UTF-8.
  const std::string z = Make("dos.zip",
                             "[((lambda i: (setattr(i, 'create_system', 0), i)[1])(zipfile.ZipInfo('XX.txt')),"
                             "'dos data'),('keep.txt','k')]",
                             "d=bytearray(bytes(d).replace(b'XX.txt', b'\\xc3\\xa9.txt'))");
  zm_.SetZipFilename(z);
  ASSERT_EQ(zm_.Count(), 2) << messages_;
  const std::string shown = zm_.Entries()[0].FileName;
  EXPECT_EQ(shown, "\xe2\x94\x9c\xe2\x8c\x90.txt");  // "├⌐.txt"
  zm_.ExtrBaseDir = dir_ + "/out";
  zm_.ExtrOptions = ez::ExtrDirNames | ez::ExtrOverWrite;
  zm_.ExactNames = true;
  zm_.FSpecArgs = {shown};
  zm_.Extract();
  EXPECT_EQ(zm_.SuccessCount(), 1) << messages_;
  EXPECT_EQ(ReadAll("out/" + shown), "dos data");
  zm_.ExactNames = true;
  zm_.FSpecArgs = {shown};
  zm_.Delete();
  EXPECT_EQ(zm_.SuccessCount(), 1) << messages_;
  EXPECT_EQ(Names(), std::vector<std::string>{"keep.txt"});
}

TEST_F(ZipDirectoryRules, SelectedRowsActOnExactlyThoseEntries) {
  const std::string z = Make("sel.zip",
                             "[('Readme.txt','mixed'),('README.TXT','upper'),('readme.txt','lower'),"
                             "('docs/readme.txt','in docs'),('a?c.txt','literal'),('abc.txt','abc'),"
                             "('a*c','star'),('axc','axc')]");
  const std::string before = ReadAll(z);
  zm_.SetZipFilename(z);
  ASSERT_EQ(zm_.Count(), 8);
  // Delete as the window does: exact names, case and wildcard characters kept.
  zm_.ExactNames = true;
  zm_.FSpecArgs = {"Readme.txt", "a?c.txt", "a*c"};
  zm_.Delete();
  EXPECT_EQ(zm_.SuccessCount(), 3) << messages_;
  EXPECT_EQ(Names(), (std::vector<std::string>{"README.TXT", "readme.txt", "docs\\readme.txt", "abc.txt", "axc"}));

  // Extract a root entry with folder names junked: only that entry's content.
  zm_.ExtrBaseDir = dir_ + "/flat";
  zm_.ExtrOptions = ez::ExtrOverWrite;
  zm_.ExactNames = true;
  zm_.FSpecArgs = {"readme.txt"};
  zm_.Extract();
  EXPECT_EQ(zm_.SuccessCount(), 1) << messages_;
  EXPECT_EQ(ReadAll("flat/readme.txt"), "lower");
  EXPECT_FALSE(fs::exists("flat/README.TXT"));
  // The same file name in a folder, with folder names.
  zm_.ExtrBaseDir = dir_ + "/tree";
  zm_.ExtrOptions = ez::ExtrDirNames;
  zm_.ExactNames = true;
  zm_.FSpecArgs = {"docs\\readme.txt"};
  zm_.Extract();
  EXPECT_EQ(zm_.SuccessCount(), 1) << messages_;
  EXPECT_EQ(ReadAll("tree/docs/readme.txt"), "in docs");
  EXPECT_FALSE(fs::exists("tree/readme.txt"));

  // Typed specifications keep their wildcards and ignore case.
  WriteFile("sel.zip", before);
  zm_.SetZipFilename(z);
  zm_.FSpecArgs = {"readme.txt"};
  zm_.Delete();
  EXPECT_EQ(zm_.SuccessCount(), 3) << messages_;  // the three root ones
  zm_.FSpecArgs = {"a?c.txt"};
  zm_.Delete();
  EXPECT_EQ(zm_.SuccessCount(), 2) << messages_;
  EXPECT_EQ(Names(), (std::vector<std::string>{"docs\\readme.txt", "a*c", "axc"}));
}

TEST_F(ZipDirectoryRules, AnEarlierEndRecordIsNotTakenWhenTheLastOneIsDamaged) {
  // A complete archive, then a second one's entries and directory whose end
  // record's comment is cut short: readers that fall back to the first end
  // record show "good.txt", others "evil.txt".
  const std::string out = Python(
      "import zipfile, io, struct, sys\n"
      "def one(n, d):\n  b=io.BytesIO(); z=zipfile.ZipFile(b,'w'); z.writestr(n,d); z.close(); return b.getvalue()\n"
      "a=one('good.txt','good'); b=one('evil.txt','evil')\n"
      "end=b[-22:-2]+struct.pack('<H',100)\n"
      "open(sys.argv[1],'wb').write(a+b[:-22]+end+b'short')\nprint('ok')\n",
      "two.zip");
  ASSERT_NE(out.find("ok"), std::string::npos) << out;
  zm_.SetZipFilename(dir_ + "/two.zip");
  EXPECT_EQ(zm_.Count(), 0);
  EXPECT_NE(messages_.find("Error while reading the End Of Central Directory"), std::string::npos) << messages_;
  WriteFile("x.txt", "x");
  ZipOptions add;
  add.archive = dir_ + "/two.zip";
  add.specs = {"x.txt"};
  const std::string before = ReadAll("two.zip");
  EXPECT_EQ(RunZip(add).result, 0);
  EXPECT_EQ(ReadAll("two.zip"), before);
  // A lone end record whose comment is cut short is still the archive's own.
  Make("cut.zip", "[('only.txt','o')]", "d[e+20:e+22]=struct.pack('<H',50)\nd+=b'cut'");
  messages_.clear();
  zm_.SetZipFilename(dir_ + "/cut.zip");
  EXPECT_EQ(zm_.Count(), 1) << messages_;
  EXPECT_EQ(zm_.ArchiveComment(), "cut");
}

TEST_F(ZipDirectoryRules, AHeaderRunningPastTheDirectoryFailsTheListingAndTheLibraries) {
  // The last header's comment length reaches into the end record.
  const std::string z = Make("cut.zip", "[('one.txt','1'),('two.txt','22')]",
                             "cd=struct.unpack('<I',d[e+16:e+20])[0]\nj=d.find(b'PK\\x01\\x02',cd+4)\n"
                             "d[j+32:j+34]=struct.pack('<H',7)");
  zm_.SetZipFilename(z);
  EXPECT_EQ(zm_.Count(), 0);
  EXPECT_NE(messages_.find("Error while reading a file comment"), std::string::npos) << messages_;
  const std::string arkzip = std::string(ARKELIN_BIN_DIR) + "/arkzip";
  EXPECT_NE(Shell("'" + arkzip + "' list '" + z + "'"), 0);
  EXPECT_NE(Shell("'" + arkzip + "' test '" + z + "'"), 0);
}

TEST_F(ZipDirectoryRules, AFolderEntryThatCarriesDataIsReportedByName) {
  const std::string z = Make("dirdata.zip", "[(zipfile.ZipInfo('dir/'),'data in a folder'),('ok.txt','ok')]");
  zm_.SetZipFilename(z);
  ASSERT_EQ(zm_.Count(), 2);
  zm_.ExtrBaseDir = dir_ + "/out";
  zm_.ExtrOptions = ez::ExtrDirNames;
  zm_.FSpecArgs = {"*.*"};
  zm_.Extract();
  EXPECT_EQ(zm_.SuccessCount(), 1);
  EXPECT_NE(messages_.find("dir\\: a folder entry that carries 16 bytes"), std::string::npos) << messages_;
  EXPECT_GT(errors_, 0);
  EXPECT_TRUE(fs::is_directory("out/dir"));
  EXPECT_TRUE(fs::is_empty("out/dir"));
  EXPECT_EQ(ReadAll("out/ok.txt"), "ok");
}

TEST_F(ZipDirectoryRules, NewNamesGetTheUtf8FlagOnlyWhenTheyAreUtf8) {
  WriteFile("gr\xc3\xbc\xc3\x9f.txt", "utf-8 name");
  WriteFile("latin\xe9.txt", "latin-1 name");
  ZipOptions add;
  add.archive = dir_ + "/flags.zip";
  add.specs = {"gr\xc3\xbc\xc3\x9f.txt", "latin\xe9.txt"};
  ASSERT_EQ(RunZip(add).result, 2);
  const std::string flags = Python(
      "import zipfile, sys\nfor i in zipfile.ZipFile(sys.argv[1]).infolist(): print(i.flag_bits & 0x800)\n",
      "flags.zip");
  EXPECT_EQ(flags, "2048\n0\n");
}

}  // namespace

// libzipdll driven through its command record: archives it writes are
// checked with unzip, 7z, bsdtar and Python's zipfile; archives those tools
// wrote keep their other entries byte for byte when we add to them.
#include <sys/stat.h>
#include <utime.h>

#include "ZipDllTestUtil.h"

using namespace ziptest;

namespace {

// A small tree of mixed files; answers name -> content for checking.
std::vector<std::pair<std::string, std::string>> MakeTree() {
  std::vector<std::pair<std::string, std::string>> files = {
      {"tree/readme.txt", Prose(20000, 1)},
      {"tree/random.bin", RandomBytes(70000, 2)},
      {"tree/empty.txt", ""},
      {"tree/sub/deep/notes.txt", Prose(300000, 3)},
      {"tree/sub/caf\xc3\xa9 \xe2\x82\xac.txt", "unicode name\n"},
  };
  for (const auto& [n, c] : files) WriteFile(n, c);
  return files;
}

std::string ExpectedContents(const std::vector<std::pair<std::string, std::string>>& files) {
  std::vector<std::string> lines;
  for (const auto& [n, c] : files) lines.push_back(n + "\t" + Sha256(c));
  std::sort(lines.begin(), lines.end());
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

// Python's listing restricted to files (folder entries end in "/").
std::string FileContents(const std::string& archive, const std::string& password = "") {
  std::string out, line;
  std::istringstream in(PythonContents(archive, password));
  while (std::getline(in, line))
    if (line.find("/\t") == std::string::npos) out += line + "\n";
  return out;
}

void ExpectPeersAccept(const std::string& archive, const std::string& password = "") {
  const std::string pw = password.empty() ? "" : " -P '" + password + "'";
  EXPECT_EQ(Shell("unzip -t" + pw + " " + archive), 0) << Capture("unzip -t" + pw + " " + archive);
  if (HaveTool("7z")) {
    const std::string p7 = password.empty() ? "" : " -p'" + password + "'";
    EXPECT_EQ(Shell("7z t" + p7 + " " + archive), 0) << Capture("7z t" + p7 + " " + archive);
  }
  if (password.empty() && HaveTool("bsdtar")) {
    EXPECT_EQ(Shell("bsdtar -tf " + archive), 0);
  }
}

}  // namespace

namespace {
void SetMtime(const std::string& path, time_t t) {
  struct utimbuf u {t, t};
  utime(path.c_str(), &u);
}
}  // namespace

class ZipDllAdd : public ZipDllTest {};

TEST_F(ZipDllAdd, ReportsTheLongLayoutVersion) {
  ASSERT_NE(ZipLib::Get().version, nullptr);
  EXPECT_GE(ZipLib::Get().version(), dll::kFirstLongZipVersion);
}

TEST_F(ZipDllAdd, DeflatedTreeWithFoldersPassesEveryPeerTool) {
  const auto files = MakeTree();
  ZipOptions o;
  o.archive = "out.zip";
  o.specs = {"tree/"};
  o.recurse = true;
  o.dirEntries = true;
  auto r = RunZip(o);
  EXPECT_EQ(r.result, 8) << r.Messages();  // 5 files and 3 folders
  ExpectPeersAccept("out.zip");
  EXPECT_EQ(FileContents("out.zip"), ExpectedContents(files));
  const std::string names = Capture("unzip -Z1 out.zip");
  EXPECT_NE(names.find("tree/sub/deep/\n"), std::string::npos) << names;
  // The non-ASCII name carries the UTF-8 flag, the others do not.
  const std::string flags = Python(R"(import zipfile
for i in zipfile.ZipFile('out.zip').infolist(): print(i.filename, i.flag_bits & 0x800)
)");
  EXPECT_NE(flags.find("caf\xc3\xa9 \xe2\x82\xac.txt 2048"), std::string::npos) << flags;
  EXPECT_NE(flags.find("tree/readme.txt 0"), std::string::npos) << flags;
  // Extracted by unzip, byte for byte.
  ASSERT_EQ(Shell("unzip -q out.zip -d x"), 0);
  for (const auto& [n, c] : files) EXPECT_EQ(ReadAll("x/" + n), c) << n;
}

TEST_F(ZipDllAdd, EveryLevelFromStoreToMaximumRoundTrips) {
  const auto files = MakeTree();
  std::vector<uintmax_t> sizes;
  for (int level = 0; level <= 9; ++level) {
    SCOPED_TRACE(level);
    ZipOptions o;
    o.archive = "l" + std::to_string(level) + ".zip";
    o.specs = {"tree/"};
    o.recurse = true;
    o.level = level;
    auto r = RunZip(o);
    EXPECT_EQ(r.result, 5) << r.Messages();
    ExpectPeersAccept(o.archive);
    EXPECT_EQ(FileContents(o.archive), ExpectedContents(files));
    const std::string methods = Python("import zipfile\nprint(sorted({i.compress_type for i in zipfile.ZipFile('" +
                                       o.archive + "').infolist() if i.file_size}))\n");
    EXPECT_EQ(methods, level == 0 ? "[0]\n" : "[0, 8]\n");  // random data is kept stored
    sizes.push_back(std::filesystem::file_size(o.archive));
  }
  EXPECT_GT(sizes[0], sizes[1]);
  EXPECT_GT(sizes[1], sizes[9]);
}

TEST_F(ZipDllAdd, ExtendedTimestampInLocalAndCentralHeaders) {
  WriteFile("ts/a.txt", "time");
  SetMtime("ts/a.txt", 1600000001);  // an odd second, which DOS time cannot hold
  ZipOptions o;
  o.archive = "ts.zip";
  o.specs = {"ts/a.txt"};
  ASSERT_EQ(RunZip(o).result, 1);
  const std::string got = Python(
      "import zipfile,struct\n"
      "def ut(x):\n"
      "  p=0\n"
      "  while p+4<=len(x):\n"
      "    h,n=struct.unpack('<HH',x[p:p+4])\n"
      "    if h==0x5455 and x[p+4]&1: return struct.unpack('<I',x[p+5:p+9])[0]\n"
      "    p+=4+n\n"
      "i=zipfile.ZipFile('ts.zip').getinfo('ts/a.txt')\n"
      "f=open('ts.zip','rb'); f.seek(i.header_offset); h=f.read(30)\n"
      "nl,el=struct.unpack('<HH',h[26:30]); f.read(nl)\n"
      "print(ut(i.extra), ut(f.read(el)))\n");
  EXPECT_EQ(got, "1600000001 1600000001\n");
  // unzip restores the exact second from it.
  ASSERT_EQ(Shell("mkdir -p tsout && cd tsout && unzip -q ../ts.zip"), 0);
  struct stat st {};
  ASSERT_EQ(stat("tsout/ts/a.txt", &st), 0);
  EXPECT_EQ(st.st_mtime, 1600000001);
}

TEST_F(ZipDllAdd, EncryptedEntriesOpenWithUnzipAnd7zPasswords) {
  const auto files = MakeTree();
  ZipOptions o;
  o.archive = "enc.zip";
  o.specs = {"tree/"};
  o.recurse = true;
  o.encrypt = true;
  o.password = "s3cret pass";
  auto r = RunZip(o);
  EXPECT_EQ(r.result, 5) << r.Messages();
  ExpectPeersAccept("enc.zip", "s3cret pass");
  EXPECT_NE(Shell("unzip -t -P wrong enc.zip"), 0);
  EXPECT_EQ(Capture("unzip -p -P 's3cret pass' enc.zip tree/readme.txt"), files[0].second);
  if (HaveTool("7z")) {
    ASSERT_EQ(Shell("7z x -p's3cret pass' -o7 enc.zip"), 0);
    EXPECT_EQ(ReadAll("7/tree/sub/deep/notes.txt"), files[3].second);
  }
  EXPECT_EQ(FileContents("enc.zip", "s3cret pass"), ExpectedContents(files));
}

TEST_F(ZipDllAdd, NoPasswordAsksThroughTheCallbackAndUsesTheAnswer) {
  WriteFile("a.txt", Prose(1000, 9));
  ZipOptions o;
  o.archive = "ask.zip";
  o.specs = {"a.txt"};
  o.encrypt = true;
  o.answer = [](dll::EngineCallbackData& d) {
    if (d.actionCode != dll::kActionPassword) return 0;
    std::strcpy(d.text, "given");
    return 1;
  };
  auto r = RunZip(o);
  EXPECT_EQ(r.result, 1) << r.Messages();
  EXPECT_EQ(r.Count(dll::kActionPassword), 1);
  EXPECT_EQ(Shell("unzip -t -P given ask.zip"), 0);
  // Refusing to give one adds nothing.
  o.archive = "refused.zip";
  o.answer = nullptr;
  r = RunZip(o);
  EXPECT_EQ(r.result, 0);
  EXPECT_FALSE(fs::exists("refused.zip"));
}

TEST_F(ZipDllAdd, LargeFilesAreDeflatedInJoinedBlocksAlsoEncrypted) {
  // Above the whole-file limit: compressed block by block on both workers.
  std::string big = Prose(24u << 20, 5);
  big.replace(5u << 20, 3u << 20, RandomBytes(3u << 20, 6));
  WriteFile("big.dat", big);
  const std::string want = Sha256(big);
  for (bool encrypt : {false, true}) {
    ZipOptions o;
    o.archive = encrypt ? "bige.zip" : "big.zip";
    o.specs = {"big.dat"};
    o.encrypt = encrypt;
    o.password = "pw";
    auto r = RunZip(o);
    ASSERT_EQ(r.result, 1) << r.Messages();
    ExpectPeersAccept(o.archive, encrypt ? "pw" : "");
    EXPECT_EQ(FileContents(o.archive, encrypt ? "pw" : ""), "big.dat\t" + want + "\n");
    EXPECT_LT(fs::file_size(o.archive), big.size() / 2);
    // Progress: one new file, updates in steps of at most 64 KiB adding up.
    int64_t sum = 0;
    for (const auto& e : r.events)
      if (e.action == dll::kActionUpdate) {
        EXPECT_LE(e.size, 65536);
        sum += e.size;
      }
    EXPECT_EQ(sum, static_cast<int64_t>(big.size()));
  }
}

TEST_F(ZipDllAdd, CallbacksAnnounceTotalsFirstAndEndTheBatch) {
  MakeTree();
  ZipOptions o;
  o.archive = "cb.zip";
  o.specs = {"tree/*.txt", "tree/random.bin"};
  auto r = RunZip(o);
  ASSERT_EQ(r.result, 3) << r.Messages();
  ASSERT_GE(r.events.size(), 3u);
  EXPECT_EQ(r.events[0].action, dll::kActionTotalFiles);
  EXPECT_EQ(r.events[0].size, 3);
  EXPECT_EQ(r.events[1].action, dll::kActionTotalSize);
  EXPECT_EQ(r.events[1].size, 20000 + 70000);
  EXPECT_EQ(r.events.back().action, dll::kActionEndOfBatch);
  EXPECT_EQ(r.Count(dll::kActionNewFile), 3);
  EXPECT_EQ(r.events[2].action, dll::kActionNewFile);
  EXPECT_EQ(r.events[2].text, "tree/empty.txt");
}

TEST_F(ZipDllAdd, FolderNamesAsGivenOrJunkedOrDos) {
  MakeTree();
  const std::string abs = fs::absolute("tree/readme.txt").string();
  ZipOptions o;
  o.archive = "n1.zip";
  o.specs = {abs, "./tree/sub/deep/notes.txt"};
  EXPECT_EQ(RunZip(o).result, 2);
  EXPECT_EQ(Capture("unzip -Z1 n1.zip"), abs.substr(1) + "\ntree/sub/deep/notes.txt\n");
  o.archive = "n2.zip";
  o.dirNames = false;
  EXPECT_EQ(RunZip(o).result, 2);
  EXPECT_EQ(Capture("unzip -Z1 n2.zip"), "readme.txt\nnotes.txt\n");
  o.archive = "n3.zip";
  o.dirNames = true;
  o.forceDos = true;
  o.specs = {"tree/sub/deep/notes.txt", "tree/readme.txt"};
  EXPECT_EQ(RunZip(o).result, 2);
  EXPECT_EQ(Capture("unzip -Z1 n3.zip"), "TREE/SUB/DEEP/NOTES.TXT\nTREE/README.TXT\n");
}

TEST_F(ZipDllAdd, HiddenFilesOnlyWhenAsked) {
  WriteFile("h/.secret", "s");
  WriteFile("h/plain", "p");
  ZipOptions o;
  o.archive = "h1.zip";
  o.specs = {"h/"};
  o.hidden = false;
  EXPECT_EQ(RunZip(o).result, 1);
  EXPECT_EQ(Capture("unzip -Z1 h1.zip"), "h/plain\n");
  o.archive = "h2.zip";
  o.hidden = true;
  EXPECT_EQ(RunZip(o).result, 2);
}

TEST_F(ZipDllAdd, AddingToArchivesOfOtherToolsKeepsTheirEntriesRaw) {
  MakeTree();
  WriteFile("new.txt", Prose(5000, 11));
  // Written by zip (with a data descriptor from a pipe), 7z and Python.
  std::vector<std::string> made;
  if (Shell("cd tree && zip -qr ../byzip.zip . && echo streamed | zip -q ../byzip.zip -") == 0) made.push_back("byzip.zip");
  if (HaveTool("7z") && Shell("7z a -tzip by7z.zip tree") == 0) made.push_back("by7z.zip");
  Python(R"(import zipfile
with zipfile.ZipFile('bypy.zip', 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('first.txt', 'one' * 1000)
    z.writestr('stored.bin', b'\x00' * 100, compress_type=zipfile.ZIP_STORED)
    z.comment = b'archive comment'
)");
  made.push_back("bypy.zip");
  for (const auto& a : made) {
    const std::string before = RawEntryDigests(a);
    ASSERT_FALSE(before.empty()) << a;
    ZipOptions o;
    o.archive = a;
    o.specs = {"new.txt"};
    auto r = RunZip(o);
    ASSERT_EQ(r.result, 1) << a << r.Messages();
    const std::string after = RawEntryDigests(a);
    EXPECT_EQ(after.substr(0, before.size()), before) << a;  // the old entries, same order, same bytes
    EXPECT_NE(after.find("new.txt\t"), std::string::npos);
    ExpectPeersAccept(a);
    EXPECT_EQ(Capture("unzip -p " + a + " new.txt"), Prose(5000, 11));
  }
  EXPECT_EQ(Python("import zipfile\nprint(zipfile.ZipFile('bypy.zip').comment)\n"), "b'archive comment'\n");
}

TEST_F(ZipDllAdd, SelfExtractorStubInFrontIsKeptWithOffsetsRight) {
  WriteFile("a.txt", Prose(4000, 1));
  WriteFile("b.txt", Prose(4000, 2));
  ASSERT_EQ(Shell("zip -q plain.zip a.txt"), 0);
  const std::string stub = RandomBytes(5000, 3);
  WriteFile("sfx.exe", stub + ReadAll("plain.zip"));
  ZipOptions o;
  o.archive = "sfx.exe";
  o.specs = {"b.txt"};
  auto r = RunZip(o);
  ASSERT_EQ(r.result, 1) << r.Messages();
  EXPECT_EQ(ReadAll("sfx.exe").substr(0, stub.size()), stub);
  // unzip warns (exit 1) about offsets that need correcting; 0 means right.
  EXPECT_EQ(Shell("unzip -t sfx.exe"), 0) << Capture("unzip -t sfx.exe");
  EXPECT_EQ(Capture("unzip -p sfx.exe b.txt"), Prose(4000, 2));
  EXPECT_EQ(Capture("unzip -p sfx.exe a.txt"), Prose(4000, 1));
}

TEST_F(ZipDllAdd, SameNameReplacesTheEntryInPlace) {
  WriteFile("a.txt", "old a");
  WriteFile("b.txt", "b");
  ZipOptions o;
  o.archive = "r.zip";
  o.specs = {"a.txt", "b.txt"};
  ASSERT_EQ(RunZip(o).result, 2);
  WriteFile("a.txt", "new a, longer than before");
  o.specs = {"a.txt"};
  ASSERT_EQ(RunZip(o).result, 1);
  EXPECT_EQ(Capture("unzip -Z1 r.zip"), "a.txt\nb.txt\n");
  EXPECT_EQ(Capture("unzip -p r.zip a.txt"), "new a, longer than before");
  EXPECT_EQ(Shell("unzip -t r.zip"), 0);
}

TEST_F(ZipDllAdd, UpdateAndFreshenGoByModificationTime) {
  WriteFile("u/old.txt", "old v1");
  WriteFile("u/same.txt", "same");
  SetMtime("u/old.txt", 1600000000);
  SetMtime("u/same.txt", 1600000000);
  ZipOptions o;
  o.archive = "u.zip";
  o.specs = {"u/"};
  ASSERT_EQ(RunZip(o).result, 2);
  WriteFile("u/old.txt", "old v2");
  SetMtime("u/old.txt", 1700000000);
  WriteFile("u/same.txt", "changed but not newer");
  SetMtime("u/same.txt", 1600000000);
  WriteFile("u/added.txt", "added");
  o.freshen = true;
  auto r = RunZip(o);
  EXPECT_EQ(r.result, 1) << r.Messages();
  EXPECT_EQ(Capture("unzip -Z1 u.zip"), "u/old.txt\nu/same.txt\n");
  EXPECT_EQ(Capture("unzip -p u.zip u/old.txt"), "old v2");
  EXPECT_EQ(Capture("unzip -p u.zip u/same.txt"), "same");
  o.freshen = false;
  o.update = true;
  r = RunZip(o);
  EXPECT_EQ(r.result, 1) << r.Messages();
  EXPECT_EQ(Capture("unzip -Z1 u.zip"), "u/old.txt\nu/same.txt\nu/added.txt\n");
  EXPECT_EQ(Capture("unzip -p u.zip u/same.txt"), "same");
}

TEST_F(ZipDllAdd, MoveRemovesSourcesAfterTheArchiveIsWritten) {
  WriteFile("m/a.txt", "a");
  WriteFile("m/s/b.txt", "b");
  ZipOptions o;
  o.archive = "m.zip";
  o.specs = {"m/"};
  o.recurse = true;
  o.move = true;
  ASSERT_EQ(RunZip(o).result, 2);
  EXPECT_FALSE(fs::exists("m"));
  EXPECT_EQ(Capture("unzip -p m.zip m/s/b.txt"), "b");
}

TEST_F(ZipDllAdd, KeepArchiveTimeSetsTheNewestEntryTime) {
  WriteFile("t.txt", "t");
  SetMtime("t.txt", 1500000000);
  ZipOptions o;
  o.archive = "t.zip";
  o.specs = {"t.txt"};
  o.keepTime = true;
  ASSERT_EQ(RunZip(o).result, 1);
  struct stat st {};
  ASSERT_EQ(stat("t.zip", &st), 0);
  EXPECT_NEAR(static_cast<double>(st.st_mtime), 1500000000.0, 2.0);
}

TEST_F(ZipDllAdd, MoreThan65535EntriesGetZip64EndRecords) {
  fs::create_directories("many");
  for (int i = 0; i < 65600; ++i) {
    std::ofstream(("many/f" + std::to_string(i)).c_str()) << i;
  }
  ZipOptions o;
  o.archive = "many.zip";
  o.specs = {"many/"};
  auto r = RunZip(o);
  ASSERT_EQ(r.result, 65600) << r.Messages();
  EXPECT_EQ(Python("import zipfile\nz = zipfile.ZipFile('many.zip')\nprint(len(z.namelist()), z.testzip(), "
                   "z.read('many/f65599'))\n"),
            "65600 None b'65599'\n");
  EXPECT_EQ(Shell("unzip -tq many.zip"), 0);
  if (HaveTool("7z")) {
    EXPECT_EQ(Shell("7z t many.zip"), 0);
  }
  // Adding one more to it keeps all and stays readable.
  WriteFile("one.more", "x");
  o.specs = {"one.more"};
  ASSERT_EQ(RunZip(o).result, 1);
  EXPECT_EQ(Python("import zipfile\nprint(len(zipfile.ZipFile('many.zip').namelist()))\n"), "65601\n");
}

TEST_F(ZipDllAdd, EntryAbove4GiBGetsZip64SizesThatPeersRead) {
  // A sparse file: cheap on disk, 4 GiB and a bit with real bytes at the end.
  const uint64_t size = (4ull << 30) + 12345;
  {
    std::ofstream f("huge.bin", std::ios::binary);
    f.seekp(static_cast<std::streamoff>(size - 5));
    f << "tail!";
  }
  ASSERT_EQ(fs::file_size("huge.bin"), size);
  WriteFile("small.txt", "after the big one");
  ZipOptions o;
  o.archive = "huge.zip";
  o.specs = {"huge.bin", "small.txt"};
  o.level = 1;
  auto r = RunZip(o);
  ASSERT_EQ(r.result, 2) << r.Messages();
  EXPECT_EQ(Python("import zipfile\nfor i in zipfile.ZipFile('huge.zip').infolist(): print(i.filename, i.file_size)\n"),
            "huge.bin " + std::to_string(size) + "\nsmall.txt 17\n");
  EXPECT_EQ(Shell("unzip -tq huge.zip"), 0) << Capture("unzip -tq huge.zip");
  EXPECT_EQ(Capture("unzip -p huge.zip small.txt"), "after the big one");
}

TEST_F(ZipDllAdd, AddingToEveryFixtureEitherKeepsItsEntriesRawOrRefusesUntouched) {
  const fs::path fixtures = fs::path(ARKELIN_FIXTURES) / "zip";
  if (!fs::exists(fixtures)) GTEST_SKIP() << "no fixtures at " << fixtures;
  WriteFile("added.txt", Prose(3000, 21));
  int accepted = 0, refused = 0;
  std::string refusedNames;
  for (const auto& f : fs::directory_iterator(fixtures)) {
    const std::string name = f.path().filename().string();
    if (name.find(".z0") != std::string::npos) continue;  // pieces of a split set
    SCOPED_TRACE(name);
    const std::string copy = "fx-" + name;
    fs::copy_file(f.path(), copy, fs::copy_options::overwrite_existing);
    const std::string original = ReadAll(copy);
    const std::string before = RawEntryDigests(copy);
    ZipOptions o;
    o.archive = copy;
    o.specs = {"added.txt"};
    auto r = RunZip(o);
    EXPECT_EQ(TempFilesIn("."), 0);
    if (r.result == 0) {
      ++refused;
      refusedNames += " " + name;
      EXPECT_EQ(ReadAll(copy), original) << r.Messages();
      EXPECT_TRUE(r.HasMessageCode(3)) << r.Messages();
      continue;
    }
    ++accepted;
    EXPECT_EQ(r.result, 1);
    if (!before.empty()) {
      EXPECT_EQ(RawEntryDigests(copy).substr(0, before.size()), before);
    }
    EXPECT_EQ(Capture("unzip -p " + copy + " added.txt"), Prose(3000, 21));
  }
  EXPECT_GT(accepted, 20);
  std::printf("fixtures: %d took the new entry, %d were refused untouched:%s\n", accepted, refused,
              refusedNames.c_str());
}

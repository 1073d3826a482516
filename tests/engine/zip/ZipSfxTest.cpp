// TZipMaster's self-extracting conversions: the parameter block, the
// layout of the program, the round trip back to the archive, the checks and
// their messages, replacing an existing program, and Add to a new .exe.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "engine/zip/dll/common/SfxHeader.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "tests/engine/zip/SfxTestUtil.h"

namespace fs = std::filesystem;
using namespace arkelin::engine::zip;
using namespace arkelin::engine::zip::testing;

namespace {

class RecordingFiles : public arkelin::platform::IFiles {
 public:
  std::vector<std::string> trashed;
  std::string TempFileName(const std::string&, const std::string&) override { return {}; }
  bool MoveToTrash(const std::string& path) override {
    trashed.push_back(path);
    std::error_code ec;
    return fs::remove(path, ec);
  }
};

class SfxTest : public ::testing::Test {
 protected:
  TempFolder tmp;
  arkelin::platform::FakePlatformScope fake;
  RecordingFiles files;
  TZipMaster zm;
  std::vector<std::string> messages;
  std::string stub;

  void SetUp() override {
    auto s = arkelin::platform::Current();
    s.files = &files;
    arkelin::platform::Install(s);
    zm.Unattended = true;
    zm.HowToDelete = htdFinal;
    zm.OnMessage = [this](TZipMaster&, int, const std::string& t) { messages.push_back(t); };
    // A small stand-in stub keeps the byte arithmetic readable; the real
    // one is run by the stub's own tests.
    stub = tmp.File("stub.bin");
    WriteFile(stub, std::string(1000, '\x7f'));
    zm.SFXPath = stub;
  }

  std::string Archive(const std::string& name = "a.zip", const std::string& comment = "") {
    const std::string z = tmp.File(name);
    WriteFile(z, MakeZip({{"one.txt", "first file"}, {"dir\\two.txt", "second"}, {"empty", ""}}, comment));
    return z;
  }

  std::string Header(const std::string& exe) { return ReadAll(exe).substr(1000, 256); }
};

TEST_F(SfxTest, ConvertsAndConvertsBackByteIdentical) {
  const std::string z = Archive("a.zip", "archive comment");
  const std::string original = ReadAll(z);
  zm.SetZipFilename(z);
  ASSERT_EQ(zm.Count(), 3);
  messages.clear();
  ASSERT_EQ(zm.ConvertSFX(), 0);
  const std::string exe = tmp.File("a.exe");
  EXPECT_EQ(zm.ZipFilename(), exe);
  EXPECT_FALSE(fs::exists(z)) << "the .zip is replaced by the .exe";
  EXPECT_EQ(fs::file_size(exe), 1000 + 256 + original.size());
  EXPECT_EQ(zm.ArchiveStart(), 1256);
  EXPECT_EQ(zm.Count(), 3);
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_EQ(ReadAll(exe).substr(0, 1000), std::string(1000, '\x7f'));
  EXPECT_EQ(Header(exe).substr(0, 3), "MPU");
  EXPECT_EQ(zm.ArchiveComment(), "archive comment");

  ASSERT_EQ(zm.ConvertZIP(), 0);
  EXPECT_EQ(zm.ZipFilename(), z);
  EXPECT_FALSE(fs::exists(exe));
  EXPECT_EQ(ReadAll(z), original);
  EXPECT_EQ(zm.ArchiveStart(), 0);
}

TEST_F(SfxTest, PeersAcceptTheProgramMadeWithTheRealStub) {
  const std::string z = Archive();
  std::string exe;
  ASSERT_EQ(MakeSfx(z, exe, zm), 0);
  EXPECT_EQ(zm.ArchiveStart(), static_cast<int64_t>(fs::file_size(StubPath())) + 256);
  EXPECT_EQ(RunIn(tmp.Path().string(), "unzip -t " + Quote(exe)).code, 0);
  const ShellRun r = RunIn(tmp.Path().string(), "7z t " + Quote(exe));
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("Everything is Ok"), std::string::npos) << r.out;
}

TEST_F(SfxTest, ParameterBlock) {
  // Defaults: OvrConfirm and SFXCheckSize only -> option byte 0.
  zm.SetZipFilename(Archive("b.zip"));
  zm.SFXCaption = "Cap";
  zm.SFXDefaultDir = "><";
  zm.SFXCommandLine = "run|><x";
  ASSERT_EQ(zm.ConvertSFX(), 0);
  std::string h = Header(zm.ZipFilename());
  EXPECT_EQ(h[3], 0);
  EXPECT_EQ(h[4], 3);
  EXPECT_EQ(h[5], 2);
  EXPECT_EQ(h[6], 7);
  EXPECT_EQ(h.substr(7, 12), "Cap><run|><x");
  EXPECT_EQ(h.substr(19), std::string(256 - 19, '\0'));
  ASSERT_EQ(zm.ConvertZIP(), 0);

  // No options at all -> 32 (no size check).
  zm.SFXOptions = 0;
  ASSERT_EQ(zm.ConvertSFX(), 0);
  EXPECT_EQ(static_cast<uint8_t>(Header(zm.ZipFilename())[3]), 32);
  ASSERT_EQ(zm.ConvertZIP(), 0);

  // Each switch its bit.
  zm.SFXOptions = SFXAskCmdLine | SFXAskFiles | SFXHideOverWriteBox | SFXAutoRun | SFXCheckSize;
  zm.SFXOverWriteMode = OvrAlways;
  ASSERT_EQ(zm.ConvertSFX(), 0);
  EXPECT_EQ(static_cast<uint8_t>(Header(zm.ZipFilename())[3]), 1 | 2 | 4 | 8 | 64);
  ASSERT_EQ(zm.ConvertZIP(), 0);
  zm.SFXOverWriteMode = OvrNever;
  zm.SFXOptions = SFXCheckSize;
  ASSERT_EQ(zm.ConvertSFX(), 0);
  h = Header(zm.ZipFilename());
  EXPECT_EQ(static_cast<uint8_t>(h[3]), 16);
  arkelin::engine::zip::dll::SfxHeader parsed;
  ASSERT_TRUE(arkelin::engine::zip::dll::ParseSfxHeader(reinterpret_cast<const uint8_t*>(h.data()), h.size(), parsed));
  EXPECT_EQ(parsed.commandLine, "run|><x");
}

TEST_F(SfxTest, StringsUpTo249Characters) {
  zm.SetZipFilename(Archive("c.zip"));
  zm.SFXCaption = std::string(100, 'c');
  zm.SFXDefaultDir = std::string(100, 'd');
  zm.SFXCommandLine = std::string(49, 'e');
  ASSERT_EQ(zm.ConvertSFX(), 0);
  const std::string h = Header(zm.ZipFilename());
  EXPECT_EQ(h.substr(7), std::string(100, 'c') + std::string(100, 'd') + std::string(49, 'e'));
  ASSERT_EQ(zm.ConvertZIP(), 0);

  zm.SFXCommandLine += "e";
  zm.Unattended = false;
  EXPECT_EQ(zm.ConvertSFX(), -9);
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  const std::string text = fake.dialogs.boxes[0].text;
  EXPECT_EQ(text.rfind("Error - On or more of the 4 property strings mentioned below exceeds 255 characters!", 0), 0u);
  EXPECT_THAT(text, ::testing::EndsWith("\r\nSFXCaption + SFXDefaultDir + SFXCommandLine = 250"));
  EXPECT_FALSE(fs::exists(tmp.File("c.exe")));
  EXPECT_TRUE(fs::exists(tmp.File("c.zip")));
}

TEST_F(SfxTest, WrongDirectoryOffsetIsCopiedUnchanged) {
  const std::string z = tmp.File("m.zip");
  // Offsets recorded 50 bytes too high: the reader finds the directory by
  // its size and warns.
  const std::string bytes = MakeZip({{"x.txt", "data"}}, "", 50);
  WriteFile(z, bytes);
  zm.SetZipFilename(z);
  ASSERT_TRUE(zm.OffsetMismatch());
  ASSERT_EQ(zm.ConvertSFX(), 0);
  EXPECT_EQ(ReadAll(zm.ZipFilename()).substr(1256), bytes);
}

TEST_F(SfxTest, NamesAndChecks) {
  // ".Zip" is accepted, the output gets ".exe".
  const std::string z = Archive("Mixed.Zip");
  zm.SetZipFilename(z);
  ASSERT_EQ(zm.ConvertSFX(), 0);
  EXPECT_EQ(zm.ZipFilename(), tmp.File("Mixed.exe"));

  // Not a .zip name.
  zm.Unattended = false;
  const std::string other = tmp.File("data.bin");
  WriteFile(other, MakeZip({{"x", "y"}}));
  zm.SetZipFilename(other);
  EXPECT_EQ(zm.ConvertSFX(), -9);
  EXPECT_TRUE(fake.dialogs.Saw("Error: input file is not a zip file"));
  EXPECT_EQ(zm.ConvertZIP(), -3);
  EXPECT_TRUE(fake.dialogs.Saw("Error: input file is not an .EXE file"));

  // No archive at all.
  zm.SetZipFilename("");
  EXPECT_EQ(zm.ConvertSFX(), -9);
  EXPECT_TRUE(fake.dialogs.Saw("Error - no zip file specified!"));
  EXPECT_EQ(zm.ConvertZIP(), -3);
  EXPECT_TRUE(fake.dialogs.Saw("Error - no .EXE file specified"));

  // An .exe with nothing in front of its ZIP data: ArchiveStart is 0.
  TZipMaster fresh;
  fresh.Unattended = false;
  const std::string bare = tmp.File("bare.exe");
  WriteFile(bare, MakeZip({{"x", "y"}}));
  fresh.SetZipFilename(bare);
  ASSERT_EQ(fresh.ArchiveStart(), 0);
  fake.dialogs.boxes.clear();
  EXPECT_EQ(fresh.ConvertZIP(), -9);
  EXPECT_TRUE(fake.dialogs.Saw("Error determining the type of SFX archive"));
  EXPECT_TRUE(fs::exists(bare));
}

TEST_F(SfxTest, ExistingProgramIsReplacedOrTrashed) {
  const std::string exe = tmp.File("r.exe");
  WriteFile(exe, "old program");
  zm.SetZipFilename(Archive("r.zip"));
  ASSERT_EQ(zm.ConvertSFX(), 0);
  EXPECT_NE(ReadAll(exe), "old program");
  EXPECT_TRUE(files.trashed.empty());
  ASSERT_EQ(zm.ConvertZIP(), 0);

  WriteFile(exe, "old program");
  zm.HowToDelete = htdAllowUndo;
  ASSERT_EQ(zm.ConvertSFX(), 0);
  EXPECT_THAT(files.trashed, ::testing::ElementsAre(exe, tmp.File("r.zip")));
  EXPECT_EQ(zm.ArchiveStart(), 1256);
}

TEST_F(SfxTest, StubSearchOrder) {
  const std::string z = Archive("s.zip");
  // One stub in every place, each with its own bytes; found one by one as
  // the earlier ones go away.
  const std::vector<std::pair<std::string, std::string>> places{
      {"cwd/ZipSFX.bin", "current folder, configured name"},
      {"cwd/ru2001.bin", "current folder, own name"},
      {"inst/bin/ru2001.bin", "beside the program"},
      {"inst/lib/arkelin/ZipSFX.bin", "installed program folder"},
      {"sys1/ru2001.bin", "first system folder"},
      {"sys2/ru2001.bin", "second system folder"},
      {"dlls/ZipSFX.bin", "DLLDirectory"},
  };
  for (const auto& [file, text] : places) {
    fs::create_directories(fs::path(tmp.File(file)).parent_path());
    WriteFile(tmp.File(file), text);
  }
  TZipMaster::SetStubPlacesForTests(tmp.File("inst/bin"), {tmp.File("sys1"), tmp.File("sys2/")});
  zm.SetDLLDirectory(tmp.File("dlls"));
  const fs::path saved = fs::current_path();
  fs::current_path(tmp.File("cwd"));
  std::vector<std::string> found;
  for (size_t i = 0; i < places.size(); ++i) {
    zm.SFXPath = tmp.File("missing.bin");
    zm.SetZipFilename(z);
    if (zm.ConvertSFX() != 0) break;
    found.push_back(ReadAll(zm.ZipFilename()).substr(0, places[i].second.size()));
    const std::string used = zm.SFXPath;
    EXPECT_EQ(ReadAll(used), places[i].second);
    ASSERT_EQ(zm.ConvertZIP(), 0);
    fs::remove(used);
  }
  // None left: the message, and SFXPath is cleared.
  zm.Unattended = false;
  zm.SFXPath = tmp.File("missing.bin");
  const int none = zm.ConvertSFX();
  fs::current_path(saved);
  TZipMaster::SetStubPlacesForTests("", {});
  std::vector<std::string> expected;
  for (const auto& p : places) expected.push_back(p.second);
  EXPECT_EQ(found, expected);
  EXPECT_EQ(none, -9);
  EXPECT_TRUE(fake.dialogs.Saw("Error - ZIPSFX.BIN not found!"));
  EXPECT_TRUE(zm.SFXPath.empty());
  EXPECT_TRUE(fs::exists(z));
  EXPECT_FALSE(fs::exists(tmp.File("s.exe")));
}

TEST_F(SfxTest, FailedConversionLeavesEverythingAsItWas) {
  const std::string z = Archive("f.zip");
  zm.SetZipFilename(z);
  // The archive changes after it was listed: its end record is gone.
  const std::string cut = ReadAll(z).substr(0, 40);
  WriteFile(z, cut);
  EXPECT_EQ(zm.ConvertSFX(), -3);
  EXPECT_EQ(zm.ZipFilename(), z);
  EXPECT_EQ(ReadAll(z), cut);
  EXPECT_FALSE(fs::exists(tmp.File("f.exe")));

  // An existing program of the output's name survives a failed conversion,
  // and so does an existing archive when the way back fails.
  const std::string g = Archive("g.zip");
  WriteFile(tmp.File("g.exe"), "old program");
  zm.SetZipFilename(g);
  WriteFile(g, ReadAll(g).substr(0, 40));
  EXPECT_EQ(zm.ConvertSFX(), -3);
  EXPECT_EQ(ReadAll(tmp.File("g.exe")), "old program");
  const std::string h = Archive("h.zip");
  zm.SetZipFilename(h);
  ASSERT_EQ(zm.ConvertSFX(), 0);
  const std::string hexe = zm.ZipFilename();
  WriteFile(h, "old archive");
  WriteFile(hexe, ReadAll(hexe).substr(0, 1300));
  EXPECT_NE(zm.ConvertZIP(), 0);
  EXPECT_EQ(ReadAll(h), "old archive");
  EXPECT_EQ(zm.ZipFilename(), hexe);
  EXPECT_EQ(ReadAll(hexe).size(), 1300u);
  // Nor is anything temporary left in the folder.
  for (auto& e : fs::directory_iterator(tmp.Path()))
    EXPECT_EQ(e.path().filename().string().rfind(".arkelin-", 0), std::string::npos) << e.path();
}

// Python's zipfile with its limits lowered writes Zip64 end records and
// keeps the sizes and offsets of all but the first entry in Zip64 extra
// fields, as it does for large archives.
std::string Zip64Archive(const std::string& path) {
  const std::string script =
      "import sys, zipfile\n"
      "zipfile.ZIP_FILECOUNT_LIMIT = 0\n"
      "zipfile.ZIP64_LIMIT = 0\n"
      "with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "    z.writestr('a.txt', 'hello zip64\\n' * 100)\n"
      "    z.writestr('d/b.txt', 'second\\n')\n"
      "    z.writestr('c.bin', bytes(range(256)) * 10)\n"
      "    z.comment = b'zip64 comment'\n";
  WriteFile(path + ".py", script);
  EXPECT_EQ(RunIn("/", "/usr/bin/python3 " + Quote(path + ".py") + " " + Quote(path)).code, 0);
  return ReadAll(path);
}

TEST_F(SfxTest, Zip64RecordsAndOffsetsAreMoved) {
  const std::string z = tmp.File("z64.zip");
  const std::string original = Zip64Archive(z);
  ASSERT_NE(original.find("PK\x06\x06"), std::string::npos) << "a Zip64 end record";
  std::string exe;
  messages.clear();
  ASSERT_EQ(MakeSfx(z, exe, zm), 0);
  const int64_t stubSize = static_cast<int64_t>(fs::file_size(StubPath()));
  EXPECT_EQ(zm.ArchiveStart(), stubSize + 256);
  EXPECT_EQ(zm.Count(), 3);
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_EQ(fs::file_size(exe), stubSize + 256 + original.size());
  // The peers find every offset where it is, without a word about a prefix.
  ShellRun r = RunIn(tmp.Path().string(), "unzip -t " + Quote(exe));
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out.find("extra bytes"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("not where expected"), std::string::npos) << r.out;
  r = RunIn(tmp.Path().string(), "7z t " + Quote(exe));
  EXPECT_NE(r.out.find("Everything is Ok"), std::string::npos) << r.out;
  r = RunIn(tmp.Path().string(), Quote(exe) + " -t");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("3 file(s) tested, 0 error(s)"), std::string::npos) << r.out;
  ASSERT_EQ(zm.ConvertZIP(), 0);
  EXPECT_EQ(ReadAll(z), original);
}

TEST_F(SfxTest, RebuildWithAnotherStub) {
  // Made with the stand-in stub, rebuilt with the real one: the same block,
  // the same archive, offsets moved by the difference.
  for (const bool zip64 : {false, true}) {
    const std::string z = tmp.File(zip64 ? "r64.zip" : "r.zip");
    const std::string original = zip64 ? Zip64Archive(z) : ReadAll(Archive("r.zip", "kept comment"));
    zm.SFXPath = stub;
    zm.SFXCaption = "Rebuilt";
    zm.SetZipFilename(z);
    ASSERT_EQ(zm.ConvertSFX(), 0);
    const std::string exe = zm.ZipFilename();
    const std::string before = ReadAll(exe);

    // Stopped after a few blocks: the program is as it was.
    int asked = 0;
    EXPECT_EQ(zm.RebuildSFX(StubPath(), [&] { return ++asked < 5; }), 1);
    EXPECT_EQ(asked, 5);
    EXPECT_EQ(ReadAll(exe), before);

    asked = 0;
    ASSERT_EQ(zm.RebuildSFX(StubPath(), [&] { return ++asked > 0; }), 0);
    const int64_t stubSize = static_cast<int64_t>(fs::file_size(StubPath()));
    EXPECT_GT(asked, stubSize / 2048) << "asked between 2,048-byte blocks";
    const std::string after = ReadAll(exe);
    EXPECT_EQ(after.substr(0, stubSize), ReadAll(StubPath()));
    EXPECT_EQ(after.substr(stubSize, 256), before.substr(1000, 256));
    EXPECT_EQ(zm.ArchiveStart(), stubSize + 256);
    messages.clear();
    zm.SetZipFilename(exe);
    EXPECT_TRUE(messages.empty()) << messages.front();
    const ShellRun r = RunIn(tmp.Path().string(), Quote(exe) + " -t");
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(r.out.substr(0, 8), "Rebuilt\n");
    EXPECT_EQ(RunIn(tmp.Path().string(), "unzip -tq " + Quote(exe)).code, 0);
    ASSERT_EQ(zm.ConvertZIP(), 0);
    EXPECT_EQ(ReadAll(z), original) << (zip64 ? "Zip64" : "plain");
  }
}

TEST_F(SfxTest, RebuildLeavesOtherProgramsAlone) {
  // A prefix without our parameter block (another self-extractor), and a
  // ZIP file that is only named .exe: nothing to rebuild, nothing changed.
  zm.SetZipFilename(Archive("o.zip"));
  ASSERT_EQ(zm.ConvertSFX(), 0);
  const std::string exe = zm.ZipFilename();
  std::string foreign = ReadAll(exe);
  foreign.replace(1000, 3, "XYZ");
  WriteFile(exe, foreign);
  zm.SetZipFilename(exe);
  ASSERT_EQ(zm.ArchiveStart(), 1256);
  EXPECT_EQ(zm.RebuildSFX(StubPath(), {}), 2);
  EXPECT_EQ(ReadAll(exe), foreign);
  const std::string plain = tmp.File("plain.exe");
  WriteFile(plain, MakeZip({{"x.txt", "x"}}));
  zm.SetZipFilename(plain);
  ASSERT_EQ(zm.ArchiveStart(), 0);
  EXPECT_EQ(zm.RebuildSFX(StubPath(), {}), 2);
  EXPECT_EQ(ReadAll(plain), MakeZip({{"x.txt", "x"}}));
}

TEST_F(SfxTest, AddToANewProgram) {
  zm.SetDLLDirectory(ARKELIN_BIN_DIR);
  zm.SFXPath = StubPath();
  const std::string exe = tmp.File("new.exe");
  WriteFile(tmp.File("in.txt"), "added to a new program\n");
  zm.SetZipFilename(exe);
  zm.FSpecArgs = {tmp.File("in.txt")};
  zm.Add();
  ASSERT_EQ(zm.SuccessCount(), 1) << (messages.empty() ? "" : messages.back());
  EXPECT_EQ(zm.Count(), 1);
  EXPECT_EQ(zm.ArchiveStart(), static_cast<int64_t>(fs::file_size(StubPath())) + 256);
  const ShellRun r = RunIn(tmp.Path().string(), Quote(exe) + " -y -d out");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(ReadAll(tmp.File("out/in.txt")), "added to a new program\n");
  EXPECT_EQ(RunIn(tmp.Path().string(), "unzip -t " + Quote(exe)).code, 0);
}

}  // namespace

// TZipMaster's multi-volume sets: splitting into numbered files and joining
// them back, the questions about existing volumes and free space, Cancel,
// a directory across a volume boundary, the standard split form (the
// fixture set, and sets read by the peers), Add and Extract of sets, and
// removable media through the platform double.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "engine/common/LittleEndian.h"
#include "platform/FakePlatform.h"
#include "platform/FakeRemovableDrive.h"
#include "platform/LinuxPlatform.h"
#include "tests/engine/zip/SfxTestUtil.h"

namespace fs = std::filesystem;
namespace pf = arkelin::platform;
using namespace arkelin::engine::zip;
using namespace arkelin::engine::zip::testing;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

std::string Noise(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  uint32_t x = 2463534242u + seed;
  for (auto& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return s;
}

// What a listing shows of each entry.
std::vector<std::string> Listing(TZipMaster& zm) {
  std::vector<std::string> out;
  for (const auto& e : zm.Entries())
    out.push_back(e.FileName + "|" + std::to_string(e.UncompressedSize64) + "|" + std::to_string(e.CompressedSize64) +
                  "|" + std::to_string(e.CRC32));
  return out;
}

// Forwards to the scripted dialogs; before a disk question is answered, the
// test may change the medium in the drive.
class MediaDialogs : public pf::IDialogs {
 public:
  explicit MediaDialogs(pf::FakeDialogs& inner) : inner_(inner) {}
  std::function<void(const std::string& text)> beforeAnswer;
  pf::Button MessageBox(const std::string& t, pf::MsgKind k, pf::Buttons b) override {
    return inner_.MessageBox(t, k, b);
  }
  pf::Button MessageBoxCaption(const std::string& c, const std::string& t, pf::MsgKind k, pf::Buttons b) override {
    if (beforeAnswer) beforeAnswer(t);
    return inner_.MessageBoxCaption(c, t, k, b);
  }
  std::optional<std::string> InputBox(const std::string& c, const std::string& p, const std::string& i,
                                      bool pw) override {
    return inner_.InputBox(c, p, i, pw);
  }
  std::vector<std::string> OpenFiles(const pf::FileDialogRequest& r) override { return inner_.OpenFiles(r); }
  std::optional<std::string> SaveFile(const pf::FileDialogRequest& r) override { return inner_.SaveFile(r); }
  std::optional<std::string> ChooseFolder(const std::string& t, const std::string& s) override {
    return inner_.ChooseFolder(t, s);
  }

 private:
  pf::FakeDialogs& inner_;
};

class SpanTest : public ::testing::Test {
 protected:
  TempFolder tmp;
  pf::FakePlatformScope fake;
  TZipMaster zm;
  std::vector<std::string> messages;

  void SetUp() override {
    zm.HowToDelete = htdFinal;
    zm.OnMessage = [this](TZipMaster&, int, const std::string& t) { messages.push_back(t); };
    zm.SetDLLDirectory(ARKELIN_BIN_DIR);
  }

  // An archive by the peer zip tool: 5 files of noise (stored sizes stay
  // as they are), about 360,000 bytes in all.
  std::string SampleZip(const std::string& name = "in.zip") {
    const std::string src = tmp.File("src");
    fs::create_directories(src + "/d");
    WriteFile(src + "/a.bin", Noise(90000, 1));
    WriteFile(src + "/b.bin", Noise(120000, 2));
    WriteFile(src + "/d/c.bin", Noise(70000, 3));
    WriteFile(src + "/d/small.txt", "small\n");
    WriteFile(src + "/e.bin", Noise(80000, 4));
    const std::string z = tmp.File(name);
    EXPECT_EQ(RunIn(src, "zip -q -r -X -z " + Quote(z) + " .", "set comment\n").code, 0);
    return z;
  }

  std::vector<std::string> ListOf(const std::string& archive) {
    TZipMaster other;
    other.Unattended = true;
    other.SetZipFilename(archive);
    return Listing(other);
  }

  // The numbered volumes out001.zip ... in the folder, in order.
  std::vector<std::string> Volumes(const std::string& folder, const std::string& stem = "out") {
    std::vector<std::string> v;
    for (int i = 1;; ++i) {
      char n[16];
      std::snprintf(n, sizeof n, "%03d", i);
      const std::string f = folder + "/" + stem + n + ".zip";
      if (!fs::exists(f)) break;
      v.push_back(f);
    }
    return v;
  }
};

TEST_F(SpanTest, SplitsIntoNumberedFilesAndJoinsBack) {
  const std::string in = SampleZip();
  const auto original = ListOf(in);
  fs::create_directories(tmp.File("vol"));
  zm.MaxVolumeSize = 100000;
  ASSERT_EQ(zm.WriteSpan(in, tmp.File("vol/out.zip")), 0) << (messages.empty() ? "" : messages.back());
  EXPECT_TRUE(fake.dialogs.boxes.empty()) << "no questions for new files on a fixed drive";
  const auto vols = Volumes(tmp.File("vol"));
  ASSERT_EQ(vols.size(), 4u);
  EXPECT_FALSE(fs::exists(tmp.File("vol/out.zip")));
  for (size_t i = 0; i < vols.size(); ++i) {
    EXPECT_LE(fs::file_size(vols[i]), 100000u) << vols[i];
    const std::string head = ReadAll(vols[i]).substr(0, 4);
    EXPECT_EQ(head == std::string("PK\x07\x08", 4), i == 0) << "only the first volume starts with the marker";
  }
  EXPECT_THAT(messages, ::testing::Contains("Copying: d\\c.bin"));

  // Every central header names the volume and offset of its local header.
  const std::string last = ReadAll(vols.back());
  const size_t eocd = last.rfind("PK\x05\x06");
  ASSERT_NE(eocd, std::string::npos);
  EXPECT_EQ(arkelin::engine::common::Le16(last.data() + eocd + 4), 3);
  TZipMaster lister;
  lister.Unattended = true;
  lister.SetZipFilename(vols.back());
  ASSERT_EQ(Listing(lister), original);
  EXPECT_THAT(lister.ArchiveComment(), HasSubstr("set comment"));
  for (const auto& e : lister.Entries()) {
    const std::string v = ReadAll(vols.at(e.StartDisk));
    ASSERT_LE(e.LocalHeaderOffset + 30 + e.FileNameLength, v.size()) << e.FileName << ": header kept whole";
    EXPECT_EQ(v.substr(e.LocalHeaderOffset, 4), "PK\x03\x04") << e.FileName;
  }

  // Joined from the last volume: the same listing, accepted by the peer.
  std::string joined = tmp.File("joined/whole.zip");
  fs::create_directories(tmp.File("joined"));
  messages.clear();
  ASSERT_EQ(zm.ReadSpan(vols.back(), joined), 0) << (messages.empty() ? "" : messages.back());
  EXPECT_EQ(joined, tmp.File("joined/whole.zip"));
  EXPECT_EQ(ListOf(joined), original);
  EXPECT_EQ(RunIn(tmp.Path().string(), "unzip -tq " + Quote(joined)).code, 0);
  EXPECT_EQ(fs::last_write_time(joined), fs::last_write_time(vols.back()));
  // The joined archive is the input again, byte for byte (its parts all
  // came from it unchanged).
  EXPECT_EQ(ReadAll(joined), ReadAll(in));
}

TEST_F(SpanTest, JoiningFromAPartWithoutEndRecord) {
  const std::string in = SampleZip();
  zm.MaxVolumeSize = 100000;
  ASSERT_EQ(zm.WriteSpan(in, tmp.File("out.zip")), 0);
  const auto vols = Volumes(tmp.Path().string());
  ASSERT_GE(vols.size(), 3u);
  zm.Unattended = false;
  std::string out = tmp.File("j.zip");
  EXPECT_EQ(zm.ReadSpan(vols[0], out), -7);
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(fake.dialogs.Saw("This is the first disk in a backup set,\nplease insert the last disk of this set"));
  out = tmp.File("j.zip");
  fake.dialogs.boxes.clear();
  EXPECT_EQ(zm.ReadSpan(vols[1], out), -7);
  EXPECT_TRUE(fake.dialogs.Saw("This is the 2th disk in a backup set,\nplease insert the last disk of this set"));
  EXPECT_FALSE(fs::exists(tmp.File("j.zip")));

  // A join that fails part way leaves an existing archive of the output's
  // name as it was, and nothing temporary beside it.
  WriteFile(tmp.File("j.zip"), "older archive");
  const std::string lastBytes = ReadAll(vols.back());
  WriteFile(vols[1], ReadAll(vols[1]).substr(0, 5000));
  zm.Unattended = true;
  out = tmp.File("j.zip");
  EXPECT_EQ(zm.ReadSpan(vols.back(), out), -7);
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(ReadAll(tmp.File("j.zip")), "older archive");
  for (auto& e : fs::directory_iterator(tmp.Path()))
    EXPECT_EQ(e.path().filename().string().rfind(".arkelin-", 0), std::string::npos) << e.path();
  EXPECT_EQ(ReadAll(vols.back()), lastBytes);
}

TEST_F(SpanTest, LocalHeadersStartTheNextVolumeAndKeepFreeOnDisk1) {
  // Many entries with long names, so that headers meet volume ends.
  std::vector<TestEntry> entries;
  for (int i = 0; i < 60; ++i)
    entries.push_back({std::string(200, 'n') + std::to_string(i) + ".txt", Noise(3000 + i * 37, i)});
  // The first volume holds 36,000 bytes; the first entry leaves 100 of
  // them, too few for the second one's 235-byte header and name.
  entries[0].data = Noise(36000 - 100 - 4 - 30 - 205, 99);
  const std::string in = tmp.File("many.zip");
  WriteFile(in, MakeZip(entries));
  zm.MaxVolumeSize = 66000;
  zm.MinFreeVolumeSize = 1000;
  zm.KeepFreeOnDisk1 = 30000;
  ASSERT_EQ(zm.WriteSpan(in, tmp.File("out.zip")), 0) << (messages.empty() ? "" : messages.back());
  const auto vols = Volumes(tmp.Path().string());
  ASSERT_GE(vols.size(), 3u);
  EXPECT_LE(fs::file_size(vols[0]), 36000u) << "KeepFreeOnDisk1 lowers the first volume only";
  EXPECT_GT(fs::file_size(vols[1]), 40000u);
  TZipMaster lister;
  lister.Unattended = true;
  lister.SetZipFilename(vols.back());
  ASSERT_EQ(lister.Count(), 60);
  int moved = 0;
  for (const auto& e : lister.Entries()) {
    const std::string v = ReadAll(vols.at(e.StartDisk));
    ASSERT_LE(e.LocalHeaderOffset + 30 + e.FileNameLength, v.size()) << e.FileName;
    EXPECT_EQ(v.substr(e.LocalHeaderOffset, 4), "PK\x03\x04");
    if (e.LocalHeaderOffset == 0) ++moved;
  }
  EXPECT_GT(moved, 0) << "some header started a volume instead of being split";
  EXPECT_EQ(lister.Entries()[1].StartDisk, 1);
  EXPECT_EQ(lister.Entries()[1].LocalHeaderOffset, 0u);
  EXPECT_EQ(fs::file_size(vols[0]), 36000u - 100);
  std::string joined = tmp.File("j.zip");
  ASSERT_EQ(zm.ReadSpan(vols.back(), joined), 0);
  EXPECT_EQ(ReadAll(joined), ReadAll(in));
}

TEST_F(SpanTest, DirectoryAcrossAVolumeBoundary) {
  std::vector<TestEntry> entries;
  for (int i = 0; i < 400; ++i) entries.push_back({"folder\\" + std::string(120, 'x') + std::to_string(i), "d"});
  const std::string in = tmp.File("dir.zip");
  WriteFile(in, MakeZip(entries, "comment"));
  zm.MaxVolumeSize = 70000;
  zm.MinFreeVolumeSize = 1000;
  ASSERT_EQ(zm.WriteSpan(in, tmp.File("out.zip")), 0);
  const auto vols = Volumes(tmp.Path().string());
  ASSERT_GE(vols.size(), 2u);
  const std::string last = ReadAll(vols.back());
  const size_t eocd = last.rfind("PK\x05\x06");
  ASSERT_NE(eocd, std::string::npos);
  ASSERT_LT(arkelin::engine::common::Le16(last.data() + eocd + 6), arkelin::engine::common::Le16(last.data() + eocd + 4))
      << "the directory starts on an earlier volume";
  EXPECT_EQ(ListOf(vols.back()), ListOf(in));
  std::string joined = tmp.File("j.zip");
  ASSERT_EQ(zm.ReadSpan(vols.back(), joined), 0);
  EXPECT_EQ(ReadAll(joined), ReadAll(in));

  // Extract of the set joins it first; nothing is left of the join.
  zm.Unattended = true;
  zm.TempDir = tmp.File("scratch");
  fs::create_directories(zm.TempDir);
  zm.SetZipFilename(vols.back());
  zm.ExtrBaseDir = tmp.File("x");
  zm.ExtrOptions = ExtrDirNames;
  zm.Extract();
  EXPECT_EQ(zm.SuccessCount(), 400);
  EXPECT_EQ(ReadAll(tmp.File("x/folder/" + std::string(120, 'x') + "399")), "d");
  EXPECT_TRUE(fs::is_empty(zm.TempDir));
}

TEST_F(SpanTest, ExistingVolumesAreAskedAbout) {
  const std::string in = SampleZip();
  zm.MaxVolumeSize = 100000;
  WriteFile(tmp.File("out002.zip"), "someone else's file");
  fs::last_write_time(tmp.File("out002.zip"), fs::file_time_type::clock::now() - std::chrono::hours(50));
  // Cancel: silent end, -7, "User canceled operation" to OnMessage only.
  fake.dialogs.answers = {pf::BtnCancel};
  EXPECT_EQ(zm.WriteSpan(in, tmp.File("out.zip")), -7);
  ASSERT_EQ(fake.dialogs.boxes.size(), 1u);
  EXPECT_EQ(fake.dialogs.boxes[0].caption, "Confirm");
  EXPECT_EQ(fake.dialogs.boxes[0].text, "There is already a file " + tmp.File("out002.zip") + "\nDo you want to overwrite this file");
  EXPECT_EQ(fake.dialogs.boxes[0].kind, pf::MsgKind::Warning);
  EXPECT_EQ(fake.dialogs.boxes[0].buttons, pf::BtnYes | pf::BtnNo | pf::BtnCancel);
  EXPECT_EQ(messages.back(), "User canceled operation");
  EXPECT_EQ(ReadAll(tmp.File("out002.zip")), "someone else's file");
  EXPECT_FALSE(fs::exists(tmp.File("out001.zip"))) << "the volumes of a failed run are removed";

  // Yes: overwritten.
  fake.dialogs.boxes.clear();
  fake.dialogs.answers = {pf::BtnYes};
  ASSERT_EQ(zm.WriteSpan(in, tmp.File("out.zip")), 0);
  EXPECT_EQ(fake.dialogs.boxes.size(), 1u);
  std::string joined = tmp.File("j.zip");
  ASSERT_EQ(zm.ReadSpan(tmp.File("out004.zip"), joined), 0);
  EXPECT_EQ(ReadAll(joined), ReadAll(in));

  // Writing the same set again: its own earlier volumes carry the input's
  // date; volume 2 has a lower number than the one being written.
  fake.dialogs.boxes.clear();
  fake.dialogs.answers = {pf::BtnYes, pf::BtnYes, pf::BtnYes, pf::BtnYes};
  ASSERT_EQ(zm.WriteSpan(in, tmp.File("out.zip")), 0);
  ASSERT_EQ(fake.dialogs.boxes.size(), 4u);
  EXPECT_THAT(fake.dialogs.boxes[0].text, HasSubstr("There is already a file"));
  EXPECT_EQ(fake.dialogs.boxes[1].text,
            "ATTENTION: This is previous disk no 1!!!\nAre you sure you want to overwrite the contents");

  // Unattended: no question can be asked.
  zm.Unattended = true;
  EXPECT_EQ(zm.WriteSpan(in, tmp.File("out.zip")), -7);
  EXPECT_EQ(messages.back(), "Unattended disk spanning not implemented");
}

TEST_F(SpanTest, NotEnoughFreeSpaceIsAsked) {
  const std::string in = SampleZip();
  zm.MaxVolumeSize = 50000;
  zm.MinFreeVolumeSize = 60000;
  fake.dialogs.answers = {pf::BtnRetry, pf::BtnCancel};
  EXPECT_EQ(zm.WriteSpan(in, tmp.File("out.zip")), -7);
  ASSERT_EQ(fake.dialogs.boxes.size(), 2u);
  EXPECT_EQ(fake.dialogs.boxes[0].text, "This disk has not enough free space available");
  EXPECT_EQ(fake.dialogs.boxes[0].buttons, pf::BtnRetry | pf::BtnCancel);
  EXPECT_EQ(fake.dialogs.boxes[0].kind, pf::MsgKind::Error);
  EXPECT_FALSE(fs::exists(tmp.File("out001.zip")));
  zm.Unattended = true;
  EXPECT_EQ(zm.WriteSpan(in, tmp.File("out.zip")), -7);
  EXPECT_EQ(messages.back(), "Unattended disk spanning not implemented");
}

TEST_F(SpanTest, CancelEndsAtTheNextBlock) {
  const std::string in = SampleZip();
  zm.MaxVolumeSize = 100000;
  zm.Unattended = false;
  int pumps = 0;
  fake.pump.onProcess = [&] {
    if (++pumps == 20) zm.Cancel = true;
  };
  EXPECT_EQ(zm.WriteSpan(in, tmp.File("out.zip")), -7);
  EXPECT_TRUE(fake.dialogs.boxes.empty()) << "no box for a cancel";
  EXPECT_EQ(messages.back(), "User canceled operation");
  EXPECT_TRUE(Volumes(tmp.Path().string()).empty());
  EXPECT_FALSE(zm.Cancel) << "reset at the end";
}

TEST_F(SpanTest, StandardFormFixture) {
  const std::string fixtures = std::string(ARKELIN_FIXTURES) + "/zip/";
  for (const char* part : {"gen-split.z01", "gen-split.z02", "gen-split.zip"})
    fs::copy_file(fixtures + part, tmp.File(part));
  const std::string last = tmp.File("gen-split.zip");
  EXPECT_EQ(RunIn(tmp.Path().string(), "7z x -y -opeer gen-split.zip").code, 0);
  zm.Unattended = true;
  zm.SetZipFilename(last);
  ASSERT_EQ(zm.Count(), 2);
  std::string joined = tmp.File("joined.zip");
  ASSERT_EQ(zm.ReadSpan(last, joined), 0) << (messages.empty() ? "" : messages.back());
  EXPECT_EQ(RunIn(tmp.Path().string(), "unzip -tq joined.zip").code, 0);
  EXPECT_EQ(RunIn(tmp.Path().string(), "unzip -q joined.zip -d viajoin").code, 0);
  EXPECT_EQ(TreeOf(tmp.File("viajoin")), TreeOf(tmp.File("peer")));
  // Extract straight from the set.
  zm.SetZipFilename(last);
  zm.ExtrBaseDir = tmp.File("ours");
  zm.Extract();
  EXPECT_EQ(zm.SuccessCount(), 2);
  EXPECT_EQ(TreeOf(tmp.File("ours")), TreeOf(tmp.File("peer")));
  // The first part names itself.
  std::string out = tmp.File("x.zip");
  messages.clear();
  EXPECT_EQ(zm.ReadSpan(tmp.File("gen-split.z01"), out), -7);
  EXPECT_THAT(messages.back(), HasSubstr("This is the first disk"));
}

TEST_F(SpanTest, StandardFormIsReadByThePeers) {
  const std::string in = SampleZip();
  fs::create_directories(tmp.File("std"));
  zm.MaxVolumeSize = 100000;
  ASSERT_EQ(zm.WriteSpanForm(in, tmp.File("std/set.zip"), true), 0);
  EXPECT_TRUE(fs::exists(tmp.File("std/set.z01")));
  EXPECT_TRUE(fs::exists(tmp.File("std/set.z03")));
  EXPECT_TRUE(fs::exists(tmp.File("std/set.zip")));
  EXPECT_FALSE(fs::exists(tmp.File("std/set.z04")));
  ShellRun r = RunIn(tmp.File("std"), "7z x -y -opeer set.zip");
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(TreeOf(tmp.File("std/peer")), TreeOf(tmp.File("src")));
  r = RunIn(tmp.File("std"), "zip -q -s 0 set.zip --out whole.zip && unzip -tq whole.zip");
  EXPECT_EQ(r.code, 0) << r.out;
  std::string joined = tmp.File("ours.zip");
  ASSERT_EQ(zm.ReadSpan(tmp.File("std/set.zip"), joined), 0);
  EXPECT_EQ(ReadAll(joined), ReadAll(in));
}

TEST_F(SpanTest, AddWritesVolumes) {
  WriteFile(tmp.File("f1.bin"), Noise(150000, 9));
  WriteFile(tmp.File("f2.txt"), "two\n");
  zm.Unattended = true;
  zm.TempDir = tmp.File("scratch");
  fs::create_directories(zm.TempDir);
  zm.SetZipFilename(tmp.File("added.zip"));
  zm.AddOptions = AddDiskSpan;
  zm.AddCompLevel = 0;
  zm.MaxVolumeSize = 100000;
  zm.FSpecArgs = {tmp.File("f1.bin"), tmp.File("f2.txt")};
  zm.Add();
  EXPECT_EQ(zm.SuccessCount(), 2) << (messages.empty() ? "" : messages.back());
  const auto vols = Volumes(tmp.Path().string(), "added");
  ASSERT_EQ(vols.size(), 2u);
  EXPECT_TRUE(fs::is_empty(zm.TempDir)) << "the temporary archive is removed";
  std::string joined = tmp.File("j.zip");
  ASSERT_EQ(zm.ReadSpan(vols.back(), joined), 0);
  EXPECT_EQ(RunIn(tmp.Path().string(), "unzip -tq j.zip").code, 0);
  EXPECT_EQ(ListOf(joined).size(), 2u);
}

TEST_F(SpanTest, RemovableMediaWithLabelsQuestionsAndFormat) {
  pf::LinuxDrives real;
  fs::create_directories(tmp.File("drive"));
  fs::create_directories(tmp.File("store"));
  pf::FakeRemovableDrive drive(real, tmp.File("drive"), tmp.File("store"));
  for (int i = 0; i < 5; ++i) drive.AddMedium(120000);
  MediaDialogs dialogs(fake.dialogs);
  auto s = pf::Current();
  s.drives = &drive;
  s.dialogs = &dialogs;
  pf::Install(s);
  // The user puts in the next blank medium whenever asked.
  int next = 0;
  std::vector<std::string> asked;
  dialogs.beforeAnswer = [&](const std::string& text) {
    asked.push_back(text);
    if (text.rfind("Please insert disk volume", 0) == 0) drive.Insert(next++);
  };
  const std::string in = SampleZip();
  zm.AddOptions = AddDiskSpanErase;
  zm.ConfirmErase = false;
  fake.dialogs.answers = std::deque<pf::Button>(10, pf::BtnOK);
  ASSERT_EQ(zm.WriteSpan(in, tmp.File("drive/set.zip")), 0) << (messages.empty() ? "" : messages.back());
  const std::string d = tmp.File("drive") + "/";
  ASSERT_GE(asked.size(), 4u);
  EXPECT_EQ(asked[0], "Please insert disk volume 1\nin drive: " + d);
  EXPECT_EQ(asked[1], "Please insert disk volume 2 of 4\nin drive: " + d);
  EXPECT_EQ(drive.formatted.size(), asked.size()) << "each medium is formatted first";
  EXPECT_EQ(drive.formatted[0], "PKBACK# 001");
  EXPECT_EQ(drive.MediumAt(0).label, "PKBACK# 001");
  EXPECT_EQ(drive.MediumAt(2).label, "PKBACK# 003");
  for (int i = 0; i < next; ++i) EXPECT_TRUE(fs::exists(drive.FolderOf(i) + "set.zip")) << i;
  const int used = next;

  // Joining asks for the last disk first, then for each volume by number;
  // a wrong medium is asked for again.
  drive.Insert(-1);
  asked.clear();
  bool wrongOnce = false;
  dialogs.beforeAnswer = [&](const std::string& text) {
    asked.push_back(text);
    if (text.rfind("Please insert last disk", 0) == 0) drive.Insert(used - 1);
    int v = 0, of = 0;
    if (std::sscanf(text.c_str(), "Please insert disk volume %d of %d", &v, &of) == 2) {
      if (!wrongOnce && v == 1) {
        wrongOnce = true;
        drive.Insert(1);
      } else {
        drive.Insert(v - 1);
      }
    }
  };
  fake.dialogs.answers = std::deque<pf::Button>(20, pf::BtnOK);
  std::string joined = tmp.File("joined.zip");
  ASSERT_EQ(zm.ReadSpan(tmp.File("drive/set.zip"), joined), 0) << (messages.empty() ? "" : messages.back());
  EXPECT_EQ(ReadAll(joined), ReadAll(in));
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked[0], "Please insert last disk\nin drive: " + d);
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "Please insert disk volume 1 of " + std::to_string(used) +
                                                        "\nin drive: " + d),
            2);

  // A format the user cancels ends silently; a failed one is shown.
  drive.FormatAnswer = -2;
  next = 0;
  dialogs.beforeAnswer = [&](const std::string& text) {
    if (text.rfind("Please insert disk volume", 0) == 0) drive.Insert(next++);
  };
  fake.dialogs.boxes.clear();
  fake.dialogs.answers = std::deque<pf::Button>(10, pf::BtnOK);
  zm.Unattended = false;
  EXPECT_EQ(zm.WriteSpan(in, tmp.File("drive/set.zip")), -7);
  EXPECT_FALSE(fake.dialogs.Saw("User canceled operation"));
  EXPECT_EQ(messages.back(), "User canceled operation");
  drive.FormatAnswer = -1;
  next = 0;
  fake.dialogs.answers = std::deque<pf::Button>(10, pf::BtnOK);
  EXPECT_EQ(zm.WriteSpan(in, tmp.File("drive/set.zip")), -7);
  EXPECT_TRUE(fake.dialogs.Saw("User canceled operation"));

  // Cancel in the disk question.
  drive.FormatAnswer = 0;
  fake.dialogs.boxes.clear();
  fake.dialogs.answers = {pf::BtnCancel};
  EXPECT_EQ(zm.WriteSpan(in, tmp.File("drive/set.zip")), -7);
  EXPECT_EQ(fake.dialogs.boxes.size(), 1u);
  // Unattended: the question cannot be asked.
  zm.Unattended = true;
  EXPECT_EQ(zm.WriteSpan(in, tmp.File("drive/set.zip")), -7);
  EXPECT_EQ(messages.back(), "Unattended disk spanning not implemented");
}

TEST_F(SpanTest, RemovableMediaAsOnLinux) {
  // The Linux platform sets no labels and cannot format: the set is still
  // written medium by medium and joined with the user's word for each
  // medium; "format each disk first" ends at the first medium, shown.
  pf::LinuxDrives real;
  fs::create_directories(tmp.File("drive"));
  fs::create_directories(tmp.File("store"));
  pf::FakeRemovableDrive drive(real, tmp.File("drive"), tmp.File("store"));
  drive.AsOnLinux = true;
  for (int i = 0; i < 5; ++i) drive.AddMedium(120000);
  MediaDialogs dialogs(fake.dialogs);
  auto s = pf::Current();
  s.drives = &drive;
  s.dialogs = &dialogs;
  pf::Install(s);
  int next = 0;
  dialogs.beforeAnswer = [&](const std::string& text) {
    if (text.rfind("Please insert disk volume", 0) == 0) drive.Insert(next++);
  };
  const std::string in = SampleZip();
  zm.AddOptions = AddDiskSpan;
  fake.dialogs.answers = std::deque<pf::Button>(10, pf::BtnOK);
  ASSERT_EQ(zm.WriteSpan(in, tmp.File("drive/set.zip")), 0) << (messages.empty() ? "" : messages.back());
  ASSERT_GE(next, 4);
  for (int i = 0; i < next; ++i) EXPECT_EQ(drive.MediumAt(i).label, "") << "no label is set";
  EXPECT_TRUE(drive.labelsSet.empty());
  const int used = next;

  drive.Insert(-1);
  dialogs.beforeAnswer = [&](const std::string& text) {
    if (text.rfind("Please insert last disk", 0) == 0) drive.Insert(used - 1);
    int v = 0, of = 0;
    if (std::sscanf(text.c_str(), "Please insert disk volume %d of %d", &v, &of) == 2) drive.Insert(v - 1);
  };
  fake.dialogs.answers = std::deque<pf::Button>(20, pf::BtnOK);
  std::string joined = tmp.File("joined.zip");
  ASSERT_EQ(zm.ReadSpan(tmp.File("drive/set.zip"), joined), 0) << (messages.empty() ? "" : messages.back());
  EXPECT_EQ(ReadAll(joined), ReadAll(in));

  // Formatting first: the format fails, which is shown, and nothing stays.
  drive.Insert(-1);
  next = 4;
  dialogs.beforeAnswer = [&](const std::string& text) {
    if (text.rfind("Please insert disk volume", 0) == 0) drive.Insert(next);
  };
  zm.AddOptions = AddDiskSpanErase;
  zm.Unattended = false;
  fake.dialogs.boxes.clear();
  fake.dialogs.answers = std::deque<pf::Button>(10, pf::BtnOK);
  EXPECT_EQ(zm.WriteSpan(in, tmp.File("drive/set.zip")), -7);
  EXPECT_TRUE(fake.dialogs.Saw("User canceled operation"));
  EXPECT_TRUE(fs::is_empty(tmp.File("drive")));
}

}  // namespace

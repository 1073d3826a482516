// The multiple file extraction pass with the real engines: ZIP archives made
// by Info-ZIP zip, RAR archives from the shared fixtures, a missing file, a
// damaged archive and a file of another kind in one pass, wrong passwords,
// Cancel after the current file, a folder that cannot be made, and the
// progress bar's arithmetic. Questions are answered by the scripted dialogs.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "open/MultiExtract.h"
#include "platform/FakePlatform.h"
#include "TestFiles.h"

namespace fs = std::filesystem;
namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;
using arkelin::open::MfeBar;
using arkelin::open::MfeResult;
using arkelin::open::MfeRow;
using arkelin::open::MfeStatus;
using arkelin::open::TMultiExtract;

namespace {

std::string Fixture(const std::string& rel) { return std::string(ARKELIN_FIXTURES "/") + rel; }

bool HaveEngines() {
  return fs::exists(ARKELIN_BIN_DIR "/libunzdll.so") && fs::exists(ARKELIN_BIN_DIR "/libarkunrar.so");
}

class MultiExtractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveEngines()) GTEST_SKIP() << "the engine libraries are not built";
    ASSERT_TRUE(tmp_.Made());
    root_ = tmp_.Path().string();
  }
  std::string P(const std::string& rel) const { return root_ + "/" + rel; }
  void File(const std::string& rel, const std::string& data) {
    fs::create_directories(fs::path(P(rel)).parent_path());
    std::ofstream(P(rel), std::ios::binary) << data;
  }
  // zip [-P password] archive of the files below src (names relative to it).
  std::string Zip(const std::string& name, const std::string& src, const std::string& password = "") {
    const std::string cmd = "cd '" + P(src) + "' && zip -q -r " + (password.empty() ? "" : "-P " + password + " ") +
                            "'" + P(name) + "' .";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return P(name);
  }
  TempFolder tmp_{"arkelin-mfe"};
  std::string root_;
  pf::FakePlatformScope fake_;
};

TEST_F(MultiExtractTest, OnePassOverZipRarMissingDamagedAndOtherFiles) {
  File("src/one.txt", "first file\n");
  File("src/sub/two.txt", std::string(100000, 'b'));
  File("src/sub/deeper/three.bin", "3");
  const std::string zip = Zip("good.zip", "src");
  File("damaged.zip", std::string("PK\x03\x04 this is no archive at all, only its first bytes", 52));
  File("notes.txt", "not an archive");
  fs::copy_file(Fixture("rar/la-test_read_format_rar5_stored_manyfiles.rar"), P("many.rar"));

  const std::vector<MfeRow> rows = {
      {zip, P("out/zip")},
      {P("many.rar"), P("out/rar")},
      {P("missing.zip"), P("out/missing")},
      {P("damaged.zip"), P("out/damaged")},
      {P("notes.txt"), P("out/notes")},
  };
  TMultiExtract m;
  std::vector<std::string> archives;
  m.OnArchive = [&](const std::string& a) { archives.push_back(a); };
  const int count = m.Run(rows);

  // The rows handed to an engine count, whatever came of them.
  EXPECT_EQ(count, 3);
  EXPECT_EQ(TMultiExtract::FinalMessage(count), "3 files extracted successfully");
  EXPECT_EQ(archives, (std::vector<std::string>{zip, P("many.rar"), P("damaged.zip")}));

  // Each archive completely into its own folder, with its folders.
  EXPECT_EQ(ReadAll(P("out/zip/one.txt")), "first file\n");
  EXPECT_EQ(ReadAll(P("out/zip/sub/two.txt")), std::string(100000, 'b'));
  EXPECT_EQ(ReadAll(P("out/zip/sub/deeper/three.bin")), "3");
  EXPECT_EQ(fs::file_size(P("out/rar/make_uue.tcl")), 405u);
  EXPECT_EQ(fs::file_size(P("out/rar/cebula.txt")), 814u);
  EXPECT_EQ(fs::file_size(P("out/rar/test.bin")), 1200u);

  const std::vector<MfeResult>& r = m.Results();
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0].status, MfeStatus::Extracted);
  EXPECT_EQ(r[0].files, 3);
  EXPECT_EQ(r[1].status, MfeStatus::Extracted);
  EXPECT_EQ(r[1].files, 3);
  EXPECT_EQ(r[2].status, MfeStatus::NotFound);
  EXPECT_EQ(r[3].status, MfeStatus::Failed);
  EXPECT_EQ(r[3].reason, "This archive is not a valid Zip archive");
  EXPECT_EQ(r[4].status, MfeStatus::NotArchive);

  // The messages as they happened.
  EXPECT_TRUE(fake_.dialogs.Saw("File not found: " + P("missing.zip")));
  EXPECT_TRUE(fake_.dialogs.Saw("Not a valid ZIP & RAR file"));
  // Folders are made with the folders above them ("out" did not exist).
  EXPECT_FALSE(fake_.dialogs.Saw("Couldn't create directory"));
  for (const auto& b : fake_.dialogs.boxes) {
    if (b.text.rfind("File not found: ", 0) == 0 || b.text == "Not a valid ZIP & RAR file") {
      EXPECT_EQ(b.kind, pf::MsgKind::Error);
    }
  }

  const std::string report = TMultiExtract::Report(r);
  EXPECT_NE(report.find(zip + ": 3 file(s) extracted"), std::string::npos) << report;
  EXPECT_NE(report.find(P("many.rar") + ": 3 file(s) extracted"), std::string::npos) << report;
  EXPECT_NE(report.find(P("missing.zip") + ": File not found"), std::string::npos) << report;
  EXPECT_NE(report.find(P("damaged.zip") + ": not extracted: This archive is not a valid Zip archive"),
            std::string::npos)
      << report;
  EXPECT_NE(report.find(P("notes.txt") + ": Not a valid ZIP & RAR file"), std::string::npos) << report;
  // The folder of a missing archive was never made; the others' were.
  EXPECT_FALSE(fs::exists(P("out/missing")));
  EXPECT_FALSE(m.Running());
}

TEST_F(MultiExtractTest, WrongPasswordsFailTheirRowOnly) {
  File("secret/hidden.txt", "classified");
  const std::string enc = Zip("enc.zip", "secret", "rightone");
  File("plain/open.txt", "open");
  const std::string plain = Zip("plain.zip", "plain");
  fs::copy_file(Fixture("rar/la-test_read_format_rar5_encrypted.rar"), P("enc.rar"));
  // The ZIP engine asks once for hidden.txt; the RAR reader asks for b.txt
  // and d.txt and again after each wrong answer (the same answer twice ends it).
  fake_.dialogs.inputs = {std::string("wrong"), std::string("nope"), std::string("nope"), std::string("bad"),
                          std::string("bad")};
  TMultiExtract m;
  const int count = m.Run({{enc, P("o1")}, {P("enc.rar"), P("o2")}, {plain, P("o3")}});
  EXPECT_EQ(count, 3);
  const auto& r = m.Results();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].status, MfeStatus::Failed);
  EXPECT_FALSE(fs::exists(P("o1/hidden.txt")));
  // The unencrypted a.txt and c.txt are written, b.txt and d.txt are not.
  EXPECT_EQ(r[1].status, MfeStatus::Partly);
  EXPECT_EQ(r[1].files, 2);
  EXPECT_EQ(r[1].reason, "Wrong password");
  EXPECT_TRUE(fs::exists(P("o2/a.txt")));
  EXPECT_TRUE(fs::exists(P("o2/c.txt")));
  EXPECT_FALSE(fs::exists(P("o2/b.txt")));
  EXPECT_FALSE(fs::exists(P("o2/d.txt")));
  EXPECT_EQ(r[2].status, MfeStatus::Extracted);
  EXPECT_EQ(ReadAll(P("o3/open.txt")), "open");
  EXPECT_GE(fake_.dialogs.inputsAsked.size(), 3u);
}

TEST_F(MultiExtractTest, TheRightPasswordsExtractEverything) {
  fs::copy_file(Fixture("rar/la-test_read_format_rar5_encrypted.rar"), P("enc.rar"));
  File("secret/hidden.txt", "classified");
  const std::string enc = Zip("enc.zip", "secret", "rightone");
  fake_.dialogs.inputs = {std::string("password"), std::string("password2"), std::string("rightone")};
  TMultiExtract m;
  m.Run({{P("enc.rar"), P("o1")}, {enc, P("o2")}});
  EXPECT_EQ(m.Results()[0].status, MfeStatus::Extracted);
  EXPECT_EQ(m.Results()[0].files, 4);
  EXPECT_EQ(m.Results()[1].status, MfeStatus::Extracted);
  EXPECT_EQ(ReadAll(P("o2/hidden.txt")), "classified");
}

TEST_F(MultiExtractTest, CancelStopsAfterTheCurrentFile) {
  for (int i = 0; i < 6; ++i) File("src/f" + std::to_string(i) + ".bin", std::string(200000 + i, 'a' + i));
  const std::string first = Zip("first.zip", "src");
  const std::string second = Zip("second.zip", "src");
  TMultiExtract m;
  // Cancel is clicked while the first file is being extracted (its bar has
  // six blocks of 32 768 bytes).
  bool begun = false;
  m.OnBar = [&](const MfeBar& b) {
    if (b.max == 6) begun = true;
  };
  fake_.pump.onProcess = [&] {
    if (begun && !m.Cancelled()) m.Cancel();
  };
  const int count = m.Run({{first, P("o1")}, {second, P("o2")}});
  EXPECT_TRUE(m.Cancelled());
  EXPECT_EQ(count, 1);
  // One file, complete; nothing of the second archive.
  int written = 0;
  for (const auto& e : fs::directory_iterator(P("o1"))) {
    ++written;
    const std::string name = e.path().filename().string();
    const int i = name[1] - '0';
    EXPECT_EQ(ReadAll(e.path().string()), std::string(200000 + i, 'a' + i)) << name;
  }
  EXPECT_EQ(written, 1);
  EXPECT_FALSE(fs::exists(P("o2")));
  ASSERT_EQ(m.Results().size(), 2u);
  EXPECT_EQ(m.Results()[0].status, MfeStatus::Partly);
  EXPECT_EQ(m.Results()[0].reason, "cancelled");
  EXPECT_EQ(m.Results()[1].status, MfeStatus::NotStarted);
  EXPECT_NE(TMultiExtract::Report(m.Results()).find(second + ": not extracted (cancelled)"), std::string::npos);

  // The next pass starts afresh.
  fake_.pump.onProcess = nullptr;
  EXPECT_EQ(m.Run({{second, P("o2")}}), 1);
  EXPECT_EQ(m.Results()[0].status, MfeStatus::Extracted);
  EXPECT_EQ(m.Results()[0].files, 6);
}

TEST_F(MultiExtractTest, RowsWithoutAFileOrFolder) {
  TMultiExtract m;
  // The window's single empty row.
  EXPECT_EQ(m.Run({{"", P("x")}}), 0);
  EXPECT_EQ(fake_.dialogs.Texts(), (std::vector<std::string>{"File not found: "}));
  EXPECT_EQ(TMultiExtract::FinalMessage(0), "0 files extracted successfully");

  // A folder that cannot be made is said, and the archive is tried anyway.
  File("src/a.txt", "a");
  const std::string zip = Zip("a.zip", "src");
  fake_.dialogs.boxes.clear();
  const std::string bad = P("a.zip") + "/below-a-file";
  EXPECT_EQ(m.Run({{zip, bad}}), 1);
  ASSERT_FALSE(fake_.dialogs.boxes.empty());
  EXPECT_EQ(fake_.dialogs.boxes[0].text, "Couldn't create directory: " + bad);
  EXPECT_EQ(m.Results()[0].status, MfeStatus::Failed);

  // A missing folder is made, with the folders above it.
  EXPECT_EQ(m.Run({{zip, P("new/folder")}}), 1);
  EXPECT_EQ(ReadAll(P("new/folder/a.txt")), "a");
  EXPECT_EQ(m.Results()[0].status, MfeStatus::Extracted);
}

TEST_F(MultiExtractTest, ProgressBarFollowsBlocksOfTheFile) {
  TMultiExtract m;
  std::vector<MfeBar> bars;
  m.OnBar = [&](const MfeBar& b) { bars.push_back(b); };
  ez::TZipMaster& z = m.ZipMaster1();
  z.OnProgress(z, ez::ProgrNewFile, "big", 5 * 32768 + 5);
  ASSERT_EQ(bars.size(), 1u);
  EXPECT_EQ(bars.back().min, 1);
  EXPECT_EQ(bars.back().max, 5);
  EXPECT_EQ(bars.back().pos, 1);
  for (int i = 0; i < 7; ++i) z.OnProgress(z, ez::ProgrUpdate, "", 0);
  EXPECT_EQ(bars.back().pos, 5);  // never past the maximum
  z.OnProgress(z, ez::ProgrNewFile, "small", 1000);
  EXPECT_EQ(bars.back().max, 1);
  EXPECT_EQ(bars.back().pos, 1);
  z.OnProgress(z, ez::ProgrNewFile, "one block", 40000);
  EXPECT_EQ(bars.back().max, 1);
  z.OnProgress(z, ez::ProgrEndOfBatch, "", 0);
  EXPECT_EQ(bars.back().max, 10);
  EXPECT_EQ(bars.back().pos, 1);
  // Every progress call lets pending messages run.
  EXPECT_EQ(fake_.pump.calls, 11);
}

}  // namespace

// The engine-library binding of TZipMaster, against a recording stand-in
// library: what the component puts in the short and long command records,
// the callback flow into OnProgress/OnMessage, Cancel, re-entry, the
// overwrite and password questions, and the loading messages.
#include "engine/zip/ZipMstr.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "ZipTestUtil.h"
#include "engine/common/LittleEndian.h"
#include "platform/FakePlatform.h"

namespace arkelin::engine::zip {
namespace {

namespace fs = std::filesystem;
using Record = std::map<std::string, std::string>;

class ZipBinding : public ::testing::Test {
 protected:
  platform::FakePlatformScope platform_;
  TempFolder tmp_;
  TZipMaster zm_;
  std::vector<std::string> messages_;
  std::vector<int> codes_;
  std::string out_;

  void SetUp() override {
    const std::string lib = std::string(ARKELIN_BIN_DIR) + "/librecordingzipdll.so";
    fs::create_directories(tmp_.Path() / "libs");
    fs::copy_file(lib, tmp_.Path() / "libs" / kZipDllName);
    fs::copy_file(lib, tmp_.Path() / "libs" / kUnzDllName);
    out_ = tmp_.File("record.txt");
    setenv("RECDLL_OUT", out_.c_str(), 1);
    setenv("RECDLL_VERSION", "150", 1);
    setenv("RECDLL_SCRIPT", "", 1);
    zm_.SetDLLDirectory((tmp_.Path() / "libs").string() + "/");
    zm_.OnMessage = [this](TZipMaster&, int code, const std::string& m) {
      codes_.push_back(code);
      messages_.push_back(m);
    };
  }
  void TearDown() override {
    unsetenv("RECDLL_OUT");
    unsetenv("RECDLL_VERSION");
    unsetenv("RECDLL_SCRIPT");
  }
  // The records written so far, one map per library call.
  std::vector<Record> Records() {
    std::vector<Record> all;
    std::ifstream f(out_);
    std::string line;
    while (std::getline(f, line)) {
      size_t eq = line.find('=');
      if (line.rfind("op=", 0) == 0) all.emplace_back();
      if (!all.empty() && eq != std::string::npos) all.back()[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return all;
  }
  Record Only() {
    auto all = Records();
    EXPECT_EQ(all.size(), 1u);
    return all.empty() ? Record{} : all[0];
  }
  std::string ExistingArchive() {
    std::string p = tmp_.File("a.zip");
    testing::WriteFile(p, testing::MakeZip({{"a.txt", "abc"}}));
    return p;
  }
};

TEST_F(ZipBinding, AddFillsTheShortRecordForAnOldLibrary) {
  zm_.SetZipFilename(tmp_.File("new.zip"));
  zm_.AddOptions = AddDirNames | AddRecurseDirs | AddFreshen | AddUpdate | AddHiddenFiles | AddEncrypt;
  zm_.Trace = true;
  zm_.AddCompLevel = 6;
  zm_.SetPassword(std::string(100, 'k'));
  zm_.FSpecArgs = {"a.txt", "dir/", "*.c"};
  zm_.Add();
  Record r = Only();
  EXPECT_EQ(r["layout"], "short");
  EXPECT_EQ(r["seven"], "7");
  EXPECT_EQ(r["version"], "158");
  EXPECT_EQ(r["callback"], "1");
  EXPECT_EQ(r["trace"], "-1");
  EXPECT_EQ(r["verbose"], "-1");  // Trace implies verbose
  EXPECT_EQ(r["password"], std::string(80, 'k'));
  EXPECT_EQ(r["encrypt"], "-1");
  EXPECT_EQ(r["aesStrength"], "0");  // traditional unless AES is chosen
  EXPECT_EQ(r["systemFiles"], "-1");
  EXPECT_EQ(r["noDirEntries"], "-1");
  EXPECT_EQ(r["minusOne"], "-1");
  EXPECT_EQ(r["level"], "6");
  EXPECT_EQ(r["junkDirNames"], "0");
  EXPECT_EQ(r["recurse"], "65535");
  EXPECT_EQ(r["addFlag"], "-1");
  EXPECT_EQ(r["delete"], "0");
  EXPECT_EQ(r["update"], "-1");
  EXPECT_EQ(r["freshen"], "0");  // update wins over freshen
  EXPECT_EQ(r["argc"], "3");
  EXPECT_EQ(r["spec0"], "a.txt");
  EXPECT_EQ(r["spec1"], "dir/");
  EXPECT_EQ(r["spec2"], "*.c");
  EXPECT_EQ(r["archive"], tmp_.File("new.zip"));
  EXPECT_EQ(r["reservedZero"], "1");
  EXPECT_EQ(r["tailZero"], "1");
  EXPECT_EQ(zm_.SuccessCount(), 3);
  EXPECT_TRUE(zm_.FSpecArgs.empty());
  EXPECT_FALSE(zm_.WriteBusy());
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_[0], "ZIP DLL Loaded");
}

TEST_F(ZipBinding, AesKeySizeGoesIntoTheRecordOnlyWhenEncrypting) {
  setenv("RECDLL_VERSION", "158", 1);
  const std::pair<int, const char*> cases[] = {{128, "1"}, {192, "2"}, {256, "3"}, {100, "0"}};
  for (const auto& [bits, strength] : cases) {
    zm_.SetZipFilename(tmp_.File("new.zip"));
    zm_.AddOptions = AddEncrypt;
    zm_.AddAesBits = bits;
    zm_.SetPassword("pw");
    zm_.FSpecArgs = {"a.txt"};
    zm_.Add();
  }
  zm_.AddOptions = 0;
  zm_.AddAesBits = 256;
  zm_.FSpecArgs = {"a.txt"};
  zm_.Add();
  const auto all = Records();
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0].at("aesStrength"), "1");
  EXPECT_EQ(all[1].at("aesStrength"), "2");
  EXPECT_EQ(all[2].at("aesStrength"), "3");
  EXPECT_EQ(all[3].at("aesStrength"), "0");
  EXPECT_EQ(all[4].at("aesStrength"), "0");  // no encryption, no AES
  unsetenv("RECDLL_VERSION");
}

TEST_F(ZipBinding, ChangePasswordFillsTheLongRecordAndLeavesAddsSettingsAlone) {
  setenv("RECDLL_VERSION", "158", 1);
  zm_.SetZipFilename(ExistingArchive());
  zm_.AddOptions = AddRecurseDirs;
  zm_.AddAesBits = 0;
  zm_.SetPassword("session");
  zm_.ChangePassword(std::string(90, 'o'), "brand new", 256);
  zm_.ChangePassword("old", "newer", 0);
  zm_.FSpecArgs = {"a.txt"};
  zm_.Add();
  const auto all = Records();
  ASSERT_EQ(all.size(), 3u);
  const Record& first = all[0];
  EXPECT_EQ(first.at("layout"), "long");
  EXPECT_EQ(first.at("changePassword"), "-1");
  EXPECT_EQ(first.at("password"), std::string(80, 'o'));
  EXPECT_EQ(first.at("newPassword"), "brand new");
  EXPECT_EQ(first.at("encrypt"), "-1");
  EXPECT_EQ(first.at("aesStrength"), "3");
  EXPECT_EQ(first.at("argc"), "0");
  EXPECT_EQ(first.at("delete"), "0");
  EXPECT_EQ(first.at("tailZero"), "1");
  EXPECT_EQ(all[1].at("aesStrength"), "0");
  EXPECT_EQ(all[1].at("newPassword"), "newer");
  // The add after it is an ordinary add with the caller's own settings.
  EXPECT_EQ(all[2].at("changePassword"), "0");
  EXPECT_EQ(all[2].count("newPassword"), 0u);
  EXPECT_EQ(all[2].at("encrypt"), "0");
  EXPECT_EQ(all[2].at("password"), "session");
  EXPECT_EQ(all[2].at("recurse"), "65535");
  EXPECT_EQ(zm_.AddOptions, AddOpts(AddRecurseDirs));
  unsetenv("RECDLL_VERSION");
}

TEST_F(ZipBinding, ChangePasswordIsRefusedByALibraryWithTheShortRecord) {
  zm_.SetZipFilename(ExistingArchive());
  zm_.ChangePassword("old", "new", 128);
  EXPECT_TRUE(Records().empty());
  EXPECT_EQ(zm_.SuccessCount(), 0);
  EXPECT_EQ(zm_.LastMessage(), "The zip library is too old to change a password");
}

TEST_F(ZipBinding, AddAndDeleteFillTheLongRecordForANewLibrary) {
  setenv("RECDLL_VERSION", "158", 1);
  zm_.SetZipFilename(ExistingArchive());
  zm_.AddOptions = AddSeparateDirs | AddMove | AddFreshen | AddForceDOS | AddZipTime | AddEncrypt | AddRecurseDirs;
  zm_.TempDir = "/var/tmp/work";
  zm_.FSpecArgs = {"one", "two"};
  zm_.Add();
  zm_.FSpecArgs = {"one"};
  zm_.Delete();
  auto all = Records();
  ASSERT_EQ(all.size(), 2u);
  Record& add = all[0];
  EXPECT_EQ(add["layout"], "long");
  EXPECT_EQ(add["seven"], "7");
  EXPECT_EQ(add["tempDir"], "/var/tmp/work");
  EXPECT_EQ(add["spec1"], "two");
  EXPECT_EQ(add["specZero0"], "1");
  EXPECT_EQ(add["specZero1"], "1");
  EXPECT_EQ(add["tailZero"], "1");
  EXPECT_EQ(add["noDirEntries"], "0");
  EXPECT_EQ(add["junkDirNames"], "-1");
  EXPECT_EQ(add["move"], "-1");
  EXPECT_EQ(add["freshen"], "-1");
  EXPECT_EQ(add["forceDos"], "-1");
  EXPECT_EQ(add["keepTime"], "-1");
  EXPECT_EQ(add["systemFiles"], "0");
  EXPECT_EQ(add["verbose"], "0");
  EXPECT_EQ(add["level"], "9");
  Record& del = all[1];
  EXPECT_EQ(del["delete"], "-1");
  EXPECT_EQ(del["addFlag"], "0");
  EXPECT_EQ(del["junkDirNames"], "0");
  EXPECT_EQ(del["move"], "0");
  EXPECT_EQ(del["freshen"], "0");
  EXPECT_EQ(del["update"], "0");
  EXPECT_EQ(del["recurse"], "0");
  EXPECT_EQ(del["encrypt"], "0");
  EXPECT_EQ(del["tempDir"], "/var/tmp/work");
  EXPECT_EQ(del["argc"], "1");
  EXPECT_EQ(zm_.SuccessCount(), 1);
}

TEST_F(ZipBinding, ExtractFillsBothLayoutsAndNamesTheBaseFolderWithoutChangingTheCurrentOne) {
  const std::string archive = ExistingArchive();
  fs::create_directories(tmp_.Path() / "out");
  const fs::path before = fs::current_path();
  for (const char* version : {"150", "152"}) {
    SCOPED_TRACE(version);
    fs::remove(out_);
    setenv("RECDLL_VERSION", version, 1);
    zm_.SetZipFilename(archive);
    zm_.ExtrOptions = ExtrDirNames | ExtrOverWrite | ExtrFreshen | ExtrUpdate | ExtrTest;
    zm_.ExtrBaseDir = (tmp_.Path() / "out").string();
    zm_.Verbose = true;
    zm_.Unattended = true;
    zm_.FSpecArgs = {"*.*"};
    zm_.Extract();
    Record r = Only();
    EXPECT_EQ(r["layout"], std::string(version) == "150" ? "short" : "long");
    EXPECT_EQ(r["version"], "152");
    EXPECT_EQ(r["seven"], "7");
    EXPECT_EQ(r["handle"], "0");
    EXPECT_EQ(r["test"], "-1");
    EXPECT_EQ(r["update"], "-1");
    EXPECT_EQ(r["freshen"], "0");
    EXPECT_EQ(r["dirNames"], "-1");
    EXPECT_EQ(r["overwrite"], "-1");
    EXPECT_EQ(r["verbose"], "-1");
    EXPECT_EQ(r["minusOne"], "-1");
    EXPECT_EQ(r["spec0"], "*.*");
    EXPECT_EQ(r["archive"], archive);
    EXPECT_EQ(r["extractDir"], "(null)") << "testing writes nothing, anywhere";
    EXPECT_EQ(r["codePage"], "0");
    EXPECT_EQ(r["exactNames"], "0");
    EXPECT_EQ(fs::path(r["cwd"]), before) << "the library runs in the caller's folder";
    EXPECT_EQ(fs::current_path(), before);
    EXPECT_EQ(zm_.SuccessCount(), 1);
    EXPECT_TRUE(zm_.FSpecArgs.empty());
    EXPECT_FALSE(zm_.ReadBusy());
  }
  // Zero specifications are passed on as zero.
  fs::remove(out_);
  zm_.Extract();
  EXPECT_EQ(Only()["argc"], "0");
  // Extracting names the folder; the code page rule and exact names go along.
  fs::remove(out_);
  zm_.ExtrOptions = 0;
  zm_.CodePage = cpOEM;
  zm_.ExactNames = true;
  zm_.FSpecArgs = {"docs\\Read?me.txt"};
  zm_.Extract();
  Record r = Only();
  EXPECT_EQ(fs::canonical(r["extractDir"]), fs::canonical(tmp_.Path() / "out"));
  EXPECT_EQ(fs::path(r["cwd"]), before);
  EXPECT_EQ(r["codePage"], "2");
  EXPECT_EQ(r["exactNames"], "-1");
  EXPECT_EQ(r["spec0"], "docs\\Read?me.txt");
  EXPECT_FALSE(zm_.ExactNames) << "consumed with FSpecArgs";
}

TEST_F(ZipBinding, MissingBaseFolderIsMadeAndAnImpossibleOneStopsExtract) {
  zm_.SetZipFilename(ExistingArchive());
  zm_.ExtrBaseDir = tmp_.File("made/for/extract");
  zm_.Extract();
  EXPECT_EQ(fs::canonical(Only()["extractDir"]), fs::canonical(tmp_.File("made/for/extract")));

  fs::remove(out_);
  testing::WriteFile(tmp_.File("plainfile"), "x");
  zm_.ExtrBaseDir = tmp_.File("plainfile/sub");
  zm_.FSpecArgs = {"*.*"};
  zm_.Extract();
  EXPECT_TRUE(Records().empty());
  EXPECT_EQ(zm_.SuccessCount(), 0);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Creation of output file failed: " + tmp_.File("plainfile/sub"));
}

TEST_F(ZipBinding, CallbacksBecomeProgressAndMessageEvents) {
  setenv("RECDLL_SCRIPT", "progress", 1);
  zm_.SetZipFilename(ExistingArchive());
  struct Event {
    ProgressType type;
    std::string name;
    int64_t size;
    bool busy;
  };
  std::vector<Event> events;
  zm_.OnProgress = [&](TZipMaster& z, ProgressType t, const std::string& n, int64_t s) {
    events.push_back({t, n, s, z.WriteBusy()});
  };
  zm_.FSpecArgs = {"x"};
  zm_.Add();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0].type, ProgrTotalFiles);
  EXPECT_EQ(events[0].size, 2);
  EXPECT_EQ(events[1].type, ProgrTotalSize);
  EXPECT_EQ(events[1].size, 3000000000LL);
  EXPECT_EQ(events[2].type, ProgrNewFile);
  EXPECT_EQ(events[2].name, "dir\\a.txt");
  EXPECT_EQ(events[2].size, 10);
  EXPECT_EQ(events[3].type, ProgrUpdate);
  EXPECT_EQ(events[4].type, ProgrEndOfBatch);
  for (const auto& e : events) EXPECT_TRUE(e.busy);
  EXPECT_EQ(zm_.BatchSize(), 3000000000LL);
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0], "plain note");
  EXPECT_EQ(codes_[0], 0);
  EXPECT_EQ(messages_[1], "bad CRC in dir\\b.txt");
  EXPECT_EQ(codes_[1], 0x1234);
  EXPECT_EQ(zm_.ErrCode(), 0x34);
  EXPECT_EQ(zm_.FullErrCode(), 0x1234);
  EXPECT_GE(platform_.pump.calls, 7);
  // The library's messages reach only OnMessage, never a box.
  EXPECT_TRUE(platform_.dialogs.boxes.empty());
}

TEST_F(ZipBinding, CancelSeenThroughTheMessagePumpStopsTheLibrary) {
  setenv("RECDLL_SCRIPT", "cancel", 1);
  zm_.SetZipFilename(ExistingArchive());
  int pumps = 0;
  platform_.pump.onProcess = [&] {
    if (++pumps == 5) zm_.Cancel = true;
  };
  zm_.FSpecArgs = {"x"};
  zm_.Add();
  EXPECT_EQ(Only()["callbacks"], "5");
  EXPECT_FALSE(zm_.Cancel);
  EXPECT_FALSE(zm_.WriteBusy());
}

TEST_F(ZipBinding, SecondAddFromAHandlerReturnsAtOnce) {
  setenv("RECDLL_SCRIPT", "progress", 1);
  zm_.SetZipFilename(ExistingArchive());
  int innerCount = -1;
  bool once = false;
  zm_.OnProgress = [&](TZipMaster& z, ProgressType, const std::string&, int64_t) {
    if (once) return;
    once = true;
    z.FSpecArgs = {"inner"};
    z.Add();
    innerCount = z.SuccessCount();
  };
  zm_.FSpecArgs = {"outer"};
  zm_.Add();
  EXPECT_EQ(innerCount, 0);
  EXPECT_EQ(Records().size(), 1u);
  EXPECT_EQ(zm_.SuccessCount(), 1);
}

TEST_F(ZipBinding, QuestionsGoThroughTheDialogsUnlessUnattended) {
  setenv("RECDLL_SCRIPT", "ask", 1);
  zm_.SetZipFilename(ExistingArchive());
  platform_.dialogs.answers.push_back(platform::BtnYes);
  platform_.dialogs.inputs.push_back(std::string("s3cret"));
  zm_.Extract();
  Record r = Only();
  EXPECT_EQ(r["overwrite"], "1");
  EXPECT_EQ(r["passwordAnswer"], "1");
  EXPECT_EQ(r["passwordText"], "s3cret");
  ASSERT_EQ(platform_.dialogs.boxes.size(), 1u);
  EXPECT_EQ(platform_.dialogs.boxes[0].kind, platform::MsgKind::Confirm);
  EXPECT_NE(platform_.dialogs.boxes[0].text.find("dir\\x.txt"), std::string::npos);

  fs::remove(out_);
  platform_.dialogs.boxes.clear();
  zm_.Unattended = true;
  zm_.Extract();
  r = Only();
  EXPECT_EQ(r["overwrite"], "0");
  EXPECT_EQ(r["passwordAnswer"], "0");
  EXPECT_EQ(r["passwordText"], "y.txt");
  EXPECT_TRUE(platform_.dialogs.boxes.empty());
  EXPECT_TRUE(platform_.dialogs.inputsAsked.size() == 1u);
}

TEST_F(ZipBinding, CancelledQuestionStopsTheLibrary) {
  setenv("RECDLL_SCRIPT", "ask", 1);
  zm_.SetZipFilename(ExistingArchive());
  platform_.dialogs.answers.push_back(platform::BtnCancel);
  zm_.Extract();
  EXPECT_EQ(Only()["overwrite"], "-1");
}

TEST_F(ZipBinding, MissingLibrariesAndEntryPointsAreReported) {
  zm_.SetZipFilename(ExistingArchive());
  zm_.SetDLLDirectory(tmp_.File("nowhere"));
  zm_.FSpecArgs = {"x"};
  zm_.Add();
  EXPECT_EQ(zm_.SuccessCount(), 0);
  EXPECT_FALSE(zm_.WriteBusy());
  EXPECT_EQ(zm_.FSpecArgs.size(), 1u);  // not consumed: the library was never called
  zm_.Extract();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0], "ZIPDLL.DLL not found!");
  EXPECT_EQ(messages_[1], "UNZDLL.DLL not found!");
  EXPECT_EQ(zm_.GetZipDllVersion(), 0);

  fs::create_directories(tmp_.Path() / "noexec");
  fs::copy_file(std::string(ARKELIN_BIN_DIR) + "/libnoexeczipdll.so", tmp_.Path() / "noexec" / kZipDllName);
  fs::copy_file(std::string(ARKELIN_BIN_DIR) + "/libnoexeczipdll.so", tmp_.Path() / "noexec" / kUnzDllName);
  zm_.SetDLLDirectory((tmp_.Path() / "noexec").string());
  messages_.clear();
  zm_.Add();
  zm_.Extract();
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0], "ZipDllExec function not found in ZIPDLL.DLL!");
  EXPECT_EQ(messages_[1], "UnzDllExec function not found in UNZDLL.DLL!");
  EXPECT_EQ(zm_.GetZipDllVersion(), 158);
  EXPECT_EQ(zm_.GetUnzDllVersion(), 152);

  fs::create_directories(tmp_.Path() / "noversion");
  fs::copy_file(std::string(ARKELIN_BIN_DIR) + "/libnoversionzipdll.so", tmp_.Path() / "noversion" / kZipDllName);
  fs::copy_file(std::string(ARKELIN_BIN_DIR) + "/libnoversionzipdll.so", tmp_.Path() / "noversion" / kUnzDllName);
  zm_.SetDLLDirectory((tmp_.Path() / "noversion").string());
  messages_.clear();
  zm_.Add();
  zm_.Extract();
  ASSERT_GE(messages_.size(), 2u);
  EXPECT_NE(std::find(messages_.begin(), messages_.end(), "GetZipDllVersion function not found in ZIPDLL.DLL!"),
            messages_.end());
  EXPECT_NE(std::find(messages_.begin(), messages_.end(), "GetUnzDllVersion function not found in UNZDLL.DLL!"),
            messages_.end());
  EXPECT_EQ(zm_.SuccessCount(), 0);
  EXPECT_EQ(zm_.GetZipDllVersion(), 0);
}

TEST_F(ZipBinding, ChecksBeforeTheLibraryCall) {
  zm_.Unattended = true;
  zm_.SetZipFilename(ExistingArchive());
  zm_.Add();
  zm_.AddOptions = AddEncrypt;
  zm_.FSpecArgs = {"x"};
  zm_.Add();
  EXPECT_EQ(zm_.FSpecArgs.size(), 1u);  // refused before the library: not consumed
  zm_.Delete();
  EXPECT_TRUE(zm_.FSpecArgs.empty());
  zm_.FSpecArgs = {"x"};
  zm_.Extract();  // unattended, encrypting options, no password
  ASSERT_EQ(messages_.size(), 3u);
  EXPECT_EQ(messages_[0], "Error - no files to zip!");
  EXPECT_EQ(messages_[1], "Unattended action not possible without a password");
  EXPECT_EQ(messages_[2], "Warning - Unattended Extract: possible not all files extracted");
  EXPECT_TRUE(zm_.Password.empty()) << "the filler password is handed to the library only";
  auto all = Records();
  ASSERT_EQ(all.size(), 2u);  // the Delete and the Extract reached the library
  EXPECT_EQ(all[1]["password"], std::string(79, 'z'));

  messages_.clear();
  zm_.SetZipFilename("");
  zm_.FSpecArgs = {"x"};
  zm_.Add();
  zm_.Delete();
  zm_.Extract();
  zm_.FSpecArgs.clear();
  zm_.Delete();
  EXPECT_EQ(messages_, (std::vector<std::string>{"Error - no zip file specified!", "Error - no zip file specified!",
                                                 "Error - no zip file specified!",
                                                 "Error - no files selected for deletion"}));
}

TEST_F(ZipBinding, AddToANewExeWritesTheEmptyProgramFirst) {
  const std::string stub = tmp_.File("stub.bin");
  testing::WriteFile(stub, std::string(500, 's'));
  zm_.SFXPath = stub;
  zm_.SetZipFilename(tmp_.File("new.exe"));
  zm_.FSpecArgs = {"x"};
  zm_.Add();
  ASSERT_EQ(Records().size(), 1u) << (messages_.empty() ? "" : messages_[0]);
  const std::string exe = ReadAll(tmp_.File("new.exe"));
  ASSERT_EQ(exe.size(), 500u + 256 + 22);
  EXPECT_EQ(exe.substr(0, 500), std::string(500, 's'));
  EXPECT_EQ(exe.substr(500, 3), "MPU");
  EXPECT_EQ(exe.substr(756, 4), std::string("PK\x05\x06", 4));
  EXPECT_EQ(common::Le32(exe.data() + 756 + 16), 756u) << "the directory offset names the end of the prefix";
  EXPECT_EQ(exe.substr(756 + 4, 12), std::string(12, '\0'));
}

TEST_F(ZipBinding, ExtractOfASetJoinsItFirst) {
  fs::create_directories(tmp_.File("scratch"));
  zm_.TempDir = tmp_.File("scratch");
  const std::string set = std::string(ARKELIN_FIXTURES) + "/zip/gen-split.zip";
  zm_.SetZipFilename(set);
  ASSERT_EQ(zm_.LastDisk(), 2);
  zm_.Extract();
  const Record r = Only();
  EXPECT_EQ(r.at("archive").rfind(tmp_.File("scratch") + "/", 0), 0u) << r.at("archive");
  EXPECT_TRUE(fs::is_empty(tmp_.File("scratch"))) << "the joined archive is removed after the extraction";
  EXPECT_EQ(zm_.ZipFilename(), set);
}

}  // namespace
}  // namespace arkelin::engine::zip

// Where the program looks for its run-time files and where it writes, for a
// build tree (everything beside the executable) and for an installed layout
// (bin/ and lib/arkelin/ side by side, configuration in the XDG folders).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "platform/Paths.h"

namespace fs = std::filesystem;
using namespace arkelin::platform;

namespace {

void Touch(const fs::path& p) {
  fs::create_directories(p.parent_path());
  std::ofstream(p) << "x";
}

// Sets an environment variable for the scope, restoring the old value.
class EnvScope {
 public:
  EnvScope(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* v = getenv(name)) old_ = v;
    if (value) setenv(name, value->c_str(), 1);
    else unsetenv(name);
  }
  ~EnvScope() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class ProgramFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("arkelin-folders-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    SetDataFolderOverride("");
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string S(const fs::path& p) { return p.string() + "/"; }
  fs::path root_;
};

TEST_F(ProgramFolders, BuildTreeFindsEverythingBesideTheExecutableAndWritesThere) {
  const fs::path bin = root_ / "build" / "bin";
  Touch(bin / "libunzdll.so");
  Touch(bin / "libzipdll.so");
  EXPECT_EQ(ProgramFileFolders(bin.string()), std::vector<std::string>{S(bin)});
  EXPECT_EQ(ProgramFileFolder("libunzdll.so", bin.string()), S(bin));
  EXPECT_TRUE(IsSelfContainedFolder(bin.string()));
  EXPECT_EQ(DataFolderFor(bin.string()), S(bin));
  EXPECT_EQ(CacheFolderFor(bin.string()), S(bin));
}

TEST_F(ProgramFolders, InstalledLayoutFindsLibArkelinAndWritesToTheXdgFolders) {
  const fs::path prefix = root_ / "usr";
  Touch(prefix / "bin" / "arkelin");
  Touch(prefix / "lib" / "arkelin" / "libunzdll.so");
  Touch(prefix / "lib" / "arkelin" / "ru2001.bin");
  const std::string bin = (prefix / "bin").string() + "/";
  const auto folders = ProgramFileFolders(bin);
  ASSERT_EQ(folders.size(), 2u);
  EXPECT_EQ(folders[0], bin);
  EXPECT_EQ(folders[1], S(prefix / "lib" / "arkelin"));
  EXPECT_EQ(ProgramFileFolder("libunzdll.so", bin), S(prefix / "lib" / "arkelin"));
  EXPECT_EQ(ProgramFileFolder("ru2001.bin", bin), S(prefix / "lib" / "arkelin"));
  // Nothing of that name anywhere: the executable's folder, as before.
  EXPECT_EQ(ProgramFileFolder("missing.so", bin), bin);
  // The bin folder is writable here, but it holds no engine libraries: an
  // installed program never writes beside its executable.
  EXPECT_FALSE(IsSelfContainedFolder(bin));
  EnvScope config("XDG_CONFIG_HOME", (root_ / "cfg").string());
  EnvScope cache("XDG_CACHE_HOME", (root_ / "cache").string());
  EXPECT_EQ(DataFolderFor(bin), S(root_ / "cfg" / "Arkelin"));
  EXPECT_TRUE(fs::is_directory(root_ / "cfg" / "Arkelin"));
  EXPECT_EQ(CacheFolderFor(bin), S(root_ / "cache" / "Arkelin"));
  EXPECT_TRUE(fs::is_directory(root_ / "cache" / "Arkelin"));
}

TEST_F(ProgramFolders, BeforeTheLibraryFolderTheExecutablesOwnCopyWins) {
  const fs::path prefix = root_ / "opt";
  Touch(prefix / "bin" / "libunzdll.so");
  Touch(prefix / "lib" / "arkelin" / "libunzdll.so");
  EXPECT_EQ(ProgramFileFolder("libunzdll.so", (prefix / "bin").string()), S(prefix / "bin"));
}

TEST_F(ProgramFolders, SystemProgramFoldersAreNeverWrittenEvenWhenWritable) {
  // /usr/bin is writable for root; the rule does not depend on who runs it.
  EXPECT_FALSE(IsSelfContainedFolder("/usr/bin/"));
  EXPECT_FALSE(IsSelfContainedFolder("/usr/local/bin"));
}

TEST_F(ProgramFolders, UnsetOrRelativeXdgVariablesFallBackToTheHomeFolder) {
  const fs::path bin = root_ / "usr" / "bin";
  fs::create_directories(bin);
  EnvScope home("HOME", root_.string());
  {
    EnvScope config("XDG_CONFIG_HOME", std::nullopt);
    EnvScope cache("XDG_CACHE_HOME", std::string("relative/cache"));
    EXPECT_EQ(DataFolderFor(bin.string()), S(root_ / ".config" / "Arkelin"));
    EXPECT_EQ(CacheFolderFor(bin.string()), S(root_ / ".cache" / "Arkelin"));
  }
}

TEST_F(ProgramFolders, CacheFallsBackToTheRuntimeFolderWhenTheCacheCannotBeMade) {
  const fs::path bin = root_ / "usr" / "bin";
  fs::create_directories(bin);
  Touch(root_ / "notafolder");  // a file where the cache folder should go
  EnvScope cache("XDG_CACHE_HOME", (root_ / "notafolder").string());
  EnvScope run("XDG_RUNTIME_DIR", (root_ / "run").string());
  fs::create_directories(root_ / "run");
  EXPECT_EQ(CacheFolderFor(bin.string()), S(root_ / "run" / "Arkelin"));
}

TEST_F(ProgramFolders, OverrideWinsForDataAndCache) {
  const fs::path bin = root_ / "usr" / "bin";
  SetDataFolderOverride((root_ / "ov").string());
  EXPECT_EQ(DataFolderFor(bin.string()), S(root_ / "ov"));
  EXPECT_EQ(CacheFolderFor(bin.string()), S(root_ / "ov"));
  SetDataFolderOverride("");
}

}  // namespace

// Helpers for the self-extracting and volume tests: run a shell command and
// capture its output, make archives with the peer zip tool, build a
// self-extracting program with TZipMaster from the stub in the program
// folder, and compare folders.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

#include "engine/zip/ZipMstr.h"
#include "ShellRun.h"
#include "tests/engine/zip/ZipTestUtil.h"

namespace arkelin::engine::zip::testing {

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}


// Runs `command` with /bin/sh in `folder`, standard input from `input`;
// standard output and error together.
inline ShellRun RunIn(const std::string& folder, const std::string& command, const std::string& input = "") {
  char in[] = "/tmp/arkelin-stdin-XXXXXX";
  const int fd = ::mkstemp(in);
  if (fd < 0) return {};
  ::close(fd);
  WriteFile(in, input);
  const ShellRun r = RunShell("cd " + Quote(folder) + " && " + command + " < " + Quote(in) + " 2>&1");
  std::filesystem::remove(in);
  return r;
}

inline std::string StubPath() { return std::string(ARKELIN_BIN_DIR) + "/ru2001.bin"; }

// All regular files and folders below `root`, relative name -> size and
// CRC of the content ("<dir>" for folders).
inline std::map<std::string, std::string> TreeOf(const std::string& root) {
  std::map<std::string, std::string> t;
  for (auto& e : std::filesystem::recursive_directory_iterator(root)) {
    const std::string rel = std::filesystem::relative(e.path(), root).string();
    if (e.is_directory()) t[rel] = "<dir>";
    else if (e.is_regular_file()) {
      const std::string data = ReadAll(e.path().string());
      t[rel] = std::to_string(data.size()) + ":" + std::to_string(TestCrc32(data));
    }
  }
  return t;
}

// Converts `zipFile` into name.exe with the stub of the program folder;
// answers the result code and leaves the .exe's name in `exe`.
inline int MakeSfx(const std::string& zipFile, std::string& exe, TZipMaster& zm) {
  zm.Unattended = true;
  zm.HowToDelete = htdFinal;
  zm.SFXPath = StubPath();
  zm.SetZipFilename(zipFile);
  const int r = zm.ConvertSFX();
  exe = zm.ZipFilename();
  return r;
}

}  // namespace arkelin::engine::zip::testing

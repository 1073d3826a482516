// File and folder helpers the GoogleTest programs share: a temporary folder
// of the test's own, and whole files read and written as bytes.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

// A new folder under /tmp, removed with everything in it at the end of its
// scope. Made() says whether the folder could be made.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "arkelin-test") {
    std::string name = "/tmp/" + prefix + "-XXXXXX";
    if (::mkdtemp(name.data())) path_ = name;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  bool Made() const { return !path_.empty(); }
  const std::filesystem::path& Path() const { return path_; }
  // `name` inside the folder.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The bytes of the file, or nothing when it cannot be read.
inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Replaces the file with `data`; false when it cannot be written whole.
inline bool WriteAll(const std::filesystem::path& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out << data;
  out.close();
  return static_cast<bool>(out);
}

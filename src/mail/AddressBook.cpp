// The address book file; see AddressBook.h.
#include "mail/AddressBook.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "engine/common/TempFile.h"
#include "platform/Paths.h"
#include "shared/U_Globalfunc.h"

namespace arkelin::mail {

namespace {

// Puts text in place of the file at path in one step: a temporary file in
// the same folder, flushed to the disk, renamed over the old file, and the
// folder flushed after. False when any step fails; the old file is then as
// it was and no temporary file is left.
bool ReplaceFile(const std::string& path, const std::string& text) {
  std::filesystem::path target = platform::ToFsPath(path);
  std::error_code ec;
  if (std::filesystem::is_symlink(target, ec)) {
    // A book that is a link stays one: the file it points to is replaced.
    const std::filesystem::path real = std::filesystem::canonical(target, ec);
    if (!ec) target = real;
  }
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  const mode_t mode = exists ? (old.st_mode & 07777) : (0644 & ~engine::common::CurrentUmask());

  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return false;
  engine::common::TempFile temp;
  bool ok = temp.Create(dir, "." + target.filename().string() + ".", ".tmp");
  const char* p = text.data();
  std::size_t left = text.size();
  while (ok && left > 0) {
    const ssize_t n = ::write(temp.Fd(), p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
    } else {
      p += n;
      left -= static_cast<std::size_t>(n);
    }
  }
  if (ok && ::fsync(temp.Fd()) != 0) ok = false;
  if (ok) ok = temp.CommitAs(target.filename().string(), mode);
  if (!ok) temp.Discard();
  if (ok) ::fsync(dir);  // the new name in the folder survives a crash too
  ::close(dir);
  return ok;
}

}  // namespace

std::string TAddressBook::DefaultPath() { return platform::DataFolder() + "EMHIST.TXT"; }

std::vector<std::string> TAddressBook::Load() const {
  std::vector<std::string> entries;
  std::ifstream in(platform::ToFsPath(path_), std::ios::binary);
  if (!in) return entries;
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t lf = text.find('\n', pos);
    if (lf == std::string::npos) lf = text.size();
    std::string line = text.substr(pos, lf - pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) entries.push_back(std::move(line));
    pos = lf + 1;
  }
  return entries;
}

std::string TAddressBook::Folded(std::string_view entry) {
  std::string s(entry);
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

bool TAddressBook::Record(const std::string& entry) {
  std::vector<std::string> book = Load();
  const bool exists = std::filesystem::exists(platform::ToFsPath(path_));
  const std::string folded = Folded(entry);
  const bool known = std::any_of(book.begin(), book.end(),
                                 [&](const std::string& e) { return Folded(e) == folded; });
  if (known && exists) return false;
  if (!known) book.insert(book.begin(), entry);
  if (book.size() > kMaxEntries) book.resize(kMaxEntries);
  std::string text;
  for (const std::string& e : book) text += e + "\r\n";
  if (!ReplaceFile(path_, text)) throw EAddressBookError("Unable to write to " + path_);
  return true;
}

std::string TAddressBook::MakeEntry(std::string_view name, std::string_view email) {
  std::string e = "<" + std::string(name) + ">" + std::string(email);
  for (char& c : e)
    if (c == '\r' || c == '\n') c = ' ';
  return e;
}

TAddressBook::Fields TAddressBook::Parse(std::string_view entry) {
  const std::string text(entry);
  Fields f;
  f.name = shared::NthToken(text, 1, '>');
  shared::ReplaceText("<", f.name, "", false);
  f.email = shared::NthToken(text, 2, '>');
  if (f.email.empty()) f.email = text;
  return f;
}

}  // namespace arkelin::mail

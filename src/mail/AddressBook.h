// TAddressBook, the small book of recipients the mail window offers: the
// text file "EMHIST.TXT" in the program's data folder, one entry a line,
// lines ended by CR LF, newest first. An entry is "<" + name + ">" + address
// with nothing added between ("<John Doe>john@example.org"). The book holds
// at most kMaxEntries entries: a new one goes to the top and the oldest falls
// off the end. It is rewritten through a temporary file and a rename, so a
// write that fails leaves the book as it was. No window code here; the
// address book window shows what Load gives.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace arkelin::mail {

// The book could not be written: "Unable to write to <file>".
class EAddressBookError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TAddressBook {
 public:
  static constexpr std::size_t kMaxEntries = 100;

  explicit TAddressBook(std::string path) : path_(std::move(path)) {}
  const std::string& Path() const { return path_; }
  // "EMHIST.TXT" in the program's data folder.
  static std::string DefaultPath();

  // The entries in the file, newest first; none when there is no file.
  // Empty lines are no entries.
  std::vector<std::string> Load() const;

  // RecordAddress: an entry already in the book (compared with the ASCII
  // letters folded to lower case) leaves it unchanged and in place; a new
  // one goes to the top, and when the book then holds more than
  // kMaxEntries the oldest are dropped. A book that does not exist yet is
  // created. Answers true when the file was written; throws
  // EAddressBookError when it could not be (the old file is unchanged).
  bool Record(const std::string& entry);

  // "<" + name + ">" + email; line breaks in either become blanks, so one
  // entry stays one line.
  static std::string MakeEntry(std::string_view name, std::string_view email);

  // What a click on an entry puts in the mail window: the name is the text
  // before the first ">" without its first "<"; the address the text after
  // it up to the next ">", or the whole entry when that part is empty.
  struct Fields {
    std::string name;
    std::string email;
  };
  static Fields Parse(std::string_view entry);

  // The entry with the ASCII letters in lower case, for comparisons.
  static std::string Folded(std::string_view entry);

 private:
  std::string path_;
};

}  // namespace arkelin::mail

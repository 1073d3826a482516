// The address book file; see AddressBook.h.
#include "mail/AddressBook.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "platform/Paths.h"
#include "platform/ReplaceFile.h"
#include "shared/U_Globalfunc.h"

namespace arkelin::mail {

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
  std::string why;
  if (!platform::ReplaceFileContents(path_, text, &why)) throw EAddressBookError("Unable to write to " + path_);
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

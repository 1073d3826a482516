// Header lines by name; see ExStringList.h.
#include "mail/ExStringList.h"

#include <cctype>

namespace arkelin::mail {

namespace {
bool SameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string_view NameOf(std::string_view line) {
  const std::size_t colon = line.find(':');
  return colon == std::string_view::npos ? line : line.substr(0, colon);
}
}  // namespace

int TExStringList::IndexOfName(std::string_view name) const {
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].find(':') != std::string::npos && SameNoCase(NameOf(lines_[i]), name))
      return static_cast<int>(i);
  return -1;
}

std::string TExStringList::Value(std::string_view name) const {
  const int i = IndexOfName(name);
  if (i < 0) return {};
  std::string_view rest = std::string_view(lines_[i]).substr(NameOf(lines_[i]).size() + 1);
  if (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  return std::string(rest);
}

void TExStringList::SetValue(std::string_view name, std::string_view value) {
  const int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) lines_.erase(lines_.begin() + i);
    return;
  }
  std::string line = std::string(name) + ": " + std::string(value);
  if (i >= 0)
    lines_[i] = std::move(line);
  else
    lines_.push_back(std::move(line));
}

std::string TExStringList::Text() const {
  std::string out;
  for (const std::string& l : lines_) {
    out += l;
    out += "\r\n";
  }
  return out;
}

}  // namespace arkelin::mail

// TExStringList, a list of text lines that can also be addressed by header
// name: a line's name is its text before the first ":", compared without
// regard to case. The mail header is kept in one, in the order it is sent.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace arkelin::mail {

class TExStringList {
 public:
  std::size_t Count() const { return lines_.size(); }
  const std::string& operator[](std::size_t i) const { return lines_.at(i); }
  const std::vector<std::string>& Lines() const { return lines_; }

  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Clear() { lines_.clear(); }

  // The index of the first line named name, or -1.
  int IndexOfName(std::string_view name) const;
  // The text after "name:" on the first line named name (a blank after the
  // colon is skipped); empty when there is no such line.
  std::string Value(std::string_view name) const;
  // Replaces the first line named name by name + ": " + value, or appends
  // it; an empty value deletes that line instead.
  void SetValue(std::string_view name, std::string_view value);

  // Every line followed by CR LF.
  std::string Text() const;

 private:
  std::vector<std::string> lines_;
};

}  // namespace arkelin::mail

#include "window/RecentList.h"

#include <algorithm>
#include <cctype>

namespace arkelin::window {

namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

}  // namespace

std::string ValueOfLine(const std::string& line) {
  const auto eq = line.find('=');
  return eq == std::string::npos ? line : line.substr(eq + 1);
}

std::vector<std::string> UpdateRecent(std::vector<std::string> values, const std::string& name,
                                      int maxCount) {
  const std::string key = Lower(name);
  values.erase(std::remove_if(values.begin(), values.end(),
                              [&](const std::string& v) { return Lower(v) == key; }),
               values.end());
  values.insert(values.begin(), name);
  if (maxCount >= 0 && values.size() > static_cast<size_t>(maxCount))
    values.resize(static_cast<size_t>(maxCount));
  return values;
}

bool RecordRecentIn(IRecentStore& store, const std::string& section, int maxCount,
                    const std::string& name) {
  // A name that would break the file into several lines is not recorded.
  if (name.empty() || name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return true;
  std::vector<std::string> values;
  for (const std::string& line : store.SectionLines(section)) values.push_back(ValueOfLine(line));
  values = UpdateRecent(std::move(values), name, maxCount);
  for (size_t i = 0; i < values.size(); ++i)
    if (!store.WriteString(section, std::to_string(i), values[i])) return false;
  return true;
}

}  // namespace arkelin::window

// Section access to the settings file for the recent-archives list, through
// the program's one INI store (settings/IniFile): the same rules for section
// and key names, byte-order marks, line ends and comments as every other
// setting. Reads the "key=value" lines of one section and writes single string
// values, keeping every other line, section and unknown key as it was. A write
// replaces the file through a temporary file renamed over it, so a failed
// write never leaves half a file. Files that do not exist read as empty and
// are created on the first write.
#pragma once

#include <string>
#include <vector>

#include "settings/IniFile.h"
#include "window/RecentList.h"

namespace arkelin::window {

class IniSectionFile : public IRecentStore {
 public:
  explicit IniSectionFile(std::string path) : ini_(std::move(path)) {}

  std::vector<std::string> SectionLines(const std::string& section) override;
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;
  // Writes in between go to the file once, at EndUpdate (false when refused).
  void BeginUpdate() { ini_.BeginUpdate(); }
  bool EndUpdate();

 private:
  settings::TIniFile ini_;
};

}  // namespace arkelin::window

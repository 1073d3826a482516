// Section access to the settings file for the recent-archives list.
//
// Reads the "key=value" lines of one section (section names match without
// regard to case) and writes single string values, keeping every other line,
// section and unknown key as it was. A write replaces the file through a
// temporary file renamed over it, so a failed write never leaves half a file.
// Files that do not exist read as empty and are created on the first write.
#pragma once

#include <string>
#include <vector>

#include "window/RecentList.h"

namespace arkelin::window {

class IniSectionFile : public IRecentStore {
 public:
  explicit IniSectionFile(std::string path) : path_(std::move(path)) {}

  std::vector<std::string> SectionLines(const std::string& section) override;
  bool WriteString(const std::string& section, const std::string& key,
                   const std::string& value) override;

 private:
  std::string path_;
};

}  // namespace arkelin::window

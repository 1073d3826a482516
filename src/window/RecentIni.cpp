#include "window/RecentIni.h"

namespace arkelin::window {

std::vector<std::string> IniSectionFile::SectionLines(const std::string& section) {
  std::vector<std::string> out;
  for (const std::string& key : ini_.ReadSection(section))
    out.push_back(key + "=" + ini_.ReadString(section, key, ""));
  return out;
}

bool IniSectionFile::WriteString(const std::string& section, const std::string& key,
                                 const std::string& value) {
  try {
    ini_.WriteString(section, key, value);
    return true;
  } catch (const settings::EIniWriteError&) {
    return false;
  }
}

bool IniSectionFile::EndUpdate() {
  try {
    ini_.EndUpdate();
    return true;
  } catch (const settings::EIniWriteError&) {
    return false;
  }
}

}  // namespace arkelin::window

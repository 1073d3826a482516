// The recently used archives, kept in one section of the settings file.
//
// The section holds keys "0" to "n-1", most recent first; each value is the
// full path of an archive. Recording a name moves it to the top (names that
// differ only in letter case are the same archive, and the spelling used last
// is kept) and drops entries beyond the maximum. Keys are only ever written,
// never erased: a list that shrinks leaves its old higher keys in the file,
// and they are read back as entries, exactly as the menu then shows them.
//
// The list logic is plain and separate from the file access so it can be
// checked on its own; the file access goes through IRecentStore.
#pragma once

#include <string>
#include <vector>

namespace arkelin::window {

// Access to one INI file's sections.
class IRecentStore {
 public:
  virtual ~IRecentStore() = default;
  // Every "key=value" line of the section, in file order; empty when the file
  // or the section is missing.
  virtual std::vector<std::string> SectionLines(const std::string& section) = 0;
  // Writes one string value; false when the file cannot be written.
  virtual bool WriteString(const std::string& section, const std::string& key,
                           const std::string& value) = 0;
};

// The text after the first "=" of a "key=value" line (the whole line when it
// has none).
std::string ValueOfLine(const std::string& line);

// The list after recording name: every entry equal to it (ignoring case)
// leaves, the name goes to the top, and the list is cut to maxCount.
std::vector<std::string> UpdateRecent(std::vector<std::string> values, const std::string& name,
                                      int maxCount);

// Reads the section, records name and writes every entry back as key
// "0", "1", ... Answers false when a write was refused. An empty name, or one
// holding a line break or NUL (which would plant lines of its own in the
// file), is not recorded and nothing is written.
bool RecordRecentIn(IRecentStore& store, const std::string& section, int maxCount,
                    const std::string& name);

}  // namespace arkelin::window

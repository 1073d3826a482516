// The favourite archives and their file "Favorites.lst" in the program's
// write folder (platform::DataFolder()). One favourite a line, CR LF when
// written (CR, LF or CR LF read), no header, three fields split by ";": the
// archive's full path as it was when added, its modification date in the
// system's short date format, its size in bytes. New favourites go last;
// date and size are never refreshed.
//
// File names may hold ";" (and the quote character), which would break the
// plain three-field line, so a path that holds either is written quoted: in
// double quotes, a quote inside doubled ("a;b.zip" -> "\"a;b.zip\""). A line
// that does not begin with a quote is read the plain way; when it holds more
// than three fields (a name with ";" written without quotes) the last two are
// the date and the size and the rest is the path. In memory the fields stay
// apart, so nothing downstream ever splits a name again. A name holding a
// line break cannot be one line and is never added.
//
// This unit does not use Qt Widgets; dates come from QtCore's system locale.
#pragma once

#include <string>
#include <vector>

namespace arkelin::settings {

struct TFavorite {
  std::string Path;  // UTF-8 disk path
  std::string Date;  // short date, as written when added
  std::string Size;  // decimal bytes, as written when added

  bool operator==(const TFavorite&) const = default;
};

class TFavorites {
 public:
  // Where the program keeps its list: DataFolder() + "Favorites.lst".
  static std::string DefaultPath();

  explicit TFavorites(std::string fileName = DefaultPath()) : fileName_(std::move(fileName)) {}
  const std::string& FileName() const { return fileName_; }

  // Creates the file empty when it is missing, then replaces the list with
  // its lines (blank lines are skipped). A file that cannot be read leaves
  // an empty list. Creating a missing file may throw EIniWriteError.
  void Load();
  // Writes the list over the file in one step; throws EIniWriteError
  // ("Unable to write to <file>") when refused, the file then unchanged.
  void Save() const;

  const std::vector<TFavorite>& Items() const { return items_; }
  int Count() const { return static_cast<int>(items_.size()); }
  void Clear() { items_.clear(); }
  void Append(const TFavorite& f) { items_.push_back(f); }
  // Removes the favourite at index (from 0); false when out of range.
  bool Remove(int index);
  // True when a favourite's path equals path without regard to case.
  bool Contains(const std::string& path) const;

  // One line of the file, without its line end, and back.
  static std::string EncodeLine(const TFavorite& f);
  static TFavorite DecodeLine(const std::string& line);

  // The favourite for an archive on disk: its path, the modification date
  // in the system's short date format and its size. False (why filled) when
  // the file cannot be read or the name holds a line break.
  static bool Describe(const std::string& path, TFavorite& out, std::string& why);

 private:
  std::string fileName_;
  std::vector<TFavorite> items_;
};

}  // namespace arkelin::settings

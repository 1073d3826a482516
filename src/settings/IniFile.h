// The settings file: a private-profile INI store of our own.
//
// Classic INI text: "[SECTION]" header lines followed by "KEY=value" lines.
// Section and key names match without regard to case (ASCII). Every call
// opens the file, reads or rewrites it and closes it again; nothing is cached
// between calls, so two stores on the same file always agree. Lines the store
// does not understand, comments, other sections and unknown keys are kept
// exactly as they were when a value is written.
//
// Reading: a missing or unreadable file, section or key gives the caller's
// default; at most 2,047 bytes of a value come back (cut on a UTF-8 character
// boundary); integers are signed decimal or "0x"/"0X" hexadecimal (hex values
// up to 0xFFFFFFFF wrap into the 32-bit signed range, so the system colour
// 0x80000005 reads as -2147483643); a value that is not a number gives the
// default; a boolean is any integer other than 0.
//
// Writing: the whole file is written to a temporary file in the same folder,
// flushed and renamed over the old one (the folder is flushed after the
// rename), so a crash or a full disk never leaves
// half a file behind. The file is created on the first write. A write that
// the system refuses throws EIniWriteError with "Unable to write to <file>".
// Line breaks inside a value are written as blanks, so a value can never
// smuggle in a key or a section of its own.
//
// Names and values are UTF-8 std::strings; this unit does not use Qt.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace arkelin::settings {

namespace detail {
struct IniText;
}

// A write the system refused. what() is "Unable to write to <file>".
class EIniWriteError : public std::runtime_error {
 public:
  explicit EIniWriteError(const std::string& fileName);
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
};

// Puts text in place of the file in one step: a temporary file beside it,
// flushed, renamed over the old one, the folder flushed after. A link is
// followed (the file it names is replaced) and the old file's permissions
// are kept. Throws EIniWriteError when the system refuses any step; the old
// file is then as it was and no temporary file is left. Used by every
// settings-side file the program rewrites (Arkelin.ini, Favorites.lst).
void ReplaceTextFile(const std::string& fileName, const std::string& text);

class TIniFile {
 public:
  // Longest value that comes back from a read, in bytes.
  static constexpr std::size_t kMaxValue = 2047;

  explicit TIniFile(std::string fileName);
  ~TIniFile();
  TIniFile(TIniFile&&) noexcept;
  TIniFile& operator=(TIniFile&&) noexcept;
  const std::string& FileName() const { return fileName_; }

  // Writes between BeginUpdate and the matching EndUpdate are gathered and
  // the file is written once, by EndUpdate (reads in between see them).
  // EndUpdate throws EIniWriteError when that write is refused; CancelUpdate
  // (or destroying the store inside an update) drops the gathered writes.
  void BeginUpdate();
  void EndUpdate();
  void CancelUpdate();
  // Files this process has written completely so far (diagnostics, tests).
  static uint64_t FilesWritten();

  std::string ReadString(const std::string& section, const std::string& key,
                         const std::string& def) const;
  int32_t ReadInteger(const std::string& section, const std::string& key, int32_t def) const;
  bool ReadBool(const std::string& section, const std::string& key, bool def) const;

  // True when the key is present (even with an empty value).
  bool ValueExists(const std::string& section, const std::string& key) const;
  bool SectionExists(const std::string& section) const;
  // The key names of a section, in file order (first spelling of each).
  std::vector<std::string> ReadSection(const std::string& section) const;

  // Each write rewrites the file; throws EIniWriteError when refused.
  void WriteString(const std::string& section, const std::string& key, const std::string& value);
  void WriteInteger(const std::string& section, const std::string& key, int32_t value);
  void WriteBool(const std::string& section, const std::string& key, bool value);
  // Removes one key / a whole section; nothing is written when absent.
  void DeleteKey(const std::string& section, const std::string& key);
  void EraseSection(const std::string& section);

  // The integer rule on its own: decimal or "0x" hexadecimal, else def.
  static int32_t ParseInteger(const std::string& text, int32_t def);

 private:
  struct Pending;
  detail::IniText Current() const;
  void Replace(detail::IniText&& t);

  std::string fileName_;
  std::unique_ptr<Pending> pending_;
};

}  // namespace arkelin::settings

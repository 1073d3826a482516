// Which program the desktop opens a file type with, read from the freedesktop
// databases the way a file manager reads them:
//
//   extension -> MIME type      the shared MIME-info globs (mime/globs2 in the
//                               data folders), aliases and subclasses
//   MIME type -> desktop entry  mimeapps.list in the configuration and data
//                               folders (default applications, added and
//                               removed associations), then the MIME caches
//                               of the application folders (mimeinfo.cache)
//   desktop entry -> program    the entry's Exec line, unquoted, its field
//                               codes removed, the program found on PATH
//
// The folders come from the XDG environment variables (or are given, for
// tests). Nothing is cached: every question reads the files again, which
// keeps a changed association in force at once. Everything here is plain
// std C++ and POSIX.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace arkelin::platform {

// The XDG base folders and the names of the current desktop.
struct XdgFolders {
  std::string configHome;                // $XDG_CONFIG_HOME or ~/.config
  std::vector<std::string> configDirs;   // $XDG_CONFIG_DIRS or /etc/xdg
  std::string dataHome;                  // $XDG_DATA_HOME or ~/.local/share
  std::vector<std::string> dataDirs;     // $XDG_DATA_DIRS or /usr/local/share:/usr/share
  std::vector<std::string> desktops;     // $XDG_CURRENT_DESKTOP, lower case, in order
  std::string path;                      // $PATH, for programs named without a folder

  static XdgFolders FromEnvironment();
  // dataHome followed by dataDirs.
  std::vector<std::string> AllDataDirs() const;
};

// One desktop entry's launch facts.
struct DesktopLaunch {
  std::string id;                    // desktop file ID ("org.example.Viewer.desktop")
  std::string file;                  // where the entry was found
  std::vector<std::string> command;  // program (full path) and fixed arguments
};

// Splits the value of an Exec key (the string escapes of the file already
// undone) into arguments, undoing the double-quote quoting. Field codes are
// removed (%f %F %u %U %i %c %k and the deprecated %d %D %n %N %v %m) and
// "%%" becomes "%". nullopt for a malformed line (an unclosed quote, a field
// code inside a quoted argument or glued to other text, an unknown code).
std::optional<std::vector<std::string>> SplitExecLine(const std::string& exec);

// Undoes the escapes of a desktop file's string values: \s \n \t \r \\.
std::string UnescapeDesktopValue(const std::string& value);

// The rule that turns an association's command text into a program path: a
// command beginning with a double quote names the program between the first
// and the second double quote; a command whose text before the first "\" is
// "%systemroot%" (any case) gets the Windows folder in place of that marker
// and names the program up to its first blank; any other command gives the
// empty text.
std::string ProgramFromAssociationCommand(const std::string& command, const std::string& windowsFolder);

class DesktopAssociations {
 public:
  explicit DesktopAssociations(XdgFolders folders);

  // The MIME type for an extension (".txt", dot included), "" when no glob
  // claims it. The highest weight wins, then the longest pattern, then the
  // folder that comes first.
  std::string MimeTypeForExtension(const std::string& extension) const;
  // The canonical name of a type (aliases resolved).
  std::string Canonical(const std::string& type) const;
  // The type followed by its ancestors, nearest first (every text/* type is
  // a text/plain); application/octet-stream is left out.
  std::vector<std::string> TypeAndAncestors(const std::string& type) const;

  // The default application for a type: the first usable entry among the
  // default applications of the mimeapps.list files in order, else among
  // the added associations and the MIME caches (less the removed ones).
  // Parent types are asked when the type itself has none.
  std::optional<DesktopLaunch> DefaultApplication(const std::string& type) const;
  // The desktop entry for a desktop file ID, when it is installed and can be
  // started here: an Application, not hidden, not for a terminal, whose
  // TryExec and program exist, whose Exec arguments have no blanks.
  std::optional<DesktopLaunch> Launchable(const std::string& id) const;
  // The path of the installed file for a desktop file ID ("" when none).
  std::string DesktopFilePath(const std::string& id) const;

  // The association's command text for an extension, made for
  // ProgramFromAssociationCommand: the program and its fixed arguments in
  // double quotes, then the file placeholder; "" when there is none.
  std::string AssociationCommand(const std::string& extension) const;
  // True when the extension's type is a program or a script: the type, or
  // one of its ancestors, is an executable type.
  bool IsProgramType(const std::string& extension) const;

  // The mimeapps.list files in lookup order (existing or not).
  std::vector<std::string> MimeAppsFiles() const;

 private:
  std::string FindProgram(const std::string& name) const;

  XdgFolders f_;
};

}  // namespace arkelin::platform

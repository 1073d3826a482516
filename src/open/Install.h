// The Widgets-free core of Install: which entries of an archive are install
// programs, and how the one chosen is started once the archive has been
// extracted into a folder.
//
// Install names come from one setting, fields split at ";": the number of
// fields is one more than the number of ";" unless the text ends in ";";
// names compare without regard to case and without trimming blanks (so a
// blank after a ";" makes a name that never matches). The default keeps the
// Windows names and adds the scripts a Linux package carries.
//
// Starting: a shell script (".sh") runs through /bin/sh, inside the folder it
// was extracted to, after the confirmation that names the exact file; any
// other file follows the Run rule of StartFromArchive (associated program, a
// program only after the same confirmation, otherwise the user is told). A
// file that is not there (the extraction failed) starts nothing and says
// nothing. The caller always waits for the program to end.
#pragma once

#include <string>
#include <vector>

#include "open/StartFromArchive.h"

namespace arkelin::open {

// The default of AVAILABLEINSTALL FILENAMES.
inline constexpr const char* kDefaultInstallNames = "install.exe;setup.exe;install.sh;setup.sh";

// The fields of the setting, in order.
std::vector<std::string> InstallNames(const std::string& setting);

// One entry of the archive: its folder inside the archive (no trailing
// separator, "\" between folders, empty at the root) and its file name.
struct ArchiveEntryName {
  std::string Folder;
  std::string Name;
};

// The archive paths (folder + "\" + name, or the name at the root) of the
// entries whose file name is an install name: for each name in order, each
// matching entry in list order (an entry matching two names is listed twice).
std::vector<std::string> InstallCandidates(const std::vector<std::string>& names,
                                           const std::vector<ArchiveEntryName>& entries);

// The file-name part of a candidate (after its last "\").
std::string CandidateProgram(const std::string& candidate);

// Starts folder + program as described above and waits for it to end.
StartResult StartInstallProgram(const std::string& folder, const std::string& program);

}  // namespace arkelin::open

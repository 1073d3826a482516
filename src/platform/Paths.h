// Where things live, and the one conversion from the program's path strings to
// file-system paths.
//
// Paths inside archives keep "\" as separator (entry names, the Path column).
// Paths on disk are UTF-8 strings with the native "/" separator; every such
// string handed to the file system goes through ToFsPath. The Windows-style
// literals of the stored defaults ("C:\", "C:\WINDOWS\TEMP", "C:\Noname.zip")
// are mapped to their Linux equivalents by MapDefaultPath, in one place.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace arkelin::platform {

// The native separator of disk paths.
inline constexpr char kPathSep = '/';

// A UTF-8 disk path as a std::filesystem::path.
std::filesystem::path ToFsPath(const std::string& utf8);
// And back.
std::string FromFsPath(const std::filesystem::path& p);

// Archive entry name ("dir\sub\file.txt") to a relative disk path
// ("dir/sub/file.txt"), and back.
std::string EntryToDiskRelative(const std::string& entryName);
std::string DiskRelativeToEntry(const std::string& rel);

// Maps the Windows literals of stored defaults: "C:\" -> the home folder,
// "C:\WINDOWS\TEMP" -> PrivateTempFolder(),
// "C:\Noname.zip" -> Noname.zip in the home folder. Other text is returned
// unchanged.
std::string MapDefaultPath(const std::string& text);

// The user's own temporary folder, with a trailing separator: a folder (never
// a link) owned by the user with mode 0700, so no other user can read it or
// plant names in it. "$XDG_RUNTIME_DIR/arkelin-temp" when the runtime folder
// is set and private; else "arkelin-<uid>" in the system temporary folder;
// when that name is taken by a link or by a folder that is not private, a
// fresh mkdtemp folder for the run. Empty only when nothing can be made.
std::string PrivateTempFolder();

// The folder of the running executable, with a trailing separator.
std::string ExecutableFolder();

// The folders where the program's own run-time files (the engine libraries,
// the self-extractor stub and its information file) are looked for, in
// order: the executable's folder (a build tree or a program folder of its
// own), then lib/arkelin/ beside the executable's bin/ folder (an installed
// program: /usr/bin/arkelin finds /usr/lib/arkelin/). With trailing
// separators; the second only when it exists.
std::vector<std::string> ProgramFileFolders();
// The first of ProgramFileFolders() that holds a file called name, or the
// executable's folder when none does.
std::string ProgramFileFolder(const std::string& name);
// The folder of the engine libraries (ProgramFileFolder of libunzdll.so).
std::string EngineFolder();

// True when the executable's folder is a program folder of its own: it holds
// the engine libraries and is writable (a build tree or a copied folder). An
// installed program (engine libraries in ../lib/arkelin, or a folder the user
// cannot write, such as /usr/bin even for root) is not one.
bool IsSelfContainedFolder();

// The folder where the program writes its own files (Arkelin.ini,
// Favorites.lst, EMHIST.TXT, editor copies): the executable's folder when it
// is a self-contained program folder, otherwise $XDG_CONFIG_HOME/Arkelin/
// (~/.config/Arkelin/ when the variable is unset or not absolute), created
// on demand. With a trailing separator. Tests point it elsewhere with
// SetDataFolderOverride.
std::string DataFolder();
void SetDataFolderOverride(const std::string& folder);  // empty = no override

// The folder under which the work folder TMP lives: DataFolder() for a
// self-contained program folder or under an override, otherwise
// $XDG_CACHE_HOME/Arkelin/ (~/.cache/Arkelin/), or $XDG_RUNTIME_DIR/Arkelin/
// when the cache folder cannot be created. With a trailing separator.
std::string CacheFolder();

// The rules above for a given executable folder instead of the running one
// (the functions without it pass ExecutableFolder()).
std::vector<std::string> ProgramFileFolders(const std::string& exeFolder);
std::string ProgramFileFolder(const std::string& name, const std::string& exeFolder);
bool IsSelfContainedFolder(const std::string& exeFolder);
std::string DataFolderFor(const std::string& exeFolder);
std::string CacheFolderFor(const std::string& exeFolder);

// The user's home folder with a trailing separator.
std::string HomeFolder();

}  // namespace arkelin::platform

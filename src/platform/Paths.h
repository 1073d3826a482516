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

// The folder where the program writes its own files (Arkelin.ini,
// Favorites.lst, EMHIST.TXT, TMP, editor copies): the executable's folder when
// it is writable, otherwise ~/.config/Arkelin/. With a trailing separator.
// Tests point it elsewhere with SetDataFolderOverride.
std::string DataFolder();
void SetDataFolderOverride(const std::string& folder);  // empty = no override

// The user's home folder with a trailing separator.
std::string HomeFolder();

}  // namespace arkelin::platform

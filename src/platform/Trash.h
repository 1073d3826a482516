// The desktop trash, byte for byte.
//
// Follows the freedesktop.org trash layout: a file on the same file system
// as the home trash ($XDG_DATA_HOME/Trash, by default ~/.local/share/Trash)
// goes there; a file elsewhere goes to the trash at the top of its own file
// system ($topdir/.Trash/$uid when the administrator made a sticky .Trash
// that is no link, else $topdir/.Trash-$uid). The information file is made
// first, exclusively, under a free name, then the file is renamed into
// files/; a rename that fails removes the information file again. Names are
// bytes throughout, so a name that is not valid UTF-8 is trashed and
// recorded unchanged (percent-encoded in the information file). Files are
// never copied across file systems.
#pragma once

#include <string>

namespace arkelin::platform {

// Moves the file, folder or link at path to the trash; false (errno set)
// when it is missing or cannot be moved.
bool MoveToDesktopTrash(const std::string& path);

// Renames from to to (names as bytes), never over an existing name: with
// RENAME_NOREPLACE, or where the file system lacks it, after a check that
// to is free. False (errno set, EEXIST when to is taken) when not renamed.
bool RenameNoReplace(const std::string& from, const std::string& to);

}  // namespace arkelin::platform

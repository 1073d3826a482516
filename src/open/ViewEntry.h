// The Widgets-free half of viewing and running archive entries: the state
// the View command shares with the built-in editor (the viewed entry, the
// edit-back state and the copy that carries the edited text back), which
// selected entries count as graphics, where an entry lands below a folder,
// and what the editor does when it closes over an archive entry.
//
// Entry names use "\" between folders ("docs\readme.txt"); disk paths use
// "/". Everything runs on the user-interface thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace arkelin::open {

// none (0), editing (1: the editor shows an archive entry), update wanted
// (2: the copy at UpdateCopy is to be put back into the archive).
enum class EditBack { None = 0, Editing = 1, UpdateWanted = 2 };

// Owned by the archive window; the editor reads and changes it when it
// closes, and the View command reads it afterwards.
struct ViewState {
  // View: the entry's folder with a trailing "\" followed by its name.
  // Run: the entry's name alone.
  std::string ViewedEntry;
  EditBack editBack = EditBack::None;
  // The file holding the edited text, once the editor has written it.
  std::string UpdateCopy;
};

// The formats the built-in image viewer reads, as a format list.
inline constexpr const char* kBuiltInGraphicFormats = "GIF;JPG;BMP;PNG";

// The format list in force: the fixed one with the built-in viewer,
// otherwise the GXVIEW FORMATS setting as typed.
std::string GraphicFormatList(bool builtInViewer, const std::string& formatsSetting);
// The fields of a ";" list: one more than the number of ";", a ";" in the
// last position not counted; fields keep their blanks.
std::vector<std::string> FormatFields(const std::string& list);

// A selected row: its name (the Filename column) and its folder (the Path
// column, no trailing separator).
struct SelectedEntry {
  std::string name;
  std::string folder;
};
// The entry's whole name inside the archive: folder + "\" + name.
std::string ArchivePath(const SelectedEntry& e);
// The archive paths of the selected entries that count as graphics: for
// each field in list order, each selected entry in list order whose
// extension (without its dot, case ignored) equals the field. An entry
// matching two fields is listed twice; an empty field matches entries
// without an extension.
std::vector<std::string> GraphicList(const std::vector<std::string>& fields,
                                     const std::vector<SelectedEntry>& selected);

// The disk path of an archive entry below a folder ("docs\a.txt" below
// "/tmp/x" is "/tmp/x/docs/a.txt"); "" when the name would leave the
// folder (absolute, a drive, a ".." component, empty).
std::string BelowFolder(const std::string& folder, const std::string& archivePath);
// Creates folder when it is missing, one level only (its parent must
// exist); true when it exists afterwards.
bool MakeFolderOneLevel(const std::string& folder);

// Where the edited copy of an entry is written: below the folder
// "Edited" of the program's write folder, at the entry's own path, so that
// no entry name can land on the program's own files.
std::string EditedCopyFolder();
std::string UpdateCopyFor(const std::string& viewedEntry);

// What the editor does as it closes (any way it closes):
//   state Editing: UpdateCopy := UpdateCopyFor(ViewedEntry); when the text
//   was modified, writeCopy(UpdateCopy) writes it (its folder is made
//   first) and "Update zipfile?" is asked: Yes -> UpdateWanted, the copy
//   stays; No -> the copy is deleted, None. Not modified: nothing is
//   written or asked and the state stays Editing.
//   Any other state: nothing.
// writeCopy answers "" on success or the reason it failed. When the copy
// cannot be written the user is asked whether to close and lose the
// changes; the answer No keeps the window open (the result false).
// Returns true when the window may close.
bool EditorClosing(ViewState& state, bool modified,
                   const std::function<std::string(const std::string& path)>& writeCopy);

}  // namespace arkelin::open

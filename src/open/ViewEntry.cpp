#include "open/ViewEntry.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "engine/common/EntryPath.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "shared/U_Globalfunc.h"

namespace arkelin::open {

namespace pf = arkelin::platform;
namespace fs = std::filesystem;

namespace {
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

std::string GraphicFormatList(bool builtInViewer, const std::string& formatsSetting) {
  return builtInViewer ? std::string(kBuiltInGraphicFormats) : formatsSetting;
}

std::vector<std::string> FormatFields(const std::string& list) {
  size_t count = 1;
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == ';' && i + 1 != list.size()) ++count;
  std::vector<std::string> fields;
  for (size_t k = 1; k <= count; ++k) fields.push_back(shared::NthToken(list, static_cast<int>(k), ';'));
  return fields;
}

std::string ArchivePath(const SelectedEntry& e) { return shared::WithEntrySeparator(e.folder) + e.name; }

std::vector<std::string> GraphicList(const std::vector<std::string>& fields,
                                     const std::vector<SelectedEntry>& selected) {
  std::vector<std::string> out;
  for (const std::string& field : fields) {
    const std::string wanted = Lower(field);
    for (const SelectedEntry& e : selected) {
      const size_t dot = e.name.rfind('.');
      const std::string ext = dot == std::string::npos ? std::string() : Lower(e.name.substr(dot + 1));
      if (ext == wanted) out.push_back(ArchivePath(e));
    }
  }
  return out;
}

std::string BelowFolder(const std::string& folder, const std::string& archivePath) {
  std::string relative, reason;
  if (!engine::common::EntryNameToRelativePath(archivePath, relative, reason)) return "";
  return shared::WithBackslash(folder) + relative;
}

bool MakeFolderOneLevel(const std::string& folder) {
  std::error_code ec;
  const fs::path p = pf::ToFsPath(folder);
  if (fs::is_directory(p, ec)) return true;
  fs::create_directory(p, ec);
  return fs::is_directory(p, ec);
}

std::string EditedCopyFolder() { return shared::WriteFolder() + "Edited"; }

std::string UpdateCopyFor(const std::string& viewedEntry) { return BelowFolder(EditedCopyFolder(), viewedEntry); }

bool EditorClosing(ViewState& state, bool modified,
                   const std::function<std::string(const std::string& path)>& writeCopy) {
  if (state.editBack != EditBack::Editing) return true;
  state.UpdateCopy = UpdateCopyFor(state.ViewedEntry);
  if (!modified) return true;
  std::string failure;
  if (state.UpdateCopy.empty()) {
    failure = "the entry's name leaves the folder";
  } else {
    std::error_code ec;
    fs::create_directories(pf::ToFsPath(state.UpdateCopy).parent_path(), ec);
    failure = writeCopy(state.UpdateCopy);
  }
  if (!failure.empty()) {
    const std::string text = "Couldn't write the edited text to " + state.UpdateCopy + ": " + failure +
                             "\nClose the editor and lose the changes?";
    if (pf::Dialogs().MessageBox(text, pf::MsgKind::Error, pf::BtnYes | pf::BtnNo) != pf::BtnYes) return false;
    state.editBack = EditBack::None;
    return true;
  }
  if (pf::Dialogs().MessageBox("Update zipfile?", pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo) == pf::BtnYes) {
    state.editBack = EditBack::UpdateWanted;
  } else {
    std::error_code ec;
    fs::remove(pf::ToFsPath(state.UpdateCopy), ec);
    state.editBack = EditBack::None;
  }
  return true;
}

}  // namespace arkelin::open

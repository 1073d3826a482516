#include "window/ViewCommands.h"

#include <QDir>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

#include "open/StartFromArchive.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "shared/U_Globalfunc.h"
#include "viewers/widgets/REMain.h"
#include "viewers/widgets/u_ShowImg.h"
#include "window/ArchiveEngines_p.h"
#include "window/CommandSupport_p.h"

namespace arkelin::window {

namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;
namespace fs = std::filesystem;

// ---- The viewing settings' defaults ----------------------------------------------

QString IMainSettings::TempFolder() const { return Q(pf::MapDefaultPath("C:\\WINDOWS\\TEMP")); }
void IMainSettings::SetTempFolder(const QString&) const {}
QString DefaultMainSettings::TempFolder() const {
  return tempFolder ? *tempFolder : IMainSettings::TempFolder();
}

namespace {

const char* const kNoFileSelected = "Error :No file selected";

void RemoveFile(const std::string& path) {
  std::error_code ec;
  fs::remove(pf::ToFsPath(path), ec);
}

// Empty folders left between a removed file and stop (stop itself stays).
void PruneEmptyFolders(const std::string& file, const std::string& stop) {
  std::error_code ec;
  const fs::path top = pf::ToFsPath(stop);
  for (fs::path d = pf::ToFsPath(file).parent_path(); !d.empty() && d != top && d.native().size() > top.native().size();
       d = d.parent_path())
    if (!fs::remove(d, ec)) break;   // not empty (or not ours): stop
}

// Makes the folder the process's current one for its lifetime.
class CurrentFolderScope {
 public:
  explicit CurrentFolderScope(const std::string& folder) {
    saved_ = fs::current_path(ec_);
    fs::current_path(pf::ToFsPath(folder), ec_);
  }
  ~CurrentFolderScope() {
    std::error_code ec;
    if (!saved_.empty()) fs::current_path(saved_, ec);
  }
  bool Ok() const { return !ec_; }

 private:
  fs::path saved_;
  std::error_code ec_;
};

}  // namespace

std::vector<ViewCommands::Selected> ViewCommands::SelectedEntries() const {
  std::vector<Selected> out;
  for (int row : w_.SelectedRowIndexes()) {
    const FileRow& r = w_.model_->Row(row);
    out.push_back({{U8(r.caption), U8(r.path)}, U8(r.fullName)});
  }
  return out;
}

void ViewCommands::ExtractTo(const QString& folder, const std::vector<std::string>& storedNames, bool verbose) {
  ez::TZipMaster& zip = w_.engines_->Zip();
  EngineScope running(w_);
  pf::BusyCursorScope busy(pf::Busy());
  zip.FSpecArgs = storedNames;
  zip.ExtrBaseDir = U8(folder);
  zip.Verbose = verbose;
  zip.Trace = false;
  zip.ExtrOptions = ez::ExtrDirNames | ez::ExtrOverWrite;
  try {
    zip.Extract();
  } catch (...) {
    w_.ShowWarning(kFatalDll);
  }
}

void ViewCommands::PutBack(const std::string& base, const std::string& relative) {
  ez::TZipMaster& zip = w_.engines_->Zip();
  QString archive = w_.CurrentZipName();
  // The copy is added from its base folder with its folder names, so that
  // it is stored under the entry's own name and replaces the old entry.
  if (!QFileInfo(archive).isAbsolute()) {
    archive = QFileInfo(archive).absoluteFilePath();
    w_.engines_->SetZipFilename(archive);
  }
  {
    EngineScope running(w_);
    pf::BusyCursorScope busy(pf::Busy());
    CurrentFolderScope here(base);
    zip.Verbose = true;
    zip.Trace = false;
    zip.AddCompLevel = 9;
    zip.AddOptions = ez::AddMove | ez::AddDirNames;
    zip.FSpecArgs = {relative};
    w_.ArchiveModified = true;
    try {
      if (!here.Ok()) throw std::runtime_error("no base folder");
      zip.Add();
    } catch (...) {
      w_.ShowWarning(kFatalDll);
    }
  }
  // Read the archive again: the list shows the updated entry.
  w_.engines_->SetZipFilename(archive);
}

// ---- View ------------------------------------------------------------------------------

void ViewCommands::View() {
  if (w_.RefuseWhileBusy()) return;
  if (w_.RefuseForRar()) return;
  const std::vector<Selected> selected = SelectedEntries();
  std::vector<open::SelectedEntry> entries;
  for (const Selected& s : selected) entries.push_back(s.entry);
  const IMainSettings& settings = w_.Settings();
  const std::vector<std::string> graphics = open::GraphicList(
      open::FormatFields(open::GraphicFormatList(settings.BuiltInGraphic(), U8(settings.GraphicFormats()))), entries);
  if (graphics.empty())
    ViewText(selected);
  else
    ViewGraphics(graphics, selected);
}

void ViewCommands::ViewText(const std::vector<Selected>& selected) {
  if (selected.empty() || selected.front().entry.name.empty()) {
    w_.ShowWarning(kNoFileSelected);
    return;
  }
  const Selected& chosen = selected.front();
  const IMainSettings& settings = w_.Settings();
  state_.ViewedEntry = open::ArchivePath(chosen.entry);
  const QString temp = settings.TempFolder();
  if (!open::MakeFolderOneLevel(U8(temp))) {
    pf::Dialogs().MessageBox(U8(QStringLiteral("Couldn't create TEMP directory: ") + temp), pf::MsgKind::Error,
                             pf::BtnOK);
    return;
  }
  ExtractTo(temp, {chosen.storedName}, true);
  const std::string copy = open::BelowFolder(U8(temp), state_.ViewedEntry);
  if (copy.empty()) {
    w_.ShowWarning(QStringLiteral("The entry's name leaves the TEMP directory: ") + Q(state_.ViewedEntry));
    return;
  }

  // The folder the edited text is added from, and its path below it.
  std::string base, relative;
  if (settings.BuiltInEditor()) {
    viewers::TF_Editform editor(&state_, &w_);
    if (!editor.LoadFile(Q(copy))) {   // the extraction left nothing to show (reported)
      RemoveFile(copy);
      return;
    }
    editor.setWindowTitle(QStringLiteral("- ") + Q(chosen.entry.name));
    state_.editBack = open::EditBack::Editing;
    state_.UpdateCopy.clear();
    editor.Modified = false;
    // The dialogs start at the extracted copy, where File Save writes.
    editor.FileName = Q(copy);
    editor.ShowModal();
    if (state_.editBack == open::EditBack::UpdateWanted) {
      base = open::EditedCopyFolder();
      relative = state_.UpdateCopy.substr(std::min(state_.UpdateCopy.size(), shared::WithBackslash(base).size()));
    }
  } else {
    // The external editor gets the copy's full path: the engine keeps the
    // process's current folder, so a relative name would not find it.
    open::RunWithFile(U8(settings.EditorPath()), copy, true);
    const bool update =
        pf::Dialogs().MessageBox("Update zip archive?", pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo) == pf::BtnYes;
    state_.editBack = update ? open::EditBack::UpdateWanted : open::EditBack::None;
    if (update) {
      base = U8(temp);
      relative = copy.substr(std::min(copy.size(), shared::WithBackslash(base).size()));
    }
  }
  if (state_.editBack == open::EditBack::UpdateWanted && !relative.empty()) {
    PutBack(base, relative);
    if (settings.BuiltInEditor()) PruneEmptyFolders(state_.UpdateCopy, open::EditedCopyFolder());
  }
  RemoveFile(copy);
}

void ViewCommands::ViewGraphics(const std::vector<std::string>& graphics, const std::vector<Selected>& selected) {
  const IMainSettings& settings = w_.Settings();
  std::vector<std::string> stored;
  for (const std::string& path : graphics)
    for (const Selected& s : selected)
      if (open::ArchivePath(s.entry) == path) {
        stored.push_back(s.storedName);
        break;
      }
  QString temp = settings.TempFolder();
  if (temp.isEmpty()) {
    temp = Q(shared::WriteFolder());
    settings.SetTempFolder(temp);
    w_.ShowWarning(QStringLiteral("You havn't set TEMP Directory, using: ") + temp);
  } else if (!open::MakeFolderOneLevel(U8(temp))) {
    pf::Dialogs().MessageBox(U8(QStringLiteral("Cannot create directory \"%1\".").arg(temp)), pf::MsgKind::Error,
                             pf::BtnOK);
    return;
  }
  ExtractTo(temp, stored, false);
  for (const std::string& path : graphics) {
    const std::string file = open::BelowFolder(U8(temp), path);
    if (file.empty()) continue;
    if (settings.BuiltInGraphic()) {
      viewers::TF_ShowImg viewer(&w_);
      viewer.LoadFile(Q(file));
      viewer.ShowModal();
    } else {
      const QString program = settings.GraphicPath();
      if (program.isEmpty() || !QFileInfo(program).isFile()) {
        pf::Dialogs().MessageBox("Can't find external graphic viewer!", pf::MsgKind::Error, pf::BtnOK);
        return;   // this file and the rest stay where they are
      }
      open::RunWithFile(U8(program), file, true);
    }
    w_.repaint();
    RemoveFile(file);
  }
}

// ---- Run -------------------------------------------------------------------------------

void ViewCommands::Run() {
  if (w_.RefuseWhileBusy()) return;
  if (w_.RefuseForRar()) return;
  w_.engines_->Zip().FSpecArgs.clear();
  const std::vector<Selected> selected = SelectedEntries();
  if (selected.empty() || selected.front().entry.name.empty()) {
    w_.ShowWarning(kNoFileSelected);
    return;
  }
  const Selected& chosen = selected.front();
  state_.ViewedEntry = chosen.entry.name;
  if (!shared::MakeWorkFolder()) {
    pf::Dialogs().MessageBox(U8(QStringLiteral("Cannot create directory \"%1\".").arg(Q(shared::WorkFolder()))),
                             pf::MsgKind::Error, pf::BtnOK);
    return;
  }
  ExtractTo(Q(shared::WorkFolder()), {chosen.storedName}, true);
  const std::string file = open::BelowFolder(shared::WorkFolder(), open::ArchivePath(chosen.entry));
  std::error_code ec;
  if (file.empty() || !fs::exists(pf::ToFsPath(file), ec)) return;   // the engine said why
  open::StartFromArchive(file, true);
  RemoveFile(file);
}

}  // namespace arkelin::window

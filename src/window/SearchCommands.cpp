#include "window/SearchCommands.h"

#include <QDir>

#include "platform/Platform.h"
#include "search/forms/U_Seach.h"
#include "window/ArchiveEngines_p.h"
#include "window/CommandSupport_p.h"
#include "window/EntryCommands.h"

namespace arkelin::window {

namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;

void SearchCommands::Search(int mode) {
  search::ResultActions actions;
  actions.OpenArchive = [this](const QString& path) { return OpenResult(path); };
  actions.RefuseAdd = [this] { return w_.RefuseForRar(); };
  actions.CellColor = w_.Settings().WindowColor();
  QStringList toAdd;
  {
    search::TF_Search dlg(mode, actions, &w_);
    dlg.ShowModal();
    toAdd = dlg.AddList;
  }
  if (!toAdd.isEmpty()) AddFiles(toAdd);
}

void SearchCommands::OpenAsZip(const QString& path) {
  w_.SetRarMode(false);
  w_.RarMode = false;
  w_.SetCurrentZipName(path);
  w_.SetTitle(path);
  w_.SetArchiveControls(true);
}

bool SearchCommands::OpenResult(const QString& path) {
  // The file name's extension decides, as everywhere in the program
  // ("x.part1.rar" is a RAR archive, "data.backup.zip" a ZIP archive).
  const QString kind = ExtensionOf(path).toLower();
  w_.RarMode = false;
  if (kind == QStringLiteral(".rar")) {
    w_.EnterRarSession(path);
    return true;
  }
  if (kind == QStringLiteral(".zip")) {
    OpenAsZip(path);
    return true;
  }
  w_.SetRarMode(false);
  if (pf::Dialogs().MessageBox("This may not be a valid Zipfile, try open it anyway?", pf::MsgKind::Confirm,
                               pf::BtnYes | pf::BtnNo) != pf::BtnYes)
    return false;
  OpenAsZip(path);
  return true;
}

void SearchCommands::AddFiles(const QStringList& files) {
  w_.repaint();
  if (w_.CurrentZipName().isEmpty()) {
    const QString name = QDir::current().absoluteFilePath(QStringLiteral("Noname.zip"));
    w_.SetCurrentZipName(name);
    w_.SetTitle(name);
    w_.SetArchiveControls(true);
    w_.Panel4->setText(QStringLiteral("Noname.zip"));
  }
  if (w_.AddWindowTag == 1) return;
  w_.entries_->AddWithFolderNames(files, true);
}

}  // namespace arkelin::window

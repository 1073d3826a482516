#include "window/InstallCommands.h"

#include <sys/stat.h>

#include <filesystem>

#include "open/Install.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "shared/MPDelTreeU.h"
#include "window/ArchiveEngines_p.h"
#include "window/CommandSupport_p.h"
#include "window/U_FileToInstall.h"
#include "window/U_Install.h"

namespace arkelin::window {

namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;

QString IMainSettings::InstallNames() const { return QString::fromLatin1(open::kDefaultInstallNames); }

void InstallCommands::Install() {
  if (w_.RefuseWhileBusy() || w_.RefuseForRar()) return;
  QString program;
  QStringList& candidates = w_.InstallList1;
  candidates.clear();
  {
    pf::BusyCursorScope busy(pf::Busy());
    std::vector<open::ArchiveEntryName> entries;
    for (int r = 0; r < w_.model_->RowCountValue(); ++r) {
      const FileRow& row = w_.model_->Row(r);
      entries.push_back({U8(row.path), U8(row.caption)});
    }
    for (const std::string& c : open::InstallCandidates(open::InstallNames(U8(w_.Settings().InstallNames())), entries))
      candidates << Q(c);
  }
  if (candidates.isEmpty()) {
    pf::Dialogs().MessageBox(NoFileText(), pf::MsgKind::Information, pf::BtnOK);
    return;
  }
  const QColor color = w_.Settings().WindowColor();  // invalid: the desktop's
  if (candidates.size() == 1) {
    program = Q(open::CandidateProgram(U8(candidates[0])));
  } else {
    TF_FileToInstall chooser(candidates, color, &w_);
    chooser.ShowModal();
    program = chooser.Chosen;
  }
  if (!program.isEmpty()) {
    TF_Install dlg(program, w_.Settings().TempFolder(), &w_);
    dlg.OnOK = [this, program](TF_Install& d) { w_.RunGuarded([&] { RunInstall(d, program); }, false); };
    dlg.ShowModal();
  }
  candidates.clear();
}

void InstallCommands::RunInstall(TF_Install& dlg, const QString& program) {
  const QString target = dlg.ed_Dir->text();
  const std::filesystem::path folder = pf::ToFsPath(U8(target));
  std::error_code ec;
  if (target.isEmpty()) {
    w_.ShowWarning(QStringLiteral("Couldn't create Directory"));
    return;
  }
  if (!std::filesystem::exists(folder, ec)) {
    if (::mkdir(folder.c_str(), 0777) != 0) {
      w_.ShowWarning(QStringLiteral("Couldn't create Directory"));
      return;
    }
  } else if (pf::Dialogs().MessageBox("Directory already exists!, use it anyway?", pf::MsgKind::Confirm,
                                      pf::BtnYes | pf::BtnNo) != pf::BtnYes) {
    return;
  }

  ez::TZipMaster& zip = w_.engines_->Zip();
  zip.FSpecArgs.clear();
  zip.ExactNames = false;
  w_.ZipMaster1Message(0, QStringLiteral("Beginning Extract from ") + w_.CurrentZipName() + QStringLiteral(" to ") + target);
  {
    EngineScope running(w_);
    pf::BusyCursorScope busy(pf::Busy());
    zip.ExtrBaseDir = U8(target);
    zip.Verbose = true;
    zip.Trace = false;
    zip.ExtrOptions = 0;
    try {
      zip.Extract();
    } catch (...) {
      w_.ShowWarning(kFatalDll);
    }
  }
  // Whatever the program does, or if it never starts, the folder may be emptied.
  open::StartInstallProgram(U8(target), U8(program));
  if (dlg.cb_Remove->isChecked() &&
      pf::Dialogs().MessageBox("Delete temp directory?", pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo) == pf::BtnYes) {
    shared::TMPDelTree del;
    del.Path = U8(target);
    del.Verbose = true;
    del.DeleteRoot = false;
    del.Execute();
  }
}

}  // namespace arkelin::window

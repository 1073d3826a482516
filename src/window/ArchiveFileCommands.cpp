#include "window/ArchiveFileCommands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>

#include "platform/Paths.h"
#include "platform/Platform.h"
#include "platform/Trash.h"
#include "shared/FileOp.h"
#include "shared/U_Globalfunc.h"
#include "window/ArchiveEngines_p.h"
#include "window/CommandSupport_p.h"
#include "window/u_Info.h"

namespace arkelin::window {

namespace pf = arkelin::platform;

void ArchiveFileCommands::Open() {
  if (w_.RefuseWhileBusy()) return;
  pf::FileDialogRequest req;
  req.title = "Open archive";
  req.initialDir = U8(w_.Settings().OpenFolder());
  req.filter = "ZIP Files (*.ZIP)|*.ZIP|Arkelin2001 SFX Files (*.EXE)|*.EXE|RAR Files (*.RAR)|*.RAR";
  req.mustExist = true;
  const std::vector<std::string> chosen = pf::Dialogs().OpenFiles(req);
  if (chosen.empty()) return;
  const QString name = Q(chosen.front());
  w_.MailAttachments.clear();
  if (ExtensionOf(name).toLower() == QStringLiteral(".rar")) {
    w_.EnterRarSession(name);
    return;
  }
  w_.SetRarMode(false);
  w_.RarMode = false;
  // The archive left behind may be a self-extracting program to refresh.
  const QString previous = w_.CurrentZipName();
  if (ExtensionOf(previous).toLower() == QStringLiteral(".exe")) w_.RefreshSelfExtracting(previous);
  w_.ArchiveModified = false;
  ::unlink((pf::DataFolder() + "tmp.tmp").c_str());
  w_.EnterZipSession(name);
}


void ArchiveFileCommands::New() {
  if (w_.RefuseWhileBusy()) return;
  pf::FileDialogRequest req;
  req.title = "Create New ZIP File";
  req.filter = "ZIP Files (*.ZIP)|*.zip";
  req.mustExist = false;
  const std::vector<std::string> chosen = pf::Dialogs().OpenFiles(req);
  if (chosen.empty()) return;
  w_.RarMode = false;
  const QString previous = w_.CurrentZipName();
  if (ExtensionOf(previous).toLower() == QStringLiteral(".exe")) w_.RefreshSelfExtracting(previous);
  ::unlink((pf::DataFolder() + "tmp.tmp").c_str());
  w_.ArchiveModified = false;
  QString name = Q(chosen.front());
  if (ExtensionOf(name).toLower() != QStringLiteral(".zip")) name += QStringLiteral(".zip");
  // The file being replaced is moved aside, not deleted: it goes only once
  // the new archive exists, and comes back when the add is cancelled or fails.
  QString setAside;
  if (DiskNameTaken(name)) {
    if (pf::Dialogs().MessageBox(U8(QStringLiteral("Overwrite Existing File: ") + name + u'?'), pf::MsgKind::Confirm,
                                 pf::BtnYes | pf::BtnNo) != pf::BtnYes)
      return;
    setAside = SetAside(name);
    if (setAside.isEmpty()) {
      pf::Dialogs().MessageBox(U8(QStringLiteral("Unable to replace ") + name), pf::MsgKind::Error, pf::BtnOK);
      return;
    }
  }
  const pf::DriveType type = pf::Drives().TypeOf(pf::Drives().DriveRoot(U8(name)));
  // Only a new archive on removable media is made in volumes: a memory
  // drive (/tmp on tmpfs) or a folder whose mount is unknown takes one file.
  if (!pf::IsChangeableMedium(type) || !w_.Settings().AutoSpan())
    w_.SpanningMode = 0;
  else
    w_.SpanningMode = w_.Settings().FormatEachDisk() ? 1 : 2;
  w_.SetTitle(name);
  w_.SetRarMode(false);
  w_.SetCurrentZipName(name);
  w_.SetArchiveControls(true);
  w_.RunAddCommand({});
  if (setAside.isEmpty()) return;
  if (DiskIsFile(name)) {
    ::unlink(U8(setAside).c_str());
    return;
  }
  // No new archive: the old file is put back and shown again.
  if (!pf::RenameNoReplace(U8(setAside), U8(name))) {
    pf::Dialogs().MessageBox(U8(QStringLiteral("The old archive was kept as ") + setAside), pf::MsgKind::Warning,
                             pf::BtnOK);
    return;
  }
  w_.SetCurrentZipName(QString());
  w_.SetCurrentZipName(name);
}

QString ArchiveFileCommands::SetAside(const QString& name) {
  for (int n = 0; n < 1000; ++n) {
    const QString aside =
        DiskFolderOf(name) + QStringLiteral("/.") + DiskFileOf(name) + QStringLiteral(".replaced-%1").arg(n);
    if (pf::RenameNoReplace(U8(name), U8(aside))) return aside;
    if (errno != EEXIST) break;
  }
  return QString();
}

void ArchiveFileCommands::SaveAs() {
  if (w_.RefuseWhileBusy()) return;
  const QString old = w_.RarMode ? w_.CurrentRarName() : w_.CurrentZipName();
  if (old.isEmpty()) {
    w_.ShowWarning(w_.RarMode ? QStringLiteral("Error :No file loaded") : QStringLiteral("Error :No file selected"));
    return;
  }
  if (!DiskIsFile(old)) {
    w_.ShowWarning(QStringLiteral("File not found: ") + old);
    return;
  }
  pf::FileDialogRequest req;
  req.filter = "ZIP Files (*.ZIP)|*.zip|Arkelin98 SFX Files (*.EXE)|*.EXE";
  req.fileName = U8(old);
  req.mustExist = false;
  const auto answer = pf::Dialogs().SaveFile(req);
  if (!answer) return;
  QString target = Q(*answer);
  if (!NamePart(target).contains(u'.')) {
    if (w_.RarMode)
      target += QStringLiteral(".RAR");
    else
      target += ExtensionOf(old).toLower() == QStringLiteral(".exe") ? QStringLiteral(".EXE") : QStringLiteral(".ZIP");
  }
  // A move that never replaces an existing file; onto another file system
  // the file is copied, then removed.
  bool moved = pf::RenameNoReplace(U8(old), U8(target));
  if (!moved && errno == EXDEV && !DiskNameTaken(target)) {
    shared::TFileOperation move;
    move.Operation = shared::foMove;
    move.FilesFrom = U8(old);
    move.FilesTo = U8(target);
    move.ProgressTitle = "Moving files";
    move.Flags = shared::fofLiteralNames;
    EngineScope running(w_);
    moved = move.Execute() && DiskIsFile(target) && !DiskNameTaken(old);
  }
  if (!moved) {
    w_.ShowWarning(QStringLiteral("Error: Saving file ") + old);
    return;
  }
  if (w_.RarMode)
    w_.engines_->SetArchiveName(target);
  else
    w_.SetCurrentZipName(target);
  w_.SetTitle(target);
}

void ArchiveFileCommands::Copy() {
  if (w_.RefuseWhileBusy()) return;
  const QString source = w_.RarMode ? w_.CurrentRarName() : w_.CurrentZipName();
  if (source.isEmpty()) {
    w_.ShowWarning(kNoArchive);
    return;
  }
  const auto answer = pf::Dialogs().InputBox("Copy archive", "Copy to:", "", false);
  if (!answer) return;
  const QString dest = Q(*answer);
  int64_t size = 0;
  int64_t free = -1;
  if (DiskIsFolder(dest)) {
    size = DiskFileSize(source);
    free = pf::Drives().FreeSpace(pf::Drives().DriveRoot(U8(dest)));
  } else {
    if (pf::Dialogs().MessageBox("Can't find destination drive/directory, Create it?", pf::MsgKind::Warning,
                                 pf::BtnYes | pf::BtnAbort) != pf::BtnYes)
      return;
    if (::mkdir(U8(dest).c_str(), 0777) != 0) {
      pf::Dialogs().MessageBox(U8(QStringLiteral("Unable to create directory ") + dest), pf::MsgKind::Error,
                               pf::BtnOK);
      return;
    }
    // The new folder is empty: its drive needs room for the whole archive.
    size = DiskFileSize(source);
    free = pf::Drives().FreeSpace(pf::Drives().DriveRoot(U8(dest)));
  }
  if (size > free) {
    w_.ShowWarning(QStringLiteral("Not enough space on destination drive!"));
    return;
  }
  QString target = dest;
  if (!target.endsWith(u'/')) target += u'/';
  target += DiskFileOf(source);
  shared::TFileOperation FileOperation1;
  FileOperation1.Operation = shared::foCopy;
  FileOperation1.FilesFrom = U8(source);
  FileOperation1.FilesTo = U8(target);
  FileOperation1.ProgressTitle = "Copying files";
  // The archive's own name, never read as a list or a pattern.
  FileOperation1.Flags = shared::fofLiteralNames;
  bool copied = false;
  {
    // The copy lets events run: meanwhile other commands and closing the
    // window are refused.
    EngineScope running(w_);
    copied = FileOperation1.Execute();
  }
  // A copy that failed or was stopped has been reported by the operation
  // itself; it is not followed by a success message.
  if (!copied) return;
  w_.ShowInformation(QStringLiteral("Copy successful"));
}

void ArchiveFileCommands::DeleteArchive() {
  if (w_.RefuseWhileBusy()) return;
  const QString name = w_.RarMode ? w_.CurrentRarName() : w_.CurrentZipName();
  // By the name's bytes: it need not be UTF-8.
  struct stat st {};
  if (::stat(U8(name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    w_.ShowWarning(QStringLiteral("Zipfile not found: ") + name);
    return;
  }
  if (pf::Dialogs().MessageBox(U8(QStringLiteral("Are you sure you want to delete: ") + name + u'?'),
                               pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo) != pf::BtnYes)
    return;
  if (::unlink(U8(name).c_str()) != 0) {
    pf::Dialogs().MessageBox(U8(QStringLiteral("Unable to delete ") + name), pf::MsgKind::Error, pf::BtnOK);
    return;
  }
  w_.SetTitle(QStringLiteral("<none>"));
  w_.EmptyList();
  w_.model_->ResetCounters();
  // The name stays, but there is no archive left to work on.
  w_.SetArchiveControls(false);
  w_.Panel3->clear();
  w_.ShowTotals();
}

void ArchiveFileCommands::Properties() {
  if (w_.model_->RowCountValue() < 1) {
    w_.ShowWarning(kNoArchive);
    return;
  }
  TF_Info info(&w_);
  info.Fill(w_.RarMode ? w_.CurrentRarName() : w_.CurrentZipName(), *w_.model_);
  info.ShowModal();
}

}  // namespace arkelin::window

#include "window/EntryCommands.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>

#include <algorithm>
#include <climits>

#include "platform/Paths.h"
#include "platform/Platform.h"
#include "shared/U_Globalfunc.h"
#include "window/ArchiveEngines_p.h"
#include "window/CommandSupport_p.h"
#include "window/Addunit.h"
#include "window/extrunit.h"

namespace arkelin::window {

namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;
namespace er = arkelin::engine::rar;

void EntryCommands::Extract() {
  if (w_.RefuseWhileBusy()) return;
  if (w_.RarMode)
    ExtractRar();
  else
    ExtractZip();
}

void EntryCommands::Test() {
  if (w_.RefuseWhileBusy()) return;
  if (w_.RarMode)
    TestRar();
  else
    TestZip();
}

// The extract window, asked with the last folder; false when it was
// cancelled or there is nothing to extract. The folder chosen is kept.
bool EntryCommands::AskExtraction(TExtract& dlg) {
  dlg.SetAllFiles(w_.SelectedRowIndexes().size() < 2);
  dlg.SetFolder(w_.Settings().FolderSetting('E'));
  dlg.ShowModal();
  if (dlg.Cancelled || dlg.ExtractFolder.isEmpty()) return false;
  if (w_.model_->RowCountValue() == 0) {
    w_.ShowWarning(QStringLiteral("Error :No file(s) to extract"));
    return false;
  }
  w_.Settings().StoreLastFolder('E', dlg.Folder());
  return true;
}

void EntryCommands::ExtractZip() {
  if (w_.CurrentZipName().isEmpty()) {
    w_.ShowWarning(kNoArchive);
    return;
  }
  TExtract dlg(&w_);
  if (!AskExtraction(dlg)) return;
  ez::TZipMaster& zip = w_.engines_->Zip();
  zip.FSpecArgs.clear();
  if (!dlg.AllFiles) {
    // The whole entry name, compared exactly: the rows chosen and no other
    // entry whose name differs in case, in a folder, or reads as a pattern.
    zip.ExactNames = true;
    for (int row : w_.SelectedRowIndexes()) zip.FSpecArgs.push_back(U8(w_.model_->Row(row).fullName));
    if (zip.FSpecArgs.empty()) {
      w_.ShowWarning(QStringLiteral("Error :No file(s) selected"));
      return;
    }
  }
  EngineScope running(w_);
  w_.Panel3->setText(QStringLiteral("Extracting files"));
  w_.ZipMaster1Message(0, QStringLiteral("Beginning Extract from ") + w_.CurrentZipName() + QStringLiteral(" to ") +
                           dlg.ExtractFolder);
  w_.ShowProgress(true);
  {
    pf::BusyCursorScope busy(pf::Busy());
    zip.ExtrBaseDir = U8(dlg.ExtractFolder);
    zip.Verbose = true;
    zip.Trace = false;
    zip.ExtrOptions = 0;
    if (dlg.ExpandFolders) zip.ExtrOptions |= ez::ExtrDirNames;
    if (dlg.Overwrite) zip.ExtrOptions |= ez::ExtrOverWrite;
    // "Only Update file(s)": a file on disk as new as the entry, or newer, stays.
    if (dlg.Ch_ExtUpdate->isChecked()) zip.ExtrOptions |= ez::ExtrUpdate;
    try {
      zip.Extract();
    } catch (...) {
      w_.Panel3->clear();
      w_.ShowWarning(kFatalDll);
    }
  }
  w_.ShowProgress(false);
  if (w_.Settings().PromptAfterExtracted() && !w_.cancelRequested_)
    w_.ShowInformation(QString::number(zip.SuccessCount()) + QStringLiteral(" file(s) were extracted"));
  w_.Panel3->clear();
  w_.ShowTotals();
}

void EntryCommands::ExtractRar() {
  TExtract dlg(&w_);
  if (!AskExtraction(dlg)) return;
  er::TRAR& r = w_.engines_->Rar();
  r.FilesToExtract.clear();
  if (!dlg.AllFiles) {
    for (int row : w_.SelectedRowIndexes()) r.FilesToExtract.insert(U8(w_.model_->Row(row).fullName));
    if (r.FilesToExtract.empty()) {
      w_.ShowWarning(QStringLiteral("Error :No file(s) selected"));
      return;
    }
  }
  EngineScope running(w_);
  w_.Panel3->setText(QStringLiteral("Extracting files"));
  w_.ShowProgress(true);
  RarTotals(dlg.AllFiles);
  {
    pf::BusyCursorScope busy(pf::Busy());
    r.TargetDir = U8(dlg.ExtractFolder);
    r.ExtrOptions.DirNames = dlg.ExpandFolders;
    r.ExtrOptions.OverWrite = dlg.Overwrite;
    r.ExtrOptions.Update = dlg.Ch_ExtUpdate->isChecked();
    r.Stop = false;
    r.ExtractFiles();
    // Files really written: not the ones skipped, failed or left as they were.
    w_.RarExtractedFiles = r.SuccessCount();
  }
  w_.ShowProgress(false);
  if (w_.Settings().PromptAfterExtracted() && !w_.cancelRequested_)
    w_.ShowInformation(QString::number(w_.RarExtractedFiles) + QStringLiteral(" file(s) were extracted"));
  w_.Panel3->clear();
  w_.ShowTotals();
}

void EntryCommands::RarTotals(bool allRows) {
  // The RAR reader announces no totals: the list knows them.
  int64_t files = 0, bytes = 0;
  auto count = [&](int row) {
    ++files;
    bytes += w_.model_->Row(row).uncompressed;
  };
  if (allRows)
    for (int row = 0; row < w_.model_->RowCountValue(); ++row) count(row);
  else
    for (int row : w_.SelectedRowIndexes()) count(row);
  w_.meter_.SetTotalFiles(files);
  w_.meter_.SetTotalBytes(bytes);
}

void EntryCommands::TestZip() {
  ez::TZipMaster& zip = w_.engines_->Zip();
  if (zip.Count() == 0) {
    pf::Dialogs().ShowMessage("Error - nothing to Test");
    return;
  }
  if (w_.CurrentZipName().isEmpty()) return;
  EngineScope running(w_);
  qint64 start = 0, end = 0;
  w_.ShowProgress(true);
  {
    pf::BusyCursorScope busy(pf::Busy());
    zip.Verbose = false;
    zip.Trace = false;
    w_.Panel3->setText(QStringLiteral("Testing archive"));
    w_.ZipMaster1Message(0, QStringLiteral("Beginning test of ") + w_.CurrentZipName());
    zip.FSpecArgs = {"*.*"};
    zip.ExtrOptions |= ez::ExtrTest;
    QElapsedTimer clock;
    clock.start();
    start = 0;
    try {
      zip.Extract();
    } catch (...) {
      w_.ShowWarning(kFatalDll);
    }
    end = clock.elapsed();
  }
  w_.ShowProgress(false);
  w_.Panel3->setText(QStringLiteral("Time elapsed: ") + Q(shared::ElapsedText(start, end)));
  w_.ShowTotals();
  if (w_.cancelRequested_) return;  // a stopped test proves nothing either way
  // Folder entries are not tested by the engine and never count as
  // successes: counting them would call every archive with folders bad.
  int count = 0;
  for (const ez::ZipDirEntry& e : zip.Entries())
    if (!e.FileName.empty() && e.FileName.back() != '\\' && e.FileName.back() != '/') ++count;
  const int good = zip.SuccessCount();
  if (count == good)
    w_.ShowInformation(QStringLiteral("All %1 files tested OK").arg(count));
  else
    pf::Dialogs().MessageBox(U8(QStringLiteral("ERROR: %1 files tested BAD, or skipped!").arg(count - good)),
                             pf::MsgKind::Error, pf::BtnOK);
}

void EntryCommands::TestRar() {
  EngineScope running(w_);
  er::TRAR& r = w_.engines_->Rar();
  bool ok = false;
  w_.ShowProgress(true);
  RarTotals(true);
  {
    pf::BusyCursorScope busy(pf::Busy());
    r.Stop = false;
    ok = r.TestFiles();
  }
  w_.ShowProgress(false);
  w_.Panel3->clear();
  w_.ShowTotals();
  if (w_.cancelRequested_) return;
  w_.ShowInformation(ok ? QStringLiteral("Archive is OK") : QStringLiteral("Archive is corrupted"));
}

void EntryCommands::Add(const QStringList& prefill) {
  w_.LastAddRequest = prefill;
  if (w_.RefuseForRar()) return;
  if (w_.CurrentZipName().isEmpty()) {
    w_.ShowWarning(kNoArchive);
    return;
  }
  TAddForm form(&w_);
  w_.addForm_ = &form;
  w_.AddWindowTag = 1;
  form.OnShellDrop = [this](const QStringList& names) { w_.DropFiles(names); };
  form.OnActivate = [this, &form] {
    const bool on = w_.Settings().AcceptOutside();
    form.AcceptOutside(on);
    w_.setAcceptDrops(on);
  };
  form.CheckBox1->setChecked(w_.SpanningMode == 1 || w_.SpanningMode == 2);
  form.SetNames(prefill);
  form.Cancelled = false;
  form.SetFolder(w_.Settings().FolderSetting('A'));
  form.SetAesBits(w_.Settings().AddAesBits());
  form.ShowModal();
  w_.AddWindowTag = 0;
  w_.addForm_ = nullptr;
  if (form.Cancelled) return;
  const QStringList names = form.Names();
  if (names.isEmpty()) {
    w_.ShowWarning(QStringLiteral("No files selected!"));
    return;
  }
  // A password is typed twice: a slip of the finger would lock the files away.
  const std::string password = U8(form.Password());
  if (!password.empty()) {
    const auto again = pf::Dialogs().InputBox("Password", "Enter the password again", "", true);
    if (!again) return;
    if (*again != password) {
      w_.ShowWarning(QStringLiteral("The two passwords differ; nothing was added"));
      return;
    }
  }
  w_.Settings().StoreLastFolder('A', form.Folder());
  w_.Settings().StoreAddAesBits(form.AesBits());
  ez::TZipMaster& zip = w_.engines_->Zip();
  EngineScope running(w_);
  w_.Panel3->setText(QStringLiteral("Adding file(s)"));
  w_.ZipMaster1Message(0, QStringLiteral("Beginning Add to ") + w_.CurrentZipName());
  w_.ArchiveModified = true;
  w_.ShowProgress(true);
  {
    pf::BusyCursorScope busy(pf::Busy());
    zip.Verbose = true;
    zip.Trace = false;
    zip.AddCompLevel = w_.Settings().CompressionLevel();
    ez::AddOpts o = 0;
    if (w_.Settings().RecurseDirs()) o |= ez::AddRecurseDirs;
    if (w_.Settings().SaveDirNames()) o |= ez::AddDirNames;
    if (form.CB_Move->isChecked()) o |= ez::AddMove;
    if (w_.Settings().UseTimestamp()) o |= ez::AddZipTime;
    if (w_.Settings().ForceMsDos()) o |= ez::AddForceDOS;
    if (form.Ch_Update->isChecked()) o |= ez::AddUpdate;
    if (form.CheckBox1->isChecked()) o |= w_.Settings().FormatEachDisk() ? ez::AddDiskSpanErase : ez::AddDiskSpan;
    // The password encrypts this add only; the session's own stays.
    const std::string sessionPassword = zip.Password;
    if (!password.empty()) {
      o |= ez::AddEncrypt;
      zip.SetPassword(password);
      zip.AddAesBits = form.AesBits();
    }
    zip.AddOptions = o;
    zip.FSpecArgs.clear();
    for (const QString& n : names) zip.FSpecArgs.push_back(U8(n));
    form.ClearNames();
    try {
      zip.Add();
    } catch (...) {
      w_.ShowWarning(kFatalDll);
    }
    zip.Password = sessionPassword;
    zip.AddAesBits = 0;
  }
  w_.ShowProgress(false);
  w_.Panel3->clear();
  w_.ShowTotals();
}

void EntryCommands::DropFiles(const QStringList& names) {
  if (names.isEmpty()) return;
  if (w_.RefuseWhileBusy()) return;
  const QString& first = names.front();
  // The file name's extension decides ("/home/john.doe/x.txt" is no archive).
  if (ExtensionOf(first).toLower() == QStringLiteral(".zip")) {
    const pf::Button b =
        pf::Dialogs().MessageBox("What do you like to do: Open Zipfile(Yes), Add Zipfile(No), Abort(Abort)",
                                 pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo | pf::BtnAbort);
    if (b == pf::BtnYes) {
      if (w_.AddWindowTag == 1) return;  // the Add window works on the current archive
      // The archive becomes current with its commands usable (a RAR session
      // left behind would otherwise keep the ZIP commands switched off).
      w_.SetRarMode(false);
      w_.RarMode = false;
      w_.SetCurrentZipName(first);
      w_.SetArchiveControls(true);
      w_.Panel4->setText(first);
      return;
    }
    if (b != pf::BtnNo) return;
  }
  if (w_.AddWindowTag == 1 && w_.addForm_) {
    w_.addForm_->AppendNames(names);
    return;
  }
  if (w_.RefuseForRar()) return;
  if (w_.CurrentZipName().isEmpty()) {
    QString name;
    if (w_.Settings().AskZipName()) {
      const auto answer = pf::Dialogs().InputBox("Zipfile", "Name:", "", false);
      if (!answer) return;
      name = Q(*answer);
    } else {
      name = w_.Settings().DefaultZipName();
    }
    w_.SetCurrentZipName(name);
    w_.SetArchiveControls(true);
    w_.Panel4->setText(name);
  }
  w_.DropList += names;
  const QStringList files = w_.DropList;
  w_.DropList.clear();
  AddWithFolderNames(files, w_.Settings().PromptAfterAdded());
}

void EntryCommands::AddWithFolderNames(const QStringList& files, bool sayCount) {
  ez::TZipMaster& zip = w_.engines_->Zip();
  EngineScope running(w_);
  w_.Panel4->setText(QStringLiteral("Adding file(s)"));
  w_.ZipMaster1Message(0, QStringLiteral("Beginning Add to ") + w_.CurrentZipName());
  w_.ArchiveModified = true;
  w_.ShowProgress(true);
  {
    pf::BusyCursorScope busy(pf::Busy());
    zip.Verbose = true;
    zip.Trace = false;
    zip.AddOptions = ez::AddRecurseDirs | ez::AddDirNames;
    zip.AddCompLevel = w_.Settings().CompressionLevel();
    zip.FSpecArgs.clear();
    for (const QString& f : files) zip.FSpecArgs.push_back(U8(f));
    try {
      zip.Add();
    } catch (...) {
      w_.ShowWarning(kFatalDll);
    }
  }
  w_.ShowProgress(false);
  // The totals of the archive as it is now (the text shown before the add
  // would give the old figures).
  w_.ShowTotals();
  if (sayCount && !w_.cancelRequested_)
    w_.ShowInformation(QString::number(zip.SuccessCount()) + QStringLiteral(" files were added"));
}

void EntryCommands::Delete() {
  if (w_.RefuseWhileBusy()) return;
  if (w_.RefuseForRar()) return;
  if (w_.model_->RowCountValue() == 0) {
    w_.ShowWarning(QStringLiteral("Error :No file(s) to delete"));
    return;
  }
  if (pf::Dialogs().MessageBox(U8(QStringLiteral("Delete selected files from: ") + w_.CurrentZipName() + u'?'),
                               pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo) != pf::BtnYes)
    return;
  ez::TZipMaster& zip = w_.engines_->Zip();
  zip.FSpecArgs.clear();
  zip.ExactNames = true;  // exactly the rows chosen
  for (int row : w_.SelectedRowIndexes()) {
    const FileRow& r = w_.model_->Row(row);
    zip.FSpecArgs.push_back(shared::WithEntrySeparator(U8(r.path)) + U8(r.caption));
  }
  if (zip.FSpecArgs.empty()) {
    w_.ShowWarning(QStringLiteral("Error :No file(s) selected"));
    return;
  }
  EngineScope running(w_);
  w_.ShowProgress(true);
  w_.Panel3->setText(QStringLiteral("Deleting file(s)"));
  w_.ZipMaster1Message(0, QStringLiteral("Beginning delete from ") + w_.CurrentZipName());
  w_.ArchiveModified = true;
  zip.Verbose = true;
  zip.Trace = false;
  {
    pf::BusyCursorScope busy(pf::Busy());
    try {
      zip.Delete();
    } catch (...) {
      w_.Panel3->clear();
      w_.ShowWarning(QStringLiteral("Fatal error trying to delete"));
    }
  }
  w_.ShowProgress(false);
  if (w_.Settings().PromptAfterDeleted() && !w_.cancelRequested_)
    w_.ShowInformation(QString::number(zip.SuccessCount()) + QStringLiteral(" file(s) were Deleted"));
  w_.Panel3->clear();
  w_.ShowTotals();
}

void EntryCommands::ChangePassword() {
  if (w_.RefuseWhileBusy()) return;
  if (w_.RefuseForRar()) return;
  if (w_.CurrentZipName().isEmpty()) {
    w_.ShowWarning(kNoArchive);
    return;
  }
  ez::TZipMaster& zip = w_.engines_->Zip();
  if (zip.Count() == 0) {
    w_.ShowWarning(QStringLiteral("Error - nothing to encrypt"));
    return;
  }
  const char* caption = "Change password";
  bool anyEncrypted = false;
  for (const ez::ZipDirEntry& e : zip.Entries()) anyEncrypted = anyEncrypted || e.Encrypted();
  std::string present;
  if (anyEncrypted) {
    const auto answer = pf::Dialogs().InputBox(caption, "Present password:", "", true);
    if (!answer) return;
    present = *answer;
  }
  const int bits = w_.Settings().AddAesBits();
  const QString kind = bits ? QStringLiteral("AES-%1").arg(bits) : QStringLiteral("traditional");
  const auto fresh =
      pf::Dialogs().InputBox(caption, U8(QStringLiteral("New password (%1 encryption):").arg(kind)), "", true);
  if (!fresh) return;
  if (fresh->empty()) {
    w_.ShowWarning(QStringLiteral("No new password given; nothing was changed"));
    return;
  }
  const auto again = pf::Dialogs().InputBox(caption, "Enter the new password again:", "", true);
  if (!again) return;
  if (*again != *fresh) {
    w_.ShowWarning(QStringLiteral("The two passwords differ; nothing was changed"));
    return;
  }
  EngineScope running(w_);
  w_.ShowProgress(true);
  w_.Panel3->setText(QStringLiteral("Changing the password"));
  w_.ZipMaster1Message(0, QStringLiteral("Beginning change of password of ") + w_.CurrentZipName());
  w_.ArchiveModified = true;
  zip.Verbose = false;
  zip.Trace = false;
  {
    pf::BusyCursorScope busy(pf::Busy());
    try {
      zip.ChangePassword(present, *fresh, bits);
    } catch (...) {
      w_.ShowWarning(kFatalDll);
    }
  }
  w_.ShowProgress(false);
  w_.Panel3->clear();
  w_.ShowTotals();
  if (w_.cancelRequested_ || zip.SuccessCount() == 0) return;  // the engine said why
  w_.ShowInformation(QStringLiteral("%1 file(s) encrypted with the new password").arg(zip.SuccessCount()));
}

}  // namespace arkelin::window

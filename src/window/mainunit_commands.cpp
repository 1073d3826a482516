// The archive window's commands on the archive file (new, save as, copy,
// delete, properties), on its entries (extract, test, add, delete, drops) and
// the engine's progress, messages and cancel. Part of TMainform; see
// mainunit.h.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QItemSelectionModel>

#include <algorithm>
#include <climits>

#include "platform/Paths.h"
#include "platform/Platform.h"
#include "shared/FileOp.h"
#include "shared/U_Globalfunc.h"
#include "shared/widgets/U_InmDlg.h"
#include "window/Addunit.h"
#include "window/ArchiveEngines_p.h"
#include "window/extrunit.h"
#include "window/mainunit.h"
#include "window/u_Info.h"

namespace arkelin::window {

namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;
namespace er = arkelin::engine::rar;

namespace {

std::string U8(const QString& s) { return s.toStdString(); }
QString Q(const std::string& s) { return QString::fromStdString(s); }

const char* const kNoArchive = "You must create a new zipfile or open a zipfile first!";
const char* const kFatalDll = "Error in Extract; Fatal DLL Exception";

}  // namespace

// Marks an engine command as running for its whole extent (every path out,
// exceptions included), and starts it with no cancel pending.
struct EngineScope {
  explicit EngineScope(TMainform& f) : f_(f) {
    if (f_.engineDepth_++ == 0) f_.cancelRequested_ = false;
  }
  ~EngineScope() { --f_.engineDepth_; }
  EngineScope(const EngineScope&) = delete;
  EngineScope& operator=(const EngineScope&) = delete;
  TMainform& f_;
};

ez::TZipMaster& TMainform::ZipMaster1() { return engines_->Zip(); }
er::TRAR& TMainform::rar() { return engines_->Rar(); }
TAddForm* TMainform::AddForm() const { return addForm_; }

QString TMainform::BusyText() { return QStringLiteral("Please wait: a command is still running"); }

bool TMainform::RefuseWhileBusy() {
  if (!EngineBusy()) return false;
  Panel3->setText(BusyText());
  return true;
}

void TMainform::ShowWarning(const QString& text) {
  pf::Dialogs().MessageBox(U8(text), pf::MsgKind::Warning, pf::BtnOK);
}

void TMainform::ShowInformation(const QString& text) {
  pf::Dialogs().MessageBox(U8(text), pf::MsgKind::Information, pf::BtnOK);
}

void TMainform::ShowProgress(bool on) {
  if (on) {
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
  }
  ProgressBar1->setVisible(on);
  CancelBut->setVisible(on);
}

QList<int> TMainform::SelectedRowIndexes() const {
  QList<int> rows;
  for (const QModelIndex& r : lw_Files->selectionModel()->selectedRows()) rows << r.row();
  std::sort(rows.begin(), rows.end());
  return rows;
}

// ---- Engine events ----------------------------------------------------------------------

void TMainform::WireEngineEvents() {
  ez::TZipMaster& zip = engines_->Zip();
  zip.OnProgress = [this](ez::TZipMaster&, ez::ProgressType t, const std::string& name, int64_t size) {
    ZipMaster1Progress(t, Q(name), size);
  };
  zip.OnMessage = [this](ez::TZipMaster&, int code, const std::string& msg) { ZipMaster1Message(code, Q(msg)); };

  er::TRAR& r = engines_->Rar();
  r.OnExtracting = [this](er::TRAR&, const ::RARHeaderDataEx& h) {
    ++RarExtractedFiles;
    Panel3->setText(QStringLiteral("Extracting file"));
    Panel4->setText(RarEntryName(h));
    int64_t size = static_cast<int64_t>((static_cast<uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize);
    rarShift_ = 0;
    while ((size >> rarShift_) > INT_MAX) ++rarShift_;
    ProgressBar1->setRange(0, static_cast<int>(size >> rarShift_));
    ProgressBar1->setValue(0);
    pf::Pump().ProcessMessages();
  };
  r.OnProcessData = [this](er::TRAR&, const unsigned char*, int, long long position) {
    ProgressBar1->setValue(static_cast<int>(std::min<long long>(position >> rarShift_, ProgressBar1->maximum())));
    pf::Pump().ProcessMessages();
    // Cancel stops inside a large entry too, not only between entries.
    return cancelRequested_ ? 0 : 1;
  };
  r.OnTesting = [this](er::TRAR&, const ::RARHeaderDataEx& h) {
    Panel3->setText(QStringLiteral("Testing file"));
    Panel4->setText(RarEntryName(h));
    pf::Pump().ProcessMessages();
  };
  r.OnTested = [this](er::TRAR&, const ::RARHeaderDataEx& h, bool ok) {
    if (!ok && !cancelRequested_) ShowWarning(RarEntryName(h) + QStringLiteral("Has CRC ERROR"));
    pf::Pump().ProcessMessages();
  };
  r.OnVolumeChange = [](er::TRAR&, const char* arcName, int mode) {
    if (mode == RAR_VOL_ASK)
      pf::Dialogs().MessageBox(std::string("Please Insert disk with ") + arcName, pf::MsgKind::Information,
                               pf::BtnOK);
    return 1;
  };
  r.OnReqPassword = [](er::TRAR&, const ::RARHeaderDataEx&, std::string& password) {
    std::string fields = shared::RarPasswordFields();
    shared::AskFields("Password required", fields);
    password = shared::FirstField(fields);
  };
  r.OnError = [this](er::TRAR&, int code) {
    // An entry stopped by Cancel is not an error the user needs to read.
    if (cancelRequested_) return;
    pf::Dialogs().MessageBox(er::TRAR::ErrorText(code), pf::MsgKind::Error, pf::BtnOK);
  };
}

void TMainform::ZipMaster1Progress(ez::ProgressType type, const QString& fileName, int64_t fileSize) {
  switch (type) {
    case ez::ProgrNewFile: {
      Panel4->setText(NamePart(fileName));
      ProgressBar1->setRange(1, 10);
      ProgressBar1->setValue(1);
      const int64_t blocks = fileSize / 32768;
      ProgressBar1->setMaximum(blocks >= 2 ? static_cast<int>(std::min<int64_t>(blocks, INT_MAX)) : 1);
      if (fileSize < 32768) ProgressBar1->setValue(std::min(ProgressBar1->value() + 1, ProgressBar1->maximum()));
      break;
    }
    case ez::ProgrUpdate:
      if (ProgressBar1->value() < ProgressBar1->maximum()) ProgressBar1->setValue(ProgressBar1->value() + 1);
      break;
    case ez::ProgrEndOfBatch:
      ProgressBar1->setRange(1, 10);
      ProgressBar1->setValue(1);
      break;
    default:
      break;
  }
  pf::Pump().ProcessMessages();
}

void TMainform::ZipMaster1Message(int errCode, const QString& message) {
  if (errCode > 0) ShowWarning(QStringLiteral("Error message from DLL: ") + message);
}

void TMainform::CancelButClick() {
  if (CancelTag != 0) {
    CancelTag = 0;
    return;
  }
  if (!EngineBusy()) return;
  cancelRequested_ = true;
  if (RarMode) {
    engines_->Rar().Stop = true;
    return;
  }
  // Extract and test stop too, not only add and delete.
  ez::TZipMaster& zip = engines_->Zip();
  if (zip.WriteBusy() || zip.ReadBusy()) zip.Cancel = true;
}

// ---- Extract and test -----------------------------------------------------------------

void TMainform::Extract1Click() {
  if (RefuseWhileBusy()) return;
  if (RarMode)
    ExtractRar();
  else
    ExtractZip();
}

void TMainform::ExtractZip() {
  if (CurrentZipName().isEmpty()) {
    ShowWarning(kNoArchive);
    return;
  }
  TExtract dlg(this);
  dlg.SetAllFiles(SelectedRowIndexes().size() < 2);
  dlg.SetFolder(Settings().FolderSetting('E'));
  dlg.ShowModal();
  if (dlg.Cancelled || dlg.ExtractFolder.isEmpty()) return;
  if (model_->RowCountValue() == 0) {
    ShowWarning(QStringLiteral("Error :No file(s) to extract"));
    return;
  }
  Settings().StoreLastFolder('E', dlg.Folder());
  ez::TZipMaster& zip = engines_->Zip();
  zip.FSpecArgs.clear();
  if (!dlg.AllFiles) {
    // The whole entry name: a bare file name would not find an entry that
    // sits in a folder of the archive.
    for (int row : SelectedRowIndexes()) zip.FSpecArgs.push_back(U8(model_->Row(row).fullName));
    if (zip.FSpecArgs.empty()) {
      ShowWarning(QStringLiteral("Error :No file(s) selected"));
      return;
    }
  }
  EngineScope running(*this);
  Panel3->setText(QStringLiteral("Extracting files"));
  ZipMaster1Message(0, QStringLiteral("Beginning Extract from ") + CurrentZipName() + QStringLiteral(" to ") +
                           dlg.ExtractFolder);
  ShowProgress(true);
  {
    pf::BusyCursorScope busy(pf::Busy());
    zip.ExtrBaseDir = U8(dlg.ExtractFolder);
    zip.Verbose = true;
    zip.Trace = false;
    zip.ExtrOptions = 0;
    if (dlg.ExpandFolders) zip.ExtrOptions |= ez::ExtrDirNames;
    if (dlg.Overwrite) zip.ExtrOptions |= ez::ExtrOverWrite;
    try {
      zip.Extract();
    } catch (...) {
      Panel3->clear();
      ShowWarning(kFatalDll);
    }
  }
  ShowProgress(false);
  if (Settings().PromptAfterExtracted() && !cancelRequested_)
    ShowInformation(QString::number(zip.SuccessCount()) + QStringLiteral(" file(s) were extracted"));
  Panel3->clear();
}

void TMainform::ExtractRar() {
  TExtract dlg(this);
  dlg.SetAllFiles(SelectedRowIndexes().size() < 2);
  dlg.SetFolder(Settings().FolderSetting('E'));
  dlg.ShowModal();
  if (dlg.Cancelled || dlg.ExtractFolder.isEmpty()) return;
  if (model_->RowCountValue() == 0) {
    ShowWarning(QStringLiteral("Error :No file(s) to extract"));
    return;
  }
  Settings().StoreLastFolder('E', dlg.Folder());
  er::TRAR& r = engines_->Rar();
  r.FilesToExtract.clear();
  if (!dlg.AllFiles) {
    for (int row : SelectedRowIndexes()) r.FilesToExtract.insert(U8(model_->Row(row).fullName));
    if (r.FilesToExtract.empty()) {
      ShowWarning(QStringLiteral("Error :No file(s) selected"));
      return;
    }
  }
  EngineScope running(*this);
  Panel3->setText(QStringLiteral("Extracting files"));
  ShowProgress(true);
  {
    pf::BusyCursorScope busy(pf::Busy());
    r.TargetDir = U8(dlg.ExtractFolder);
    RarExtractedFiles = 0;
    r.Stop = false;
    r.ExtractFiles();
  }
  ShowProgress(false);
  if (Settings().PromptAfterExtracted() && !cancelRequested_)
    ShowInformation(QString::number(RarExtractedFiles) + QStringLiteral(" file(s) were extracted"));
  Panel3->clear();
  ShowTotals();
}

void TMainform::Test1Click() {
  if (RefuseWhileBusy()) return;
  if (RarMode)
    TestRar();
  else
    TestZip();
}

void TMainform::TestZip() {
  ez::TZipMaster& zip = engines_->Zip();
  if (zip.Count() == 0) {
    pf::Dialogs().ShowMessage("Error - nothing to Test");
    return;
  }
  if (CurrentZipName().isEmpty()) return;
  EngineScope running(*this);
  qint64 start = 0, end = 0;
  {
    pf::BusyCursorScope busy(pf::Busy());
    zip.Verbose = false;
    zip.Trace = false;
    Panel3->setText(QStringLiteral("Testing archive"));
    ZipMaster1Message(0, QStringLiteral("Beginning test of ") + CurrentZipName());
    zip.FSpecArgs = {"*.*"};
    zip.ExtrOptions |= ez::ExtrTest;
    QElapsedTimer clock;
    clock.start();
    start = 0;
    try {
      zip.Extract();
    } catch (...) {
      ShowWarning(kFatalDll);
    }
    end = clock.elapsed();
  }
  Panel3->setText(QStringLiteral("Time elapsed: ") + Q(shared::ElapsedText(start, end)));
  ShowTotals();
  if (cancelRequested_) return;  // a stopped test proves nothing either way
  // Folder entries are not tested by the engine and never count as
  // successes: counting them would call every archive with folders bad.
  int count = 0;
  for (const ez::ZipDirEntry& e : zip.Entries())
    if (!e.FileName.empty() && e.FileName.back() != '\\' && e.FileName.back() != '/') ++count;
  const int good = zip.SuccessCount();
  if (count == good)
    ShowInformation(QStringLiteral("All %1 files tested OK").arg(count));
  else
    pf::Dialogs().MessageBox(U8(QStringLiteral("ERROR: %1 files tested BAD, or skipped!").arg(count - good)),
                             pf::MsgKind::Error, pf::BtnOK);
}

void TMainform::TestRar() {
  EngineScope running(*this);
  er::TRAR& r = engines_->Rar();
  bool ok = false;
  {
    pf::BusyCursorScope busy(pf::Busy());
    r.Stop = false;
    ok = r.TestFiles();
  }
  Panel3->clear();
  ShowTotals();
  if (cancelRequested_) return;
  ShowInformation(ok ? QStringLiteral("Archive is OK") : QStringLiteral("Archive is corrupted"));
}

// ---- Add, drop and delete ----------------------------------------------------------------

void TMainform::Add1Click() {
  if (RefuseWhileBusy()) return;
  RunAddCommand({});
}

void TMainform::RunAddCommand(const QStringList& prefill) {
  LastAddRequest = prefill;
  if (RefuseForRar()) return;
  if (CurrentZipName().isEmpty()) {
    ShowWarning(kNoArchive);
    return;
  }
  TAddForm form(this);
  addForm_ = &form;
  AddWindowTag = 1;
  form.OnShellDrop = [this](const QStringList& names) { DropFiles(names); };
  form.OnActivate = [this, &form] {
    const bool on = Settings().AcceptOutside();
    form.AcceptOutside(on);
    setAcceptDrops(on);
  };
  form.CheckBox1->setChecked(SpanningMode == 1 || SpanningMode == 2);
  form.SetNames(prefill);
  form.Cancelled = false;
  form.SetFolder(Settings().FolderSetting('A'));
  form.ShowModal();
  AddWindowTag = 0;
  addForm_ = nullptr;
  if (form.Cancelled) return;
  const QStringList names = form.Names();
  if (names.isEmpty()) {
    ShowWarning(QStringLiteral("No files selected!"));
    return;
  }
  Settings().StoreLastFolder('A', form.Folder());
  ez::TZipMaster& zip = engines_->Zip();
  EngineScope running(*this);
  Panel3->setText(QStringLiteral("Adding file(s)"));
  ZipMaster1Message(0, QStringLiteral("Beginning Add to ") + CurrentZipName());
  ArchiveModified = true;
  ShowProgress(true);
  {
    pf::BusyCursorScope busy(pf::Busy());
    zip.Verbose = true;
    zip.Trace = false;
    zip.AddCompLevel = Settings().CompressionLevel();
    ez::AddOpts o = 0;
    if (Settings().RecurseDirs()) o |= ez::AddRecurseDirs;
    if (Settings().SaveDirNames()) o |= ez::AddDirNames;
    if (form.CB_Move->isChecked()) o |= ez::AddMove;
    if (Settings().UseTimestamp()) o |= ez::AddZipTime;
    if (Settings().ForceMsDos()) o |= ez::AddForceDOS;
    if (form.Ch_Update->isChecked()) o |= ez::AddUpdate;
    if (form.CheckBox1->isChecked()) o |= Settings().FormatEachDisk() ? ez::AddDiskSpanErase : ez::AddDiskSpan;
    zip.AddOptions = o;
    zip.FSpecArgs.clear();
    for (const QString& n : names) zip.FSpecArgs.push_back(U8(n));
    form.ClearNames();
    try {
      zip.Add();
    } catch (...) {
      ShowWarning(kFatalDll);
    }
  }
  ShowProgress(false);
  Panel3->clear();
}

void TMainform::DropFiles(const QStringList& names) {
  if (names.isEmpty()) return;
  if (RefuseWhileBusy()) return;
  const QString& first = names.front();
  const int dot = first.indexOf(u'.');
  if (dot >= 0 && first.mid(dot + 1, 3).toLower() == QStringLiteral("zip")) {
    const pf::Button b =
        pf::Dialogs().MessageBox("What do you like to do: Open Zipfile(Yes), Add Zipfile(No), Abort(Abort)",
                                 pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo | pf::BtnAbort);
    if (b == pf::BtnYes) {
      if (AddWindowTag == 1) return;  // the Add window works on the current archive
      // The archive becomes current with its commands usable (a RAR session
      // left behind would otherwise keep the ZIP commands switched off).
      SetRarMode(false);
      RarMode = false;
      SetCurrentZipName(first);
      SetArchiveControls(true);
      Panel4->setText(first);
      return;
    }
    if (b != pf::BtnNo) return;
  }
  if (AddWindowTag == 1 && addForm_) {
    addForm_->AppendNames(names);
    return;
  }
  if (RefuseForRar()) return;
  if (CurrentZipName().isEmpty()) {
    QString name;
    if (Settings().AskZipName()) {
      const auto answer = pf::Dialogs().InputBox("Zipfile", "Name:", "", false);
      if (!answer) return;
      name = Q(*answer);
    } else {
      name = Settings().DefaultZipName();
    }
    SetCurrentZipName(name);
    SetArchiveControls(true);
    Panel4->setText(name);
  }
  DropList += names;
  ez::TZipMaster& zip = engines_->Zip();
  EngineScope running(*this);
  Panel4->setText(QStringLiteral("Adding file(s)"));
  ZipMaster1Message(0, QStringLiteral("Beginning Add to ") + CurrentZipName());
  ArchiveModified = true;
  ShowProgress(true);
  {
    pf::BusyCursorScope busy(pf::Busy());
    zip.Verbose = true;
    zip.Trace = false;
    zip.AddOptions = ez::AddRecurseDirs | ez::AddDirNames;
    zip.AddCompLevel = Settings().CompressionLevel();
    zip.FSpecArgs.clear();
    for (const QString& n : DropList) zip.FSpecArgs.push_back(U8(n));
    DropList.clear();
    try {
      zip.Add();
    } catch (...) {
      ShowWarning(kFatalDll);
    }
  }
  ShowProgress(false);
  // The totals of the archive as it is now (the text shown before the add
  // would give the old figures).
  ShowTotals();
  if (Settings().PromptAfterAdded() && !cancelRequested_)
    ShowInformation(QString::number(zip.SuccessCount()) + QStringLiteral(" files were added"));
}

void TMainform::Delete1Click() {
  if (RefuseWhileBusy()) return;
  if (RefuseForRar()) return;
  if (model_->RowCountValue() == 0) {
    ShowWarning(QStringLiteral("Error :No file(s) to delete"));
    return;
  }
  if (pf::Dialogs().MessageBox(U8(QStringLiteral("Delete selected files from: ") + CurrentZipName() + u'?'),
                               pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo) != pf::BtnYes)
    return;
  ez::TZipMaster& zip = engines_->Zip();
  zip.FSpecArgs.clear();
  for (int row : SelectedRowIndexes()) {
    const FileRow& r = model_->Row(row);
    zip.FSpecArgs.push_back(shared::WithEntrySeparator(U8(r.path)) + U8(r.caption));
  }
  if (zip.FSpecArgs.empty()) {
    ShowWarning(QStringLiteral("Error :No file(s) selected"));
    return;
  }
  EngineScope running(*this);
  ShowProgress(true);
  Panel3->setText(QStringLiteral("Deleting file(s)"));
  ZipMaster1Message(0, QStringLiteral("Beginning delete from ") + CurrentZipName());
  ArchiveModified = true;
  zip.Verbose = true;
  zip.Trace = false;
  {
    pf::BusyCursorScope busy(pf::Busy());
    try {
      zip.Delete();
    } catch (...) {
      Panel3->clear();
      ShowWarning(QStringLiteral("Fatal error trying to delete"));
    }
  }
  ShowProgress(false);
  if (Settings().PromptAfterDeleted() && !cancelRequested_)
    ShowInformation(QString::number(zip.SuccessCount()) + QStringLiteral(" file(s) were Deleted"));
  Panel3->clear();
  ShowTotals();
}

// ---- Archive file commands ------------------------------------------------------------------

void TMainform::Newarchive1Click() {
  if (RefuseWhileBusy()) return;
  pf::FileDialogRequest req;
  req.title = "Create New ZIP File";
  req.filter = "ZIP Files (*.ZIP)|*.zip";
  req.mustExist = false;
  const std::vector<std::string> chosen = pf::Dialogs().OpenFiles(req);
  if (chosen.empty()) return;
  RarMode = false;
  const QString previous = CurrentZipName();
  const int dot = previous.indexOf(u'.');
  if (dot >= 0 && previous.mid(dot + 1, 3).toLower() == QStringLiteral("exe")) RefreshSelfExtracting(previous);
  QFile::remove(Q(pf::DataFolder()) + QStringLiteral("tmp.tmp"));
  ArchiveModified = false;
  QString name = Q(chosen.front());
  if (!name.toLower().contains(QStringLiteral(".zip"))) name += QStringLiteral(".zip");
  if (QFileInfo::exists(name)) {
    if (pf::Dialogs().MessageBox(U8(QStringLiteral("Overwrite Existing File: ") + name + u'?'), pf::MsgKind::Confirm,
                                 pf::BtnYes | pf::BtnNo) != pf::BtnYes)
      return;
    QFile::remove(name);
  }
  const pf::DriveType type = pf::Drives().TypeOf(pf::Drives().DriveRoot(U8(name)));
  if (type == pf::DriveType::Fixed || type == pf::DriveType::Remote || !Settings().AutoSpan())
    SpanningMode = 0;
  else
    SpanningMode = Settings().FormatEachDisk() ? 1 : 2;
  SetTitle(name);
  SetRarMode(false);
  SetCurrentZipName(name);
  SetArchiveControls(true);
  RunAddCommand({});
}

void TMainform::Savearchiveas1Click() {
  if (RefuseWhileBusy()) return;
  const QString old = RarMode ? CurrentRarName() : CurrentZipName();
  if (old.isEmpty()) {
    ShowWarning(RarMode ? QStringLiteral("Error :No file loaded") : QStringLiteral("Error :No file selected"));
    return;
  }
  if (!QFileInfo::exists(old)) {
    ShowWarning(QStringLiteral("File not found: ") + old);
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
    if (RarMode)
      target += QStringLiteral(".RAR");
    else
      target += old.toLower().contains(QStringLiteral(".exe")) ? QStringLiteral(".EXE") : QStringLiteral(".ZIP");
  }
  // A move that never replaces an existing file.
  if (QFileInfo::exists(target) || !QFile::rename(old, target)) {
    ShowWarning(QStringLiteral("Error: Saving file ") + old);
    return;
  }
  if (RarMode)
    engines_->SetArchiveName(target);
  else
    SetCurrentZipName(target);
  SetTitle(target);
}

void TMainform::Copyarchive1Click() {
  if (RefuseWhileBusy()) return;
  const QString source = RarMode ? CurrentRarName() : CurrentZipName();
  if (source.isEmpty()) {
    ShowWarning(kNoArchive);
    return;
  }
  const auto answer = pf::Dialogs().InputBox("Copy archive", "Copy to:", "", false);
  if (!answer) return;
  const QString dest = Q(*answer);
  int64_t size = 0;
  int64_t free = -1;
  if (QFileInfo(dest).isDir()) {
    size = QFileInfo(source).size();
    free = pf::Drives().FreeSpace(pf::Drives().DriveRoot(U8(dest)));
  } else {
    if (pf::Dialogs().MessageBox("Can't find destination drive/directory, Create it?", pf::MsgKind::Warning,
                                 pf::BtnYes | pf::BtnAbort) != pf::BtnYes)
      return;
    if (!QDir().mkdir(dest)) {
      pf::Dialogs().MessageBox(U8(QStringLiteral("Unable to create directory ") + dest), pf::MsgKind::Error,
                               pf::BtnOK);
      return;
    }
    // The new folder is empty: its drive needs room for the whole archive.
    size = QFileInfo(source).size();
    free = pf::Drives().FreeSpace(pf::Drives().DriveRoot(U8(dest)));
  }
  if (size > free) {
    ShowWarning(QStringLiteral("Not enough space on destination drive!"));
    return;
  }
  QString target = dest;
  if (!target.endsWith(u'/')) target += u'/';
  target += QFileInfo(source).fileName();
  shared::TFileOperation FileOperation1;
  FileOperation1.Operation = shared::foCopy;
  FileOperation1.FilesFrom = U8(source);
  FileOperation1.FilesTo = U8(target);
  FileOperation1.ProgressTitle = "Copying files";
  // A copy that failed or was stopped has been reported by the operation
  // itself; it is not followed by a success message.
  if (!FileOperation1.Execute()) return;
  ShowInformation(QStringLiteral("Copy successful"));
}

void TMainform::Delete2Click() {
  if (RefuseWhileBusy()) return;
  const QString name = RarMode ? CurrentRarName() : CurrentZipName();
  if (!QFileInfo(name).isFile()) {
    ShowWarning(QStringLiteral("Zipfile not found: ") + name);
    return;
  }
  if (pf::Dialogs().MessageBox(U8(QStringLiteral("Are you sure you want to delete: ") + name + u'?'),
                               pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo) != pf::BtnYes)
    return;
  if (!QFile::remove(name)) {
    pf::Dialogs().MessageBox(U8(QStringLiteral("Unable to delete ") + name), pf::MsgKind::Error, pf::BtnOK);
    return;
  }
  SetTitle(QStringLiteral("<none>"));
  EmptyList();
  model_->ResetCounters();
}

void TMainform::Archiveinformation1Click() {
  if (model_->RowCountValue() < 1) {
    ShowWarning(kNoArchive);
    return;
  }
  TF_Info info(this);
  info.Fill(RarMode ? CurrentRarName() : CurrentZipName(), *model_);
  info.ShowModal();
}

}  // namespace arkelin::window

// The archive window's engine events: progress, messages, RAR callbacks and
// Cancel, and the small helpers every command uses. Part of TMainform; see
// mainunit.h.
#include <QItemSelectionModel>

#include <algorithm>
#include <climits>

#include "platform/Platform.h"
#include "shared/widgets/U_InmDlg.h"
#include "window/ArchiveEngines_p.h"
#include "window/CommandSupport_p.h"

namespace arkelin::window {

namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;
namespace er = arkelin::engine::rar;

ez::TZipMaster& TMainform::ZipMaster1() { return engines_->Zip(); }
er::TRAR& TMainform::rar() { return engines_->Rar(); }
TAddForm* TMainform::AddForm() const { return addForm_; }

QString TMainform::BusyText() { return QStringLiteral("Please wait: a command is still running"); }

bool TMainform::RefuseWhileBusy() {
  if (!EngineBusy()) return false;
  Panel3->setText(BusyText());
  return true;
}

void TMainform::RunGuarded(const std::function<void()>& handler, bool refuseWhileBusy) {
  if (refuseWhileBusy && RefuseWhileBusy()) return;
  try {
    handler();
  } catch (const std::exception& e) {
    // A settings write refused says "Unable to write to <file>".
    pf::Dialogs().MessageBox(e.what(), pf::MsgKind::Error, pf::BtnOK);
  } catch (...) {
    pf::Dialogs().MessageBox("The command stopped on an unexpected error", pf::MsgKind::Error, pf::BtnOK);
  }
}

void TMainform::ShowWarning(const QString& text) {
  pf::Dialogs().MessageBox(U8(text), pf::MsgKind::Warning, pf::BtnOK);
}

void TMainform::ShowInformation(const QString& text) {
  pf::Dialogs().MessageBox(U8(text), pf::MsgKind::Information, pf::BtnOK);
}

void TMainform::ShowProgress(bool on, bool rationPump) {
  if (on) {
    meter_.Reset();
    ProgressBar1->setRange(0, ProgressMeter::kScale);
    ProgressBar1->setValue(0);
    if (rationPump) pumpRation_.Install();
  } else {
    pumpRation_.Remove();
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
  // Only errors are shown; the texts of the others are not even converted.
  zip.OnMessage = [this](ez::TZipMaster&, int code, const std::string& msg) {
    if (code > 0) ZipMaster1Message(code, Q(msg));
  };

  er::TRAR& r = engines_->Rar();
  r.OnExtracting = [this](er::TRAR&, const ::RARHeaderDataEx& h) {
    if (Panel3->text() != QStringLiteral("Extracting file")) Panel3->setText(QStringLiteral("Extracting file"));
    meter_.NewFile(RarEntryName(h), static_cast<int64_t>((static_cast<uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize));
    MeterChanged(false);
  };
  r.OnProcessData = [this](er::TRAR&, const unsigned char*, int, long long position) {
    meter_.FileAt(position);
    MeterChanged(false);
    // Cancel stops inside a large entry too, not only between entries.
    return cancelRequested_ ? 0 : 1;
  };
  r.OnTesting = [this](er::TRAR&, const ::RARHeaderDataEx& h) {
    if (Panel3->text() != QStringLiteral("Testing file")) Panel3->setText(QStringLiteral("Testing file"));
    meter_.NewFile(RarEntryName(h), static_cast<int64_t>((static_cast<uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize));
    MeterChanged(false);
  };
  r.OnTested = [this](er::TRAR&, const ::RARHeaderDataEx& h, bool ok) {
    if (!ok && !cancelRequested_) ShowWarning(RarEntryName(h) + QStringLiteral("Has CRC ERROR"));
    pumpRation_.ProcessMessages();
  };
  r.OnVolumeChange = [](er::TRAR&, const char* arcName, int mode) {
    if (mode == RAR_VOL_ASK)
      pf::Dialogs().MessageBox(std::string("Please Insert disk with ") + arcName, pf::MsgKind::Information,
                               pf::BtnOK);
    return 1;
  };
  r.OnReqPassword = [this](er::TRAR&, const ::RARHeaderDataEx&, std::string& password) {
    // A drag asked for it before it started.
    if (!dragPassword_.empty()) {
      password = dragPassword_;
      return;
    }
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
    case ez::ProgrTotalFiles:
      meter_.SetTotalFiles(fileSize);
      return;  // nothing to show yet
    case ez::ProgrTotalSize:
      meter_.SetTotalBytes(fileSize);
      return;
    case ez::ProgrNewFile:
      meter_.NewFile(NamePart(fileName), fileSize);
      break;
    case ez::ProgrUpdate:
      meter_.Advance(fileSize);
      break;
    case ez::ProgrEndOfBatch:
      meter_.Finish();
      break;
  }
  MeterChanged(type == ez::ProgrEndOfBatch);
}

void TMainform::MeterChanged(bool final) {
  // Painting and pumping are what costs on many small files; both are
  // rationed (see ProgressMeter), the counting itself is not.
  if (meter_.RepaintDue() || final) {
    if (Panel4->text() != meter_.CurrentName()) Panel4->setText(meter_.CurrentName());
    if (ProgressBar1->value() != meter_.Permille()) ProgressBar1->setValue(meter_.Permille());
  }
  pumpRation_.ProcessMessages();
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

}  // namespace arkelin::window

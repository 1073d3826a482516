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

}  // namespace arkelin::window

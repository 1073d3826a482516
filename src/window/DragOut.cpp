#include "window/DragOut.h"

#include <QDrag>
#include <QTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "engine/rar/RarPassword.h"
#include "engine/zip/ZipPassword.h"
#include "platform/NameText.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "platform/Trash.h"
#include "window/ArchiveEngines_p.h"
#include "window/CommandSupport_p.h"
#include "window/DirectSave_p.h"

namespace arkelin::window {

namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;
namespace fs = std::filesystem;

namespace {

constexpr int kRemoveAfterDropMs = 60'000;
// Wrong passwords given before the drag is called off.
constexpr int kPasswordAttempts = 3;

// A fresh private folder for one drag; empty when none can be made.
QString MakeDragFolder() {
  const std::string base = pf::PrivateTempFolder();
  if (base.empty()) return {};
  std::string tmpl = base + "drag-XXXXXX";
  if (::mkdtemp(tmpl.data()) == nullptr) return {};
  return pf::NameToText(tmpl);
}

// Copies a regular file byte for byte (a rename across file systems).
bool CopyFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  return fs::copy_file(from, to, fs::copy_options::none, ec) && !ec;
}

}  // namespace

// ---- The drag's data ------------------------------------------------------------------

DragOutData::DragOutData(QStringList relativeFiles, Extractor extract, bool offerDirectSave)
    : files_(std::move(relativeFiles)), extract_(std::move(extract)), directSave_(offerDirectSave) {}

DragOutData::~DragOutData() = default;

QString DragOutData::OwnFormat() { return QStringLiteral("application/x-arkelin-drag-out"); }
QString DragOutData::DirectSaveFormat() { return QStringLiteral("XdndDirectSave0"); }

QStringList DragOutData::formats() const {
  QStringList f{QStringLiteral("text/uri-list"), OwnFormat()};
  if (directSave_) f << DirectSaveFormat();
  return f;
}

bool DragOutData::hasFormat(const QString& mimeType) const { return formats().contains(mimeType); }

QByteArray DragOutData::ProposedName() const {
  if (files_.size() != 1) return {};
  return pf::TextToNameBytes(NamePart(files_.front()));
}

bool DragOutData::EnsureExtracted() const {
  if (tried_) return extracted_;
  tried_ = true;
  temp_ = MakeDragFolder();
  if (temp_.isEmpty()) {
    failure_ = QStringLiteral("No private temporary folder can be made");
    return false;
  }
  if (OnFolderMade) OnFolderMade(temp_);
  extracted_ = extract_ && extract_(temp_, failure_);
  return extracted_;
}

QByteArray DragOutData::DirectSave() const {
  const QByteArray uri = ReadDirectSaveTarget ? ReadDirectSaveTarget() : QByteArray();
  const std::string target = pf::LocalPathOfUri(uri.toStdString());
  if (target.empty() || files_.size() != 1 || !EnsureExtracted()) return "F";
  const std::string from = pf::TextToName(temp_ + u'/' + files_.front());
  // Never over a file the target already holds.
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) return "F";
  if (pf::RenameNoReplace(from, target)) return "S";
  return CopyFile(from, target) ? "S" : "F";
}

QVariant DragOutData::retrieveData(const QString& mimeType, QMetaType type) const {
  if (mimeType == OwnFormat()) return QByteArray::number(static_cast<qlonglong>(::getpid()));
  if (mimeType == DirectSaveFormat() && directSave_) return DirectSave();
  if (mimeType != QStringLiteral("text/uri-list")) return QMimeData::retrieveData(mimeType, type);
  // Asked for by the drop target: now the files are made.
  if (!EnsureExtracted()) return QByteArray();
  QByteArray list;
  for (const QString& f : files_) {
    list += QByteArray::fromStdString(pf::FileUriOf(pf::TextToName(temp_ + u'/' + f)));
    list += "\r\n";
  }
  return list;
}

bool RemoveDragFolder(const QString& folder) {
  const std::string path = pf::TextToName(folder);
  const std::string base = pf::PrivateTempFolder();
  if (base.empty() || path.rfind(base + "drag-", 0) != 0 || path.find("/..") != std::string::npos) return false;
  std::error_code ec;
  fs::remove_all(pf::ToFsPath(path), ec);  // links are removed, not followed
  return !ec;
}

// ---- The command -----------------------------------------------------------------------

DragOut::DragOut(TMainform& w) : w_(w) {}

DragOut::~DragOut() { RemovePending(); }

void DragOut::RemovePending() {
  for (const QString& f : pending_) RemoveDragFolder(f);
  pending_.clear();
}

bool DragOut::ExtractSelected(const QStringList& entries, const QString& folder, QString& why) {
  if (w_.EngineBusy()) {
    why = TMainform::BusyText();
    return false;
  }
  EngineScope running(w_);
  w_.Panel3->setText(QStringLiteral("Extracting files"));
  bool ok = false;
  if (w_.RarMode) {
    engine::rar::TRAR& r = w_.engines_->Rar();
    // Nothing is asked or shown while the drop target waits: the password
    // is the one checked before the drag, a missing volume ends the
    // extraction, and a failure is the list's absence, not a message box
    // over the desktop.
    auto askPassword = std::move(r.OnReqPassword);
    auto showError = std::move(r.OnError);
    auto askVolume = std::move(r.OnVolumeChange);
    r.OnReqPassword = [this](engine::rar::TRAR&, const ::RARHeaderDataEx&, std::string& password) {
      password = w_.dragPassword_;
    };
    r.OnError = nullptr;
    r.OnVolumeChange = nullptr;
    r.FilesToExtract.clear();
    for (const QString& e : entries) r.FilesToExtract.insert(U8(e));
    r.TargetDir = U8(folder);
    r.ExtrOptions.DirNames = true;
    r.ExtrOptions.OverWrite = true;
    r.ExtrOptions.Update = false;
    r.Stop = false;
    try {
      r.ExtractFiles();
      ok = r.SuccessCount() == entries.size();
    } catch (...) {
      ok = false;
    }
    r.FilesToExtract.clear();
    r.OnReqPassword = std::move(askPassword);
    r.OnError = std::move(showError);
    r.OnVolumeChange = std::move(askVolume);
  } else {
    ez::TZipMaster& zip = w_.engines_->Zip();
    zip.FSpecArgs.clear();
    for (const QString& e : entries) zip.FSpecArgs.push_back(U8(e));
    zip.ExactNames = true;
    zip.ExtrBaseDir = U8(folder);
    zip.ExtrOptions = ez::ExtrDirNames | ez::ExtrOverWrite;
    // Unattended and without the window's message handler: nothing is asked
    // or shown during the drop.
    const bool unattended = zip.Unattended;
    zip.Unattended = true;
    auto showMessage = std::move(zip.OnMessage);
    zip.OnMessage = nullptr;
    try {
      zip.Extract();
      ok = zip.SuccessCount() == entries.size();
    } catch (...) {
      ok = false;
    }
    zip.Unattended = unattended;
    zip.OnMessage = std::move(showMessage);
    zip.ExactNames = false;
    zip.FSpecArgs.clear();
  }
  w_.Panel3->clear();
  if (!ok) why = QStringLiteral("Not every dragged file could be extracted");
  return ok;
}

bool DragOut::PasswordRefused(const QString& entry, const std::string& password) const {
  if (w_.RarMode)
    return engine::rar::RarEntryPasswordFits(w_.engines_->Rar().ArchiveName, U8(entry), password) ==
           engine::rar::RarPasswordFit::Wrong;
  const ez::TZipMaster& zip = w_.engines_->Zip();
  return ez::EntryPasswordFits(zip.ZipFilename(), U8(entry), password, zip.NameRuleValue()) ==
         ez::PasswordFit::Wrong;
}

std::optional<std::string> DragOut::AskCheckedPassword(const QString& entry) {
  // Only a refusal asks again: where the archive cannot tell (a set of
  // volumes, say), the extraction that follows decides.
  std::string prompt = "Enter the password of the dragged files";
  for (int attempt = 0; attempt < kPasswordAttempts; ++attempt) {
    const auto pw = pf::Dialogs().InputBox("Password", prompt, "", true);
    if (!pw) return std::nullopt;
    if (!PasswordRefused(entry, *pw)) return pw;
    prompt = "Wrong password. Enter the password of the dragged files";
  }
  pf::Dialogs().MessageBox("Wrong password: the files are not dragged", pf::MsgKind::Warning, pf::BtnOK);
  return std::nullopt;
}

std::unique_ptr<DragOutData> DragOut::Prepare() {
  const QList<int> rows = w_.SelectedRowIndexes();
  if (rows.isEmpty() || w_.EngineBusy()) return nullptr;
  QStringList entries, files;
  QString firstEncrypted;
  std::set<QString> seen;
  for (int row : rows) {
    const FileRow& r = w_.model_->Row(row);
    if (!seen.insert(r.fullName).second) continue;
    entries << r.fullName;
    files << Q(pf::EntryToDiskRelative(U8(r.fullName)));
    if (r.encrypted && firstEncrypted.isEmpty()) firstEncrypted = r.fullName;
  }
  // Asked now: a question in the middle of the drop would hold the desktop.
  if (!firstEncrypted.isEmpty()) {
    const std::optional<std::string> pw = AskCheckedPassword(firstEncrypted);
    if (!pw) return nullptr;
    if (w_.RarMode)
      w_.dragPassword_ = *pw;
    else
      w_.engines_->Zip().SetPassword(*pw);
  }
  const bool directSave = entries.size() == 1 && xds::Available();
  auto data = std::make_unique<DragOutData>(
      files, [this, entries](const QString& folder, QString& why) { return ExtractSelected(entries, folder, why); },
      directSave);
  if (directSave) data->ReadDirectSaveTarget = [] { return xds::Read(); };
  last_.clear();
  data->OnFolderMade = [this](const QString& folder) { last_ = folder; };
  return data;
}

void DragOut::Start() {
  std::unique_ptr<DragOutData> data = Prepare();
  if (!data) return;
  DragOutData* raw = data.get();
  auto* drag = new QDrag(w_.lw_Files);
  drag->setMimeData(data.release());  // the drag owns it from here
  const QModelIndex current = w_.lw_Files->currentIndex();
  const QIcon icon = current.isValid() ? w_.model_->data(current.siblingAtColumn(0), Qt::DecorationRole).value<QIcon>() : QIcon();
  // At the screen's scale, so the image under the pointer is sharp at 2x too.
  if (!icon.isNull()) drag->setPixmap(icon.pixmap(QSize(32, 32), w_.lw_Files->devicePixelRatioF()));
  if (!raw->ProposedName().isEmpty()) {
    // The selection owner exists once the drag runs.
    const QByteArray name = raw->ProposedName();
    QTimer::singleShot(0, drag, [name] { xds::Offer(name); });
  }
  const bool offered = !raw->ProposedName().isEmpty();
  // Qt deletes the drag (and its data) once it is over.
  const Qt::DropAction done = drag->exec(Qt::CopyAction, Qt::CopyAction);
  if (offered) xds::Withdraw();
  Finished(last_, done != Qt::IgnoreAction);
}

void DragOut::Finished(const QString& folder, bool dropped) {
  w_.dragPassword_.clear();
  if (folder.isEmpty()) return;
  if (!dropped) {
    RemoveDragFolder(folder);
    return;
  }
  // The target copies the files after the drop; they go a minute later.
  pending_ << folder;
  QTimer::singleShot(kRemoveAfterDropMs, &w_, [this, folder] {
    if (pending_.removeAll(folder) > 0) RemoveDragFolder(folder);
  });
}

}  // namespace arkelin::window

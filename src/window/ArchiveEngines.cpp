#include "window/ArchiveEngines_p.h"

#include <QFileInfo>

#include <cstring>
#include <cwchar>
#include <map>

#include "platform/NameText.h"
#include "shared/FindIcon.h"

namespace arkelin::window {

namespace ez = arkelin::engine::zip;
namespace er = arkelin::engine::rar;

QString RarEntryName(const ::RARHeaderDataEx& h) {
  const size_t wide = wcsnlen(h.FileNameW, sizeof h.FileNameW / sizeof h.FileNameW[0]);
  if (wide > 0) return QString::fromWCharArray(h.FileNameW, static_cast<qsizetype>(wide));
  return QString::fromUtf8(h.FileName, static_cast<qsizetype>(strnlen(h.FileName, sizeof h.FileName)));
}

std::optional<ListedEntry> EntryFromRarHeader(const ::RARHeaderDataEx& h) {
  if ((h.Flags & RHDF_DIRECTORY) == RHDF_DIRECTORY) return std::nullopt;
  ListedEntry e;
  e.name = RarEntryName(h);
  e.uncompressed = static_cast<int64_t>((static_cast<uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize);
  e.compressed = static_cast<int64_t>((static_cast<uint64_t>(h.PackSizeHigh) << 32) | h.PackSize);
  e.dosDateTime = h.FileTime;
  e.encrypted = (h.Flags & RHDF_ENCRYPTED) != 0;
  return e;
}

struct ArchiveEngines::Impl {
  ez::TZipMaster zip;
  er::TRAR rar;
  shared::TRFindIcon FindIcon;
};

ArchiveEngines::ArchiveEngines() : d_(std::make_unique<Impl>()) {
  d_->zip.OnDirUpdate = [this](ez::TZipMaster&) {
    if (OnDirUpdate) OnDirUpdate();
  };
  d_->rar.OnListFile = [this](er::TRAR&, const ::RARHeaderDataEx& h) {
    if (!OnListFile) return;
    if (const auto e = EntryFromRarHeader(h)) OnListFile(*e);
  };
}

ArchiveEngines::~ArchiveEngines() = default;

ez::TZipMaster& ArchiveEngines::Zip() { return d_->zip; }
er::TRAR& ArchiveEngines::Rar() { return d_->rar; }

bool ArchiveEngines::HaveZipEngine() { return true; }
bool ArchiveEngines::HaveRarReader() { return true; }

QString ArchiveEngines::ZipFilename() const { return platform::NameToText(d_->zip.ZipFilename()); }

void ArchiveEngines::SetZipFilename(const QString& name) { d_->zip.SetZipFilename(platform::TextToName(name)); }

void ArchiveEngines::SetDLLDirectory(const QString& folder) { d_->zip.SetDLLDirectory(platform::TextToName(folder)); }

int ArchiveEngines::Count() const { return d_->zip.Count(); }

ListedEntry ArchiveEngines::Entry(int i) const {
  const ez::ZipDirEntry& z = d_->zip.Entries()[static_cast<size_t>(i)];
  ListedEntry e;
  e.name = platform::NameToText(z.FileName);
  e.uncompressed = static_cast<int64_t>(z.UncompressedSize64);
  e.compressed = static_cast<int64_t>(z.CompressedSize64);
  e.dosDateTime = z.DateTime;
  e.encrypted = z.Encrypted();
  return e;
}

QString ArchiveEngines::ArchiveName() const { return platform::NameToText(d_->rar.ArchiveName); }
void ArchiveEngines::SetArchiveName(const QString& name) { d_->rar.ArchiveName = platform::TextToName(name); }
void ArchiveEngines::ListFiles() { d_->rar.ListFiles(); }

QIcon ArchiveEngines::SmallIconFor(const QString& entryName) {
  d_->FindIcon.SetFileName(platform::TextToName(entryName));
  return d_->FindIcon.SmallIcon();
}

void ArchiveEngines::SetOwnImages(const QIcon& largeDefault, const QIcon& smallDefault, const QIcon& largeExe,
                                  const QIcon& smallExe, const QIcon& largeNoExt, const QIcon& smallNoExt) {
  shared::TRFindIcon& f = d_->FindIcon;
  f.SetLargeDefaultIcon(largeDefault);
  f.SetSmallDefaultIcon(smallDefault);
  f.SetLargeExeIcon(largeExe);
  f.SetSmallExeIcon(smallExe);
  f.SetLargeNoExtIcon(largeNoExt);
  f.SetSmallNoExtIcon(smallNoExt);
}

}  // namespace arkelin::window

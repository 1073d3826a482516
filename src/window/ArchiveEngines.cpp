#include "window/ArchiveEngines_p.h"

#include <QFileInfo>

#include <map>

namespace arkelin::window {

// The components are not part of this build yet: the holder keeps the names,
// lists nothing and says so to the window through HaveZipEngine/HaveRarReader.
// TODO: bind TZipMaster, TRAR and TRFindIcon here as soon as they are built.
struct ArchiveEngines::Impl {
  QString zipName;
  QString rarName;
  QString dllDirectory;
  std::map<QString, QIcon> own;  // "default", "exe", "noext"
};

ArchiveEngines::ArchiveEngines() : d_(std::make_unique<Impl>()) {}
ArchiveEngines::~ArchiveEngines() = default;

bool ArchiveEngines::HaveZipEngine() { return false; }
bool ArchiveEngines::HaveRarReader() { return false; }

QString ArchiveEngines::ZipFilename() const { return d_->zipName; }

void ArchiveEngines::SetZipFilename(const QString& name) {
  d_->zipName = name;
  if (OnDirUpdate) OnDirUpdate();
}

void ArchiveEngines::SetDLLDirectory(const QString& folder) { d_->dllDirectory = folder; }

int ArchiveEngines::Count() const { return 0; }
ListedEntry ArchiveEngines::Entry(int) const { return {}; }

QString ArchiveEngines::ArchiveName() const { return d_->rarName; }
void ArchiveEngines::SetArchiveName(const QString& name) { d_->rarName = name; }
void ArchiveEngines::ListFiles() {}

QIcon ArchiveEngines::SmallIconFor(const QString& entryName) {
  const QString file = entryName.mid(std::max(entryName.lastIndexOf(u'\\'), entryName.lastIndexOf(u'/')) + 1);
  const int dot = file.lastIndexOf(u'.');
  if (dot < 0) return d_->own["noext"];
  if (file.mid(dot).compare(QStringLiteral(".exe"), Qt::CaseInsensitive) == 0) return d_->own["exe"];
  return d_->own["default"];
}

void ArchiveEngines::SetOwnImages(const QIcon&, const QIcon& smallDefault, const QIcon&,
                                  const QIcon& smallExe, const QIcon&, const QIcon& smallNoExt) {
  d_->own["default"] = smallDefault;
  d_->own["exe"] = smallExe;
  d_->own["noext"] = smallNoExt;
}

}  // namespace arkelin::window

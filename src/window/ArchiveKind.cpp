#include "window/ArchiveKind.h"

#include <QFile>
#include <QFileInfo>

#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"

namespace arkelin::window {

namespace zd = arkelin::engine::zip::dll;

namespace {
constexpr qint64 kRarSfxSearch = 1024 * 1024;
}  // namespace

ArchiveKind DetectArchiveKind(const QString& path) {
  const QFileInfo info(path);
  if (!info.isFile()) return ArchiveKind::None;
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return ArchiveKind::None;
  const QByteArray head = f.read(8);
  f.close();
  if (head.startsWith(QByteArray("Rar!\x1a\x07\x00", 7)) || head.startsWith(QByteArray("Rar!\x1a\x07\x01\x00", 8)))
    return ArchiveKind::Rar;
  if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06")) return ArchiveKind::Zip;
  // Anything else (a self-extracting program first of all) is a ZIP when the
  // directory reader finds an end record: the same search the engine makes.
  zd::ArchiveFile file;
  if (!file.Open(QFile::encodeName(path).toStdString())) return ArchiveKind::None;
  zd::EndInfo end;
  const zd::ReadResult r = zd::FindEndRecord(file, end);
  if (r.status != zd::ReadStatus::NotZip && r.status != zd::ReadStatus::IoError) return ArchiveKind::Zip;
  // A RAR self-extracting program: the signature after a program of at most
  // 1 MiB, where the RAR reader looks for it too.
  if (!f.open(QIODevice::ReadOnly)) return ArchiveKind::None;
  const QByteArray prefix = f.read(kRarSfxSearch);
  if (prefix.contains(QByteArray("Rar!\x1a\x07\x00", 7)) || prefix.contains(QByteArray("Rar!\x1a\x07\x01\x00", 8)))
    return ArchiveKind::Rar;
  return ArchiveKind::None;
}

}  // namespace arkelin::window

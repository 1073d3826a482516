#include "window/ArchiveKind.h"

#include <sys/stat.h>

#include <cstdio>
#include <memory>

#include "platform/NameText.h"

#include "engine/rar/archive/HeaderReader.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"

namespace arkelin::window {

namespace zd = arkelin::engine::zip::dll;
namespace ra = arkelin::engine::rar::archive;

namespace {

// Up to n bytes from the start of the file (its name as bytes).
QByteArray ReadStart(const std::string& name, qint64 n) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(name.c_str(), "rb"), &std::fclose);
  if (!f) return {};
  QByteArray data(n, '\0');
  data.resize(static_cast<qsizetype>(std::fread(data.data(), 1, static_cast<size_t>(n), f.get())));
  return data;
}

}  // namespace

ArchiveKind DetectArchiveKind(const QString& path) {
  const std::string name = platform::TextToName(path);
  struct stat st {};
  if (::stat(name.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return ArchiveKind::None;
  const QByteArray head = ReadStart(name, 8);
  size_t at = 0;
  bool rar5 = false;
  if (ra::FindRarSignature(reinterpret_cast<const uint8_t*>(head.constData()), static_cast<size_t>(head.size()),
                           false, at, rar5))
    return ArchiveKind::Rar;
  if (head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06")) return ArchiveKind::Zip;
  // Anything else (a self-extracting program first of all) is a ZIP when the
  // directory reader finds an end record: the same search the engine makes.
  zd::ArchiveFile file;
  if (!file.Open(name)) return ArchiveKind::None;
  zd::EndInfo end;
  const zd::ReadResult r = zd::FindEndRecord(file, end);
  if (r.status != zd::ReadStatus::NotZip && r.status != zd::ReadStatus::IoError) return ArchiveKind::Zip;
  // A RAR self-extracting program: the signature after a program of at most
  // 1 MiB, the RAR reader's own test.
  if (ra::HasRarSignature(name)) return ArchiveKind::Rar;
  return ArchiveKind::None;
}

}  // namespace arkelin::window

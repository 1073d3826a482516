// Parsing of the end records, central header fixed fields and extra fields.
#include "engine/zip/ZipRecords_p.h"

#include "engine/common/CodePage437.h"
#include "engine/common/Crc32.h"

namespace arkelin::engine::zip {

EndRecord ParseEndRecord(const uint8_t* p) {
  EndRecord r;
  r.thisDisk = common::Le16(p + 4);
  r.centralDisk = common::Le16(p + 6);
  r.entriesThisDisk = common::Le16(p + 8);
  r.totalEntries = common::Le16(p + 10);
  r.centralSize = common::Le32(p + 12);
  r.centralOffset = common::Le32(p + 16);
  r.commentLength = common::Le16(p + 20);
  return r;
}

void ApplyZip64EndRecord(const uint8_t* p, EndRecord& r) {
  if (r.thisDisk == 0xFFFF) r.thisDisk = common::Le32(p + 16);
  if (r.centralDisk == 0xFFFF) r.centralDisk = common::Le32(p + 20);
  if (r.entriesThisDisk == 0xFFFF) r.entriesThisDisk = common::Le64(p + 24);
  if (r.totalEntries == 0xFFFF) r.totalEntries = common::Le64(p + 32);
  if (r.centralSize == 0xFFFFFFFFu) r.centralSize = common::Le64(p + 40);
  if (r.centralOffset == 0xFFFFFFFFu) r.centralOffset = common::Le64(p + 48);
}

void ParseCentralFixed(const uint8_t* h, ZipDirEntry& e) {
  e.MadeByVersion = h[4];
  e.MadeByHost = h[5];
  e.NeededVersion = common::Le16(h + 6);
  e.Flags = common::Le16(h + 8);
  e.Method = common::Le16(h + 10);
  e.DateTime = common::Le32(h + 12);
  e.CRC32 = common::Le32(h + 16);
  e.CompressedSize = common::Le32(h + 20);
  e.UncompressedSize = common::Le32(h + 24);
  e.FileNameLength = common::Le16(h + 28);
  e.ExtraFieldLength = common::Le16(h + 30);
  e.FileCommentLength = common::Le16(h + 32);
  e.StartDisk = common::Le16(h + 34);
  e.InternalAttributes = common::Le16(h + 36);
  e.ExternalAttributes = common::Le32(h + 38);
  e.LocalHeaderOffset = common::Le32(h + 42);
  e.CompressedSize64 = e.CompressedSize;
  e.UncompressedSize64 = e.UncompressedSize;
  e.LocalHeaderOffset64 = e.LocalHeaderOffset;
  e.StartDisk32 = e.StartDisk;
}

void ApplyExtraFields(const uint8_t* p, size_t n, const std::string& rawName, ZipDirEntry& e) {
  size_t i = 0;
  while (i + 4 <= n) {
    const uint16_t id = common::Le16(p + i);
    const size_t len = common::Le16(p + i + 2);
    const uint8_t* d = p + i + 4;
    if (i + 4 + len > n) break;
    if (id == 0x0001) {
      // Only the saturated fields are present, in this order; a field too
      // short for what it must hold is ignored from that point on.
      size_t k = 0;
      if (e.UncompressedSize == 0xFFFFFFFFu && k + 8 <= len) { e.UncompressedSize64 = common::Le64(d + k); k += 8; }
      if (e.CompressedSize == 0xFFFFFFFFu && k + 8 <= len) { e.CompressedSize64 = common::Le64(d + k); k += 8; }
      if (e.LocalHeaderOffset == 0xFFFFFFFFu && k + 8 <= len) { e.LocalHeaderOffset64 = common::Le64(d + k); k += 8; }
      if (e.StartDisk == 0xFFFF && k + 4 <= len) { e.StartDisk32 = common::Le32(d + k); k += 4; }
    } else if (id == 0x7075 && len >= 5 && d[0] == 1) {
      if (common::Le32(d + 1) == common::Crc32(0, rawName.data(), rawName.size()))
        e.FileName = common::Utf8OrCp437(std::string(reinterpret_cast<const char*>(d + 5), len - 5));
    }
    i += 4 + len;
  }
}

}  // namespace arkelin::engine::zip

// Parsing of the end records, central header fixed fields and extra fields.
#include "engine/zip/ZipRecords_p.h"

#include "engine/zip/CodePage437.h"

namespace arkelin::engine::zip {

EndRecord ParseEndRecord(const uint8_t* p) {
  EndRecord r;
  r.thisDisk = GetU16(p + 4);
  r.centralDisk = GetU16(p + 6);
  r.entriesThisDisk = GetU16(p + 8);
  r.totalEntries = GetU16(p + 10);
  r.centralSize = GetU32(p + 12);
  r.centralOffset = GetU32(p + 16);
  r.commentLength = GetU16(p + 20);
  return r;
}

void ApplyZip64EndRecord(const uint8_t* p, EndRecord& r) {
  if (r.thisDisk == 0xFFFF) r.thisDisk = GetU32(p + 16);
  if (r.centralDisk == 0xFFFF) r.centralDisk = GetU32(p + 20);
  if (r.entriesThisDisk == 0xFFFF) r.entriesThisDisk = GetU64(p + 24);
  if (r.totalEntries == 0xFFFF) r.totalEntries = GetU64(p + 32);
  if (r.centralSize == 0xFFFFFFFFu) r.centralSize = GetU64(p + 40);
  if (r.centralOffset == 0xFFFFFFFFu) r.centralOffset = GetU64(p + 48);
}

void ParseCentralFixed(const uint8_t* h, ZipDirEntry& e) {
  e.MadeByVersion = h[4];
  e.MadeByHost = h[5];
  e.NeededVersion = GetU16(h + 6);
  e.Flags = GetU16(h + 8);
  e.Method = GetU16(h + 10);
  e.DateTime = GetU32(h + 12);
  e.CRC32 = GetU32(h + 16);
  e.CompressedSize = GetU32(h + 20);
  e.UncompressedSize = GetU32(h + 24);
  e.FileNameLength = GetU16(h + 28);
  e.ExtraFieldLength = GetU16(h + 30);
  e.FileCommentLength = GetU16(h + 32);
  e.StartDisk = GetU16(h + 34);
  e.InternalAttributes = GetU16(h + 36);
  e.ExternalAttributes = GetU32(h + 38);
  e.LocalHeaderOffset = GetU32(h + 42);
  e.CompressedSize64 = e.CompressedSize;
  e.UncompressedSize64 = e.UncompressedSize;
  e.LocalHeaderOffset64 = e.LocalHeaderOffset;
  e.StartDisk32 = e.StartDisk;
}

void ApplyExtraFields(const uint8_t* p, size_t n, const std::string& rawName, ZipDirEntry& e) {
  size_t i = 0;
  while (i + 4 <= n) {
    const uint16_t id = GetU16(p + i);
    const size_t len = GetU16(p + i + 2);
    const uint8_t* d = p + i + 4;
    if (i + 4 + len > n) break;
    if (id == 0x0001) {
      // Only the saturated fields are present, in this order; a field too
      // short for what it must hold is ignored from that point on.
      size_t k = 0;
      if (e.UncompressedSize == 0xFFFFFFFFu && k + 8 <= len) { e.UncompressedSize64 = GetU64(d + k); k += 8; }
      if (e.CompressedSize == 0xFFFFFFFFu && k + 8 <= len) { e.CompressedSize64 = GetU64(d + k); k += 8; }
      if (e.LocalHeaderOffset == 0xFFFFFFFFu && k + 8 <= len) { e.LocalHeaderOffset64 = GetU64(d + k); k += 8; }
      if (e.StartDisk == 0xFFFF && k + 4 <= len) { e.StartDisk32 = GetU32(d + k); k += 4; }
    } else if (id == 0x7075 && len >= 5 && d[0] == 1) {
      if (GetU32(d + 1) == Crc32(rawName.data(), rawName.size()))
        e.FileName = Utf8OrCp437(std::string(reinterpret_cast<const char*>(d + 5), len - 5));
    }
    i += 4 + len;
  }
}

uint32_t Crc32(const void* data, size_t n) {
  static const auto table = [] {
    struct T { uint32_t v[256]; } t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t.v[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  const auto* b = static_cast<const uint8_t*>(data);
  for (size_t i = 0; i < n; ++i) c = table.v[(c ^ b[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

}  // namespace arkelin::engine::zip

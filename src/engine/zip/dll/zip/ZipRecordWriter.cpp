// Record builders of the zip library; see ZipRecordWriter.h.
#include "engine/zip/dll/zip/ZipRecordWriter.h"

#include <algorithm>

#include "engine/common/DosTime.h"
#include "engine/common/LittleEndian.h"

namespace arkelin::engine::zip::zipdll {

using common::AppendLe16;
using common::AppendLe32;
using common::AppendLe64;
using common::Le16;

namespace {
constexpr uint64_t k32 = 0xFFFFFFFFu;
constexpr uint64_t k16 = 0xFFFFu;
}  // namespace

std::string BuildCentralHeader(const OutEntry& e) {
  // Zip64 fields appear only for the saturated header values, in the fixed
  // order usize, csize, offset.
  std::string z64;
  const bool bigU = e.usize >= k32, bigC = e.csize >= k32, bigO = e.offset >= k32;
  if (bigU) AppendLe64(z64, e.usize);
  if (bigC) AppendLe64(z64, e.csize);
  if (bigO) AppendLe64(z64, e.offset);
  std::string extra;
  if (!z64.empty()) {
    AppendLe16(extra, kExtraZip64);
    AppendLe16(extra, static_cast<uint16_t>(z64.size()));
    extra += z64;
  }
  extra += e.extra;
  if (extra.size() > k16) extra.resize(0);  // cannot happen for our own blocks; never write a broken length
  const std::string name = e.name.substr(0, k16);
  const std::string comment = e.comment.substr(0, k16);

  std::string out;
  out.reserve(46 + name.size() + extra.size() + comment.size());
  AppendLe32(out, kCentralSig);
  AppendLe16(out, e.madeBy);
  AppendLe16(out, z64.empty() ? e.needed : std::max<uint16_t>(e.needed, 45));
  AppendLe16(out, e.flags);
  AppendLe16(out, e.method);
  AppendLe16(out, e.dosTime);
  AppendLe16(out, e.dosDate);
  AppendLe32(out, e.crc);
  AppendLe32(out, static_cast<uint32_t>(bigC ? k32 : e.csize));
  AppendLe32(out, static_cast<uint32_t>(bigU ? k32 : e.usize));
  AppendLe16(out, static_cast<uint16_t>(name.size()));
  AppendLe16(out, static_cast<uint16_t>(extra.size()));
  AppendLe16(out, static_cast<uint16_t>(comment.size()));
  AppendLe16(out, 0);  // disk number start
  AppendLe16(out, e.internalAttr);
  AppendLe32(out, e.externalAttr);
  AppendLe32(out, static_cast<uint32_t>(bigO ? k32 : e.offset));
  out += name;
  out += extra;
  out += comment;
  return out;
}

std::string BuildLocalHeader(const OutEntry& e, bool zip64, const std::string& localExtra) {
  std::string extra;
  if (zip64) {
    AppendLe16(extra, kExtraZip64);
    AppendLe16(extra, 16);
    AppendLe64(extra, e.usize);
    AppendLe64(extra, e.csize);
  }
  extra += localExtra;
  std::string out;
  AppendLe32(out, kLocalSig);
  AppendLe16(out, zip64 ? std::max<uint16_t>(e.needed, 45) : e.needed);
  AppendLe16(out, e.flags);
  AppendLe16(out, e.method);
  AppendLe16(out, e.dosTime);
  AppendLe16(out, e.dosDate);
  AppendLe32(out, e.crc);
  AppendLe32(out, static_cast<uint32_t>(zip64 ? k32 : e.csize));
  AppendLe32(out, static_cast<uint32_t>(zip64 ? k32 : e.usize));
  AppendLe16(out, static_cast<uint16_t>(e.name.size()));
  AppendLe16(out, static_cast<uint16_t>(extra.size()));
  out += e.name;
  out += extra;
  return out;
}

std::string BuildDescriptor(uint32_t crc, uint64_t csize, uint64_t usize, bool zip64) {
  std::string out;
  AppendLe32(out, kDescriptorSig);
  AppendLe32(out, crc);
  if (zip64) {
    AppendLe64(out, csize);
    AppendLe64(out, usize);
  } else {
    AppendLe32(out, static_cast<uint32_t>(csize));
    AppendLe32(out, static_cast<uint32_t>(usize));
  }
  return out;
}

std::string BuildEnd(uint64_t count, uint64_t cdSize, uint64_t cdOffset, const std::string& comment) {
  std::string out;
  const bool zip64 = count >= k16 || cdSize >= k32 || cdOffset >= k32;
  if (zip64) {
    const uint64_t recordOffset = cdOffset + cdSize;
    AppendLe32(out, kZip64EndSig);
    AppendLe64(out, 44);
    AppendLe16(out, kMadeByUnix);
    AppendLe16(out, 45);
    AppendLe32(out, 0);
    AppendLe32(out, 0);
    AppendLe64(out, count);
    AppendLe64(out, count);
    AppendLe64(out, cdSize);
    AppendLe64(out, cdOffset);
    AppendLe32(out, kZip64LocatorSig);
    AppendLe32(out, 0);
    AppendLe64(out, recordOffset);
    AppendLe32(out, 1);
  }
  const std::string c = comment.substr(0, k16);
  AppendLe32(out, kEndSig);
  AppendLe16(out, 0);
  AppendLe16(out, 0);
  AppendLe16(out, static_cast<uint16_t>(count >= k16 ? k16 : count));
  AppendLe16(out, static_cast<uint16_t>(count >= k16 ? k16 : count));
  AppendLe32(out, static_cast<uint32_t>(cdSize >= k32 ? k32 : cdSize));
  AppendLe32(out, static_cast<uint32_t>(cdOffset >= k32 ? k32 : cdOffset));
  AppendLe16(out, static_cast<uint16_t>(c.size()));
  out += c;
  return out;
}

std::string StripExtraBlock(const std::string& extra, uint16_t id) {
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
  size_t i = 0;
  while (i + 4 <= extra.size()) {
    const uint16_t blockId = Le16(p + i);
    const size_t len = Le16(p + i + 2);
    if (i + 4 + len > extra.size()) break;
    if (blockId != id) out.append(extra, i, 4 + len);
    i += 4 + len;
  }
  return out;
}

std::string TimeExtra(int64_t mtime) {
  std::string out;
  AppendLe16(out, kExtraTime);
  AppendLe16(out, 5);
  out.push_back(1);
  const int64_t clamped = std::clamp<int64_t>(mtime, INT32_MIN, INT32_MAX);
  AppendLe32(out, static_cast<uint32_t>(static_cast<int32_t>(clamped)));
  return out;
}

void ToDosTime(int64_t unixTime, uint16_t& dosTime, uint16_t& dosDate) {
  common::UnixToDos(unixTime, dosTime, dosDate, common::OddSecond::Up);
}

}  // namespace arkelin::engine::zip::zipdll

// Record builders of the zip library; see ZipRecordWriter.h.
#include "engine/zip/dll/zip/ZipRecordWriter.h"

#include <algorithm>

namespace arkelin::engine::zip::zipdll {

namespace {
constexpr uint64_t k32 = 0xFFFFFFFFu;
constexpr uint64_t k16 = 0xFFFFu;
}  // namespace

void Put16(std::string& out, uint16_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
void Put64(std::string& out, uint64_t v) {
  Put32(out, static_cast<uint32_t>(v & k32));
  Put32(out, static_cast<uint32_t>(v >> 32));
}
uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const unsigned char* p) { return Get16(p) | (static_cast<uint32_t>(Get16(p + 2)) << 16); }
uint64_t Get64(const unsigned char* p) { return Get32(p) | (static_cast<uint64_t>(Get32(p + 4)) << 32); }

std::string BuildCentralHeader(const OutEntry& e) {
  // Zip64 fields appear only for the saturated header values, in the fixed
  // order usize, csize, offset.
  std::string z64;
  const bool bigU = e.usize >= k32, bigC = e.csize >= k32, bigO = e.offset >= k32;
  if (bigU) Put64(z64, e.usize);
  if (bigC) Put64(z64, e.csize);
  if (bigO) Put64(z64, e.offset);
  std::string extra;
  if (!z64.empty()) {
    Put16(extra, kExtraZip64);
    Put16(extra, static_cast<uint16_t>(z64.size()));
    extra += z64;
  }
  extra += e.extra;
  if (extra.size() > k16) extra.resize(0);  // cannot happen for our own blocks; never write a broken length
  const std::string name = e.name.substr(0, k16);
  const std::string comment = e.comment.substr(0, k16);

  std::string out;
  out.reserve(46 + name.size() + extra.size() + comment.size());
  Put32(out, kCentralSig);
  Put16(out, e.madeBy);
  Put16(out, z64.empty() ? e.needed : std::max<uint16_t>(e.needed, 45));
  Put16(out, e.flags);
  Put16(out, e.method);
  Put16(out, e.dosTime);
  Put16(out, e.dosDate);
  Put32(out, e.crc);
  Put32(out, static_cast<uint32_t>(bigC ? k32 : e.csize));
  Put32(out, static_cast<uint32_t>(bigU ? k32 : e.usize));
  Put16(out, static_cast<uint16_t>(name.size()));
  Put16(out, static_cast<uint16_t>(extra.size()));
  Put16(out, static_cast<uint16_t>(comment.size()));
  Put16(out, 0);  // disk number start
  Put16(out, e.internalAttr);
  Put32(out, e.externalAttr);
  Put32(out, static_cast<uint32_t>(bigO ? k32 : e.offset));
  out += name;
  out += extra;
  out += comment;
  return out;
}

std::string BuildLocalHeader(const OutEntry& e, bool zip64, const std::string& localExtra) {
  std::string extra;
  if (zip64) {
    Put16(extra, kExtraZip64);
    Put16(extra, 16);
    Put64(extra, e.usize);
    Put64(extra, e.csize);
  }
  extra += localExtra;
  std::string out;
  Put32(out, kLocalSig);
  Put16(out, zip64 ? std::max<uint16_t>(e.needed, 45) : e.needed);
  Put16(out, e.flags);
  Put16(out, e.method);
  Put16(out, e.dosTime);
  Put16(out, e.dosDate);
  Put32(out, e.crc);
  Put32(out, static_cast<uint32_t>(zip64 ? k32 : e.csize));
  Put32(out, static_cast<uint32_t>(zip64 ? k32 : e.usize));
  Put16(out, static_cast<uint16_t>(e.name.size()));
  Put16(out, static_cast<uint16_t>(extra.size()));
  out += e.name;
  out += extra;
  return out;
}

std::string BuildDescriptor(uint32_t crc, uint64_t csize, uint64_t usize, bool zip64) {
  std::string out;
  Put32(out, kDescriptorSig);
  Put32(out, crc);
  if (zip64) {
    Put64(out, csize);
    Put64(out, usize);
  } else {
    Put32(out, static_cast<uint32_t>(csize));
    Put32(out, static_cast<uint32_t>(usize));
  }
  return out;
}

std::string BuildEnd(uint64_t count, uint64_t cdSize, uint64_t cdOffset, const std::string& comment) {
  std::string out;
  const bool zip64 = count >= k16 || cdSize >= k32 || cdOffset >= k32;
  if (zip64) {
    const uint64_t recordOffset = cdOffset + cdSize;
    Put32(out, kZip64EndSig);
    Put64(out, 44);
    Put16(out, kMadeByUnix);
    Put16(out, 45);
    Put32(out, 0);
    Put32(out, 0);
    Put64(out, count);
    Put64(out, count);
    Put64(out, cdSize);
    Put64(out, cdOffset);
    Put32(out, kZip64LocatorSig);
    Put32(out, 0);
    Put64(out, recordOffset);
    Put32(out, 1);
  }
  const std::string c = comment.substr(0, k16);
  Put32(out, kEndSig);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint16_t>(count >= k16 ? k16 : count));
  Put16(out, static_cast<uint16_t>(count >= k16 ? k16 : count));
  Put32(out, static_cast<uint32_t>(cdSize >= k32 ? k32 : cdSize));
  Put32(out, static_cast<uint32_t>(cdOffset >= k32 ? k32 : cdOffset));
  Put16(out, static_cast<uint16_t>(c.size()));
  out += c;
  return out;
}

std::string StripExtraBlock(const std::string& extra, uint16_t id) {
  std::string out;
  const auto* p = reinterpret_cast<const unsigned char*>(extra.data());
  size_t i = 0;
  while (i + 4 <= extra.size()) {
    const uint16_t blockId = Get16(p + i);
    const size_t len = Get16(p + i + 2);
    if (i + 4 + len > extra.size()) break;
    if (blockId != id) out.append(extra, i, 4 + len);
    i += 4 + len;
  }
  return out;
}

std::string TimeExtra(int64_t mtime) {
  std::string out;
  Put16(out, kExtraTime);
  Put16(out, 5);
  out.push_back(1);
  const int64_t clamped = std::clamp<int64_t>(mtime, INT32_MIN, INT32_MAX);
  Put32(out, static_cast<uint32_t>(static_cast<int32_t>(clamped)));
  return out;
}

void ToDosTime(int64_t unixTime, uint16_t& dosTime, uint16_t& dosDate) {
  time_t t = static_cast<time_t>(unixTime + (unixTime & 1));
  struct tm tm {};
  if (!localtime_r(&t, &tm) || tm.tm_year < 80) {
    dosTime = 0;
    dosDate = (1 << 5) | 1;
    return;
  }
  if (tm.tm_year > 80 + 127) {
    tm.tm_year = 80 + 127;
    tm.tm_mon = 11;
    tm.tm_mday = 31;
    tm.tm_hour = 23;
    tm.tm_min = 59;
    tm.tm_sec = 58;
  }
  dosTime = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  dosDate = static_cast<uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

}  // namespace arkelin::engine::zip::zipdll

// DOS stamps through the C library's local-time conversions.
#include "engine/common/DosTime.h"

#include <cstdlib>
#include <cstring>
#include <ctime>

namespace arkelin::engine::common {

namespace {

int64_t ConvertDos(uint16_t dosTime, uint16_t dosDate) {
  const int day = dosDate & 0x1F, month = (dosDate >> 5) & 0x0F, year = 1980 + (dosDate >> 9);
  const int sec = (dosTime & 0x1F) * 2, min = (dosTime >> 5) & 0x3F, hour = dosTime >> 11;
  if (day == 0 || month == 0 || month > 12 || hour > 23 || min > 59 || sec > 59) return -1;
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = min;
  tm.tm_sec = sec;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  return t == static_cast<std::time_t>(-1) ? -1 : static_cast<int64_t>(t);
}

}  // namespace

int64_t DosToUnix(uint16_t dosTime, uint16_t dosDate) {
  // mktime looks at the time zone file on every call; archives hold many
  // entries of the same few stamps. The answers are kept per stamp for as
  // long as TZ stays the same.
  struct Slot {
    uint32_t stamp = 0;
    bool used = false;
    int64_t value = -1;
  };
  thread_local Slot slots[256];
  thread_local char zone[128];
  thread_local bool zoneSet = false;
  const char* tz = std::getenv("TZ");
  const bool haveTz = tz != nullptr;
  if (haveTz && std::strlen(tz) >= sizeof zone) return ConvertDos(dosTime, dosDate);
  if (zoneSet != haveTz || (haveTz && std::strcmp(zone, tz) != 0)) {
    for (Slot& s : slots) s.used = false;
    zoneSet = haveTz;
    std::strcpy(zone, haveTz ? tz : "");
  }
  const uint32_t stamp = static_cast<uint32_t>(dosDate) << 16 | dosTime;
  Slot& s = slots[(stamp ^ (stamp >> 8) ^ (stamp >> 16)) & 255];
  if (!s.used || s.stamp != stamp) {
    s.stamp = stamp;
    s.value = ConvertDos(dosTime, dosDate);
    s.used = true;
  }
  return s.value;
}

void UnixToDos(int64_t t, uint16_t& dosTime, uint16_t& dosDate, OddSecond odd) {
  if (odd == OddSecond::Up) t += t & 1;
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm tm{};
  if (!localtime_r(&tt, &tm) || tm.tm_year < 80) {
    dosTime = 0;
    dosDate = (1 << 5) | 1;  // 1980-01-01
    return;
  }
  if (tm.tm_year > 80 + 127) {
    dosTime = static_cast<uint16_t>((23 << 11) | (59 << 5) | 29);
    dosDate = static_cast<uint16_t>((127 << 9) | (12 << 5) | 31);
    return;
  }
  dosTime = static_cast<uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
  dosDate = static_cast<uint16_t>(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

}  // namespace arkelin::engine::common

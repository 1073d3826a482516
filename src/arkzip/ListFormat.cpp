// arkzip's listing lines. See ListFormat.h.
#include "arkzip/ListFormat.h"

#include <cstdio>

namespace arkzip {

std::string Printable(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c == '\\') {
      out += '/';
    } else if (c < 0x20 || c == 0x7F) {
      out += '^';
      out += static_cast<char>(c ^ 0x40);
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string DosDate(uint32_t dt) {
  const unsigned d = dt >> 16, t = dt & 0xFFFF;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", (d >> 9) + 1980, (d >> 5) & 15, d & 31, t >> 11,
                (t >> 5) & 63, (t & 31) * 2);
  return buf;
}

int RatioPercent(int64_t size, int64_t packed) {
  if (size <= 0) return 0;
  return static_cast<int>((size - packed) * 100 / size);
}

void PrintListHeader(const std::string& archive) {
  std::printf("Archive: %s\n", archive.c_str());
  std::printf("%12s %12s %6s %-19s %-8s  %s\n", "Length", "Packed", "Ratio", "Modified", "CRC-32", "Name");
}

void PrintListRow(int64_t size, int64_t packed, uint32_t dosDateTime, uint32_t crc, const std::string& name) {
  std::printf("%12lld %12lld %5d%% %s %08x  %s\n", static_cast<long long>(size), static_cast<long long>(packed),
              RatioPercent(size, packed), DosDate(dosDateTime).c_str(), crc, Printable(name).c_str());
}

void PrintListTotals(int count, int64_t size, int64_t packed) {
  std::printf("%d files, %lld bytes uncompressed, %lld bytes compressed, %d%%\n", count, static_cast<long long>(size),
              static_cast<long long>(packed), RatioPercent(size, packed));
}

}  // namespace arkzip

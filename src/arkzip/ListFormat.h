// How arkzip shows an archive's entries, the same for ZIP and RAR: one
// line per entry with length, packed size, ratio, MS-DOS time, CRC-32 and
// name, then a totals line. Names and comments have their control
// characters shown as ^X, so an entry cannot move the cursor or forge lines.
#pragma once

#include <cstdint>
#include <string>

namespace arkzip {

std::string Printable(const std::string& name);
// "YYYY-MM-DD hh:mm:ss" of an MS-DOS date (high word) and time (low word).
std::string DosDate(uint32_t dosDateTime);
// Space saved in percent: 0 for empty entries, negative when the packed
// data is larger than the file.
int RatioPercent(int64_t size, int64_t packed);

void PrintListHeader(const std::string& archive);
void PrintListRow(int64_t size, int64_t packed, uint32_t dosDateTime, uint32_t crc, const std::string& name);
void PrintListTotals(int count, int64_t size, int64_t packed);

}  // namespace arkzip

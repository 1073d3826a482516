// MS-DOS date and time stamps, as ZIP headers and RAR 4 headers store them:
// local time of the writer, two-second steps, 1980-01-01 to 2107-12-31.
// The 16-bit time holds hour, minute and second/2; the 16-bit date holds
// year-1980, month and day. Conversions go through the C library's local
// time.
#pragma once

#include <cstdint>

namespace arkelin::engine::common {

// How a Unix time with an odd second becomes a two-second DOS stamp. Down
// for stamps shown or compared as they are; Up where a stored stamp must
// never look older than the file (update and freshen compare them).
enum class OddSecond { Down, Up };

// Local-time DOS stamp to Unix seconds; -1 when the stamp is "no time"
// (month or day 0) or no real date.
int64_t DosToUnix(uint16_t dosTime, uint16_t dosDate);

// Unix seconds to a local-time DOS stamp, clamped to 1980-01-01 00:00:00
// and 2107-12-31 23:59:58.
void UnixToDos(int64_t t, uint16_t& dosTime, uint16_t& dosDate, OddSecond odd = OddSecond::Down);

}  // namespace arkelin::engine::common

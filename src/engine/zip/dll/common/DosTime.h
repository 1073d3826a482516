// MS-DOS date and time stamps (local time, two-second steps, 1980 to 2107)
// to and from Unix seconds.
#pragma once

#include <cstdint>
#include <ctime>

namespace arkelin::engine::zip::dll {

// Local-time DOS stamp to Unix seconds; -1 when the stamp is "no time"
// (month or day 0) or not a real date.
int64_t DosToUnix(uint16_t dosTime, uint16_t dosDate);

// Unix seconds to a local-time DOS stamp, clamped to 1980-01-01 00:00:00
// and 2107-12-31 23:59:58; odd seconds round down.
void UnixToDos(int64_t t, uint16_t& dosTime, uint16_t& dosDate);

}  // namespace arkelin::engine::zip::dll

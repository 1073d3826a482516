// Whether a password opens an encrypted RAR entry, found out before an
// operation that cannot ask (a drag out of the window). RAR 5 entries with a
// password check value are decided by it before any data is decoded; other
// entries (RAR 3 AES, the older ciphers, RAR 5 without the value) are
// decoded up to a limit: an entry within the limit is decided by its sizes
// and checksums, a longer one that decodes soundly so far counts as right
// (a wrong key makes compressed data fail within the first blocks; stored
// data cannot tell, and the extraction that follows still checks it).
//
// Reads the archive with the archive layer's own reader, whatever library
// TRAR has bound.
#pragma once

#include <cstddef>
#include <string>

namespace arkelin::engine::rar {

enum class RarPasswordFit {
  Right,
  Wrong,         // refused by the check value, the headers, the decoder or a checksum
  NotEncrypted,
  Unknown,       // the archive cannot be read, the entry is not there, or it cannot be decoded here
};

// `entryName`: as listed (UTF-8; "\" and "/" count alike), compared exactly.
// `probeBytes`: how much of a longer entry is decoded at most.
RarPasswordFit RarEntryPasswordFits(const std::string& archive, const std::string& entryName,
                                    const std::string& password, size_t probeBytes = size_t{4} << 20);

}  // namespace arkelin::engine::rar

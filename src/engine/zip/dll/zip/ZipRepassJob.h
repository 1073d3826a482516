// A change of password: every file entry of an archive encrypted again with
// a new password, in one rewrite through the temporary file beside the
// archive (ZipRewrite.h), so a failure, a full disk or a stop leaves the
// archive byte for byte as it was.
//
// First every encrypted entry is opened with the old password and decoded
// in full, its CRC or AES authentication code checked: a wrong old password,
// an entry that cannot be decoded (a method this engine lacks) or damaged
// data refuse the whole change before the temporary file is even created.
// Then each file entry's compressed bytes are decrypted and encrypted again
// as a stream, never recompressed: the compressed data, the CRC, the times,
// names, attributes and comments stay. Entries that were not encrypted are
// encrypted as well, so that afterwards the new password guards the whole
// archive. Folder entries hold no data and are copied as they are. AES
// entries get AE-2 or AE-1 by the same size rule as added files (an AE-2
// entry's CRC, left out of the archive, is taken from the check).
#pragma once

#include <cstdint>

#include "engine/zip/dll/zip/ZipUpdateJob.h"

namespace arkelin::engine::zip::zipdll {

// Uses cmd.archive, cmd.password (the old one), cmd.newPassword, cmd.aes
// (0 traditional, 1..3 AES-128/192/256), cmd.codePage and cmd.verbose.
// Answers the number of entries encrypted with the new password; 0 when
// nothing was written (the reason went out as a message).
int32_t RunChangePassword(const Command& cmd, Reporter& rep);

}  // namespace arkelin::engine::zip::zipdll

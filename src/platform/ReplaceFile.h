// Replacing a small file the program owns (an address book, a list) so that
// a failed or interrupted write never damages what was there: the new bytes
// go to a temporary file beside the old one, are flushed to the disk, and
// the temporary file is renamed over the old one; the folder is flushed
// after the rename so that the new name survives a crash too. The old
// file's permissions carry over; a new file gets 0644 less the umask. A
// link in the file's place stays a link: the file it points to is replaced.
// Not for large files (the bytes are in memory) and not for archives, which
// the engines write themselves.
#pragma once

#include <string>
#include <string_view>

namespace arkelin::platform {

// True when path now holds exactly bytes. On false the old file is as it
// was, no temporary file is left, and *error (when given) says why.
bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string* error = nullptr);

}  // namespace arkelin::platform

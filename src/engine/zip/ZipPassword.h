// Whether a password opens an encrypted entry, told from the entry's
// encryption header alone, before any of its data is decoded: the check byte
// of the traditional 12-byte header (one wrong password in 256 passes it) or
// the 2-byte verifier of an AES entry (one in 65536). Used where a question
// must come before an operation that cannot ask (a drag out of the window):
// a "right" answer is "probably right", and the extraction that follows
// still checks the data.
//
// Reads the archive with the engine libraries' own directory reader and
// names, so an entry named as the listing names it is the entry checked.
// Multi-volume sets are not looked into (Unknown).
#pragma once

#include <cstdint>
#include <string>

namespace arkelin::engine::zip {

enum class PasswordFit {
  Right,         // the header accepts it
  Wrong,         // the header refuses it
  NotEncrypted,  // the entry has no encryption
  Unknown,       // the archive or the entry cannot be read, or no such entry
};

// `entryName`: the stored name as listed (UTF-8; "\" and "/" count alike),
// compared exactly. `nameRule`: TZipMaster::NameRuleValue() of the session.
PasswordFit EntryPasswordFits(const std::string& archive, const std::string& entryName,
                              const std::string& password, int32_t nameRule = 0);

}  // namespace arkelin::engine::zip

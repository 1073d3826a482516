// The header walk of RAR archives: the RAR 1.5-4.x block format and RAR 5,
// across the volumes of a set, with encrypted headers decrypted on the way.
// Every header is checked against its CRC and must fit inside its volume and
// its own declared size before anything in it is believed. Entries come out
// one at a time, in archive order, with the data parts of a file split over
// volumes gathered into one entry (the following volumes' headers are read
// ahead for that). Only headers are read here; data is left to PackedStream.
//
// Service headers are skipped, except the archive comment, which is kept in
// its packed form for the session to decode. Quick-open caches and recovery
// records are never used: listing and extraction read the same headers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/rar/archive/RarCrypto.h"
#include "engine/rar/archive/RarEntry.h"
#include "engine/rar/archive/VolumeSet.h"

namespace arkelin::engine::rar::archive {

// An archive comment before decoding: the data of a comment service header
// (RAR 3, RAR 5), or the bytes of a comment embedded in an old main header.
struct CommentSource {
  RarEntry entry;                  // sizes, method, version, CRC, data parts
  bool embedded = false;
  std::vector<uint8_t> bytes;      // the embedded form's stored bytes
  uint16_t crc16 = 0;              // embedded form: low 16 bits of the text's CRC32
};

// Where the RAR 1.5-4.x or RAR 5 signature starts in `buf`: at offset 0
// only, or anywhere when `anywhere` (the first volume may follow a
// self-extractor stub). False when it is not there.
bool FindRarSignature(const uint8_t* buf, size_t n, bool anywhere, size_t& at, bool& rar5);
// Whether the file holds the signature where an archive's first volume
// would: at its start or after a stub of up to 1 MiB.
bool HasRarSignature(const std::string& path);

class HeaderReader {
 public:
  // Makes sure `keys` holds a password when encrypted headers need one;
  // false when there is none to be had.
  using PasswordFn = std::function<bool()>;

  HeaderReader(VolumeSet& volumes, KeyCache& keys, unsigned maxKdfLog2);

  // Reads the first volume's signature (after a self-extractor stub of up to
  // 1 MiB), main header and archive comment header. With encrypted headers and
  // no password the walk waits: Open succeeds, and Next asks again. 0 or an
  // ERAR_* code.
  int Open(const PasswordFn& askPassword);
  const ArchiveInfo& Info() const { return info_; }
  const std::optional<CommentSource>& Comment() const { return comment_; }

  // The next entry: 0, ERAR_END_ARCHIVE, or an ERAR_* code. Parts continued
  // from a volume before the one opened are left out unless asked for.
  int Next(RarEntry& entry, bool includeOrphanParts, const PasswordFn& askPassword);
  const std::string& LastMessage() const { return message_; }
  // Whether RAR 3 keys are derived with the original SHA-1's in-place quirk
  // (the headers showed which one the archive was made with).
  bool Rar3Garble() const { return garble_; }

 private:
  struct Block {
    unsigned type = 0;
    uint64_t flags = 0;
    std::vector<uint8_t> h;  // the plain header bytes
    size_t body = 0;         // RAR 5: where the type's own fields start
    uint64_t extraSize = 0;  // RAR 5: the extra area at the end of the header
    uint64_t dataOffset = 0, dataSize = 0, next = 0;
  };
  enum : int { kEof = 1000 };

  int StartVolume(size_t volume, const PasswordFn& askPassword);
  int FinishVolumeStart(const PasswordFn& askPassword);
  int ReadBlock(uint64_t offset, Block& b);
  int ReadRar4Block(VolumeFile& f, uint64_t offset, Block& b);
  int ReadRar5Block(VolumeFile& f, uint64_t offset, Block& b);
  int ParseRar4Main(const Block& b, bool first);
  int ParseRar5Main(const Block& b, bool first);
  int ParseRar5Encryption(const Block& b);
  int ParseRar4File(const Block& b, RarEntry& e);
  int ParseRar5File(const Block& b, RarEntry& e);
  void ReadComment();
  bool IsFileBlock(const Block& b) const;
  bool IsCommentBlock(const Block& b) const;
  // Moves to the start of the next volume; 0 or an ERAR_* code.
  int NextVolume(const PasswordFn& askPassword);
  int ReadEntry(Block& first, RarEntry& e, const PasswordFn& askPassword);
  int Fail(int code, std::string message);

  VolumeSet& volumes_;
  KeyCache& keys_;
  unsigned maxKdfLog2_;
  ArchiveInfo info_;
  std::optional<CommentSource> comment_;
  size_t volume_ = 0;
  uint64_t offset_ = 0;
  bool started_ = false;       // the first volume's main header has been read
  bool waitingPassword_ = false;
  bool rar4Encrypted_ = false;
  bool garble_ = true;         // RAR 3 key derivation with the in-place quirk
  bool decryptedOne_ = false;  // an encrypted header has decrypted correctly
  bool rar5Encrypted_ = false;
  uint8_t rar5Salt_[16] = {};
  unsigned rar5Lg_ = 0;
  bool pendingCheck_ = false;  // the RAR 5 password check value waits for the password
  uint8_t rar5Check_[12] = {};
  bool lastSplitAfter_ = false;
  bool seenFile_ = false;
  int pendingError_ = 0;
  bool ended_ = false;
  std::string message_;
};

}  // namespace arkelin::engine::rar::archive

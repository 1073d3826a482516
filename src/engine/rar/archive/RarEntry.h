// What the header walk learns about an archive and its entries, in one
// model for the RAR 1.5-4.x block format and for RAR 5. Plain values: names
// in UTF-8 with "\" separators (the form the UnRAR interface reports), sizes
// in 64 bits, times in Unix seconds plus nanoseconds (UTC), and for every
// volume part of an entry where its data lies.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace arkelin::engine::rar::archive {

enum class RarFormat { Rar4, Rar5 };

// One volume's share of an entry's packed data.
struct DataPart {
  size_t volume = 0;        // index into the archive's volume list
  uint64_t offset = 0;      // where the data starts in that volume
  uint64_t size = 0;        // packed bytes in that volume
  uint32_t crc = 0;         // for a part that is not the last: CRC32 of its packed bytes
  bool hasCrc = false;
  std::array<uint8_t, 32> hash{};  // RAR 5: BLAKE2sp of the packed bytes (non-last parts)
  bool hasHash = false;
};

struct FileTime {
  bool present = false;
  int64_t seconds = 0;   // Unix seconds, UTC
  uint32_t nanos = 0;
};

enum class Cipher { None, Rar13, Rar15, Rar20, Aes128, Aes256 };

// How an entry's data is encrypted; the password itself is never stored here.
struct CryptInfo {
  Cipher cipher = Cipher::None;
  uint8_t salt[16] = {};
  size_t saltLen = 0;
  uint8_t iv[16] = {};    // RAR 5 (RAR 3 derives its IV from the password)
  unsigned kdfLog2 = 0;   // RAR 5 iteration exponent
  uint8_t check[12] = {};
  bool hasCheck = false;
  bool macChecksums = false;  // RAR 5 encryption flag 0x0002
};

enum class Redirection { None = 0, UnixSymlink = 1, WindowsSymlink = 2, Junction = 3, HardLink = 4, FileCopy = 5 };

struct RarEntry {
  std::string name;     // UTF-8, "\" separated, as stored
  RarFormat format = RarFormat::Rar4;
  unsigned hostOS = 0;  // as the UnRAR interface reports it: 0 DOS, 1 OS/2, 2 Windows, 3 Unix, ...
  uint32_t attributes = 0;
  uint64_t unpackedSize = 0;
  bool unknownSize = false;  // RAR 5 file flag 0x0008
  uint64_t packedSize = 0;   // all parts together
  uint32_t crc = 0;          // of the unpacked data, as stored (MAC-converted when macChecksums)
  bool hasCrc = false;
  std::array<uint8_t, 32> blake2{};
  bool hasBlake2 = false;
  uint32_t dosTime = 0;      // the stored DOS stamp (RAR 4) or one made from mtime (RAR 5), local time
  FileTime mtime, ctime, atime;
  unsigned unpackVersion = 0;  // RAR 4 UNP_VER; RAR 5: 50 (algorithm 0) or 70 (algorithm 1)
  unsigned method = 0;         // 0 stored, 1..5 the compression level
  uint64_t dictionarySize = 0; // RAR 5 declared dictionary, bytes
  unsigned rar5Algorithm = 0;  // RAR 5 compression-info version field
  bool rar5OldAlgorithm = false;  // RAR 5 version 1 sizes with the version 0 algorithm
  bool isDirectory = false;
  bool solid = false;        // continues the previous entry's decoder stream
  bool splitBefore = false;  // the first part lies in an earlier volume we do not have
  bool splitAfter = false;   // the last part lies in a later volume we do not have
  CryptInfo crypt;
  Redirection redirection = Redirection::None;
  std::string redirTarget;   // UTF-8, as stored
  bool redirToDirectory = false;
  unsigned fileVersion = 0;  // RAR 5 version record ("name;N")
  std::vector<DataPart> parts;
  // Set when the header itself is sound but the entry cannot be processed
  // (for example a directory that declares data); listing still shows it.
  std::string problem;
  int problemCode = 0;       // the ERAR_* code processing it gives

  std::string volumeName;    // the volume that holds the header (the first part)

  bool Encrypted() const { return crypt.cipher != Cipher::None; }
  bool Stored() const { return method == 0; }
};

struct ArchiveInfo {
  RarFormat format = RarFormat::Rar4;
  bool volume = false;        // part of a multi-volume set
  bool firstVolume = false;
  bool solid = false;
  bool locked = false;
  bool recovery = false;
  bool encryptedHeaders = false;
  bool newNumbering = false;  // .partN.rar names
  bool hasComment = false;
  std::string comment;        // the archive comment, when it could be read
  int commentState = 0;       // 0 none, 1 read, or an error code (compressed and not readable)
  uint64_t sfxOffset = 0;     // bytes before the signature in the first volume
};

}  // namespace arkelin::engine::rar::archive

#include "engine/zip/ZipPassword.h"

#include <algorithm>
#include <cstring>

#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/ZipAes.h"
#include "engine/zip/dll/common/ZipCrypto.h"
#include "engine/zip/dll/common/ZipFormat.h"

namespace arkelin::engine::zip {

namespace {

std::string Slashed(std::string s) {
  std::replace(s.begin(), s.end(), '\\', '/');
  return s;
}

}  // namespace

PasswordFit EntryPasswordFits(const std::string& archive, const std::string& entryName,
                              const std::string& password, int32_t nameRule) {
  dll::ArchiveFile file;
  if (!file.Open(archive)) return PasswordFit::Unknown;
  dll::CentralDirectory dir;
  if (!dll::ReadCentralDirectory(file, dir, static_cast<dll::CodePageRule>(nameRule)).Ok()) return PasswordFit::Unknown;
  const std::string wanted = Slashed(entryName);
  const auto it = std::find_if(dir.entries.begin(), dir.entries.end(),
                               [&](const dll::CentralEntry& e) { return Slashed(e.name) == wanted; });
  if (it == dir.entries.end()) return PasswordFit::Unknown;
  const dll::CentralEntry& e = *it;
  if (!e.IsEncrypted()) return PasswordFit::NotEncrypted;

  dll::LocalHeader lh;
  if (!dll::ReadLocalHeader(file, e.localOffset, lh).Ok()) return PasswordFit::Unknown;
  // The libraries keep only the first 80 characters of a password.
  const std::string pw = password.substr(0, 80);
  if (e.IsAes()) {
    const size_t saltLen = dll::AesSaltSize(e.aesStrength);
    if (saltLen == 0 || e.compressedSize < saltLen + dll::kAesVerifierSize + dll::kAesCodeSize)
      return PasswordFit::Unknown;
    uint8_t stored[16 + dll::kAesVerifierSize];
    if (!file.ReadAt(lh.dataOffset, stored, saltLen + dll::kAesVerifierSize)) return PasswordFit::Unknown;
    dll::AesCipher cipher;
    uint8_t verifier[dll::kAesVerifierSize];
    if (!cipher.Init(pw, e.aesStrength, stored, verifier)) return PasswordFit::Unknown;
    return std::memcmp(verifier, stored + saltLen, dll::kAesVerifierSize) == 0 ? PasswordFit::Right
                                                                                : PasswordFit::Wrong;
  }
  if (e.compressedSize < dll::kCryptHeaderSize) return PasswordFit::Unknown;
  uint8_t header[dll::kCryptHeaderSize];
  if (!file.ReadAt(lh.dataOffset, header, sizeof header)) return PasswordFit::Unknown;
  // The same check byte the extractor expects: the local flags say whether
  // the writer used the time (a data descriptor follows) or the CRC.
  const uint8_t check = dll::CryptCheckByte(lh.flags | (e.flags & dll::kFlagDescriptor), e.crc, e.dosTime);
  dll::ZipCryptoKeys keys(pw);
  return keys.DecryptHeader(header, check) ? PasswordFit::Right : PasswordFit::Wrong;
}

}  // namespace arkelin::engine::zip

// The parts of the self-extractor stub that read what the program carries:
// an entry's data (stored or deflated, with the traditional encryption,
// checked against size and CRC), the folder and command line of the
// parameter block, and the user's choice from the file list. Kept apart
// from the program's main so that the fuzz target runs them over hostile
// bytes.
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/common/Crc32.h"
#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/CentralDirectory.h"
#include "engine/zip/dll/common/ZipCrypto.h"

namespace sfxstub {

namespace zip = arkelin::engine::zip;
namespace common = arkelin::engine::common;
using zip::dll::ArchiveFile;
using zip::dll::CentralEntry;

// Reads an entry's packed data, decrypts and inflates it, and hands the
// plain bytes to `sink`; checks size and CRC. False with a reason.
template <class Sink>
bool Decode(const ArchiveFile& file, const CentralEntry& e, const std::string* password, Sink&& sink,
            std::string& why) {
  zip::dll::LocalHeader lh;
  if (!zip::dll::ReadLocalHeader(file, e.localOffset, lh).Ok()) {
    why = "the local header is damaged";
    return false;
  }
  if (e.method != 0 && e.method != 8) {
    why = "compression method " + std::to_string(e.method) + " is not supported by this program";
    return false;
  }
  uint64_t packed = e.compressedSize;
  uint64_t at = lh.dataOffset;
  if (at > file.Size() || packed > file.Size() - at) {
    why = "the data runs past the end of the file";
    return false;
  }
  std::unique_ptr<zip::dll::ZipCryptoKeys> keys;
  if (e.IsEncrypted()) {
    if (!password) {
      why = "no password";
      return false;
    }
    if (packed < zip::dll::kCryptHeaderSize) {
      why = "the encryption header is cut short";
      return false;
    }
    uint8_t head[zip::dll::kCryptHeaderSize];
    if (!file.ReadAt(at, head, sizeof head)) {
      why = "read error";
      return false;
    }
    keys = std::make_unique<zip::dll::ZipCryptoKeys>(*password);
    if (!keys->DecryptHeader(head, zip::dll::CryptCheckByte(e.flags, e.crc, e.dosTime))) {
      why = "wrong password";
      return false;
    }
    at += sizeof head;
    packed -= sizeof head;
  }
  z_stream zs{};
  const bool inflating = e.method == 8;
  if (inflating && inflateInit2(&zs, -MAX_WBITS) != Z_OK) {
    why = "out of memory";
    return false;
  }
  std::vector<uint8_t> in(64 * 1024), out(64 * 1024);
  uint32_t crc = 0;
  uint64_t produced = 0;
  bool ended = !inflating;
  bool ok = true;
  while (ok && packed > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(packed, in.size()));
    if (!file.ReadAt(at, in.data(), n)) {
      why = "read error";
      ok = false;
      break;
    }
    at += n;
    packed -= n;
    if (keys) keys->Decrypt(in.data(), n);
    if (!inflating) {
      crc = common::Crc32(crc, in.data(), n);
      produced += n;
      if (!sink(in.data(), n)) {
        why = "write error: " + std::string(std::strerror(errno));
        ok = false;
      }
      continue;
    }
    zs.next_in = in.data();
    zs.avail_in = static_cast<uInt>(n);
    while (ok && zs.avail_in > 0 && !ended) {
      zs.next_out = out.data();
      zs.avail_out = static_cast<uInt>(out.size());
      const int r = inflate(&zs, Z_NO_FLUSH);
      if (r != Z_OK && r != Z_STREAM_END) {
        why = "the compressed data is damaged";
        ok = false;
        break;
      }
      const size_t got = out.size() - zs.avail_out;
      crc = common::Crc32(crc, out.data(), got);
      produced += got;
      if (got && !sink(out.data(), got)) {
        why = "write error: " + std::string(std::strerror(errno));
        ok = false;
      }
      if (r == Z_STREAM_END) ended = true;
    }
  }
  // Whatever inflate still holds after the last input.
  while (ok && inflating && !ended) {
    zs.next_in = nullptr;
    zs.avail_in = 0;
    zs.next_out = out.data();
    zs.avail_out = static_cast<uInt>(out.size());
    const int r = inflate(&zs, Z_NO_FLUSH);
    const size_t got = out.size() - zs.avail_out;
    if (r == Z_STREAM_END) ended = true;
    if (got == 0 && !ended) {
      why = "the compressed data is cut short";
      ok = false;
      break;
    }
    crc = common::Crc32(crc, out.data(), got);
    produced += got;
    if (got && !sink(out.data(), got)) {
      why = "write error";
      ok = false;
    }
  }
  if (inflating) inflateEnd(&zs);
  if (!ok) return false;
  if (produced != e.uncompressedSize) {
    why = "size mismatch";
    return false;
  }
  if (crc != e.crc) {
    why = "CRC error";
    return false;
  }
  return true;
}

// "1,3-5" style choice of numbers 1..count; empty = all.
bool ParseChoice(const std::string& text, size_t count, std::vector<bool>& chosen);

// The folder the header names, as a path on this system: "><" is the
// temporary folder ($TMPDIR, else /tmp); a Windows drive ("C:\...") stands
// for the current folder, so "C:\Tools" becomes "Tools" below it; "\"
// separates.
std::string HeaderFolder(std::string dir);

// Splits the argument part of a command line at blanks; double quotes keep
// blanks inside one argument.
std::vector<std::string> SplitArguments(const std::string& s);

std::string ReplaceAll(std::string s, const std::string& what, const std::string& with);

// The program and its arguments from a command line of the block: "><"
// becomes the extract folder (with a trailing "/"), "|" separates the
// program from the arguments.
std::vector<std::string> CommandArguments(const std::string& commandLine, const std::string& folder);

}  // namespace sfxstub

// Streaming decompression of one entry's stored bytes: stored, Deflate
// (libdeflate in one piece for entries up to a few MiB, zlib streaming for
// larger ones), bzip2, LZMA, Zstandard and XZ through the Debian libraries,
// Deflate64 by our own decoder (Deflate64.h).
// The input is limited to the entry's compressed size and decrypted on the
// fly when keys are given; the output is limited to the declared
// uncompressed size, so a lying header can neither make us allocate by its
// word nor write past what the directory announced. Memory per decoder is
// bounded and independent of the entry's size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/zip/dll/common/ArchiveFile.h"
#include "engine/zip/dll/common/ZipAes.h"
#include "engine/zip/dll/common/ZipCrypto.h"

namespace arkelin::engine::zip::dll {

// The compressed bytes of one entry, read by position in large chunks, or
// taken from memory when the caller read them already.
class EntryInput {
 public:
  EntryInput(const ArchiveFile& file, uint64_t offset, uint64_t length, ZipCryptoKeys* keys,
             AesCipher* aes = nullptr)
      : file_(&file), offset_(offset), remaining_(length), keys_(keys), aes_(aes) {}
  EntryInput(const uint8_t* data, size_t length, ZipCryptoKeys* keys, AesCipher* aes = nullptr)
      : mem_(data), remaining_(length), keys_(keys), aes_(aes) {}
  // Up to `n` bytes; 0 at the end; -1 when the file cannot be read.
  int64_t Read(uint8_t* buf, size_t n);
  uint64_t Remaining() const { return remaining_; }
  // Reads whatever the decoder left, so an AES code covers every byte;
  // false when the file cannot be read.
  bool Drain();
  // The rest of the input in place, when it is in memory and needs no
  // decryption; else nullptr.
  const uint8_t* InPlace() const { return mem_ && !keys_ && !aes_ ? mem_ : nullptr; }
  // Passes over `n` bytes InPlace gave.
  void Consume(size_t n) {
    mem_ += n;
    remaining_ -= n;
  }

 private:
  const ArchiveFile* file_ = nullptr;
  const uint8_t* mem_ = nullptr;
  uint64_t offset_ = 0;
  uint64_t remaining_;
  ZipCryptoKeys* keys_;
  AesCipher* aes_;
};

// Receives the decoded bytes; answers false to stop (write error or cancel).
class OutputSink {
 public:
  virtual ~OutputSink() = default;
  virtual bool Write(const uint8_t* data, size_t n) = 0;
};

enum class DecodeResult {
  Ok,
  Stopped,      // the sink answered false
  ReadError,    // the archive could not be read
  DataError,    // the compressed data is damaged
  TooLong,      // more data than the declared size
  TooShort,     // less data than the declared size
  Unsupported,  // a method this engine does not decode
};

// Whether `method` can be decoded.
bool MethodSupported(uint16_t method);
// "unsupported method PPMd (method 98)" and the like.
std::string UnsupportedMethodText(uint16_t method);

// Decodes the whole entry into `out`. `detail` receives a short reason on
// failure.
DecodeResult DecodeEntry(uint16_t method, uint16_t flags, EntryInput& in, uint64_t expectedSize, OutputSink& out,
                         std::string& detail);

}  // namespace arkelin::engine::zip::dll

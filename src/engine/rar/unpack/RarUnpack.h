// The RAR decompressors: one interface over the RAR 1.5, 2.0, 2.9/3.x, 5.0
// and 7.0 compression formats.
//
// A decoder turns one entry's packed data (every volume part of it, already
// decrypted) into its unpacked bytes. It knows nothing of headers, volumes,
// ciphers or files on disk: the archive layer pulls packed bytes through a
// PackedSource and receives the output through an UnpackedSink. A solid group
// is decoded by feeding its entries, in archive order, to the same Unpacker
// with `solid` set for every entry but the first; an entry the user skips in a
// solid group must still be decoded (with a sink that discards).
//
// Memory is bounded: windows, PPMd models and filter blocks are allocated
// within Limits, never from an unchecked size read from the data; a larger
// demand is refused with Status::TooLarge before anything is allocated.
//
// Thread: an Unpacker is used by one thread at a time; separate Unpackers are
// independent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace arkelin::engine::rar::unpack {

// Packed bytes of one entry, pulled on demand.
class PackedSource {
 public:
  virtual ~PackedSource() = default;
  // Copies up to n bytes into buf and answers how many; 0 means the entry's
  // packed data has ended; a negative value is a read error.
  virtual std::ptrdiff_t Read(std::uint8_t* buf, std::size_t n) = 0;
};

// Receives the unpacked bytes in order.
class UnpackedSink {
 public:
  virtual ~UnpackedSink() = default;
  // Answers false to stop decoding (the decoder then answers Status::Stopped).
  virtual bool Write(const std::uint8_t* data, std::size_t n) = 0;
};

enum class Format {
  Rar15,  // RAR 4 headers, unpack version below 20
  Rar20,  // unpack version 20 and 26 (LZ and audio modes)
  Rar29,  // unpack version 29 to 40 (LZ, PPMd, standard filters)
  Rar50,  // RAR 5 headers, algorithm version 0
  Rar70,  // RAR 5 headers, algorithm version 1
};

// Whatever the limits say, no decoder takes a dictionary above 4 GiB or a
// PPMd model above 256 MiB (the format's own maximum). A RAR 5 window is the
// dictionary rounded up to a power of two (at least 256 KiB), grown to fit a
// waiting filter block (at most 4 MiB); RAR 4 windows are 64 KiB, 1 MiB and
// 4 MiB.
struct Limits {
  // Largest LZ dictionary accepted (RAR 5 declares its own; RAR 4's are fixed).
  std::uint64_t maxDictionary = std::uint64_t{1} << 30;
  // Largest PPMd model memory accepted (the stream asks for up to 256 MiB).
  std::uint64_t maxPpmdMemory = std::uint64_t{256} << 20;
};

enum class Status {
  Ok,           // the entry decoded to its declared size
  Corrupt,      // the packed data is damaged (message says where)
  Unsupported,  // a feature this decoder does not run (a non-standard filter program)
  TooLarge,     // a dictionary, model or block above Limits
  ReadError,    // the PackedSource failed
  Stopped,      // the UnpackedSink asked to stop
};

struct Result {
  Status status = Status::Ok;
  std::string message;   // empty when Ok
  std::uint64_t written = 0;  // bytes handed to the sink for this entry
};

struct EntryParams {
  // Declared unpacked size; the output never exceeds it. When unknownSize is
  // set (RAR 5 may say so) the decoder runs until the stream's end marker.
  std::uint64_t unpackedSize = 0;
  bool unknownSize = false;
  // Continue the previous entry's stream (window, tables, models) instead of
  // starting a new one.
  bool solid = false;
  // RAR 5's declared dictionary size in bytes; ignored for the RAR 4 formats,
  // whose windows are fixed by version.
  std::uint64_t dictionarySize = 0;
};

class Unpacker {
 public:
  // A decoder for the format, or null with error set (for example a
  // dictionary above the limits).
  static std::unique_ptr<Unpacker> Create(Format format, const Limits& limits, std::string& error);

  virtual ~Unpacker() = default;
  // Decodes one entry. After a result other than Ok, a following solid entry
  // of the same group cannot be decoded (the caller reports it as damaged).
  virtual Result Unpack(PackedSource& in, const EntryParams& entry, UnpackedSink& out) = 0;
};

}  // namespace arkelin::engine::rar::unpack

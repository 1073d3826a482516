// One reading session of a RAR archive: open a set of volumes, walk its
// entries in order, and skip, test or decode each one into a sink, with the
// checks that make a result trustworthy: the declared size, the CRC32 and
// BLAKE2sp of the data (MAC-converted where the archive says so), and for
// RAR 5 the password check value before any data is decoded.
//
// Solid groups keep one decoder across their entries. Skipping an entry of a
// solid group postpones its decoding: it is decoded (output discarded) only
// when a later entry of the same group is tested or extracted, so extracting
// the first entries of a large solid archive costs nothing for the rest.
//
// This is also the way in for tests and tools that need an entry's packed
// data: OpenPackedData gives the current entry's data across all its volumes,
// decrypted, as the decoders see it. Single-threaded; one session per thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/rar/archive/RarCrypto.h"
#include "engine/rar/archive/RarEntry.h"
#include "engine/rar/archive/VolumeSet.h"
#include "engine/rar/unpack/RarUnpack.h"

namespace arkelin::engine::rar::archive {

class HeaderReader;
class PackedStream;

struct ReaderOptions {
  unpack::Limits limits;
  // Largest RAR 5 key-derivation exponent accepted (2^24 rounds, as the
  // format's own tools allow).
  unsigned maxKdfLog2 = kRar5MaxKdfLog2;
  // List entries whose first part lies in a volume before the one opened.
  bool includeOrphanParts = false;
  // Asked when a password is needed and none is set: fill it and answer
  // true, or answer false for none. `forHeaders`: encrypted headers need it
  // (else an entry's data).
  std::function<bool(std::string& password, bool forHeaders)> askPassword;
  VolumeSet::AskFn askVolume;
  VolumeSet::NotifyFn notifyVolume;
};

class RarReader {
 public:
  explicit RarReader(ReaderOptions options = {});
  ~RarReader();
  RarReader(const RarReader&) = delete;
  RarReader& operator=(const RarReader&) = delete;

  // Opens the archive. Given a later volume of a set whose first volume is
  // beside it, starts at the first. 0 or an ERAR_* code.
  int Open(const std::string& path);
  ArchiveInfo Info() const;
  // The volumes found so far, in order.
  std::vector<std::string> VolumeNames() const;
  // The password for encrypted headers and data (UTF-8); kept wiped-on-free.
  void SetPassword(const std::string& password);

  // The next entry: 0, ERAR_END_ARCHIVE or an ERAR_* code. An entry that was
  // neither skipped nor tested is skipped first.
  int Next(RarEntry& entry);
  const RarEntry& Current() const { return current_; }
  // Skips the current entry.
  int Skip();
  // Decodes the current entry into `sink` (null: check only) and verifies
  // it. 0 or an ERAR_* code; LastMessage() says more.
  int Test(unpack::UnpackedSink* sink);
  // The current entry's packed data, decrypted; null with an ERAR_* code.
  std::unique_ptr<unpack::PackedSource> OpenPackedData(int& code);
  const std::string& LastMessage() const { return message_; }

  // The decoder an entry needs; false when none exists for it.
  static bool DecoderFormat(const RarEntry& e, unpack::Format& format);
  static unpack::EntryParams DecoderParams(const RarEntry& e);

 private:
  bool AskPassword(bool forHeaders);
  bool Decodes(const RarEntry& e) const;
  int CatchUp();
  int Decode(const RarEntry& e, unpack::UnpackedSink* sink);
  std::unique_ptr<PackedStream> MakeStream(const RarEntry& e, int& code, std::array<uint8_t, 32>& hashKey,
                                           bool& mac);
  void DecodeComment();
  int Fail(int code, std::string message);

  ReaderOptions options_;
  KeyCache keys_;
  std::unique_ptr<VolumeSet> volumes_;
  std::unique_ptr<HeaderReader> headers_;
  RarEntry current_;
  bool haveCurrent_ = false;
  bool processed_ = true;
  std::unique_ptr<unpack::Unpacker> unpacker_;
  unpack::Format unpackerFormat_ = unpack::Format::Rar29;
  bool streamHasState_ = false;  // the decoder has decoded entries of the current stream
  bool streamOk_ = true;
  std::vector<RarEntry> pending_;  // skipped entries of the current stream not yet decoded
  std::string comment_;
  int commentState_ = 0;
  std::string message_;
};

}  // namespace arkelin::engine::rar::archive

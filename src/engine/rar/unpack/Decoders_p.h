// What every RAR decoder shares: the constructors behind Unpacker::Create and
// DecoderBase, which holds the reader, window, output stage and error state
// of one stream and the bookkeeping at the start and end of each entry.
#pragma once

#include <memory>
#include <string>

#include "engine/rar/unpack/BitInput_p.h"
#include "engine/rar/unpack/RarUnpack.h"
#include "engine/rar/unpack/Window_p.h"

namespace arkelin::engine::rar::unpack {

std::unique_ptr<Unpacker> MakeRar15Unpacker(const Limits& limits);
std::unique_ptr<Unpacker> MakeRar20Unpacker(const Limits& limits);
std::unique_ptr<Unpacker> MakeRar29Unpacker(const Limits& limits);
// version7: the RAR 7.0 variant (80 distance slots).
std::unique_ptr<Unpacker> MakeRar50Unpacker(const Limits& limits, bool version7);

inline Result Fail(Status status, std::string message, uint64_t written) {
  Result r;
  r.status = status;
  r.message = std::move(message);
  r.written = written;
  return r;
}

class DecoderBase : public Unpacker {
 protected:
  // Starts an entry: resets the reader, output and error state. False (with
  // `early` set) for a solid entry whose stream is not there to continue;
  // otherwise `fresh` tells whether a new stream begins. The stream counts as
  // broken until FinishEntry(true).
  bool StartEntry(PackedSource& source, const EntryParams& entry, UnpackedSink& sink, Result& early, bool& fresh) {
    status_ = Status::Ok;
    message_.clear();
    in_.Reset(&source);
    out_.Begin(&sink, entry);
    declared_ = entry.unpackedSize;
    unknownSize_ = entry.unknownSize;
    if (entry.solid && (!started_ || broken_)) {
      early = Fail(Status::Corrupt, "solid entry whose predecessor could not be decoded", 0);
      return false;
    }
    fresh = !entry.solid;
    started_ = true;
    broken_ = true;
    return true;
  }
  // The entry's result: read errors take precedence over the damage they
  // cause, and a complete entry has exactly its declared size.
  Result FinishEntry(bool ok) {
    if (ok && in_.ReadFailed()) ok = Error(Status::ReadError, "the packed data could not be read");
    if (ok && !unknownSize_ && out_.written() != declared_) ok = Corrupt("the data is shorter than the declared size");
    if (!ok) {
      if (in_.ReadFailed() && status_ == Status::Corrupt) {
        status_ = Status::ReadError;
        message_ = "the packed data could not be read";
      }
      return Fail(status_, message_, out_.written());
    }
    broken_ = false;
    Result r;
    r.written = out_.written();
    return r;
  }
  // Records the first error of the entry; always false.
  bool Error(Status s, std::string message) {
    if (status_ == Status::Ok) {
      status_ = s;
      message_ = std::move(message);
    }
    return false;
  }
  bool Corrupt(const char* message) { return Error(Status::Corrupt, message); }
  // The output stage refused bytes: the sink stopped, or the data is longer
  // than declared.
  bool EmitFailed() {
    if (out_.stopped()) return Error(Status::Stopped, "stopped");
    return Corrupt("the data is longer than the declared size");
  }
  bool ReserveWindow(uint64_t size) {
    return win_.Reserve(size) || Error(Status::TooLarge, "not enough memory for the window");
  }
  // The RAR 4 formats: a window of fixed size, allocated once; RAR 1.5 and
  // 2.0 (`sizeRequired`) end where the declared size says.
  bool PrepareFixedWindow(uint64_t size, bool sizeRequired) {
    if (!win_.allocated() && !ReserveWindow(size)) return false;
    return !(sizeRequired && unknownSize_) || Corrupt("this format needs the unpacked size");
  }

  BitInput in_;
  LzWindow win_;
  EntryOutput out_;
  uint64_t declared_ = 0;
  bool unknownSize_ = false;
  bool started_ = false;  // a stream was begun
  bool broken_ = false;   // ... and could not be decoded to the end
  Status status_ = Status::Ok;
  std::string message_;
};

}  // namespace arkelin::engine::rar::unpack

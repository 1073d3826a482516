// Constructors of the per-format decoders behind Unpacker::Create.
#pragma once

#include <memory>
#include <string>

#include "engine/rar/unpack/RarUnpack.h"

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

}  // namespace arkelin::engine::rar::unpack

// Decoders not written yet: they answer Unsupported ("not available yet").
#include "engine/rar/unpack/Decoders_p.h"

namespace arkelin::engine::rar::unpack {
namespace {
class PendingUnpacker final : public Unpacker {
 public:
  Result Unpack(PackedSource&, const EntryParams&, UnpackedSink&) override {
    return Fail(Status::Unsupported, "this decoder is not available yet", 0);
  }
};
}  // namespace
std::unique_ptr<Unpacker> MakeRar15Unpacker(const Limits&) { return std::make_unique<PendingUnpacker>(); }
std::unique_ptr<Unpacker> MakeRar20Unpacker(const Limits&) { return std::make_unique<PendingUnpacker>(); }
}  // namespace arkelin::engine::rar::unpack

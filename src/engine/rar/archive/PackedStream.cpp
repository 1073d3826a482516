// An entry's data across volumes. See PackedStream.h.
#include "engine/rar/archive/PackedStream.h"

#include <algorithm>
#include <cstring>

#include "engine/rar/UnrarApi.h"
#include "engine/common/Crc32.h"

namespace arkelin::engine::rar::archive {

namespace {
constexpr size_t kBufferSize = 256 * 1024;
}

PackedStream::PackedStream(VolumeSet& volumes, std::vector<DataPart> parts, std::unique_ptr<Decryptor> decryptor)
    : volumes_(volumes), parts_(std::move(parts)), decryptor_(std::move(decryptor)), buf_(kBufferSize) {}

// Refills the buffer: raw bytes after whatever is left undecrypted, then
// decrypts the whole blocks among them.
bool PackedStream::Fill() {
  if (begin_ > 0) {
    std::memmove(buf_.data(), buf_.data() + begin_, raw_ - begin_);
    ready_ -= begin_;
    raw_ -= begin_;
    begin_ = 0;
  }
  while (raw_ < buf_.size() && part_ < parts_.size()) {
    const DataPart& p = parts_[part_];
    if (partPos_ == p.size) {
      // A part that is not the last carries the CRC of its own packed bytes.
      if (part_ + 1 < parts_.size() && p.hasCrc && partCrc_ != p.crc) {
        error_ = ERAR_BAD_DATA;
        return false;
      }
      ++part_;
      partPos_ = 0;
      partCrc_ = 0;
      continue;
    }
    int err = 0;
    VolumeFile* f = volumes_.Get(p.volume, err);
    if (!f) {
      error_ = err ? err : ERAR_EOPEN;
      return false;
    }
    const size_t want = static_cast<size_t>(std::min<uint64_t>(buf_.size() - raw_, p.size - partPos_));
    const std::ptrdiff_t got = f->Read(p.offset + partPos_, buf_.data() + raw_, want);
    if (got <= 0) {
      error_ = got < 0 ? ERAR_EREAD : ERAR_BAD_DATA;  // a volume shorter than its headers say
      return false;
    }
    if (part_ + 1 < parts_.size() && p.hasCrc)
      partCrc_ = arkelin::engine::common::Crc32(partCrc_, buf_.data() + raw_, static_cast<size_t>(got));
    raw_ += static_cast<size_t>(got);
    partPos_ += static_cast<uint64_t>(got);
    break;  // hand out what arrived; the next call reads on
  }
  if (part_ >= parts_.size()) end_ = true;
  if (!decryptor_) {
    ready_ = raw_;
    return true;
  }
  const size_t bs = decryptor_->BlockSize();
  size_t whole = (raw_ - ready_) / bs * bs;
  if (whole > 0 && !decryptor_->Decrypt(buf_.data() + ready_, whole)) {
    error_ = ERAR_BAD_DATA;
    return false;
  }
  ready_ += whole;
  // A ciphertext that is not a whole number of blocks ends with a stub that
  // cannot be decrypted; it is dropped, and the checksums decide.
  if (end_ && ready_ < raw_) raw_ = ready_;
  return true;
}

std::ptrdiff_t PackedStream::Read(uint8_t* out, size_t n) {
  if (error_) return -1;
  if (n == 0) return 0;
  while (ready_ == begin_) {
    if (end_ && raw_ == ready_) return 0;
    if (!Fill()) return -1;
    if (ready_ == begin_ && end_ && raw_ == ready_) return 0;
  }
  const size_t take = std::min(n, ready_ - begin_);
  std::memcpy(out, buf_.data() + begin_, take);
  begin_ += take;
  delivered_ += take;
  return static_cast<std::ptrdiff_t>(take);
}

std::ptrdiff_t MemorySource::Read(uint8_t* buf, size_t n) {
  const size_t take = std::min(n, b_.size() - pos_);
  if (take) std::memcpy(buf, b_.data() + pos_, take);
  pos_ += take;
  return static_cast<std::ptrdiff_t>(take);
}

}  // namespace arkelin::engine::rar::archive

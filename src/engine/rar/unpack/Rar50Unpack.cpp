// The RAR 5.0 decoder (and its RAR 7.0 variant with larger distances).
//
// A file's packed data is a run of compressed blocks, each with a one-byte
// flag field, a check byte and a 1-3 byte size. Blocks may carry new Huffman
// tables (main 306 symbols, distance 64 or 80, alignment 16, length 44);
// symbols are literals, matches with four repeat distances, and filter
// definitions (DELTA, E8, E8E9, ARM) that transform a later range of the
// output. The window keeps the unfiltered bytes; filtered ranges are copied
// out, transformed and written in order.
//
// The window is at least the declared dictionary and grows (keeping its
// contents) when a filter block needs more room to wait in; no allocation
// is ever sized from the data beyond those bounds.
#include <algorithm>
#include <vector>

#include "engine/rar/unpack/BitInput_p.h"
#include "engine/rar/unpack/Decoders_p.h"
#include "engine/rar/unpack/Filters_p.h"
#include "engine/rar/unpack/Huffman_p.h"
#include "engine/rar/unpack/Window_p.h"

namespace arkelin::engine::rar::unpack {
namespace {

constexpr unsigned kMainSymbols = 306;
constexpr unsigned kAlignSymbols = 16;
constexpr unsigned kLengthSymbols = 44;
constexpr uint32_t kMaxFilterLength = 0x400000;
constexpr size_t kMaxPendingFilters = 8192;
// Room kept free in front of the unwritten bytes: a longest match (4100)
// plus margin.
constexpr uint64_t kSlack = 8192;
constexpr uint64_t kMinWindow = uint64_t{256} << 10;
constexpr uint64_t kChunk = uint64_t{4} << 20;

class Rar50Unpacker final : public DecoderBase {
 public:
  Rar50Unpacker(const Limits& limits, bool version7) : limits_(limits), v7_(version7) {}

  Result Unpack(PackedSource& source, const EntryParams& entry, UnpackedSink& sink) override;

 private:
  struct Filter {
    uint64_t start;
    uint32_t length;
    uint8_t type;
    uint8_t channels;
  };

  bool ReadTables();
  bool DecodeBlock(uint64_t endBits);
  bool ReadFilter();
  bool CopyMatch(uint64_t dist, uint32_t len) {
    if (dist > dict_ || dist > win_.pos) return Corrupt("match distance reaches before the start of the data");
    win_.Copy(dist, len);
    return true;
  }
  template <typename Reader>
  static uint32_t SlotLength(Reader& in, unsigned slot) {
    if (slot < 8) return slot + 2;
    const unsigned n = (slot >> 2) - 1;
    return 2 + ((4 + (slot & 3)) << n) + in.Bits(n);
  }
  bool Flush();
  bool ApplyFilter(const Filter& f);
  void ScheduleFlush();

  Limits limits_;
  bool v7_;
  HuffmanCode main_, dist_, align_, len_;
  bool tables_ = false;
  uint64_t rep_[4] = {};
  uint32_t lastLen_ = 0;
  uint64_t dict_ = 0;
  std::vector<Filter> filters_;
  size_t filterHead_ = 0;
  uint64_t lastFilterEnd_ = 0;
  uint64_t fileStart_ = 0;
  uint64_t flushLimit_ = 0;
  std::vector<uint8_t> filterIn_, filterOut_;
};

Result Rar50Unpacker::Unpack(PackedSource& source, const EntryParams& entry, UnpackedSink& sink) {
  Result early;
  bool fresh;
  if (!StartEntry(source, entry, sink, early, fresh)) return early;
  const uint64_t dict = std::max<uint64_t>(entry.dictionarySize, uint64_t{128} << 10);
  const uint64_t cap = std::min(limits_.maxDictionary, kHardDictionaryCap);
  if (dict > cap) {
    Error(Status::TooLarge, "dictionary of " + std::to_string(dict >> 20) + " MiB is above the limit of " +
                                std::to_string(cap >> 20) + " MiB");
    return FinishEntry(false);
  }
  if (fresh) {
    if (!ReserveWindow(std::max(dict, kMinWindow))) return FinishEntry(false);
    win_.Restart();
    tables_ = false;
    for (auto& r : rep_) r = UINT64_MAX;
    lastLen_ = 0;
    dict_ = dict;
  } else if (dict > dict_) {
    Corrupt("dictionary grows inside a solid group");
    return FinishEntry(false);
  }
  filters_.clear();
  filterHead_ = 0;
  fileStart_ = lastFilterEnd_ = win_.pos;
  ScheduleFlush();

  bool ok = true;
  for (;;) {
    in_.AlignToByte();
    const uint32_t flags = in_.Bits(8);
    const uint32_t check = in_.Bits(8);
    const unsigned sizeBytes = ((flags >> 3) & 3) + 1;
    if (sizeBytes == 4) {
      ok = Corrupt("bad block header");
      break;
    }
    uint32_t size = 0;
    uint32_t sum = 0x5A ^ flags;
    for (unsigned i = 0; i < sizeBytes; ++i) {
      const uint32_t b = in_.Bits(8);
      size |= b << (8 * i);
      sum ^= b;
    }
    if (in_.ConsumedPastEnd() != 0) {
      ok = Corrupt("the packed data ends early");
      break;
    }
    if ((sum & 0xFF) != check || size == 0) {
      ok = Corrupt("bad block header");
      break;
    }
    const uint64_t start = in_.BitPosition();
    const uint64_t endBits = start + (uint64_t{size} - 1) * 8 + (flags & 7) + 1;
    const uint64_t nextBits = start + uint64_t{size} * 8;
    if ((flags & 0x80) != 0) {
      if (!ReadTables()) {
        ok = false;
        break;
      }
      if (in_.BitPosition() > endBits) {
        ok = Corrupt("tables run past their block");
        break;
      }
    }
    if (!DecodeBlock(endBits)) {
      ok = false;
      break;
    }
    for (uint64_t left = nextBits - in_.BitPosition(); left > 0;) {
      const unsigned n = static_cast<unsigned>(std::min<uint64_t>(left, 32));
      in_.Bits(n);
      left -= n;
    }
    if (in_.ConsumedPastEnd() != 0) {
      ok = Corrupt("the packed data ends early");
      break;
    }
    if ((flags & 0x40) != 0) break;
  }
  if (ok) ok = Flush();
  if (ok && filterHead_ != filters_.size()) ok = Corrupt("a filter block is incomplete at the end of the file");
  return FinishEntry(ok);
}

bool Rar50Unpacker::ReadTables() {
  const unsigned distSymbols = v7_ ? 80 : 64;
  const unsigned total = kMainSymbols + distSymbols + kAlignSymbols + kLengthSymbols;
  uint8_t lens[kMainSymbols + 80 + kAlignSymbols + kLengthSymbols];
  if (!ReadCodeLengths(in_, lens, total, nullptr)) return Corrupt("bad table data");
  if (in_.ConsumedPastEnd() != 0) return Corrupt("the packed data ends early");
  const uint8_t* p = lens;
  if (!main_.Build(p, kMainSymbols) || !dist_.Build(p + kMainSymbols, distSymbols) ||
      !align_.Build(p + kMainSymbols + distSymbols, kAlignSymbols) ||
      !len_.Build(p + kMainSymbols + distSymbols + kAlignSymbols, kLengthSymbols)) {
    tables_ = false;
    return Corrupt("bad Huffman table");
  }
  tables_ = true;
  return true;
}

bool Rar50Unpacker::DecodeBlock(uint64_t endBits) {
  if (in_.BitPosition() < endBits && !tables_) return Corrupt("block without tables");
  BitCursor in(in_);  // the bit buffer stays in registers in this loop
  bool ok = true;
  for (;;) {
    if (win_.pos >= flushLimit_ && !Flush()) {
      ok = false;
      break;
    }
    if (in.BitPosition() >= endBits) break;
    const int s = main_.Decode(in);
    if (s < 256) {
      if (s < 0) {
        ok = Corrupt("bad symbol");
        break;
      }
      win_.Put(static_cast<uint8_t>(s));
      continue;
    }
    if (s >= 262) {
      uint32_t len = SlotLength(in, static_cast<unsigned>(s - 262));
      const int ds = dist_.Decode(in);
      if (ds < 0) {
        ok = Corrupt("bad distance symbol");
        break;
      }
      uint64_t dist;
      if (ds < 4) {
        dist = static_cast<uint64_t>(ds) + 1;
      } else {
        const unsigned n = (static_cast<unsigned>(ds) >> 1) - 1;
        dist = (uint64_t{2u | (static_cast<unsigned>(ds) & 1)} << n) + 1;
        if (n >= 4) {
          if (n > 32 + 4) dist += uint64_t{in.Bits(n - 36)} << 36;  // RAR 7 only
          if (n > 4) dist += uint64_t{in.Bits(std::min(n - 4, 32u))} << 4;
          const int a = align_.Decode(in);
          if (a < 0) {
            ok = Corrupt("bad alignment symbol");
            break;
          }
          dist += static_cast<uint64_t>(a);
        } else {
          dist += in.Bits(n);
        }
      }
      len += (dist > 0x100) + (dist > 0x2000) + (dist > 0x40000);
      rep_[3] = rep_[2];
      rep_[2] = rep_[1];
      rep_[1] = rep_[0];
      rep_[0] = dist;
      lastLen_ = len;
      if (!CopyMatch(dist, len)) {
        ok = false;
        break;
      }
    } else if (s == 256) {
      in.Sync();
      ok = ReadFilter();
      in.Load();
      if (!ok) break;
    } else if (s == 257) {
      if (lastLen_ != 0 && !CopyMatch(rep_[0], lastLen_)) {
        ok = false;
        break;
      }
    } else {
      const unsigned k = static_cast<unsigned>(s - 258);
      const uint64_t dist = rep_[k];
      for (unsigned i = k; i > 0; --i) rep_[i] = rep_[i - 1];
      rep_[0] = dist;
      const int ls = len_.Decode(in);
      if (ls < 0) {
        ok = Corrupt("bad length symbol");
        break;
      }
      const uint32_t len = SlotLength(in, static_cast<unsigned>(ls));
      lastLen_ = len;
      if (!CopyMatch(dist, len)) {
        ok = false;
        break;
      }
    }
  }
  in.Sync();
  if (ok && in_.BitPosition() > endBits) return Corrupt("a symbol runs past the end of its block");
  return ok;
}

bool Rar50Unpacker::ReadFilter() {
  auto num = [this]() {
    const unsigned k = in_.Bits(2) + 1;
    uint32_t v = 0;
    for (unsigned i = 0; i < k; ++i) v |= in_.Bits(8) << (8 * i);
    return v;
  };
  const uint64_t start = win_.pos + num();
  const uint32_t length = num();
  const uint8_t type = static_cast<uint8_t>(in_.Bits(3));
  uint8_t channels = 0;
  if (type == 0) channels = static_cast<uint8_t>(in_.Bits(5) + 1);
  if (type > 3) return Corrupt("unknown filter type");
  if (length > kMaxFilterLength) return Corrupt("filter block too long");
  if (start < lastFilterEnd_) return Corrupt("filter blocks overlap");
  if (filters_.size() - filterHead_ >= kMaxPendingFilters) return Corrupt("too many pending filters");
  // The block waits in the window until it is complete.
  if (win_.size() < length + 2 * kSlack && !win_.Reserve(length + 2 * kSlack))
    return Error(Status::TooLarge, "not enough memory for a filter block");
  if (filterHead_ == filters_.size()) {
    filters_.clear();
    filterHead_ = 0;
  }
  filters_.push_back(Filter{start, length, type, channels});
  lastFilterEnd_ = start + length;
  ScheduleFlush();
  return true;
}

void Rar50Unpacker::ScheduleFlush() {
  const uint64_t hard = win_.written + win_.size() - kSlack;
  uint64_t soft = win_.pos + std::min(kChunk, win_.size() / 2);
  if (filterHead_ < filters_.size()) {
    const Filter& f = filters_[filterHead_];
    soft = std::min(soft, std::max(f.start + f.length, win_.pos));
  }
  flushLimit_ = std::min(hard, soft);
}

bool Rar50Unpacker::Flush() {
  const uint64_t upto = win_.pos;
  for (;;) {
    if (filterHead_ < filters_.size() && filters_[filterHead_].start < upto) {
      const Filter f = filters_[filterHead_];
      if (f.start > win_.written) {
        if (!win_.EmitRange(out_, win_.written, f.start)) return EmitFailed();
        win_.written = f.start;
      }
      if (f.start + f.length > upto) break;  // wait for the rest of the block
      ++filterHead_;
      if (!ApplyFilter(f)) return false;
      win_.written = f.start + f.length;
      continue;
    }
    if (!win_.EmitRange(out_, win_.written, upto)) return EmitFailed();
    win_.written = upto;
    break;
  }
  ScheduleFlush();
  if (win_.pos + kSlack > win_.written + win_.size()) return Corrupt("a filter block does not fit the window");
  return true;
}

bool Rar50Unpacker::ApplyFilter(const Filter& f) {
  filterIn_.resize(f.length);
  win_.CopyOut(f.start, f.length, filterIn_.data());
  const uint32_t offset = static_cast<uint32_t>(f.start - fileStart_);
  const uint8_t* result = filterIn_.data();
  switch (f.type) {
    case 0:
      filterOut_.resize(f.length);
      FilterDelta(filterIn_.data(), filterOut_.data(), f.length, f.channels);
      result = filterOut_.data();
      break;
    case 1:
    case 2:
      FilterE8(filterIn_.data(), f.length, offset, f.type == 2, true);
      break;
    default:
      FilterArm(filterIn_.data(), f.length, offset);
      break;
  }
  if (!out_.Emit(result, f.length)) return EmitFailed();
  return true;
}

}  // namespace

std::unique_ptr<Unpacker> MakeRar50Unpacker(const Limits& limits, bool version7) {
  return std::make_unique<Rar50Unpacker>(limits, version7);
}

}  // namespace arkelin::engine::rar::unpack

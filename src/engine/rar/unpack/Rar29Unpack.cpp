// The RAR 2.9/3.x decoder (unpack versions 29 to 40): LZ blocks with delta
// coded Huffman tables, PPMd blocks, and filter programs.
//
// A stream is a run of blocks, each starting at a byte boundary with a header
// that selects LZ (tables follow) or PPMd (model parameters follow). Both
// modes share one 4 MiB window. Files end with an explicit marker; every file
// is decoded up to it, which keeps a solid group's PPMd model in step.
//
// Filter programs are byte code for a virtual machine, but RAR writers only
// ever send six fixed programs; they are recognised by length and CRC32 and
// run natively. Any other program makes the entry Unsupported: it is never
// interpreted.
#include <algorithm>
#include <cstring>
#include <vector>

#include "engine/common/Crc32.h"
#include "engine/rar/unpack/BitInput_p.h"
#include "engine/rar/unpack/Decoders_p.h"
#include "engine/rar/unpack/Filters_p.h"
#include "engine/rar/unpack/Huffman_p.h"
#include "engine/rar/unpack/LzTables_p.h"
#include "engine/rar/unpack/PpmdH_p.h"
#include "engine/rar/unpack/Window_p.h"

namespace arkelin::engine::rar::unpack {
namespace {

constexpr uint64_t kWindow = uint64_t{4} << 20;
constexpr unsigned kMainSymbols = 299;
constexpr unsigned kDistSymbols = 60;
constexpr unsigned kLowSymbols = 17;
constexpr unsigned kLenSymbols = 28;
constexpr unsigned kTableSize = kMainSymbols + kDistSymbols + kLowSymbols + kLenSymbols;  // 404
constexpr size_t kMaxPrograms = 8192;
constexpr uint64_t kSlack = 1024;  // a longest match (260 bytes) and margin
constexpr uint64_t kChunk = uint64_t{1} << 20;
constexpr uint32_t kVmMemory = 0x3C000;

enum class Program : uint8_t { E8, E8E9, Itanium, Delta, Rgb, Audio, Unknown };

Program Identify(const std::vector<uint8_t>& code) {
  struct Known {
    size_t length;
    uint32_t crc;
    Program kind;
  };
  static const Known kKnown[] = {{53, 0xAD576887u, Program::E8},   {57, 0x3CD7E57Eu, Program::E8E9},
                                 {120, 0x3769893Fu, Program::Itanium}, {29, 0x0E06077Du, Program::Delta},
                                 {149, 0x1C2C5DC8u, Program::Rgb},  {216, 0xBC85E701u, Program::Audio}};
  const uint32_t crc = common::Crc32(0, code.data(), code.size());
  for (const auto& k : kKnown)
    if (k.length == code.size() && k.crc == crc) return k.kind;
  return Program::Unknown;
}

// MSB-first reader over a filter definition's payload; zeros past its end.
class PayloadBits {
 public:
  explicit PayloadBits(const std::vector<uint8_t>& d) : d_(d) {}
  uint32_t Bits(unsigned n) {
    uint32_t v = 0;
    for (unsigned i = 0; i < n; ++i) {
      const size_t byte = pos_ >> 3;
      const unsigned bit = byte < d_.size() ? (d_[byte] >> (7 - (pos_ & 7))) & 1 : 0;
      v = (v << 1) | bit;
      ++pos_;
    }
    return v;
  }
  uint32_t Number() {
    switch (Bits(2)) {
      case 0: return Bits(4);
      case 1: {
        const uint32_t v = Bits(8);
        if (v >= 16) return v;
        return 0xFFFFFF00u | (v << 4) | Bits(4);
      }
      case 2: return Bits(16);
      default: return Bits(32);
    }
  }
  bool Overrun() const { return pos_ > d_.size() * 8; }

 private:
  const std::vector<uint8_t>& d_;
  size_t pos_ = 0;
};

class Rar29Unpacker final : public DecoderBase {
 public:
  explicit Rar29Unpacker(const Limits& limits) : limits_(limits) {}

  Result Unpack(PackedSource& source, const EntryParams& entry, UnpackedSink& sink) override;

 private:
  struct ProgramSlot {
    Program kind;
    uint32_t lastLength;
    uint32_t execCount;
  };
  struct Pending {
    uint64_t start;
    uint32_t length;
    Program kind;
    uint32_t r0, r1;
  };
  enum class Run { FileEnd, Switch, Error };

  // Output past the declared size is dropped: it is damage if an end marker
  // follows, but a stream whose packed data simply runs out after the
  // declared size is accepted (the entry's CRC decides). A stream that keeps
  // producing far beyond the size is refused at once.
  bool EmitRefused() {
    if (out_.stopped()) return Error(Status::Stopped, "stopped");
    if (!unknownSize_ && win_.pos - fileStart_ - declared_ <= kWindow) return true;
    return Corrupt("the data is longer than the declared size");
  }

  void ResetStream();
  bool ReadBlockHeader();
  bool ReadLzTables();
  Run RunLz();
  Run RunLzWith(BitCursor& in);
  Run RunPpm();
  bool EndOfInput(Run& run);
  bool CopyMatch(uint32_t dist, uint32_t len) {
    if (dist > win_.pos || dist > kWindow) return Corrupt("match distance reaches before the start of the data");
    win_.Copy(dist, len);
    return true;
  }
  unsigned LowBits(BitCursor& in, bool& ok);
  bool DefineFilter(unsigned flags, const std::vector<uint8_t>& payload);
  bool Flush();
  void ScheduleFlush();
  bool RunFilter(const Pending& f, std::vector<uint8_t>& data, std::vector<uint8_t>& spare);

  Limits limits_;
  HuffmanCode main_, dist_, low_, len_;
  uint8_t oldLen_[kTableSize] = {};
  uint32_t rep_[4] = {};
  uint32_t lastLen_ = 0;
  unsigned lowPrev_ = 0, lowRepeat_ = 0;
  bool tablesValid_ = false;
  bool ppmMode_ = false;
  std::unique_ptr<PpmdModelH> ppm_;
  bool ppmReady_ = false;
  PpmdRangeDecoder rc_;
  unsigned escChar_ = 2;
  std::vector<ProgramSlot> programs_;
  unsigned lastProgram_ = 0;
  std::vector<Pending> filters_;
  size_t filterHead_ = 0;
  std::vector<uint8_t> filterA_, filterB_;
  uint64_t fileStart_ = 0;
  uint64_t flushLimit_ = 0;
};

void Rar29Unpacker::ResetStream() {
  win_.Restart();
  std::memset(oldLen_, 0, sizeof oldLen_);
  std::memset(rep_, 0, sizeof rep_);
  lastLen_ = 0;
  lowPrev_ = lowRepeat_ = 0;
  tablesValid_ = false;
  ppmMode_ = false;
  ppmReady_ = false;
  escChar_ = 2;
  programs_.clear();
  lastProgram_ = 0;
  filters_.clear();
  filterHead_ = 0;
  main_.Clear();
  dist_.Clear();
  low_.Clear();
  len_.Clear();
}

Result Rar29Unpacker::Unpack(PackedSource& source, const EntryParams& entry, UnpackedSink& sink) {
  Result early;
  bool fresh;
  if (!StartEntry(source, entry, sink, early, fresh)) return early;
  if (!PrepareFixedWindow(kWindow, false)) return FinishEntry(false);
  if (fresh) ResetStream();
  fileStart_ = win_.pos;
  ScheduleFlush();

  bool ok = true;
  if (!tablesValid_) ok = ReadBlockHeader();
  tablesValid_ = false;
  while (ok) {
    const Run r = ppmMode_ ? RunPpm() : RunLz();
    if (r == Run::Error) ok = false;
    if (r == Run::FileEnd) break;
  }
  if (ok) ok = Flush();
  if (ok && filterHead_ < filters_.size() && filters_[filterHead_].start < win_.pos)
    ok = Corrupt("a filter block is incomplete at the end of the file");
  return FinishEntry(ok);
}

bool Rar29Unpacker::ReadBlockHeader() {
  in_.AlignToByte();
  if (in_.Exhausted()) return Corrupt("the packed data ends early");
  if (in_.Bit() != 0) {
    const unsigned flags = in_.Bits(7);
    const bool reset = (flags & 0x20) != 0;
    unsigned memory = 0;
    if (reset) memory = in_.Bits(8);
    if ((flags & 0x40) != 0) escChar_ = in_.Bits(8);
    if (reset) {
      unsigned order = (flags & 0x1F) + 1;
      if (order > 16) order = 16 + (order - 16) * 3;
      if (order == 1) return Corrupt("bad PPMd order");
      const uint64_t bytes = uint64_t{memory + 1} << 20;
      if (bytes > std::min(limits_.maxPpmdMemory, kHardPpmdCap))
        return Error(Status::TooLarge, "the PPMd model is larger than the limit");
      if (!ppm_) ppm_ = std::make_unique<PpmdModelH>();
      if (!ppm_->Allocate(static_cast<uint32_t>(bytes))) {
        ppmReady_ = false;
        return Error(Status::TooLarge, "not enough memory for the PPMd model");
      }
      ppm_->Start(static_cast<int>(order));
      ppmReady_ = true;
    } else if (!ppmReady_) {
      return Corrupt("PPMd block without a model");
    }
    rc_.Init(in_);
    ppmMode_ = true;
    return true;
  }
  ppmMode_ = false;
  return ReadLzTables();
}

bool Rar29Unpacker::ReadLzTables() {
  lowPrev_ = lowRepeat_ = 0;
  if (in_.Bit() == 0) std::memset(oldLen_, 0, sizeof oldLen_);
  uint8_t lens[kTableSize];
  if (!ReadCodeLengths(in_, lens, kTableSize, oldLen_)) return Corrupt("bad table data");
  if (in_.ConsumedPastEnd() != 0) return Corrupt("the packed data ends early");
  std::memcpy(oldLen_, lens, sizeof oldLen_);
  if (!main_.Build(lens, kMainSymbols) || !dist_.Build(lens + kMainSymbols, kDistSymbols) ||
      !low_.Build(lens + kMainSymbols + kDistSymbols, kLowSymbols) ||
      !len_.Build(lens + kMainSymbols + kDistSymbols + kLowSymbols, kLenSymbols))
    return Corrupt("bad Huffman table");
  return true;
}

unsigned Rar29Unpacker::LowBits(BitCursor& in, bool& ok) {
  if (lowRepeat_ > 0) {
    --lowRepeat_;
    return lowPrev_;
  }
  const int t = low_.Decode(in);
  if (t < 0) {
    ok = Corrupt("bad low distance symbol");
    return 0;
  }
  if (t == 16) {
    lowRepeat_ = 15;
    return lowPrev_;
  }
  lowPrev_ = static_cast<unsigned>(t);
  return lowPrev_;
}

// The packed data ran out before an end marker: fine once the whole file was
// produced, damage otherwise.
bool Rar29Unpacker::EndOfInput(Run& run) {
  if (unknownSize_ || win_.pos - fileStart_ >= declared_) {
    run = Run::FileEnd;
    return true;
  }
  run = Run::Error;
  return Corrupt("the packed data ends early");
}

Rar29Unpacker::Run Rar29Unpacker::RunLz() {
  BitCursor in(in_);  // the bit buffer stays in registers in this loop
  const Run r = RunLzWith(in);
  in.Sync();
  return r;
}

Rar29Unpacker::Run Rar29Unpacker::RunLzWith(BitCursor& in) {
  for (;;) {
    if (win_.pos >= flushLimit_ && !Flush()) return Run::Error;
    if (in.PastEnd()) {
      in.Sync();
      if (in_.Exhausted()) {
        Run run;
        EndOfInput(run);
        return run;
      }
    }
    const int s = main_.Decode(in);
    if (s < 256) {
      if (s < 0) return Corrupt("bad symbol"), Run::Error;
      win_.Put(static_cast<uint8_t>(s));
      continue;
    }
    if (s >= 271) {
      const unsigned j = static_cast<unsigned>(s - 271);
      uint32_t len = kLenBase[j] + 3 + in.Bits(kLenBits[j]);
      const int ds = dist_.Decode(in);
      if (ds < 0) return Corrupt("bad distance symbol"), Run::Error;
      uint32_t dist = kDistSlots.base[ds] + 1;
      const unsigned b = kDistSlots.bits[ds];
      if (ds >= 10) {
        if (b > 4) dist += in.Bits(b - 4) << 4;
        bool ok = true;
        dist += LowBits(in, ok);
        if (!ok) return Run::Error;
      } else {
        dist += in.Bits(b);
      }
      if (dist >= 0x2000) {
        ++len;
        if (dist >= 0x40000) ++len;
      }
      rep_[3] = rep_[2];
      rep_[2] = rep_[1];
      rep_[1] = rep_[0];
      rep_[0] = dist;
      lastLen_ = len;
      if (!CopyMatch(dist, len)) return Run::Error;
      continue;
    }
    if (s == 256) {
      if (in.Bits(1) != 0) {
        in.Sync();
        const bool ok = ReadBlockHeader();
        in.Load();
        if (!ok) return Run::Error;
        if (ppmMode_) return Run::Switch;
        continue;
      }
      tablesValid_ = in.Bits(1) == 0;
      if (!Flush()) return Run::Error;
      if (out_.overflow()) return Corrupt("the data is longer than the declared size"), Run::Error;
      return Run::FileEnd;
    }
    if (s == 257) {
      const unsigned flags = in.Bits(8);
      unsigned n = (flags & 7) + 1;
      if (n == 7)
        n = in.Bits(8) + 7;
      else if (n == 8)
        n = in.Bits(16);
      std::vector<uint8_t> payload(n);
      for (auto& b : payload) b = static_cast<uint8_t>(in.Bits(8));
      if (!DefineFilter(flags, payload)) return Run::Error;
      continue;
    }
    if (s == 258) {
      if (lastLen_ != 0 && !CopyMatch(rep_[0], lastLen_)) return Run::Error;
      continue;
    }
    if (s < 263) {
      const unsigned k = static_cast<unsigned>(s - 259);
      const uint32_t dist = rep_[k];
      for (unsigned i = k; i > 0; --i) rep_[i] = rep_[i - 1];
      rep_[0] = dist;
      const int ls = len_.Decode(in);
      if (ls < 0) return Corrupt("bad length symbol"), Run::Error;
      const uint32_t len = kLenBase[ls] + 2 + in.Bits(kLenBits[ls]);
      lastLen_ = len;
      if (!CopyMatch(dist, len)) return Run::Error;
      continue;
    }
    const unsigned j = static_cast<unsigned>(s - 263);
    const uint32_t dist = kShortBase[j] + in.Bits(kShortBits[j]) + 1;
    rep_[3] = rep_[2];
    rep_[2] = rep_[1];
    rep_[1] = rep_[0];
    rep_[0] = dist;
    lastLen_ = 2;
    if (!CopyMatch(dist, 2)) return Run::Error;
  }
}

Rar29Unpacker::Run Rar29Unpacker::RunPpm() {
  auto symbol = [this](int& c) {
    c = ppm_->DecodeSymbol(rc_);
    return c >= 0 || Corrupt("bad PPMd data");
  };
  for (;;) {
    if (win_.pos >= flushLimit_ && !Flush()) return Run::Error;
    // The range decoder legitimately reads up to four bytes past its data.
    if (in_.PastEnd() && in_.ConsumedPastEnd() > 32) {
      Run run;
      EndOfInput(run);
      return run;
    }
    int c;
    if (!symbol(c)) return Run::Error;
    if (static_cast<unsigned>(c) != escChar_) {
      win_.Put(static_cast<uint8_t>(c));
      continue;
    }
    int n;
    if (!symbol(n)) return Run::Error;
    switch (n) {
      case 0:
        if (!ReadBlockHeader()) return Run::Error;
        if (!ppmMode_) return Run::Switch;
        break;
      case 2:
        if (!Flush()) return Run::Error;
        if (out_.overflow()) return Corrupt("the data is longer than the declared size"), Run::Error;
        return Run::FileEnd;
      case 3: {
        int flags, b1, b2;
        if (!symbol(flags)) return Run::Error;
        unsigned len = (static_cast<unsigned>(flags) & 7) + 1;
        if (len == 7) {
          if (!symbol(b1)) return Run::Error;
          len = static_cast<unsigned>(b1) + 7;
        } else if (len == 8) {
          if (!symbol(b1) || !symbol(b2)) return Run::Error;
          len = static_cast<unsigned>(b1) << 8 | static_cast<unsigned>(b2);
        }
        std::vector<uint8_t> payload(len);
        for (auto& b : payload) {
          int v;
          if (!symbol(v)) return Run::Error;
          b = static_cast<uint8_t>(v);
        }
        if (!DefineFilter(static_cast<unsigned>(flags), payload)) return Run::Error;
        break;
      }
      case 4: {
        int b2, b1, b0, l;
        if (!symbol(b2) || !symbol(b1) || !symbol(b0) || !symbol(l)) return Run::Error;
        const uint32_t dist = (static_cast<uint32_t>(b2) << 16 | static_cast<uint32_t>(b1) << 8 |
                               static_cast<uint32_t>(b0)) + 2;
        if (!CopyMatch(dist, static_cast<uint32_t>(l) + 32)) return Run::Error;
        break;
      }
      case 5: {
        int l;
        if (!symbol(l)) return Run::Error;
        if (!CopyMatch(1, static_cast<uint32_t>(l) + 4)) return Run::Error;
        break;
      }
      default:  // 1, and codes no writer produces: the escape byte itself
        win_.Put(static_cast<uint8_t>(escChar_));
        break;
    }
  }
}

bool Rar29Unpacker::DefineFilter(unsigned flags, const std::vector<uint8_t>& payload) {
  PayloadBits p(payload);
  unsigned num = lastProgram_;
  if ((flags & 0x80) != 0) {
    const uint32_t n = p.Number();
    if (n == 0) {
      programs_.clear();
      filters_.clear();
      filterHead_ = 0;
      num = 0;
    } else {
      num = n - 1;
    }
  }
  if (num > programs_.size() || num >= kMaxPrograms) return Corrupt("bad filter program number");
  if (filters_.size() - filterHead_ >= kMaxPrograms) return Corrupt("too many pending filters");
  lastProgram_ = num;
  const bool fresh = num == programs_.size();
  uint32_t start = p.Number();
  if ((flags & 0x40) != 0) start += 258;
  uint32_t length = 0;
  if ((flags & 0x20) != 0)
    length = p.Number();
  else if (!fresh)
    length = programs_[num].lastLength;
  uint32_t regs[7] = {0, 0, 0, kVmMemory, length, 0, 0};
  if (!fresh) regs[5] = ++programs_[num].execCount;
  if ((flags & 0x10) != 0) {
    const unsigned mask = p.Bits(7);
    for (unsigned i = 0; i < 7; ++i)
      if ((mask & (1u << i)) != 0) regs[i] = p.Number();
  }
  if (fresh) {
    const uint32_t size = p.Number();
    if (size == 0 || size >= 0x10000) return Corrupt("bad filter program size");
    std::vector<uint8_t> code(size);
    uint8_t x = 0;
    for (auto& b : code) {
      b = static_cast<uint8_t>(p.Bits(8));
      x ^= b;
    }
    if (x != 0) return Corrupt("bad filter program");
    programs_.push_back(ProgramSlot{Identify(code), length, 0});
  }
  programs_[num].lastLength = length;
  if ((flags & 0x08) != 0) {
    const uint32_t size = p.Number();
    if (size > 0x2000 - 0x40) return Corrupt("filter global data too large");
    for (uint32_t i = 0; i < size; ++i) p.Bits(8);
  }
  if (p.Overrun()) return Corrupt("filter definition ends early");

  const Program kind = programs_[num].kind;
  switch (kind) {
    case Program::Unknown:
      return Error(Status::Unsupported, "the entry uses a filter program this decoder does not run");
    case Program::E8:
    case Program::E8E9:
    case Program::Itanium:
      if (length >= kVmMemory) return Corrupt("filter block too long");
      break;
    case Program::Delta:
    case Program::Audio:
      // Any channel count runs; none leaves the (zeroed) output untouched.
      if (length >= kVmMemory / 2) return Corrupt("filter block too long");
      break;
    case Program::Rgb:
      if (length >= kVmMemory / 2 || regs[0] < 3 || regs[0] - 3 > length || length < 3 || regs[1] > 2)
        return Corrupt("bad RGB filter");
      break;
  }
  if (filterHead_ == filters_.size()) {
    filters_.clear();
    filterHead_ = 0;
  }
  filters_.push_back(Pending{win_.pos + start, length, kind, regs[0], regs[1]});
  ScheduleFlush();
  return true;
}

void Rar29Unpacker::ScheduleFlush() {
  const uint64_t hard = win_.written + kWindow - kSlack;
  uint64_t soft = win_.pos + kChunk;
  if (filterHead_ < filters_.size()) {
    const Pending& f = filters_[filterHead_];
    soft = std::min(soft, std::max(f.start + f.length, win_.pos));
  }
  flushLimit_ = std::min(hard, soft);
}

bool Rar29Unpacker::RunFilter(const Pending& f, std::vector<uint8_t>& data, std::vector<uint8_t>& spare) {
  const uint32_t offset = static_cast<uint32_t>(f.start - fileStart_);
  const size_t n = data.size();
  switch (f.kind) {
    case Program::E8: FilterE8(data.data(), n, offset, false, false); return true;
    case Program::E8E9: FilterE8(data.data(), n, offset, true, false); return true;
    case Program::Itanium: FilterItanium(data.data(), n, offset); return true;
    case Program::Delta: spare.resize(n); FilterDelta(data.data(), spare.data(), n, f.r0); break;
    case Program::Rgb: spare.resize(n); FilterRgb(data.data(), spare.data(), n, f.r0, f.r1); break;
    case Program::Audio: spare.resize(n); FilterAudio(data.data(), spare.data(), n, f.r0); break;
    case Program::Unknown: return Corrupt("unsupported filter");
  }
  data.swap(spare);
  return true;
}

bool Rar29Unpacker::Flush() {
  const uint64_t upto = win_.pos;
  for (;;) {
    if (filterHead_ < filters_.size() && filters_[filterHead_].start < upto) {
      const Pending f = filters_[filterHead_];
      if (f.start < win_.written) return Corrupt("filter blocks overlap");
      if (f.start > win_.written) {
        if (!win_.EmitRange(out_, win_.written, f.start)) return EmitRefused();
        win_.written = f.start;
      }
      if (f.start + f.length > upto) break;
      ++filterHead_;
      filterA_.resize(f.length);
      win_.CopyOut(f.start, f.length, filterA_.data());
      if (!RunFilter(f, filterA_, filterB_)) return false;
      // Chained programs work on the previous one's output.
      while (filterHead_ < filters_.size() && filters_[filterHead_].start == f.start &&
             filters_[filterHead_].length == filterA_.size()) {
        if (!RunFilter(filters_[filterHead_], filterA_, filterB_)) return false;
        ++filterHead_;
      }
      if (!out_.Emit(filterA_.data(), filterA_.size())) return EmitRefused();
      win_.written = f.start + f.length;
      continue;
    }
    if (!win_.EmitRange(out_, win_.written, upto)) return EmitRefused();
    win_.written = upto;
    break;
  }
  ScheduleFlush();
  if (win_.pos + kSlack > win_.written + kWindow) return Corrupt("a filter block does not fit the window");
  return true;
}

}  // namespace

std::unique_ptr<Unpacker> MakeRar29Unpacker(const Limits& limits) {
  return std::make_unique<Rar29Unpacker>(limits);
}

}  // namespace arkelin::engine::rar::unpack

// The RAR 2.0 decoder (unpack versions 20 and 26): static Huffman LZ with
// delta-coded tables over a 1 MiB window, and the multimedia mode, which
// codes byte deltas of up to four interleaved channels with an adaptive
// five-tap predictor per channel.
//
// A file ends exactly at its declared size (there is no end marker); a solid
// file continues with the tables the previous file left, including those the
// writer sends right after a file's last byte.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/rar/unpack/BitInput_p.h"
#include "engine/rar/unpack/Decoders_p.h"
#include "engine/rar/unpack/Huffman_p.h"
#include "engine/rar/unpack/LzTables_p.h"
#include "engine/rar/unpack/Window_p.h"

namespace arkelin::engine::rar::unpack {
namespace {

constexpr uint64_t kWindow = uint64_t{1} << 20;
constexpr uint64_t kChunk = kWindow / 2;
constexpr unsigned kMainSymbols = 298;
constexpr unsigned kDistSymbols = 48;
constexpr unsigned kLenSymbols = 28;
constexpr unsigned kLzTable = kMainSymbols + kDistSymbols + kLenSymbols;  // 374
constexpr unsigned kAudioSymbols = 257;
constexpr unsigned kMaxTable = 4 * kAudioSymbols;                          // 1028

struct AudioChannel {
  int k[5];
  int d1, d2, d3, d4;
  int lastDelta;
  int lastChar;
  unsigned dif[11];
  unsigned count;
};

int Signed8(int v) { return static_cast<int>(static_cast<int8_t>(static_cast<uint8_t>(v))); }

class Rar20Unpacker final : public DecoderBase {
 public:
  explicit Rar20Unpacker(const Limits&) {}

  Result Unpack(PackedSource& source, const EntryParams& entry, UnpackedSink& sink) override;

 private:
  bool Flush() {
    if (!win_.EmitRange(out_, win_.written, win_.pos)) return EmitFailed();
    win_.written = win_.pos;
    return true;
  }
  void ResetStream();
  bool ReadTables();
  bool DecodeFile();
  bool Match(uint32_t dist, uint32_t len);
  uint8_t Predict(unsigned s);

  HuffmanCode main_, dist_, len_, audio_[4];
  uint8_t oldLen_[kMaxTable] = {};
  uint32_t rep_[4] = {};
  unsigned repPtr_ = 0;
  uint32_t lastDist_ = 0, lastLen_ = 0;
  bool audioMode_ = false;
  unsigned channels_ = 1, curChannel_ = 0;
  AudioChannel audio[4] = {};
  int channelDelta_ = 0;
  bool tablesRead_ = false;
  uint64_t end_ = 0;  // stream position where this file ends
};

void Rar20Unpacker::ResetStream() {
  win_.Restart();
  std::memset(rep_, 0, sizeof rep_);
  repPtr_ = 0;
  lastDist_ = lastLen_ = 0;
  std::memset(oldLen_, 0, sizeof oldLen_);
  std::memset(audio, 0, sizeof audio);
  channelDelta_ = 0;
  curChannel_ = 0;
  channels_ = 1;
  audioMode_ = false;
  tablesRead_ = false;
  main_.Clear();
  dist_.Clear();
  len_.Clear();
  for (auto& a : audio_) a.Clear();
}

Result Rar20Unpacker::Unpack(PackedSource& source, const EntryParams& entry, UnpackedSink& sink) {
  Result early;
  bool fresh;
  if (!StartEntry(source, entry, sink, early, fresh)) return early;
  if (!PrepareFixedWindow(kWindow, true)) return FinishEntry(false);
  if (fresh) ResetStream();
  end_ = win_.pos + entry.unpackedSize;
  bool ok = true;
  if (fresh && (entry.unpackedSize != 0 || in_.HasBytesAhead(2))) ok = ReadTables();
  if (ok) ok = DecodeFile();
  if (ok) ok = Flush();
  return FinishEntry(ok);
}

bool Rar20Unpacker::ReadTables() {
  const bool audio = in_.Bit() != 0;
  if (in_.Bit() == 0) std::memset(oldLen_, 0, sizeof oldLen_);
  unsigned count = kLzTable;
  if (audio) {
    channels_ = in_.Bits(2) + 1;
    if (curChannel_ >= channels_) curChannel_ = 0;
    count = kAudioSymbols * channels_;
  }
  uint8_t level[19];
  for (auto& l : level) l = static_cast<uint8_t>(in_.Bits(4));
  HuffmanCode levelCode;
  if (!levelCode.Build(level, 19)) return Corrupt("bad level table");
  uint8_t lens[kMaxTable];
  for (unsigned i = 0; i < count;) {
    const int s = levelCode.Decode(in_);
    if (s < 0) return Corrupt("bad table data");
    if (s < 16) {
      lens[i] = static_cast<uint8_t>((oldLen_[i] + s) & 15);
      ++i;
    } else if (s == 16) {
      if (i == 0) return Corrupt("bad table data");
      const uint8_t v = lens[i - 1];
      for (unsigned n = in_.Bits(2) + 3; n > 0 && i < count; --n) lens[i++] = v;
    } else {
      const unsigned n0 = s == 17 ? in_.Bits(3) + 3 : in_.Bits(7) + 11;
      for (unsigned n = n0; n > 0 && i < count; --n) lens[i++] = 0;
    }
  }
  if (in_.ConsumedPastEnd() != 0) return Corrupt("the packed data ends early");
  std::memcpy(oldLen_, lens, count);
  audioMode_ = audio;
  if (audio) {
    for (unsigned c = 0; c < channels_; ++c)
      if (!audio_[c].Build(lens + c * kAudioSymbols, kAudioSymbols)) return Corrupt("bad Huffman table");
  } else if (!main_.Build(lens, kMainSymbols) || !dist_.Build(lens + kMainSymbols, kDistSymbols) ||
             !len_.Build(lens + kMainSymbols + kDistSymbols, kLenSymbols)) {
    return Corrupt("bad Huffman table");
  }
  tablesRead_ = true;
  return true;
}

uint8_t Rar20Unpacker::Predict(unsigned s) {
  AudioChannel& v = audio[curChannel_];
  ++v.count;
  v.d4 = v.d3;
  v.d3 = v.d2;
  v.d2 = v.lastDelta - v.d1;
  v.d1 = v.lastDelta;
  const int p = (8 * v.lastChar + v.k[0] * v.d1 + v.k[1] * v.d2 + v.k[2] * v.d3 + v.k[3] * v.d4 +
                 v.k[4] * channelDelta_) >> 3;
  const int out = (p - static_cast<int>(s)) & 0xFF;
  const int e = Signed8(static_cast<int>(s)) * 8;
  v.dif[0] += static_cast<unsigned>(std::abs(e));
  v.dif[1] += static_cast<unsigned>(std::abs(e - v.d1));
  v.dif[2] += static_cast<unsigned>(std::abs(e + v.d1));
  v.dif[3] += static_cast<unsigned>(std::abs(e - v.d2));
  v.dif[4] += static_cast<unsigned>(std::abs(e + v.d2));
  v.dif[5] += static_cast<unsigned>(std::abs(e - v.d3));
  v.dif[6] += static_cast<unsigned>(std::abs(e + v.d3));
  v.dif[7] += static_cast<unsigned>(std::abs(e - v.d4));
  v.dif[8] += static_cast<unsigned>(std::abs(e + v.d4));
  v.dif[9] += static_cast<unsigned>(std::abs(e - channelDelta_));
  v.dif[10] += static_cast<unsigned>(std::abs(e + channelDelta_));
  v.lastDelta = channelDelta_ = Signed8(out - v.lastChar);
  v.lastChar = out;
  if ((v.count & 31) == 0) {
    unsigned m = 0;
    for (unsigned i = 1; i < 11; ++i)
      if (v.dif[i] < v.dif[m]) m = i;
    std::memset(v.dif, 0, sizeof v.dif);
    if (m != 0) {
      int& k = v.k[(m - 1) / 2];
      if ((m & 1) != 0) {
        if (k >= -16) --k;
      } else if (k < 16) {
        ++k;
      }
    }
  }
  return static_cast<uint8_t>(out);
}

bool Rar20Unpacker::Match(uint32_t dist, uint32_t len) {
  rep_[repPtr_ & 3] = dist;
  ++repPtr_;
  lastDist_ = dist;
  lastLen_ = len;
  if (dist > win_.pos || dist > kWindow) return Corrupt("match distance reaches before the start of the data");
  if (len > end_ - win_.pos) return Corrupt("a match runs past the end of the file");
  win_.Copy(dist, len);
  return true;
}

bool Rar20Unpacker::DecodeFile() {
  while (win_.pos < end_) {
    if (win_.pos - win_.written >= kChunk && !Flush()) return false;
    if (in_.PastEnd() && in_.Exhausted()) return Corrupt("the packed data ends early");
    if (!tablesRead_) return Corrupt("data without tables");
    if (audioMode_) {
      const int s = audio_[curChannel_].Decode(in_);
      if (s < 0) return Corrupt("bad symbol");
      if (s == 256) {
        if (!ReadTables()) return false;
        continue;
      }
      win_.Put(Predict(static_cast<unsigned>(s)));
      if (++curChannel_ == channels_) curChannel_ = 0;
      continue;
    }
    const int s = main_.Decode(in_);
    if (s < 256) {
      if (s < 0) return Corrupt("bad symbol");
      win_.Put(static_cast<uint8_t>(s));
      continue;
    }
    if (s >= 270) {
      const unsigned j = static_cast<unsigned>(s - 270);
      uint32_t len = kLenBase[j] + 3 + in_.Bits(kLenBits[j]);
      const int ds = dist_.Decode(in_);
      if (ds < 0) return Corrupt("bad distance symbol");
      const uint32_t dist = kDistSlots.base[ds] + 1 + in_.Bits(kDistSlots.bits[ds]);
      if (dist >= 0x2000) {
        ++len;
        if (dist >= 0x40000) ++len;
      }
      if (!Match(dist, len)) return false;
    } else if (s == 269) {
      if (!ReadTables()) return false;
    } else if (s == 256) {
      if (lastLen_ != 0 && !Match(lastDist_, lastLen_)) return false;
    } else if (s < 261) {
      const uint32_t dist = rep_[(repPtr_ - static_cast<unsigned>(s - 256)) & 3];
      const int ls = len_.Decode(in_);
      if (ls < 0) return Corrupt("bad length symbol");
      uint32_t len = kLenBase[ls] + 2 + in_.Bits(kLenBits[ls]);
      if (dist >= 0x101) {
        ++len;
        if (dist >= 0x2000) {
          ++len;
          if (dist >= 0x40000) ++len;
        }
      }
      if (!Match(dist, len)) return false;
    } else {
      const unsigned j = static_cast<unsigned>(s - 261);
      if (!Match(kShortBase[j] + in_.Bits(kShortBits[j]) + 1, 2)) return false;
    }
  }
  // The writer may send the next solid file's tables right after this
  // file's last byte; they are read now, while this file's data is at hand.
  if (tablesRead_ && in_.HasBytesAhead(7)) {
    const int s = audioMode_ ? audio_[curChannel_].Decode(in_) : main_.Decode(in_);
    if ((audioMode_ && s == 256) || (!audioMode_ && s == 269)) return ReadTables();
  }
  return true;
}

}  // namespace

std::unique_ptr<Unpacker> MakeRar20Unpacker(const Limits& limits) { return std::make_unique<Rar20Unpacker>(limits); }

}  // namespace arkelin::engine::rar::unpack

// The standard RAR output filters. All arithmetic on addresses is modulo
// 2^32 (E8, E8E9), 2^24 (ARM) or 2^20 (Itanium); bytes wrap modulo 256.
#include "engine/rar/unpack/Filters_p.h"

#include <cstdlib>
#include <cstring>

namespace arkelin::engine::rar::unpack {
namespace {

uint32_t Load32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// n bits (n <= 20) at bit `pos` of a bundle, bit 0 = lowest bit of byte 0.
// The four bytes read may reach past the bundle; the caller keeps them
// inside the buffer.
uint32_t GetField(const uint8_t* bundle, unsigned pos, unsigned n) {
  return (Load32(bundle + (pos >> 3)) >> (pos & 7)) & ((1u << n) - 1);
}
void SetField(uint8_t* bundle, unsigned pos, unsigned n, uint32_t v) {
  uint8_t* p = bundle + (pos >> 3);
  const uint32_t mask = ((1u << n) - 1) << (pos & 7);
  Store32(p, (Load32(p) & ~mask) | ((v << (pos & 7)) & mask));
}

int Signed8(unsigned v) { return static_cast<int>(static_cast<int8_t>(static_cast<uint8_t>(v))); }

}  // namespace

void FilterE8(uint8_t* data, size_t size, uint32_t fileOffset, bool e9, bool mod24) {
  size_t i = 0;
  while (i + 4 < size) {
    const uint8_t b = data[i++];
    if (b != 0xE8 && !(e9 && b == 0xE9)) continue;
    uint32_t pos = fileOffset + static_cast<uint32_t>(i);
    if (mod24) pos &= 0xFFFFFF;
    const uint32_t addr = Load32(data + i);
    if (addr < 0x01000000u) {
      Store32(data + i, addr - pos);
    } else if (addr >= 0x80000000u && static_cast<uint32_t>(addr + pos) < 0x80000000u) {
      Store32(data + i, addr + 0x01000000u);
    }
    i += 4;
  }
}

void FilterArm(uint8_t* data, size_t size, uint32_t fileOffset) {
  for (size_t i = 0; i + 4 <= size; i += 4) {
    if (data[i + 3] != 0xEB) continue;
    uint32_t v = static_cast<uint32_t>(data[i]) | static_cast<uint32_t>(data[i + 1]) << 8 |
                 static_cast<uint32_t>(data[i + 2]) << 16;
    v = (v - ((fileOffset + static_cast<uint32_t>(i)) >> 2)) & 0xFFFFFF;
    data[i] = static_cast<uint8_t>(v);
    data[i + 1] = static_cast<uint8_t>(v >> 8);
    data[i + 2] = static_cast<uint8_t>(v >> 16);
  }
}

void FilterItanium(uint8_t* data, size_t size, uint32_t fileOffset) {
  static const uint8_t kMasks[16] = {4, 4, 6, 6, 0, 0, 7, 7, 4, 4, 0, 0, 4, 4, 0, 0};
  if (size <= 21) return;
  uint32_t bundle = fileOffset >> 4;
  for (size_t p = 0; p < size - 21; p += 16, ++bundle) {
    uint8_t* b = data + p;
    const unsigned t = b[0] & 0x1F;
    if (t < 0x10) continue;
    const unsigned mask = kMasks[t - 0x10];
    for (unsigned slot = 0; slot < 3; ++slot) {
      if ((mask & (1u << slot)) == 0) continue;
      const unsigned base = 5 + 41 * slot;
      if (GetField(b, base + 37, 4) != 5) continue;
      const uint32_t v = GetField(b, base + 13, 20);
      SetField(b, base + 13, 20, (v - bundle) & 0xFFFFF);
    }
  }
}

void FilterDelta(const uint8_t* in, uint8_t* out, size_t size, unsigned channels) {
  if (channels == 0) std::memset(out, 0, size);
  size_t src = 0;
  for (size_t c = 0; c < channels && c < size; ++c) {
    uint8_t prev = 0;
    for (size_t j = c; j < size; j += channels) {
      prev = static_cast<uint8_t>(prev - in[src++]);
      out[j] = prev;
    }
  }
}

void FilterRgb(const uint8_t* in, uint8_t* out, size_t size, unsigned width, unsigned posR) {
  // Bytes of channels not yet reconstructed read as zero.
  std::memset(out, 0, size);
  size_t src = 0;
  for (unsigned c = 0; c < 3; ++c) {
    unsigned prev = 0;
    for (size_t j = c; j < size; j += 3) {
      unsigned pred = prev;
      if (j >= width) {
        const int upLeft = out[j - width];
        const int up = out[j - width + 3];
        const int guess = static_cast<int>(prev) + up - upLeft;
        const int pa = std::abs(guess - static_cast<int>(prev));
        const int pb = std::abs(guess - up);
        const int pc = std::abs(guess - upLeft);
        if (pa <= pb && pa <= pc) {
          pred = prev;
        } else {
          pred = static_cast<unsigned>(pb <= pc ? up : upLeft);
        }
      }
      prev = (pred - in[src++]) & 0xFF;
      out[j] = static_cast<uint8_t>(prev);
    }
  }
  for (size_t j = posR; j + 2 < size; j += 3) {
    out[j] = static_cast<uint8_t>(out[j] + out[j + 1]);
    out[j + 2] = static_cast<uint8_t>(out[j + 2] + out[j + 1]);
  }
}

void FilterAudio(const uint8_t* in, uint8_t* out, size_t size, unsigned channels) {
  if (channels == 0) std::memset(out, 0, size);
  size_t src = 0;
  for (size_t c = 0; c < channels && c < size; ++c) {
    int prevByte = 0, prevDelta = 0, d1 = 0, d2 = 0, d3 = 0, k1 = 0, k2 = 0, k3 = 0;
    unsigned dif[7] = {};
    unsigned n = 0;
    for (size_t j = c; j < size; j += channels, ++n) {
      d3 = d2;
      d2 = prevDelta - d1;
      d1 = prevDelta;
      const int pred = ((8 * prevByte + k1 * d1 + k2 * d2 + k3 * d3) >> 3) & 0xFF;
      const unsigned x = in[src++];
      const unsigned v = static_cast<unsigned>(pred - static_cast<int>(x)) & 0xFF;
      out[j] = static_cast<uint8_t>(v);
      prevDelta = Signed8(v - static_cast<unsigned>(prevByte));
      prevByte = static_cast<int>(v);
      const int e = Signed8(x) * 8;
      dif[0] += static_cast<unsigned>(std::abs(e));
      dif[1] += static_cast<unsigned>(std::abs(e - d1));
      dif[2] += static_cast<unsigned>(std::abs(e + d1));
      dif[3] += static_cast<unsigned>(std::abs(e - d2));
      dif[4] += static_cast<unsigned>(std::abs(e + d2));
      dif[5] += static_cast<unsigned>(std::abs(e - d3));
      dif[6] += static_cast<unsigned>(std::abs(e + d3));
      if ((n & 31) == 0) {
        unsigned m = 0;
        for (unsigned i = 1; i < 7; ++i)
          if (dif[i] < dif[m]) m = i;
        std::memset(dif, 0, sizeof dif);
        switch (m) {
          case 1: if (k1 >= -16) --k1; break;
          case 2: if (k1 < 16) ++k1; break;
          case 3: if (k2 >= -16) --k2; break;
          case 4: if (k2 < 16) ++k2; break;
          case 5: if (k3 >= -16) --k3; break;
          case 6: if (k3 < 16) ++k3; break;
          default: break;
        }
      }
    }
  }
}

}  // namespace arkelin::engine::rar::unpack

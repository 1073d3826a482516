// A least-significant-bit-first writer for the hand-made deflate streams of
// the decoder tests.
#pragma once

#include <cstdint>
#include <string>

namespace deflatetest {

struct BitWriter {
  std::string out;
  uint64_t acc = 0;
  int n = 0;
  void Put(uint32_t v, int bits) {
    acc |= static_cast<uint64_t>(v) << n;
    n += bits;
    while (n >= 8) {
      out += static_cast<char>(acc & 0xFF);
      acc >>= 8;
      n -= 8;
    }
  }
  // Huffman codes go most significant bit first.
  void Code(uint32_t code, int bits) {
    for (int b = bits - 1; b >= 0; --b) Put((code >> b) & 1, 1);
  }
  void Align() {
    if (n) Put(0, 8 - n);
  }
  // Fixed-code symbols.
  void Literal(uint8_t c) {
    if (c < 144) Code(0x30 + c, 8);
    else Code(0x190 + (c - 144), 9);
  }
  void Sym(int s) {
    if (s < 280) Code(s - 256, 7);
    else Code(0xC0 + (s - 280), 8);
  }
  void Stored(const std::string& data, bool final) {
    Put(final, 1);
    Put(0, 2);
    Align();
    Put(static_cast<uint32_t>(data.size()), 16);
    Put(static_cast<uint32_t>(data.size()) ^ 0xFFFF, 16);
    out += data;
  }
};

// Damaged streams both deflate decoders must refuse, one final block each.
enum class Damage { kBlockType3, kTooFarBack, kStoredLengthCheck, kOversubscribedCodeLengths, kLength286 };

inline std::string DamagedStream(Damage d) {
  BitWriter w;
  w.Put(1, 1);
  switch (d) {
    case Damage::kBlockType3: w.Put(3, 2); break;
    case Damage::kTooFarBack:  // distance 2 with one byte of output
      w.Put(1, 2);
      w.Literal('q');
      w.Sym(257);
      w.Code(1, 5);
      w.Sym(256);
      break;
    case Damage::kStoredLengthCheck:  // NLEN is not the complement of LEN
      w.Put(0, 2);
      w.Align();
      w.Put(5, 16);
      w.Put(5, 16);
      w.out += "hello";
      break;
    case Damage::kOversubscribedCodeLengths:  // 19 code-length codes of one bit
      w.Put(2, 2);
      w.Put(0, 5);
      w.Put(0, 5);
      w.Put(15, 4);
      for (int i = 0; i < 19; ++i) w.Put(1, 3);
      break;
    case Damage::kLength286:  // a fixed code that names no length
      w.Put(1, 2);
      w.Sym(286);
      w.Code(0, 5);
      break;
  }
  w.Align();
  return w.out;
}

}  // namespace deflatetest

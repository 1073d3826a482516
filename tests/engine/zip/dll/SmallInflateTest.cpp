// The in-memory decoder for small entries against zlib: every stream zlib
// writes (each level and strategy, stored, fixed and dynamic blocks, several
// blocks) decodes to the same bytes; a cut stream, a too small output and
// hand-made damage are refused; and no damaged stream is taken that zlib
// itself refuses.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "DeflateBits.h"
#include "engine/zip/dll/unz/SmallInflate.h"

namespace dll = arkelin::engine::zip::dll;
using deflatetest::BitWriter;
using Status = dll::SmallInflateStatus;

namespace {

std::string Deflate(const std::string& data, int level, int strategy, size_t flushEvery = 0) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy), Z_OK);
  std::string out(deflateBound(&z, data.size()) + 64 + (flushEvery ? data.size() / flushEvery * 16 : 0), '\0');
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  size_t pos = 0;
  do {
    const size_t n = flushEvery ? std::min(flushEvery, data.size() - pos) : data.size() - pos;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + pos));
    z.avail_in = static_cast<uInt>(n);
    pos += n;
    EXPECT_NE(deflate(&z, pos == data.size() ? Z_FINISH : Z_FULL_FLUSH), Z_STREAM_ERROR);
  } while (pos < data.size());
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

// zlib's answer: true with the output when the stream ends properly within `cap`.
bool ZlibInflate(const std::string& stream, size_t cap, std::string& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) return false;
  out.assign(cap, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = static_cast<uInt>(stream.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(cap);
  const int r = inflate(&z, Z_FINISH);
  out.resize(cap - z.avail_out);
  inflateEnd(&z);
  return r == Z_STREAM_END;
}

Status Small(const std::string& stream, size_t cap, std::string& out) {
  std::vector<uint8_t> buf(cap + dll::kSmallInflateSlack);
  size_t produced = 0;
  const Status s = dll::SmallInflate(reinterpret_cast<const uint8_t*>(stream.data()), stream.size(), buf.data(), cap,
                                     produced);
  out.assign(reinterpret_cast<const char*>(buf.data()), s == Status::kOk ? produced : 0);
  return s;
}

// Inputs of the kinds archives hold: text, bytes that do not compress, runs,
// and mixtures, from empty to past a stored block's 65,535 bytes.
std::vector<std::string> Samples() {
  std::mt19937 rng(7);
  const char* words[] = {"alpha ", "beta ", "engine ", "data ", "folder ", "block ", "\n"};
  std::vector<std::string> v{"", "a", "ab", std::string(300, 'x')};
  for (size_t size : {10u, 100u, 199u, 200u, 511u, 512u, 1000u, 5000u, 70000u}) {
    std::string text, noise, mixed;
    while (text.size() < size) text += words[rng() % 7];
    text.resize(size);
    for (size_t i = 0; i < size; ++i) noise += static_cast<char>(rng());
    for (size_t i = 0; i < size; ++i) mixed += (i / 97) % 2 ? text[i] : noise[i];
    v.push_back(text);
    v.push_back(noise);
    v.push_back(mixed);
  }
  return v;
}

TEST(SmallInflate, DecodesWhatZlibWritesByteForByte) {
  const std::pair<int, int> settings[] = {{0, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY}, {6, Z_DEFAULT_STRATEGY},
                                          {9, Z_DEFAULT_STRATEGY}, {6, Z_FIXED},            {6, Z_HUFFMAN_ONLY},
                                          {6, Z_RLE},              {6, Z_FILTERED}};
  for (const std::string& data : Samples()) {
    for (auto [level, strategy] : settings) {
      for (size_t flush : {size_t{0}, size_t{37}}) {
        SCOPED_TRACE(testing::Message() << data.size() << " bytes, level " << level << ", strategy " << strategy
                                        << ", flush " << flush);
        const std::string stream = Deflate(data, level, strategy, flush);
        std::string out;
        ASSERT_EQ(Small(stream, data.size() + 1, out), Status::kOk);
        EXPECT_TRUE(out == data);
        // Exactly the room it needs is enough; one byte less is not.
        EXPECT_EQ(Small(stream, data.size(), out), Status::kOk);
        if (!data.empty()) {
          EXPECT_EQ(Small(stream, data.size() - 1, out), Status::kTooLong);
        }
      }
    }
  }
}

TEST(SmallInflate, ACutStreamIsDamagedWhereverItIsCut) {
  for (const std::string& data : {std::string("short text, fixed codes"), Samples()[10], Samples()[13]}) {
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
      const std::string stream = Deflate(data, 6, strategy);
      for (size_t cut = 0; cut < stream.size(); ++cut) {
        std::string out;
        ASSERT_EQ(Small(stream.substr(0, cut), data.size() + 1, out), Status::kDataError)
            << cut << " of " << stream.size();
      }
    }
  }
  // Stored blocks: cut in the length fields and in the data.
  const std::string stored = Deflate(Samples()[11], 0, Z_DEFAULT_STRATEGY);
  for (size_t cut : {size_t{1}, size_t{3}, size_t{5}, stored.size() / 2, stored.size() - 1}) {
    std::string out;
    EXPECT_EQ(Small(stored.substr(0, cut), 100000, out), Status::kDataError) << cut;
  }
}

// The codes of `lengths` by the canonical rule, as (code, length) per symbol.
std::vector<std::pair<uint32_t, int>> Canonical(const std::vector<int>& lengths) {
  std::vector<int> count(16, 0);
  for (int l : lengths) ++count[l];
  count[0] = 0;
  std::vector<uint32_t> next(16, 0);
  uint32_t code = 0;
  for (int len = 1; len < 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<std::pair<uint32_t, int>> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s]) codes[s] = {next[lengths[s]]++, lengths[s]};
  return codes;
}

// A final dynamic block header whose code-length code gives symbols 0..15
// four bits each (so each length is written as itself).
void DynamicHeader(BitWriter& w, const std::vector<int>& lit, const std::vector<int>& dist) {
  static const int kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
  w.Put(1, 1);
  w.Put(2, 2);
  w.Put(static_cast<uint32_t>(lit.size() - 257), 5);
  w.Put(static_cast<uint32_t>(dist.size() - 1), 5);
  w.Put(15, 4);
  for (int s : kOrder) w.Put(s < 16 ? 4 : 0, 3);
  for (int l : lit) w.Code(static_cast<uint32_t>(l), 4);
  for (int l : dist) w.Code(static_cast<uint32_t>(l), 4);
}

TEST(SmallInflate, HandMadeStreamsFollowZlibsRules) {
  auto check = [](const std::string& stream, Status want, const std::string& expect, const char* what) {
    SCOPED_TRACE(what);
    std::string out, theirs;
    EXPECT_EQ(Small(stream, 1000, out), want);
    EXPECT_EQ(ZlibInflate(stream, 1000, theirs), want == Status::kOk);
    if (want == Status::kOk) {
      EXPECT_EQ(out, expect);
      EXPECT_EQ(theirs, expect);
    }
  };
  using deflatetest::Damage;
  for (Damage d : {Damage::kBlockType3, Damage::kTooFarBack, Damage::kStoredLengthCheck,
                   Damage::kOversubscribedCodeLengths, Damage::kLength286})
    check(deflatetest::DamagedStream(d), Status::kDataError, "", "damaged stream");
  {
    BitWriter w;  // fixed codes: distance code 30 does not exist in deflate
    w.Put(1, 1);
    w.Put(1, 2);
    w.Literal('q');
    w.Sym(257);
    w.Code(30, 5);
    w.Sym(256);
    w.Align();
    check(w.out, Status::kDataError, "", "distance code 30");
  }
  std::vector<int> lit(257, 0), dist(1, 0);
  {
    BitWriter w;  // 'a' and 'b' one bit each: no end-of-block code
    auto l = lit;
    l['a'] = l['b'] = 1;
    DynamicHeader(w, l, dist);
    w.Align();
    check(w.out, Status::kDataError, "", "no end-of-block code");
  }
  {
    BitWriter w;  // incomplete literal code: 'a' one bit, end of block two
    auto l = lit;
    l['a'] = 1;
    l[256] = 2;
    DynamicHeader(w, l, dist);
    w.Align();
    check(w.out, Status::kDataError, "", "incomplete literal code");
  }
  {
    BitWriter w;  // no distance codes at all, literals only
    auto l = lit;
    l['a'] = 1;
    l[256] = 1;
    DynamicHeader(w, l, dist);
    const auto c = Canonical(l);
    w.Code(c['a'].first, 1);
    w.Code(c['a'].first, 1);
    w.Code(c[256].first, 1);
    w.Align();
    check(w.out, Status::kOk, "aa", "no distance codes");
  }
  {
    BitWriter w;  // a single distance code of one bit, and codes longer
                  // than the narrow table (13 and 14 bits)
    // One code of each length from 1 to 15 and a second one of 15: complete.
    std::vector<int> l(258, 0);
    l['a'] = 1;    // 1/2
    l[257] = 2;    // 1/4
    l[256] = 3;    // 1/8
    l['b'] = 4;    // 1/16
    l['c'] = 5;    // 1/32
    l['d'] = 6;    // 1/64
    l['e'] = 7;    // 1/128
    l['f'] = 8;    // 1/256
    l['g'] = 9;    // 1/512
    l['h'] = 10;   // 1/1024
    l['i'] = 11;
    l['j'] = 12;
    l['k'] = 13;
    l['l'] = 14;
    l['m'] = 15;
    l['n'] = 15;
    std::vector<int> d{1};
    DynamicHeader(w, l, d);
    const auto c = Canonical(l);
    std::string expect;
    for (char ch : std::string("abcdefghijklmn")) {
      w.Code(c[static_cast<unsigned char>(ch)].first, c[static_cast<unsigned char>(ch)].second);
      expect += ch;
    }
    w.Code(c[257].first, 2);  // length 3 at distance 1
    w.Code(0, 1);
    expect += "nnn";
    w.Code(c[256].first, 3);
    w.Align();
    check(w.out, Status::kOk, expect, "single distance code, long literal codes");
  }
}

TEST(SmallInflate, TakesNoDamagedStreamThatZlibRefuses) {
  std::mt19937 rng(11);
  const auto samples = Samples();
  size_t accepted = 0;
  for (int round = 0; round < 6000; ++round) {
    const std::string& data = samples[rng() % 16];
    std::string stream = Deflate(data, round % 10, round % 3 ? Z_DEFAULT_STRATEGY : Z_FIXED);
    if (stream.empty()) continue;
    for (int flips = 1 + round % 3; flips > 0; --flips)
      stream[rng() % stream.size()] ^= static_cast<char>(1u << (rng() % 8));
    std::string ours, theirs;
    const Status s = Small(stream, data.size() + 64, ours);
    const bool zlibOk = ZlibInflate(stream, data.size() + 64, theirs);
    if (s == Status::kOk) {
      ++accepted;
      ASSERT_TRUE(zlibOk) << "round " << round;
      ASSERT_TRUE(ours == theirs) << "round " << round;
    }
  }
  // Some flips land in literals and still decode: the comparison ran.
  EXPECT_GT(accepted, 0u);
}

}  // namespace

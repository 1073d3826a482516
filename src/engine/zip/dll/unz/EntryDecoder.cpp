// Decoders for the methods the engine reads.
#include "engine/zip/dll/unz/EntryDecoder.h"

#include <bzlib.h>
#include <libdeflate.h>
#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/zip/dll/common/ZipFormat.h"
#include "engine/zip/dll/unz/Deflate64.h"
#include "engine/zip/dll/unz/SmallInflate.h"

namespace arkelin::engine::zip::dll {

namespace {

constexpr size_t kChunk = 256 * 1024;
// Entries up to this size (both sides) are inflated in one piece by
// libdeflate, about twice as fast as zlib; larger ones stream.
constexpr uint64_t kWholeBufferLimit = 8ull << 20;
constexpr uint64_t kLzmaMemLimit = 768ull << 20;
// Below this declared size our own decoder with its narrow tables is faster
// than libdeflate, whose larger tables cost more to build than such an
// entry's few symbols take to decode.
constexpr uint64_t kSmallInflateLimit = 512;

// Passes output on while counting it against the declared size.
class LimitedSink {
 public:
  LimitedSink(OutputSink& out, uint64_t limit) : out_(out), limit_(limit) {}
  // false when the sink stopped or the data ran past the limit.
  bool Write(const uint8_t* d, size_t n) {
    if (n == 0) return true;
    if (n > limit_ - total_) {
      tooLong_ = true;
      return false;
    }
    total_ += n;
    if (!out_.Write(d, n)) {
      stopped_ = true;
      return false;
    }
    return true;
  }
  DecodeResult Failure() const { return tooLong_ ? DecodeResult::TooLong : DecodeResult::Stopped; }
  DecodeResult Finish() const { return total_ == limit_ ? DecodeResult::Ok : DecodeResult::TooShort; }
  uint64_t Total() const { return total_; }

 private:
  OutputSink& out_;
  uint64_t limit_;
  uint64_t total_ = 0;
  bool tooLong_ = false, stopped_ = false;
};

struct Buffers {
  std::vector<uint8_t> in = std::vector<uint8_t>(kChunk);
  std::vector<uint8_t> out = std::vector<uint8_t>(kChunk);
};

DecodeResult Stored(EntryInput& in, LimitedSink& sink, Buffers& b) {
  if (const uint8_t* p = in.InPlace()) {
    const size_t n = static_cast<size_t>(in.Remaining());
    in.Consume(n);
    if (!sink.Write(p, n)) return sink.Failure();
    return sink.Finish();
  }
  for (;;) {
    const int64_t n = in.Read(b.in.data(), b.in.size());
    if (n < 0) return DecodeResult::ReadError;
    if (n == 0) return sink.Finish();
    if (!sink.Write(b.in.data(), static_cast<size_t>(n))) return sink.Failure();
  }
}

// A buffer that grows without clearing what it gains: every byte of it is
// written before it is read, and clearing the output buffer of each entry
// was a measurable part of testing an archive.
class RawBuffer {
 public:
  void Resize(size_t n) {
    if (n > capacity_) {
      data_.reset(new uint8_t[n]);
      capacity_ = n;
    }
    size_ = n;
  }
  uint8_t* data() { return data_.get(); }
  size_t size() const { return size_; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t capacity_ = 0, size_ = 0;
};

DecodeResult DeflateWhole(EntryInput& in, uint64_t expected, LimitedSink& sink, std::string& detail) {
  thread_local RawBuffer src, dst;
  thread_local std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(
      libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
  const uint8_t* from = in.InPlace();
  size_t got = static_cast<size_t>(in.Remaining());
  if (from) {
    in.Consume(got);
  } else {
    src.Resize(got);
    got = 0;
    while (got < src.size()) {
      const int64_t n = in.Read(src.data() + got, src.size() - got);
      if (n < 0) return DecodeResult::ReadError;
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    from = src.data();
  }
  // One spare byte tells "exactly the declared size" from "more than that".
  const size_t cap = static_cast<size_t>(expected) + 1;
  size_t produced = 0;
  if (expected < kSmallInflateLimit) {
    dst.Resize(cap + kSmallInflateSlack);
    switch (SmallInflate(from, got, dst.data(), cap, produced)) {
      case SmallInflateStatus::kOk: break;
      case SmallInflateStatus::kTooLong: return DecodeResult::TooLong;
      case SmallInflateStatus::kDataError: detail = "the deflate data is damaged"; return DecodeResult::DataError;
    }
  } else {
    dst.Resize(cap);
    size_t used = 0;
    const auto r = libdeflate_deflate_decompress_ex(d.get(), from, got, dst.data(), dst.size(), &used, &produced);
    if (r == LIBDEFLATE_INSUFFICIENT_SPACE) return DecodeResult::TooLong;
    if (r != LIBDEFLATE_SUCCESS) {
      detail = "the deflate data is damaged";
      return DecodeResult::DataError;
    }
  }
  if (produced > expected) return DecodeResult::TooLong;
  if (!sink.Write(dst.data(), produced)) return sink.Failure();
  return sink.Finish();
}

DecodeResult DeflateStream(EntryInput& in, LimitedSink& sink, Buffers& b, std::string& detail) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) {
    detail = "out of memory";
    return DecodeResult::DataError;
  }
  struct End {
    z_stream& z;
    ~End() { inflateEnd(&z); }
  } end{z};
  for (;;) {
    if (z.avail_in == 0) {
      const int64_t n = in.Read(b.in.data(), b.in.size());
      if (n < 0) return DecodeResult::ReadError;
      if (n == 0) {
        detail = "the deflate data ends early";
        return DecodeResult::DataError;
      }
      z.next_in = b.in.data();
      z.avail_in = static_cast<uInt>(n);
    }
    z.next_out = b.out.data();
    z.avail_out = static_cast<uInt>(b.out.size());
    const int r = inflate(&z, Z_NO_FLUSH);
    const size_t produced = b.out.size() - z.avail_out;
    if (produced && !sink.Write(b.out.data(), produced)) return sink.Failure();
    if (r == Z_STREAM_END) return sink.Finish();
    if (r != Z_OK && r != Z_BUF_ERROR) {
      detail = "the deflate data is damaged";
      return DecodeResult::DataError;
    }
  }
}

DecodeResult Deflate64(EntryInput& in, LimitedSink& sink, std::string& detail) {
  const Inflate64Read read = [&in](uint8_t* buf, size_t n) { return in.Read(buf, n); };
  const Inflate64Write write = [&sink](const uint8_t* d, size_t n) { return sink.Write(d, n); };
  switch (Inflate64(read, write, detail)) {
    case Inflate64Status::kOk: return sink.Finish();
    case Inflate64Status::kStopped: return sink.Failure();
    case Inflate64Status::kReadError: return DecodeResult::ReadError;
    case Inflate64Status::kDataError: break;
  }
  return DecodeResult::DataError;
}

DecodeResult Bzip2(EntryInput& in, LimitedSink& sink, Buffers& b, std::string& detail) {
  bz_stream s{};
  if (BZ2_bzDecompressInit(&s, 0, 0) != BZ_OK) {
    detail = "out of memory";
    return DecodeResult::DataError;
  }
  struct End {
    bz_stream& s;
    ~End() { BZ2_bzDecompressEnd(&s); }
  } end{s};
  for (;;) {
    if (s.avail_in == 0) {
      const int64_t n = in.Read(b.in.data(), b.in.size());
      if (n < 0) return DecodeResult::ReadError;
      if (n == 0) {
        detail = "the bzip2 data ends early";
        return DecodeResult::DataError;
      }
      s.next_in = reinterpret_cast<char*>(b.in.data());
      s.avail_in = static_cast<unsigned>(n);
    }
    s.next_out = reinterpret_cast<char*>(b.out.data());
    s.avail_out = static_cast<unsigned>(b.out.size());
    const int r = BZ2_bzDecompress(&s);
    const size_t produced = b.out.size() - s.avail_out;
    if (produced && !sink.Write(b.out.data(), produced)) return sink.Failure();
    if (r == BZ_STREAM_END) return sink.Finish();
    if (r != BZ_OK) {
      detail = "the bzip2 data is damaged";
      return DecodeResult::DataError;
    }
  }
}

// Runs an lzma_stream already set up, feeding `prefix` first.
DecodeResult RunLzma(lzma_stream& s, EntryInput& in, LimitedSink& sink, Buffers& b, const uint8_t* prefix,
                     size_t prefixLen, const char* what, std::string& detail) {
  struct End {
    lzma_stream& s;
    ~End() { lzma_end(&s); }
  } end{s};
  s.next_in = prefix;
  s.avail_in = prefixLen;
  bool inputDone = false;
  for (;;) {
    if (s.avail_in == 0 && !inputDone) {
      const int64_t n = in.Read(b.in.data(), b.in.size());
      if (n < 0) return DecodeResult::ReadError;
      if (n == 0) inputDone = true;
      s.next_in = b.in.data();
      s.avail_in = static_cast<size_t>(n);
    }
    s.next_out = b.out.data();
    s.avail_out = b.out.size();
    const lzma_ret r = lzma_code(&s, inputDone ? LZMA_FINISH : LZMA_RUN);
    const size_t produced = b.out.size() - s.avail_out;
    if (produced && !sink.Write(b.out.data(), produced)) return sink.Failure();
    if (r == LZMA_STREAM_END) return sink.Finish();
    if (r == LZMA_MEMLIMIT_ERROR || r == LZMA_MEM_ERROR) {
      detail = std::string("the ") + what + " data needs too much memory";
      return DecodeResult::DataError;
    }
    if (r != LZMA_OK) {
      detail = std::string("the ") + what + " data is damaged";
      return DecodeResult::DataError;
    }
    if (inputDone && produced == 0) {
      detail = std::string("the ") + what + " data ends early";
      return DecodeResult::DataError;
    }
  }
}

DecodeResult Lzma(uint16_t flags, EntryInput& in, uint64_t expected, LimitedSink& sink, Buffers& b,
                  std::string& detail) {
  // Four bytes of version and properties size, then the properties; the
  // decoder wants the classic 13-byte header of properties and size.
  uint8_t head[9];
  size_t got = 0;
  while (got < sizeof head) {
    const int64_t n = in.Read(head + got, sizeof head - got);
    if (n < 0) return DecodeResult::ReadError;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  if (got < sizeof head || Le16(head + 2) != 5) {
    detail = "the LZMA properties are damaged";
    return DecodeResult::DataError;
  }
  uint8_t alone[13];
  std::copy(head + 4, head + 9, alone);
  common::PutLe64(alone + 5, (flags & kFlagLzmaEos) ? UINT64_MAX : expected);
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_alone_decoder(&s, kLzmaMemLimit) != LZMA_OK) {
    detail = "out of memory";
    return DecodeResult::DataError;
  }
  return RunLzma(s, in, sink, b, alone, sizeof alone, "LZMA", detail);
}

DecodeResult Xz(EntryInput& in, LimitedSink& sink, Buffers& b, std::string& detail) {
  lzma_stream s = LZMA_STREAM_INIT;
  if (lzma_stream_decoder(&s, kLzmaMemLimit, LZMA_CONCATENATED) != LZMA_OK) {
    detail = "out of memory";
    return DecodeResult::DataError;
  }
  return RunLzma(s, in, sink, b, nullptr, 0, "XZ", detail);
}

DecodeResult Zstd(EntryInput& in, LimitedSink& sink, Buffers& b, std::string& detail) {
  std::unique_ptr<ZSTD_DStream, size_t (*)(ZSTD_DStream*)> z(ZSTD_createDStream(), ZSTD_freeDStream);
  if (!z) {
    detail = "out of memory";
    return DecodeResult::DataError;
  }
  ZSTD_initDStream(z.get());
  // Window sizes past 128 MiB would let a small entry demand huge memory.
  ZSTD_DCtx_setParameter(z.get(), ZSTD_d_windowLogMax, 27);
  ZSTD_inBuffer inb{b.in.data(), 0, 0};
  size_t last = 1;
  for (;;) {
    if (inb.pos == inb.size) {
      const int64_t n = in.Read(b.in.data(), b.in.size());
      if (n < 0) return DecodeResult::ReadError;
      if (n == 0) {
        if (last == 0) return sink.Finish();
        detail = "the Zstandard data ends early";
        return DecodeResult::DataError;
      }
      inb = {b.in.data(), static_cast<size_t>(n), 0};
    }
    ZSTD_outBuffer outb{b.out.data(), b.out.size(), 0};
    last = ZSTD_decompressStream(z.get(), &outb, &inb);
    if (ZSTD_isError(last)) {
      detail = "the Zstandard data is damaged";
      return DecodeResult::DataError;
    }
    if (outb.pos && !sink.Write(b.out.data(), outb.pos)) return sink.Failure();
  }
}

}  // namespace

int64_t EntryInput::Read(uint8_t* buf, size_t n) {
  const size_t want = static_cast<size_t>(std::min<uint64_t>(n, remaining_));
  if (want == 0) return 0;
  if (mem_) {
    std::memcpy(buf, mem_, want);
    mem_ += want;
  } else if (!file_->ReadAt(offset_, buf, want)) {
    return -1;
  }
  if (keys_) keys_->Decrypt(buf, want);
  if (aes_) aes_->Decrypt(buf, want);
  offset_ += want;
  remaining_ -= want;
  return static_cast<int64_t>(want);
}

bool EntryInput::Drain() {
  uint8_t buf[16384];
  for (;;) {
    const int64_t n = Read(buf, sizeof buf);
    if (n < 0) return false;
    if (n == 0) return true;
  }
}

std::string UnsupportedMethodText(uint16_t method) {
  return std::string("unsupported method ") + MethodName(method) + " (method " + std::to_string(method) + ")";
}

bool MethodSupported(uint16_t method) {
  switch (method) {
    case kMethodStore:
    case kMethodDeflate:
    case kMethodDeflate64:
    case kMethodBzip2:
    case kMethodLzma:
    case kMethodZstdOld:
    case kMethodZstd:
    case kMethodXz:
      return true;
    default:
      return false;
  }
}

DecodeResult DecodeEntry(uint16_t method, uint16_t flags, EntryInput& in, uint64_t expectedSize, OutputSink& out,
                         std::string& detail) {
  LimitedSink sink(out, expectedSize);
  if (method == kMethodDeflate && expectedSize <= kWholeBufferLimit && in.Remaining() <= kWholeBufferLimit)
    return DeflateWhole(in, expectedSize, sink, detail);
  thread_local Buffers b;
  switch (method) {
    case kMethodStore: return Stored(in, sink, b);
    case kMethodDeflate: return DeflateStream(in, sink, b, detail);
    case kMethodDeflate64: return Deflate64(in, sink, detail);
    case kMethodBzip2: return Bzip2(in, sink, b, detail);
    case kMethodLzma: return Lzma(flags, in, expectedSize, sink, b, detail);
    case kMethodZstdOld:
    case kMethodZstd: return Zstd(in, sink, b, detail);
    case kMethodXz: return Xz(in, sink, b, detail);
    default:
      detail = UnsupportedMethodText(method);
      return DecodeResult::Unsupported;
  }
}

}  // namespace arkelin::engine::zip::dll

// Helpers for the viewer tests: a hand-driven clock and timer for the timer
// pool, a builder for GIF files byte by byte, an LZW code packer that
// follows the reader's code-width rule, and a small LZW encoder whose clear
// code policy can be chosen (so the table-full corner cases can be made).
#pragma once

#include <QGuiApplication>
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "viewers/MPTimer.h"

namespace arkelin::viewers::testing {

// ---- Clock and timer ---------------------------------------------------------------

class FakePoolTimer : public IPoolTimer {
 public:
  explicit FakePoolTimer(std::vector<FakePoolTimer*>& live) : live_(live) {}
  ~FakePoolTimer() override { live_.erase(std::find(live_.begin(), live_.end(), this)); }
  void Start(int intervalMs) override {
    ++starts;
    active = true;
    interval = intervalMs;
  }
  void Stop() override {
    active = false;
    interval = 0;
  }
  bool Active() const override { return active; }
  int Interval() const override { return active ? interval : 0; }
  int starts = 0;
  bool active = false;
  int interval = 0;

 private:
  std::vector<FakePoolTimer*>& live_;
};

// Installs a fake clock and fake timers for every pool made while it lives.
// RunFor plays the periodic timer: each tick comes exactly one period after
// the previous one (or after the timer was started).
class FakeTimerScope {
 public:
  FakeTimerScope() {
    TimerServices s;
    s.now = [this] { return now; };
    s.makeTimer = [this] {
      auto t = std::make_unique<FakePoolTimer>(timers);
      timers.push_back(t.get());
      ++made;
      return std::unique_ptr<IPoolTimer>(std::move(t));
    };
    SetDefaultTimerServices(s);
  }
  ~FakeTimerScope() { SetDefaultTimerServices({}); }

  FakePoolTimer* Last() const { return timers.empty() ? nullptr : timers.back(); }

  // Advances the clock by ms, ticking the most recent timer whenever it is
  // due. Returns the number of ticks.
  int RunFor(int64_t ms) {
    const int64_t stop = now + ms;
    int ticks = 0;
    while (true) {
      FakePoolTimer* t = Last();
      if (!t || !t->active || t->interval <= 0) break;
      if (lastTickAt < 0 || lastPeriod != t->interval || lastStarts != t->starts) {
        // (re)started: the first tick comes one period after the start
        lastTickAt = now;
        lastPeriod = t->interval;
        lastStarts = t->starts;
      }
      const int64_t due = lastTickAt + t->interval;
      if (due > stop) break;
      now = due;
      lastTickAt = due;
      ++ticks;
      auto tick = t->onTick;   // the pool, and t, may be freed by the tick
      tick();
    }
    now = stop;
    return ticks;
  }

  int64_t now = 1000;
  std::vector<FakePoolTimer*> timers;   // the live ones, owned by their pools
  int made = 0;

 private:
  int64_t lastTickAt = -1;
  int lastPeriod = 0;
  int lastStarts = -1;
};

// ---- GIF files ----------------------------------------------------------------------

inline void Put16(std::string& s, int v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>((v >> 8) & 0xFF);
}

// A palette of 2^(bits) entries: entry i = (i*37, i*91, i*13) mod 256, so
// neighbouring indexes differ in colour.
inline std::string TestPalette(int bits) {
  std::string s;
  for (int i = 0; i < (1 << bits); ++i) {
    s += static_cast<char>((i * 37) & 0xFF);
    s += static_cast<char>((i * 91 + 7) & 0xFF);
    s += static_cast<char>((i * 13 + 50) & 0xFF);
  }
  return s;
}

class GifBuilder {
 public:
  // globalBits 0: no global colour table; else a table of 2^globalBits entries.
  GifBuilder(int width, int height, int globalBits) {
    bytes = "GIF89a";
    Put16(bytes, width);
    Put16(bytes, height);
    bytes += static_cast<char>(globalBits ? (0x80 | (globalBits - 1)) : 0);
    bytes += '\0';   // background
    bytes += '\0';   // aspect
    if (globalBits) bytes += TestPalette(globalBits);
  }
  GifBuilder& GraphicControl(int delay) {
    bytes += "\x21\xF9\x04";
    bytes += '\0';
    Put16(bytes, delay);
    bytes += '\0';
    bytes += '\0';
    return *this;
  }
  GifBuilder& Comment(const std::string& text) {
    bytes += "\x21\xFE";
    SubBlocks(text);
    return *this;
  }
  // An image with the packed code stream; localBits 0: no local table.
  GifBuilder& Image(int left, int top, int w, int h, int minCodeSize, const std::string& packed,
                    bool interlaced = false, int localBits = 0) {
    bytes += '\x2C';
    Put16(bytes, left);
    Put16(bytes, top);
    Put16(bytes, w);
    Put16(bytes, h);
    bytes += static_cast<char>((interlaced ? 0x40 : 0) | (localBits ? (0x80 | (localBits - 1)) : 0));
    if (localBits) bytes += TestPalette(localBits);
    bytes += static_cast<char>(minCodeSize);
    SubBlocks(packed);
    return *this;
  }
  GifBuilder& Raw(const std::string& s) {
    bytes += s;
    return *this;
  }
  GifBuilder& Trailer() {
    bytes += '\x3B';
    return *this;
  }
  void SubBlocks(const std::string& data) {
    for (size_t at = 0; at < data.size(); at += 255) {
      const size_t n = std::min<size_t>(255, data.size() - at);
      bytes += static_cast<char>(n);
      bytes += data.substr(at, n);
    }
    bytes += '\0';
  }
  std::string bytes;
};

// Packs codes least significant bit first, at the width a reader uses at
// each point: s+1 bits after a clear code, one more each time the next free
// code reaches the next power of two, at most 12.
inline std::string PackCodes(int s, const std::vector<int>& codes) {
  const int clear = 1 << s, end = clear + 1;
  int width = s + 1, next = end + 1;
  bool firstAfterClear = true;
  uint32_t acc = 0;
  int bits = 0;
  std::string out;
  for (int c : codes) {
    acc |= static_cast<uint32_t>(c) << bits;
    bits += width;
    while (bits >= 8) {
      out += static_cast<char>(acc & 0xFF);
      acc >>= 8;
      bits -= 8;
    }
    if (c == clear) {
      width = s + 1;
      next = end + 1;
      firstAfterClear = true;
    } else if (c == end) {
    } else if (firstAfterClear) {
      firstAfterClear = false;
    } else if (next < 4096) {
      ++next;
      if (next >= (1 << width) && width < 12) ++width;
    }
  }
  if (bits > 0) out += static_cast<char>(acc & 0xFF);
  return out;
}

// A plain LZW encoder. clearAfterFull: how many codes to send once the
// reader's table is full (all 4096 codes assigned) before a clear code;
// -1 never clears (the reader must go on with a full table, a "deferred"
// clear).
struct LzwOptions {
  bool leadingClear = true;
  int clearAfterFull = -1;
};

inline std::vector<int> LzwEncode(const std::vector<uint8_t>& pixels, int s, LzwOptions o = {}) {
  const int clear = 1 << s, end = clear + 1;
  std::vector<int> codes;
  if (o.leadingClear) codes.push_back(clear);
  std::map<std::pair<int, int>, int> dict;
  int next = end + 1;          // the encoder's next code
  int decoderNext = end + 1;   // what the reader's next free code will be
  bool firstAfterClear = true;
  int sinceFull = 0;
  auto sent = [&](int code) {
    codes.push_back(code);
    if (firstAfterClear) {
      firstAfterClear = false;
    } else if (decoderNext < 4096) {
      ++decoderNext;
    } else {
      ++sinceFull;
    }
  };
  if (pixels.empty()) {
    codes.push_back(end);
    return codes;
  }
  int cur = pixels[0];
  for (size_t i = 1; i < pixels.size(); ++i) {
    const int p = pixels[i];
    auto it = dict.find({cur, p});
    if (it != dict.end()) {
      cur = it->second;
      continue;
    }
    sent(cur);
    if (next < 4096) dict[{cur, p}] = next++;
    if (decoderNext >= 4096 && o.clearAfterFull >= 0 && sinceFull >= o.clearAfterFull) {
      codes.push_back(clear);
      dict.clear();
      next = end + 1;
      decoderNext = end + 1;
      firstAfterClear = true;
      sinceFull = 0;
    }
    cur = p;
  }
  sent(cur);
  codes.push_back(end);
  return codes;
}

// A QGuiApplication for the tests that draw text (offscreen). It lives until
// the process ends; fontconfig keeps its caches to the end as well, which
// the leak checker of sanitizer builds is told below (our own leaks are
// still reported).
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

inline void EnsureGuiApp() {
  if (QCoreApplication::instance()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "arkelin_viewers_tests";
  static char* argv[] = {name, nullptr};
  static QGuiApplication* app = new QGuiApplication(argc, argv);
  (void)app;
}

// The colour of every pixel, as 32-bit RGB (alpha forced opaque).
inline QImage Rgb(const QImage& image) { return image.convertToFormat(QImage::Format_RGB32); }

}  // namespace arkelin::viewers::testing

// Our GIF reader over hostile bytes: the whole parse (blocks, extensions,
// colour tables, LZW decoding, interlacing), then the picture interface on
// what was decoded. Every decoded pixel is read back so that the sanitizers
// see any write or read outside a bitmap. Size limits are lowered so that
// mutated sizes cannot make a single input slow.
#include <QBuffer>
#include <QImage>
#include <QPainter>

#include <cstddef>
#include <cstdint>

#include "platform/FakePlatform.h"
#include "viewers/MPGifImg.h"

using namespace arkelin::viewers;

namespace {
class IdleTimer : public IPoolTimer {
 public:
  void Start(int ms) override { interval_ = ms; }
  void Stop() override { interval_ = 0; }
  bool Active() const override { return interval_ > 0; }
  int Interval() const override { return interval_; }

 private:
  int interval_ = 0;
};

void InstallTimer() {
  static bool done = false;
  if (done) return;
  done = true;
  TimerServices s;
  s.makeTimer = [] { return std::unique_ptr<IPoolTimer>(new IdleTimer); };
  s.now = [] { return int64_t(0); };
  SetDefaultTimerServices(s);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InstallTimer();
  arkelin::platform::FakePlatformScope platform;   // extension errors go to a recorded box
  const QByteArray bytes = size ? QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))
                                : QByteArray();

  TGIFData gif(bytes);
  gif.SetPixelLimits(int64_t(1) << 18, int64_t(1) << 20);
  try {
    gif.Parse();
  } catch (const EGraphicError&) {
  }
  unsigned sum = 0;
  if (TMPOwnedObjectList<TGIFFrame>* frames = gif.Frames()) {
    for (int i = 0; i < frames->Count(); ++i) {
      const QImage& bmp = (*frames)[i].Bitmap();
      for (int y = 0; y < bmp.height(); ++y) {
        const uchar* line = bmp.constScanLine(y);
        for (int x = 0; x < bmp.width(); ++x) sum += line[x];
      }
      if (!bmp.isNull()) sum += bmp.colorTable().size();
    }
  }

  // The picture interface, when the declared sizes are small enough to be
  // quick (the picture keeps the full limits).
  if (gif.Frames() && size < 4096) {
    int64_t pixels = 0;
    for (int i = 0; i < gif.Frames()->Count(); ++i) {
      const QImage& b = (*gif.Frames())[i].Bitmap();
      pixels += int64_t(b.width()) * b.height();
    }
    if (gif.ParseError().empty() || gif.ParseError().find("too large") == std::string::npos) {
      TGIFImage image;
      image.LoadFromBytes(bytes);
      const int n = image.FrameCount();
      image.SetAnimate(true);
      for (int i = 0; i < n + 2; ++i) image.NextFrame();
      image.SetSpeed(3);
      image.SetFrame(n);
      QImage canvas(8, 8, QImage::Format_RGB32);
      QPainter p(&canvas);
      image.Draw(p, canvas.rect());
      p.end();
      sum += image.Width() + image.Height() + static_cast<unsigned>(pixels);
      QBuffer out;
      out.open(QIODevice::WriteOnly);
      try {
        image.SaveToStream(out);
      } catch (const EGraphicError&) {
      }
    }
  }
  volatile unsigned sink = sum;
  (void)sink;
  return 0;
}

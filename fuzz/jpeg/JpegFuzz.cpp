// Our JPEG picture over hostile bytes: the JPEG library's decoding through
// our error handling, the pixel limit, the CMYK and grey conversions, the
// 8-bit palette and the pass-by-pass display of progressive files, with
// every option switched on the picture that loaded.
#include <QImage>

#include <cstddef>
#include <cstdint>

#include "viewers/GraphicErrors.h"
#include "viewers/JpegImage.h"

using namespace arkelin::viewers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  TJPEGImage j;
  j.SetPixelLimit(int64_t(1) << 16);   // small pictures only: each input stays quick
  j.SetProgressiveDisplay(size % 2 == 0);
  unsigned passes = 0;
  j.OnChange = [&](TGraphic&) { ++passes; };
  try {
    j.LoadFromBytes(bytes);
  } catch (const EInvalidGraphicOperation&) {
    return 0;
  }
  // Every pixel read back, so that the sanitizers see a short row.
  auto touch = [](const QImage& img) {
    unsigned sum = 0;
    for (int y = 0; y < img.height(); ++y) {
      const uchar* line = img.constScanLine(y);
      for (qsizetype x = 0; x < img.bytesPerLine(); ++x) sum += line[x];
    }
    return sum;
  };
  unsigned sum = touch(j.Bitmap());
  j.SetScale(TJPEGScale::jsQuarter);
  j.SetGrayscale(true);
  sum += touch(j.Bitmap());
  j.SetGrayscale(false);
  j.SetPixelFormat(TJPEGPixelFormat::jf8Bit);
  j.SetPerformance(TJPEGPerformance::jpBestSpeed);
  sum += touch(j.Bitmap());
  static volatile unsigned sink;
  sink = sum + passes;
  (void)sink;
  return 0;
}

// Pictures the viewer reads besides GIF: JPEG through the JPEG library
// (libjpeg), BMP and PNG through Qt's image readers.
//
// TJPEGImage keeps the file's bytes and decodes them with the options it
// holds: output depth (24-bit colour or 8-bit with a palette), scale (1/1,
// 1/2, 1/4, 1/8), grey levels, quality or speed, and progressive display
// (a progressive file is decoded in the library's buffered-image mode and
// the picture reports a change after every pass, so its owner repaints as
// the picture sharpens). Changing an option decodes again.
//
// Bad input: a file the library rejects, and a picture whose size is above
// the pixel limit (checked from the header, before anything is decoded),
// fail with EInvalidGraphicOperation, the error kind that means "no
// picture". Damage the library can decode around (data that ends early, a
// corrupt scan) gives the picture with the damaged part as the library
// fills it.
#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <string>

#include "viewers/GraphicFormats.h"

namespace arkelin::viewers {

enum class TJPEGPixelFormat { jf24Bit, jf8Bit };
enum class TJPEGScale { jsFullSize, jsHalf, jsQuarter, jsEighth };
enum class TJPEGPerformance { jpBestQuality, jpBestSpeed };

// Pictures above this many pixels are refused (a few header bytes can
// declare 65535 x 65535).
inline constexpr int64_t kMaxPicturePixels = int64_t(1) << 26;

class TJPEGImage : public TGraphic {
 public:
  void LoadFromStream(QIODevice& in) override;
  void LoadFromBytes(const QByteArray& bytes);
  // Writes the stored bytes unchanged.
  void SaveToStream(QIODevice& out) const override;

  int Width() const override { return bitmap_.width(); }
  int Height() const override { return bitmap_.height(); }
  bool Empty() const override { return bitmap_.isNull(); }
  void Draw(QPainter& canvas, const QRect& rect) const override;
  QImage ClipboardImage() const override { return bitmap_; }

  // Each setter decodes again when the value changes. A failure then leaves
  // the picture empty.
  TJPEGPixelFormat PixelFormat() const { return pixelFormat_; }
  void SetPixelFormat(TJPEGPixelFormat f);
  TJPEGScale Scale() const { return scale_; }
  void SetScale(TJPEGScale s);
  bool Grayscale() const { return grayscale_; }
  void SetGrayscale(bool on);
  TJPEGPerformance Performance() const { return performance_; }
  void SetPerformance(TJPEGPerformance p);
  bool ProgressiveDisplay() const { return progressiveDisplay_; }
  void SetProgressiveDisplay(bool on);

  // The decoded picture: RGB888, Indexed8 (8-bit) or Grayscale8.
  const QImage& Bitmap() const { return bitmap_; }
  // Output passes of the last decode (1 unless progressive display showed a
  // progressive file pass by pass).
  int Passes() const { return passes_; }
  // Lowers the pixel limit (the fuzz target stays quick); never raises it.
  void SetPixelLimit(int64_t pixels);

 private:
  void Decode();   // throws EInvalidGraphicOperation
  void Redecode();
  // Sets an option and decodes again when it changed.
  template <class T>
  void Change(T& option, T value);

  QByteArray bytes_;
  QImage bitmap_;
  int passes_ = 0;
  int64_t pixelLimit_ = kMaxPicturePixels;
  TJPEGPixelFormat pixelFormat_ = TJPEGPixelFormat::jf24Bit;
  TJPEGScale scale_ = TJPEGScale::jsFullSize;
  bool grayscale_ = false;
  TJPEGPerformance performance_ = TJPEGPerformance::jpBestQuality;
  bool progressiveDisplay_ = false;
};

// BMP or PNG through Qt's reader for the given format ("bmp", "png").
class TQtImage : public TGraphic {
 public:
  explicit TQtImage(QByteArray format) : format_(std::move(format)) {}
  void LoadFromStream(QIODevice& in) override;
  void SaveToStream(QIODevice& out) const override;
  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }
  bool Empty() const override { return image_.isNull(); }
  void Draw(QPainter& canvas, const QRect& rect) const override;
  QImage ClipboardImage() const override { return image_; }
  const QImage& Image() const { return image_; }
  const QByteArray& Format() const { return format_; }

 private:
  QByteArray format_;
  QByteArray bytes_;
  QImage image_;
};

// Registers "jpg" and "jpeg" (TJPEGImage), "bmp" and "png" (TQtImage) with
// the registry; GIF is there already. Calling it again changes nothing.
void RegisterViewerFormats(TGraphicFormats& formats = TGraphicFormats::Default());

}  // namespace arkelin::viewers

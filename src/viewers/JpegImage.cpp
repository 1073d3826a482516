#include "viewers/JpegImage.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>

#include <csetjmp>
#include <cstring>
#include <cstdio>
#include <functional>

#include <jpeglib.h>

#include "viewers/GraphicErrors.h"

namespace arkelin::viewers {

namespace {

// ---- The JPEG library ------------------------------------------------------------

// The library reports fatal errors through error_exit, which must not
// return: it jumps back to the decode function. That function keeps only
// C structures in its own frame; everything it produces lives in the
// caller's DecodeOutput, reached through a pointer.
struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr c) {
  auto* e = reinterpret_cast<ErrorManager*>(c->err);
  (*c->err->format_message)(c, e->message);
  std::longjmp(e->jump, 1);
}

void SilentMessage(j_common_ptr) {}   // warnings (damaged data decoded around) are not printed

struct DecodeOptions {
  TJPEGPixelFormat pixelFormat;
  TJPEGScale scale;
  bool grayscale;
  TJPEGPerformance performance;
  bool progressive;
  int64_t pixelLimit;
};

struct DecodeOutput {
  QImage image;
  int passes = 0;
  std::string error;
  std::function<void(const QImage&)> onPass;
};

// A progressive file shows at most this many passes; the rest of its scans
// are read at once into the last one.
constexpr int kMaxShownPasses = 100;

// Reads the output rows of one pass into out->image.
void ReadRows(j_decompress_ptr cinfo, JSAMPARRAY row, DecodeOutput* out, bool cmyk, bool inverted) {
  const int w = static_cast<int>(cinfo->output_width);
  while (cinfo->output_scanline < cinfo->output_height) {
    const int y = static_cast<int>(cinfo->output_scanline);
    if (jpeg_read_scanlines(cinfo, row, 1) != 1) break;
    uchar* line = out->image.scanLine(y);
    if (!cmyk) {
      std::memcpy(line, row[0], static_cast<size_t>(w) * static_cast<size_t>(cinfo->output_components));
      continue;
    }
    const JSAMPLE* s = row[0];
    for (int x = 0; x < w; ++x, s += 4) {
      // Adobe writes CMYK inverted (0 = full ink).
      const int c = inverted ? s[0] : 255 - s[0], m = inverted ? s[1] : 255 - s[1];
      const int yy = inverted ? s[2] : 255 - s[2], k = inverted ? s[3] : 255 - s[3];
      line[3 * x] = static_cast<uchar>(c * k / 255);
      line[3 * x + 1] = static_cast<uchar>(m * k / 255);
      line[3 * x + 2] = static_cast<uchar>(yy * k / 255);
    }
  }
}

void MakeImage(j_decompress_ptr cinfo, DecodeOutput* out, bool cmyk) {
  const int w = static_cast<int>(cinfo->output_width), h = static_cast<int>(cinfo->output_height);
  if (cmyk) {
    out->image = QImage(w, h, QImage::Format_RGB888);
  } else if (cinfo->quantize_colors) {
    out->image = QImage(w, h, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < cinfo->actual_number_of_colors; ++i) {
      if (cinfo->out_color_components == 1)
        table << qRgb(cinfo->colormap[0][i], cinfo->colormap[0][i], cinfo->colormap[0][i]);
      else
        table << qRgb(cinfo->colormap[0][i], cinfo->colormap[1][i], cinfo->colormap[2][i]);
    }
    out->image.setColorTable(table);
  } else if (cinfo->out_color_components == 1) {
    out->image = QImage(w, h, QImage::Format_Grayscale8);
  } else {
    out->image = QImage(w, h, QImage::Format_RGB888);
  }
  if (!out->image.isNull()) out->image.fill(0);
}

bool DecodeJpeg(const unsigned char* data, size_t size, const DecodeOptions* o, DecodeOutput* out) {
  jpeg_decompress_struct cinfo;
  ErrorManager jerr;
  cinfo.err = jpeg_std_error(&jerr.pub);
  jerr.pub.error_exit = ErrorExit;
  jerr.pub.output_message = SilentMessage;
  jerr.message[0] = '\0';
  if (setjmp(jerr.jump)) {
    jpeg_destroy_decompress(&cinfo);
    out->error = jerr.message;
    return false;
  }
  jpeg_create_decompress(&cinfo);
  cinfo.mem->max_memory_to_use = 768L << 20;
  jpeg_mem_src(&cinfo, const_cast<unsigned char*>(data), static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  if (static_cast<int64_t>(cinfo.image_width) * cinfo.image_height > o->pixelLimit) {
    jpeg_destroy_decompress(&cinfo);
    out->error = "picture too large";
    return false;
  }
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  const bool inverted = cinfo.saw_Adobe_marker;
  cinfo.scale_num = 1;
  cinfo.scale_denom = o->scale == TJPEGScale::jsHalf ? 2 : o->scale == TJPEGScale::jsQuarter ? 4
                      : o->scale == TJPEGScale::jsEighth ? 8 : 1;
  if (cmyk) {
    cinfo.out_color_space = JCS_CMYK;   // turned into RGB (and grey, 8-bit) afterwards
  } else if (o->grayscale) {
    cinfo.out_color_space = JCS_GRAYSCALE;
  } else if (cinfo.jpeg_color_space != JCS_GRAYSCALE) {
    cinfo.out_color_space = JCS_RGB;
  }
  const bool speed = o->performance == TJPEGPerformance::jpBestSpeed;
  cinfo.dct_method = speed ? JDCT_IFAST : JDCT_ISLOW;
  cinfo.do_fancy_upsampling = speed ? FALSE : TRUE;
  const bool progressive = o->progressive && jpeg_has_multiple_scans(&cinfo);
  if (o->pixelFormat == TJPEGPixelFormat::jf8Bit && !cmyk && cinfo.out_color_space != JCS_GRAYSCALE &&
      cinfo.jpeg_color_space != JCS_GRAYSCALE) {
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = 256;
    // Two-pass quantization needs the whole picture first, which a
    // pass-by-pass display does not have.
    cinfo.two_pass_quantize = (speed || progressive) ? FALSE : TRUE;
    cinfo.dither_mode = speed ? JDITHER_ORDERED : JDITHER_FS;
  }
  cinfo.buffered_image = progressive ? TRUE : FALSE;
  jpeg_calc_output_dimensions(&cinfo);
  jpeg_start_decompress(&cinfo);
  MakeImage(&cinfo, out, cmyk);
  if (out->image.isNull()) {
    jpeg_destroy_decompress(&cinfo);
    out->error = "out of memory";
    return false;
  }
  const JDIMENSION rowBytes = cinfo.output_width * static_cast<JDIMENSION>(cinfo.output_components);
  JSAMPARRAY row = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, rowBytes, 1);
  if (!progressive) {
    ReadRows(&cinfo, row, out, cmyk, inverted);
    out->passes = 1;
  } else {
    for (;;) {
      if (out->passes + 1 >= kMaxShownPasses)
        while (!jpeg_input_complete(&cinfo) && jpeg_consume_input(&cinfo) != JPEG_REACHED_EOI) {
        }
      jpeg_start_output(&cinfo, cinfo.input_scan_number);
      ReadRows(&cinfo, row, out, cmyk, inverted);
      jpeg_finish_output(&cinfo);
      ++out->passes;
      if (out->onPass) out->onPass(out->image);
      if (jpeg_input_complete(&cinfo) && cinfo.output_scan_number >= cinfo.input_scan_number) break;
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

// ---- TJPEGImage ---------------------------------------------------------------------

void TJPEGImage::LoadFromStream(QIODevice& in) { LoadFromBytes(in.readAll()); }

void TJPEGImage::LoadFromBytes(const QByteArray& bytes) {
  bytes_ = bytes;
  bitmap_ = QImage();
  Decode();
}

void TJPEGImage::SaveToStream(QIODevice& out) const { out.write(bytes_); }

void TJPEGImage::Draw(QPainter& canvas, const QRect& rect) const {
  if (!bitmap_.isNull()) canvas.drawImage(rect, bitmap_);
}

void TJPEGImage::SetPixelLimit(int64_t pixels) {
  if (pixels > 0 && pixels < pixelLimit_) pixelLimit_ = pixels;
}

void TJPEGImage::Decode() {
  passes_ = 0;
  if (bytes_.isEmpty()) throw EInvalidGraphicOperation("JPEG error: empty file");
  const DecodeOptions o{pixelFormat_, scale_, grayscale_, performance_, progressiveDisplay_, pixelLimit_};
  DecodeOutput out;
  // Each finished pass is shown: the picture takes it and tells its owner.
  out.onPass = [this](const QImage& pass) {
    if (!progressiveDisplay_) return;
    bitmap_ = pass.copy();
    try {
      Changed();
    } catch (...) {
      // a failing repaint does not stop the decoding
    }
  };
  if (!DecodeJpeg(reinterpret_cast<const unsigned char*>(bytes_.constData()), static_cast<size_t>(bytes_.size()),
                  &o, &out)) {
    bitmap_ = QImage();
    throw EInvalidGraphicOperation("JPEG error: " + out.error);
  }
  if (out.image.format() == QImage::Format_RGB888 && grayscale_) {
    // CMYK pictures come out as RGB; their grey uses the library's own
    // luminance weights, as the other pictures' grey does.
    QImage grey(out.image.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < grey.height(); ++y) {
      const uchar* s = out.image.constScanLine(y);
      uchar* d = grey.scanLine(y);
      for (int x = 0; x < grey.width(); ++x, s += 3)
        d[x] = static_cast<uchar>((19595 * s[0] + 38470 * s[1] + 7471 * s[2] + 32768) >> 16);
    }
    out.image = std::move(grey);
  } else if (out.image.format() == QImage::Format_RGB888 && pixelFormat_ == TJPEGPixelFormat::jf8Bit) {
    out.image = out.image.convertToFormat(QImage::Format_Indexed8);
  }
  bitmap_ = std::move(out.image);
  passes_ = out.passes;
}

void TJPEGImage::Redecode() {
  if (bytes_.isEmpty()) return;
  try {
    Decode();
  } catch (const EInvalidGraphicOperation&) {
    bitmap_ = QImage();
  }
  Changed();
}

template <class T>
void TJPEGImage::Change(T& option, T value) {
  if (option == value) return;
  option = value;
  Redecode();
}

void TJPEGImage::SetPixelFormat(TJPEGPixelFormat f) { Change(pixelFormat_, f); }
void TJPEGImage::SetScale(TJPEGScale s) { Change(scale_, s); }
void TJPEGImage::SetGrayscale(bool on) { Change(grayscale_, on); }
void TJPEGImage::SetPerformance(TJPEGPerformance p) { Change(performance_, p); }

void TJPEGImage::SetProgressiveDisplay(bool on) {
  // Showing passes changes nothing in the finished picture: no new decode.
  progressiveDisplay_ = on;
}

// ---- TQtImage -----------------------------------------------------------------------

void TQtImage::LoadFromStream(QIODevice& in) {
  bytes_ = in.readAll();
  image_ = QImage();
  QBuffer buf(&bytes_);
  buf.open(QIODevice::ReadOnly);
  QImageReader reader(&buf, format_);
  reader.setDecideFormatFromContent(false);
  const QSize size = reader.size();
  if (size.isValid() && int64_t(size.width()) * size.height() > kMaxPicturePixels)
    throw EInvalidGraphicOperation("picture too large");
  image_ = reader.read();
  if (image_.isNull()) throw EInvalidGraphicOperation("Bitmap image is not valid");
}

void TQtImage::SaveToStream(QIODevice& out) const { out.write(bytes_); }

void TQtImage::Draw(QPainter& canvas, const QRect& rect) const {
  if (!image_.isNull()) canvas.drawImage(rect, image_);
}

void RegisterViewerFormats(TGraphicFormats& formats) {
  auto jpeg = [] { return std::unique_ptr<TGraphic>(new TJPEGImage); };
  formats.Register("jpg", "JPEG Image File", jpeg);
  formats.Register("jpeg", "JPEG Image File", jpeg);
  formats.Register("bmp", "Bitmaps", [] { return std::unique_ptr<TGraphic>(new TQtImage("bmp")); });
  formats.Register("png", "Portable Network Graphics", [] { return std::unique_ptr<TGraphic>(new TQtImage("png")); });
}

}  // namespace arkelin::viewers

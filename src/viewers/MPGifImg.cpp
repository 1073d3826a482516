// TGIFImage and its parts: see MPGifImg.h.
#include "viewers/MPGifImg.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QIODevice>
#include <QPainter>

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"

namespace arkelin::viewers {

// ---- Reading the stored bytes ------------------------------------------------

namespace {
// Raised when a read goes past the last stored byte: the parse stops there,
// quietly, keeping the frames it has.
struct EEndOfData {};
}  // namespace

class TGIFReader {
 public:
  TGIFReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() {
    if (pos_ >= size_) throw EEndOfData{};
    return data_[pos_++];
  }
  uint16_t Word() {
    const uint16_t lo = Byte();
    return static_cast<uint16_t>(lo | (Byte() << 8));
  }
  // Up to n bytes appended to out; false when the bytes ended first.
  bool Take(size_t n, std::vector<uint8_t>& out) {
    const size_t have = std::min(n, size_ - pos_);
    out.insert(out.end(), data_ + pos_, data_ + pos_ + have);
    pos_ += have;
    return have == n;
  }
  void Skip(size_t n) {
    if (size_ - pos_ < n) {
      pos_ = size_;
      throw EEndOfData{};
    }
    pos_ += n;
  }
  void Seek(size_t pos) { pos_ = std::min(pos, size_); }
  void Back() { if (pos_ > 0) --pos_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

namespace {

// Reads data sub-blocks up to the zero-length one; each becomes one item.
std::vector<std::string> ReadLines(TGIFReader& r) {
  std::vector<std::string> lines;
  for (uint8_t len = r.Byte(); len != 0; len = r.Byte()) {
    std::vector<uint8_t> block;
    if (!r.Take(len, block)) throw EEndOfData{};
    lines.emplace_back(block.begin(), block.end());
  }
  return lines;
}

void SkipSubBlocks(TGIFReader& r) {
  for (uint8_t len = r.Byte(); len != 0; len = r.Byte()) r.Skip(len);
}

// The fixed part of an extension: its first block, of which at most n bytes
// are ours. Fields the block is too short for stay 0. A first block of size
// 0 is already the terminator: the extension ends there, with no sub-blocks.
// Returns false in that case.
bool ReadFixedPart(TGIFReader& r, size_t n, std::vector<uint8_t>& fixed) {
  const uint8_t size = r.Byte();
  fixed.assign(n, 0);
  if (size == 0) return false;
  std::vector<uint8_t> got;
  if (!r.Take(std::min<size_t>(size, n), got)) throw EEndOfData{};
  std::copy(got.begin(), got.end(), fixed.begin());
  if (size > n) r.Skip(size - n);
  return true;
}

uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

// The extension whose label was just read; nullptr for the kinds we skip.
std::unique_ptr<TGIFExtension> ReadExtension(TGIFReader& r, uint8_t label) {
  std::vector<uint8_t> f;
  switch (label) {
    case TGraphicControlExtension::kLabel: {
      auto e = std::make_unique<TGraphicControlExtension>();
      const bool more = ReadFixedPart(r, 4, f);
      e->Flags = f[0];
      e->Delay = Le16(f, 1);
      e->TransparentIndex = f[3];
      if (more) SkipSubBlocks(r);
      return e;
    }
    case TPlainTextExtension::kLabel: {
      auto e = std::make_unique<TPlainTextExtension>();
      const bool more = ReadFixedPart(r, 12, f);
      e->GridLeft = Le16(f, 0);
      e->GridTop = Le16(f, 2);
      e->GridWidth = Le16(f, 4);
      e->GridHeight = Le16(f, 6);
      e->CellWidth = f[8];
      e->CellHeight = f[9];
      e->ForegroundIndex = f[10];
      e->BackgroundIndex = f[11];
      if (more) e->Lines = ReadLines(r);
      return e;
    }
    case TApplicationExtension::kLabel: {
      auto e = std::make_unique<TApplicationExtension>();
      const bool more = ReadFixedPart(r, 11, f);
      e->Identifier.assign(f.begin(), f.begin() + 8);
      e->Authentication.assign(f.begin() + 8, f.end());
      if (more)
        for (const auto& line : ReadLines(r)) e->Data.insert(e->Data.end(), line.begin(), line.end());
      return e;
    }
    case TCommentExtension::kLabel: {
      auto e = std::make_unique<TCommentExtension>();
      e->Lines = ReadLines(r);
      return e;
    }
    default:
      SkipSubBlocks(r);
      return nullptr;
  }
}

}  // namespace

// ---- Colour tables, descriptor, raster data ------------------------------------

TColorTable::TColorTable(std::vector<uint8_t> rgb) : rgb_(std::move(rgb)) {}

QRgb TColorTable::Entry(int i) const {
  if (i < 0 || i >= Count())
    throw EListError(FormatMessage("Index %d out of range [0..%d]", i, Count() - 1));
  const size_t at = static_cast<size_t>(i) * 3;
  return qRgb(rgb_[at], rgb_[at + 1], rgb_[at + 2]);
}

namespace {
std::unique_ptr<TColorTable> ReadColorTable(TGIFReader& r, uint8_t flags) {
  const size_t bytes = 3u * (size_t(1) << ((flags & 7) + 1));
  std::vector<uint8_t> rgb;
  if (!r.Take(bytes, rgb)) throw EEndOfData{};
  return std::make_unique<TColorTable>(std::move(rgb));
}
}  // namespace

void TImageDescriptor::Read(TGIFReader& r, const TColorTable* global) {
  Left = r.Word();
  Top = r.Word();
  Width = r.Word();
  Height = r.Word();
  Flags = r.Byte();
  global_ = global;
  if (HasLocalTable()) local_ = ReadColorTable(r, Flags);
}

void TRasterData::Read(TGIFReader& r) {
  MinCodeSize = r.Byte();
  Data.clear();
  for (;;) {
    uint8_t len;
    try {
      len = r.Byte();
    } catch (const EEndOfData&) {
      return;   // the bytes end here: decode what we have
    }
    if (len == 0) return;
    if (!r.Take(len, Data)) return;
  }
}

// ---- LZW decoding ------------------------------------------------------------------

namespace {
constexpr int kMaxCodes = 4096;
constexpr int kMaxCodeWidth = 12;

// Places decoded pixels row by row, or in the four interlace passes (rows
// 0, 8, 16.. then 4, 12.. then 2, 6.. then 1, 3..). Pixels past the last row
// (or after the last pass) are dropped.
class PixelSink {
 public:
  PixelSink(QImage& image, bool interlaced)
      : bits_(image.isNull() ? nullptr : image.bits()),
        bpl_(image.bytesPerLine()),
        width_(image.width()),
        height_(image.height()),
        interlaced_(interlaced) {
    done_ = bits_ == nullptr || width_ <= 0 || height_ <= 0;
    line_ = bits_;
  }
  bool Done() const { return done_; }
  // Writes n pixels, from pixels[0] on.
  void Put(const uint8_t* pixels, int n) {
    while (n > 0 && !done_) {
      const int room = width_ - x_;
      const int k = std::min(room, n);
      std::memcpy(line_ + x_, pixels, static_cast<size_t>(k));
      pixels += k;
      n -= k;
      x_ += k;
      if (x_ == width_) NextRow();
    }
  }
  void Put(uint8_t pixel) {
    if (done_) return;
    line_[x_] = pixel;
    if (++x_ == width_) NextRow();
  }

 private:
  void NextRow() {
    static constexpr int kStep[4] = {8, 8, 4, 2};
    static constexpr int kStart[4] = {0, 4, 2, 1};
    x_ = 0;
    if (!interlaced_) {
      ++row_;
    } else {
      row_ += kStep[pass_];
      while (row_ >= height_) {
        if (++pass_ > 3) break;
        row_ = kStart[pass_];
      }
    }
    if (row_ >= height_ || pass_ > 3) {
      done_ = true;
      return;
    }
    line_ = bits_ + static_cast<qsizetype>(row_) * bpl_;
  }

  uchar* bits_;
  qsizetype bpl_;
  int width_, height_;
  bool interlaced_;
  int x_ = 0, row_ = 0, pass_ = 0;
  bool done_ = false;
  uchar* line_ = nullptr;
};
}  // namespace

TDecoder::TDecoder(const uint8_t* data, size_t size, int minCodeSize)
    : data_(data), size_(size), codeSize_(minCodeSize) {
  if (minCodeSize < 2 || minCodeSize > 9)
    throw EInvalidGraphicOperation(FormatMessage("Invalid LZW Code Size: %d", minCodeSize));
}

// Codes are packed least significant bit first; -1 when the data ends
// before the code is complete.
inline int TDecoder::ReadCode() {
  while (bitCount_ < width_) {
    if (pos_ >= size_) return -1;
    bitBuf_ |= static_cast<uint32_t>(data_[pos_++]) << bitCount_;
    bitCount_ += 8;
  }
  const int code = static_cast<int>(bitBuf_ & mask_);
  bitBuf_ >>= width_;
  bitCount_ -= width_;
  return code;
}

void TDecoder::Decode(QImage& bitmap, bool interlaced) {
  PixelSink out(bitmap, interlaced);
  const int s = codeSize_;
  const int clear = 1 << s;
  const int end = clear + 1;

  // Each code above the literals is (prefix code, suffix pixel); first[] is
  // the first pixel of its string and length[] its length, so a string can
  // be written back to front straight into a buffer.
  uint16_t prefix[kMaxCodes];
  uint8_t suffix[kMaxCodes];
  uint8_t first[kMaxCodes];
  uint16_t length[kMaxCodes];
  uint8_t stack[kMaxCodes + 1];
  for (int i = 0; i < clear; ++i) {
    suffix[i] = first[i] = static_cast<uint8_t>(i);   // a literal's pixel: its low 8 bits
    length[i] = 1;
    prefix[i] = 0;
  }

  auto reset = [&] {
    width_ = s + 1;
    mask_ = (1u << width_) - 1;
  };
  reset();
  int next = end + 1;          // the next free code
  int limit = 1 << width_;

  // Writes the string of code k (k < next, not the clear or end code).
  auto writeString = [&](int k) {
    if (k < clear) {
      out.Put(suffix[k]);
      return;
    }
    const int n = length[k];
    uint8_t* p = stack + n;
    while (k >= clear) {
      *--p = suffix[k];
      k = prefix[k];
    }
    *--p = suffix[k];
    out.Put(stack, n);
  };
  // Adds (prefix, pixel) as the next code. Once the table holds 4096 codes no
  // more are added until a clear code: encoders may go on sending codes at
  // 12 bits (a "deferred" clear), and those only use the existing entries.
  auto add = [&](int p, uint8_t pixel) {
    if (next >= kMaxCodes) return;
    prefix[next] = static_cast<uint16_t>(p);
    suffix[next] = pixel;
    first[next] = first[p];
    length[next] = static_cast<uint16_t>(length[p] + 1);
    ++next;
    if (next >= limit && width_ < kMaxCodeWidth) {
      ++width_;
      mask_ = (1u << width_) - 1;
      limit <<= 1;
    }
  };

  int k = ReadCode();
  if (k < 0) return;
  int prev = 0;
  if (k != clear && k != end) {
    // Data that does not begin with a clear code: as if it did.
    if (k >= next) k = 0;
    prev = k;
    writeString(k);
    k = ReadCode();
  }
  while (k >= 0 && k != end && !out.Done()) {
    if (k == clear) {
      reset();
      next = end + 1;
      limit = 1 << width_;
      do k = ReadCode(); while (k == clear);
      if (k < 0) return;
      if (k == end) throw EStreamError("Invalid stream format");
      if (k >= next) k = 0;
      prev = k;
      writeString(k);
    } else if (k < next) {
      writeString(k);
      add(prev, first[k]);
      prev = k;
    } else if (k == next) {
      add(prev, first[prev]);
      writeString(k);
      prev = k;
    } else {
      throw EStreamError("Invalid stream format");
    }
    k = ReadCode();
  }
}

// ---- Frames ------------------------------------------------------------------------

void TGIFFrame::SetBitmap(const QImage& bitmap) {
  if (readOnly_) throw EInvalidGraphicOperation("Cannot modify TGIFFrame bitmap");
  bitmap_ = bitmap;
}

namespace {

// The palette of a frame's bitmap. One entry per table entry; pixel values
// beyond the table show black, and a frame with no table at all (neither
// local nor global) shows its values as grey levels. On displays with a
// hardware palette, 16-entry tables used to be swapped for the display's
// system colours; X11 and Wayland displays here are true-colour, so every
// table is taken as the file gives it.
QList<QRgb> PaletteFor(const TColorTable* table) {
  QList<QRgb> colors(256);
  if (!table) {
    for (int i = 0; i < 256; ++i) colors[i] = qRgb(i, i, i);
    return colors;
  }
  const int n = std::min(table->Count(), 256);
  for (int i = 0; i < n; ++i) colors[i] = table->Entry(i);
  for (int i = n; i < 256; ++i) colors[i] = qRgb(0, 0, 0);
  return colors;
}

// Draws the first text line of a plain-text extension into the frame.
void DrawPlainText(QImage& bitmap, const TPlainTextExtension& e, const TColorTable* table) {
  if (bitmap.isNull()) return;
  int fg = 0;
  int bg = -1;   // -1: background not drawn
  if (table) {
    table->Entry(e.ForegroundIndex);   // both must name table entries
    table->Entry(e.BackgroundIndex);
    fg = e.ForegroundIndex;
    bg = e.BackgroundIndex;
  }
  if (e.Lines.empty()) return;
  // Text needs the font system, which exists only with a QGuiApplication.
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
    throw EInvalidGraphicOperation("GIF text cannot be drawn without a graphical application (no fonts)");
  const QRect clip = QRect(e.GridLeft, e.GridTop, e.GridWidth, e.GridHeight) & bitmap.rect();
  if (clip.isEmpty()) return;

  QFont font;
  if (e.CellHeight > 0) font.setPixelSize(e.CellHeight);
  font.setStyleStrategy(QFont::NoAntialias);
  const QString text = QString::fromLatin1(e.Lines.front().data(),
                                           static_cast<qsizetype>(e.Lines.front().size()));
  QImage mask(clip.size(), QImage::Format_RGB32);
  mask.fill(Qt::black);
  QFontMetrics fm(font, &mask);
  {
    QPainter p(&mask);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QPoint(e.GridLeft - clip.left(), e.GridTop - clip.top() + fm.ascent()), text);
  }
  const QRect box = QRect(e.GridLeft, e.GridTop, fm.horizontalAdvance(text), fm.height()) & clip;
  if (bg >= 0)
    for (int y = box.top(); y <= box.bottom(); ++y)
      std::memset(bitmap.scanLine(y) + box.left(), bg, static_cast<size_t>(box.width()));
  for (int y = 0; y < clip.height(); ++y) {
    const QRgb* m = reinterpret_cast<const QRgb*>(mask.constScanLine(y));
    uchar* line = bitmap.scanLine(y + clip.top()) + clip.left();
    for (int x = 0; x < clip.width(); ++x)
      if (qRed(m[x]) > 127) line[x] = static_cast<uchar>(fg);
  }
}

}  // namespace

// ---- Parsing -----------------------------------------------------------------------

void TGIFData::SetPixelLimits(int64_t perFrame, int64_t total) {
  maxFramePixels_ = std::clamp<int64_t>(perFrame, 0, kMaxFramePixels);
  maxTotalPixels_ = std::clamp<int64_t>(total, 0, kMaxTotalPixels);
}

int64_t TGIFData::PixelBudget() const {
  return std::min(maxTotalPixels_, kBudgetBasePixels + kBudgetPixelsPerByte * static_cast<int64_t>(bytes_.size()));
}

void TGIFData::Parse() {
  if (frames_) return;
  frames_ = std::make_unique<TMPOwnedObjectList<TGIFFrame>>();
  parseError_.clear();
  extensionErrorShown_ = false;
  TGIFReader r(reinterpret_cast<const uint8_t*>(bytes_.constData()),
               static_cast<size_t>(bytes_.size()));
  try {
    // The signature and version are not examined.
    r.Seek(6);
    ScreenWidth = r.Word();
    ScreenHeight = r.Word();
    ScreenFlags = r.Byte();
    BackgroundIndex = r.Byte();
    AspectRatio = r.Byte();
    globalTable_.reset();
    if (ScreenFlags & 0x80) globalTable_ = ReadColorTable(r, ScreenFlags);
    int64_t pixels = 0;
    for (uint8_t b = r.Byte(); b != 0x3B; b = r.Byte()) {
      r.Back();
      auto frame = std::make_unique<TGIFFrame>();
      ParseFrame(r, *frame, pixels);
      frames_->Add(std::move(frame));
    }
  } catch (const EEndOfData&) {
    parseError_ = "GIF data ends before its trailer";
  } catch (const std::exception& e) {
    parseError_ = e.what();
    throw;
  }
}

void TGIFData::ParseFrame(TGIFReader& r, TGIFFrame& frame, int64_t& pixelsSoFar) {
  TMPOwnedObjectList<TGIFExtension> extensions;
  uint8_t b = r.Byte();
  while (b == 0x21) {
    const uint8_t label = r.Byte();
    if (auto e = ReadExtension(r, label)) extensions.Add(std::move(e));
    b = r.Byte();
  }
  if (b == 0x3B) {
    // Extensions after the last image: a frame without a picture.
    r.Back();
    frame.readOnly_ = true;
    return;
  }
  if (b != 0x2C)
    throw EInvalidGraphicOperation(FormatMessage("Invalid GIF format seperator: $%x", b));

  TImageDescriptor descriptor;
  descriptor.Read(r, globalTable_.get());
  TRasterData raster;
  raster.Read(r);

  const int64_t pixels = int64_t(descriptor.Width) * descriptor.Height;
  if (pixels > maxFramePixels_ || pixelsSoFar + pixels > PixelBudget())
    throw EInvalidGraphicOperation(FormatMessage("GIF image too large: %dx%d", descriptor.Width,
                                                 descriptor.Height));
  pixelsSoFar += pixels;

  frame.left_ = descriptor.Left;
  frame.top_ = descriptor.Top;
  const TColorTable* table = descriptor.ColorTable();
  QImage bitmap;
  if (pixels > 0) {
    bitmap = QImage(descriptor.Width, descriptor.Height, QImage::Format_Indexed8);
    if (bitmap.isNull())
      throw EInvalidGraphicOperation(FormatMessage("GIF image too large: %dx%d", descriptor.Width,
                                                   descriptor.Height));
    bitmap.setColorTable(PaletteFor(table));
    bitmap.fill(0);
  }
  TDecoder decoder(raster.Data.data(), raster.Data.size(), raster.MinCodeSize);
  decoder.Decode(bitmap, descriptor.Interlaced());

  for (int i = 0; i < extensions.Count(); ++i) {
    try {
      if (auto* gc = dynamic_cast<TGraphicControlExtension*>(&extensions[i])) {
        frame.delay_ = gc->Delay;
      } else if (auto* pt = dynamic_cast<TPlainTextExtension*>(&extensions[i])) {
        DrawPlainText(bitmap, *pt, table);
      }
    } catch (const std::exception& e) {
      // The first failure of the picture is said; the others would only
      // repeat it, box after box.
      if (!extensionErrorShown_)
        platform::Dialogs().MessageBox(e.what(), platform::MsgKind::Error, platform::BtnOK);
      extensionErrorShown_ = true;
    }
  }
  frame.bitmap_ = std::move(bitmap);
  frame.readOnly_ = true;
}

// ---- The picture -----------------------------------------------------------------

namespace {
// The process-wide pool; freed with its last trigger and at program end.
struct PoolHolder {
  TMPTimerPool* pool = nullptr;
  ~PoolHolder() {
    delete pool;
    pool = nullptr;
  }
};
PoolHolder& Holder() {
  static PoolHolder h;
  return h;
}
}  // namespace

TMPTimerPool* TGIFImage::Pool() { return Holder().pool; }

TGIFImage::TGIFImage() : data_(std::make_unique<TGIFData>()) {
  PoolHolder& h = Holder();
  if (!h.pool) {
    h.pool = new TMPTimerPool();
    h.pool->DefEnabled = false;
  }
  trigger_ = h.pool->AddTrigger(10, -1, [this](TMPTimerPool&, int, int64_t, int64_t) { NextFrame(); });
}

TGIFImage::~TGIFImage() {
  PoolHolder& h = Holder();
  if (!h.pool || trigger_ < 0) return;
  try {
    h.pool->RemoveTrigger(trigger_);
  } catch (const EListError&) {
  }
  if (h.pool->TriggerCount() > 0) return;
  if (h.pool->Ticking()) {
    // Freed by a handler of the pool's own tick: free it when the tick ends,
    // unless a new image has taken a trigger by then.
    h.pool->FreeWhenIdle([] {
      PoolHolder& holder = Holder();
      delete holder.pool;
      holder.pool = nullptr;
    });
    return;
  }
  delete h.pool;
  h.pool = nullptr;
}

void TGIFImage::LoadFromBytes(const QByteArray& bytes) {
  data_ = std::make_unique<TGIFData>(bytes);
  current_ = -1;
  SetFrame(0);
}

void TGIFImage::LoadFromStream(QIODevice& in) { LoadFromBytes(in.readAll()); }

void TGIFImage::SaveToStream(QIODevice& out) const {
  if (data_->Bytes().isEmpty()) throw EInvalidGraphicOperation("No GIF data");
  if (out.write(data_->Bytes()) != data_->Bytes().size())
    throw EStreamError("Stream write error");
}

int TGIFImage::Width() const {
  return data_->Parsed() ? data_->ScreenWidth : 0;
}

int TGIFImage::Height() const {
  return data_->Parsed() ? data_->ScreenHeight : 0;
}

int TGIFImage::FrameCount() {
  if (data_->Bytes().isEmpty()) return 0;
  try {
    data_->Parse();
  } catch (const std::exception&) {
    // A damaged file shows the frames decoded before the damage.
  }
  return data_->Frames() ? data_->Frames()->Count() : 0;
}

TGIFFrame& TGIFImage::Frame(int i) {
  const int count = FrameCount();
  if (i < 0 || i >= count)
    throw EInvalidGraphicOperation(FormatMessage("Invalid frame number %d (0..%d)", i, count - 1));
  return (*data_->Frames())[i];
}

int TGIFImage::FrameDelay(int i) { return Frame(i).Delay(); }

const QImage& TGIFImage::FrameBitmap(int i) { return Frame(i).Bitmap(); }

void TGIFImage::SetFrame(int i) {
  if (data_->Bytes().isEmpty()) return;
  const int count = FrameCount();
  if (count == 0) return;   // nothing could be decoded: no frame to show
  i = std::clamp(i, 0, count - 1);
  if (i == current_) return;
  current_ = i;
  if (TMPTimerPool* pool = Pool(); pool && trigger_ >= 0)
    pool->SetInterval(trigger_, (*data_->Frames())[i].Delay() * 10);
  Changed();
}

void TGIFImage::NextFrame() {
  const int count = FrameCount();
  if (current_ < count - 1)
    SetFrame(current_ + 1);
  else
    SetFrame(0);
}

void TGIFImage::SetAnimate(bool on) {
  if (TMPTimerPool* pool = Pool(); pool && trigger_ >= 0) pool->SetEnabled(trigger_, on);
}

bool TGIFImage::Animate() const {
  TMPTimerPool* pool = Pool();
  return pool && trigger_ >= 0 && pool->Trigger(trigger_).Enabled();
}

void TGIFImage::SetSpeed(int value) {
  const int count = FrameCount();
  for (int i = 0; i < count; ++i) (*data_->Frames())[i].SetDelay(value);
}

void TGIFImage::Draw(QPainter& canvas, const QRect& rect) const {
  if (current_ < 0 || !data_->Frames() || current_ >= data_->Frames()->Count()) return;
  const QImage& bitmap = (*data_->Frames())[current_].Bitmap();
  if (bitmap.isNull()) return;
  canvas.drawImage(rect, bitmap);
}

QImage TGIFImage::ClipboardImage() const {
  if (current_ < 0 || !data_->Frames() || current_ >= data_->Frames()->Count()) return {};
  return (*data_->Frames())[current_].Bitmap();
}

}  // namespace arkelin::viewers

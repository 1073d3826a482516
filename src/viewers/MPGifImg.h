// TGIFImage: the program's own reader for GIF pictures (GIF87a and GIF89a),
// single images and animations.
//
// The file's bytes are kept unchanged; at load time every image of the file
// is decoded by our own LZW decoder (TDecoder) into its own frame bitmap, an
// indexed 8-bit QImage whose colour table is the frame's colour table. Frames
// are shown one at a time, each on its own and stretched over the whole
// picture: the image position, disposal method, transparency and background
// colour are read but deliberately not applied, and nothing is ever encoded.
// Animation moves the current frame from a trigger in the process-wide timer
// pool (MPTimer.h); images start with their animation off.
//
// Damaged files: parsing stops at the first error or where the bytes end,
// and the frames decoded before that point stay and are shown. An image
// whose data ends early keeps the pixels decoded so far (the rest stays
// colour index 0). Sizes are bounded (see TGIFData::kMaxFramePixels) so a
// small file cannot make the reader allocate without limit.
//
// Frame layout, block formats and the LZW code stream follow the public
// GIF89a format description. All of this runs on the user-interface thread.
#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "viewers/GraphicErrors.h"
#include "viewers/GraphicFormats.h"
#include "viewers/MPTimer.h"

namespace arkelin::viewers {

// A list that owns its items: clearing it frees every item, then empties it;
// destroying it clears it.
template <class T>
class TMPOwnedObjectList {
 public:
  void Add(std::unique_ptr<T> item) { items_.push_back(std::move(item)); }
  void Clear() { items_.clear(); }
  int Count() const { return static_cast<int>(items_.size()); }
  T& operator[](int i) const { return *items_.at(static_cast<size_t>(i)); }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

// One colour table: red, green, blue bytes per entry.
class TColorTable {
 public:
  explicit TColorTable(std::vector<uint8_t> rgb);
  int Count() const { return static_cast<int>(rgb_.size() / 3); }
  // Entry i as an opaque colour; fails with EListError
  // "Index %d out of range [0..%d]" outside 0..Count()-1.
  QRgb Entry(int i) const;

 private:
  std::vector<uint8_t> rgb_;
};

class TGIFReader;

// The image descriptor that starts each image, with its colour table: the
// local one (owned) when flag bit 7 is set, else the global one (not owned,
// may be none).
class TImageDescriptor {
 public:
  uint16_t Left = 0, Top = 0, Width = 0, Height = 0;
  uint8_t Flags = 0;
  bool HasLocalTable() const { return (Flags & 0x80) != 0; }
  bool Interlaced() const { return (Flags & 0x40) != 0; }
  const TColorTable* ColorTable() const { return local_ ? local_.get() : global_; }

  void Read(TGIFReader& r, const TColorTable* global);

 private:
  std::unique_ptr<TColorTable> local_;
  const TColorTable* global_ = nullptr;
};

// The LZW minimum code size and the image's data sub-blocks joined together.
class TRasterData {
 public:
  uint8_t MinCodeSize = 0;
  std::vector<uint8_t> Data;
  // Reads the code size and the sub-blocks. When the stored bytes end inside
  // the sub-blocks, keeps what was there: the decoder stops where it ends.
  void Read(TGIFReader& r);
};

// Extensions: the blocks after the introducer 21 hex and a label.
class TGIFExtension {
 public:
  virtual ~TGIFExtension() = default;
};

class TGraphicControlExtension : public TGIFExtension {
 public:
  static constexpr uint8_t kLabel = 0xF9;
  uint8_t Flags = 0;
  uint16_t Delay = 0;              // hundredths of a second
  uint8_t TransparentIndex = 0;
};

class TPlainTextExtension : public TGIFExtension {
 public:
  static constexpr uint8_t kLabel = 0x01;
  uint16_t GridLeft = 0, GridTop = 0, GridWidth = 0, GridHeight = 0;
  uint8_t CellWidth = 0, CellHeight = 0, ForegroundIndex = 0, BackgroundIndex = 0;
  std::vector<std::string> Lines;   // one per data sub-block
};

class TApplicationExtension : public TGIFExtension {
 public:
  static constexpr uint8_t kLabel = 0xFF;
  std::string Identifier;           // 8 bytes
  std::string Authentication;       // 3 bytes
  std::vector<uint8_t> Data;        // the data sub-blocks joined
};

class TCommentExtension : public TGIFExtension {
 public:
  static constexpr uint8_t kLabel = 0xFE;
  std::vector<std::string> Lines;   // one per data sub-block
};

// The LZW decoder of one image.
class TDecoder {
 public:
  // The code size must be 2 to 9, else EInvalidGraphicOperation
  // "Invalid LZW Code Size: %d". The data must outlive the decoder.
  TDecoder(const uint8_t* data, size_t size, int minCodeSize);
  // Writes the decoded pixel indexes into bitmap (Format_Indexed8), row by
  // row, or in the four interlace passes. Stops quietly where the data ends;
  // fails with EStreamError "Invalid stream format" for an end code right
  // after a clear code or a code above the next free code.
  void Decode(QImage& bitmap, bool interlaced);

 private:
  int ReadCode();

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  uint32_t bitBuf_ = 0;
  int bitCount_ = 0;
  int codeSize_;
  int width_ = 0;
  uint32_t mask_ = 0;
};

// One frame: its bitmap (null for a frame without an image) and its delay.
class TGIFFrame {
 public:
  const QImage& Bitmap() const { return bitmap_; }
  // Units of 10 ms.
  int Delay() const { return delay_; }
  void SetDelay(int delay) { delay_ = delay; }
  // Where the image sat on the logical screen; informational only.
  int Left() const { return left_; }
  int Top() const { return top_; }

  // Replaces the bitmap; once the frame is decoded the bitmap is read-only
  // and this fails with EInvalidGraphicOperation "Cannot modify TGIFFrame bitmap".
  void SetBitmap(const QImage& bitmap);

 private:
  friend class TGIFData;
  QImage bitmap_;
  int delay_ = 0;
  int left_ = 0, top_ = 0;
  bool readOnly_ = false;
};

class TGIFData {
 public:
  // A frame larger than this many pixels, or frames adding up to more than
  // the picture's budget, stop the parse before the frame's bitmap is
  // allocated: a few bytes can declare a 65535 x 65535 image. The budget is
  // kBudgetBasePixels plus kBudgetPixelsPerByte for each byte of the file (no
  // code of 12 bits can stand for more than 4096 pixels, so a real picture
  // stays well inside), and never more than kMaxTotalPixels: a 74-byte file
  // declaring four 8192 x 8192 frames gets no bitmap at all.
  static constexpr int64_t kMaxFramePixels = int64_t(1) << 26;
  static constexpr int64_t kMaxTotalPixels = int64_t(1) << 28;
  static constexpr int64_t kBudgetBasePixels = int64_t(1) << 24;
  static constexpr int64_t kBudgetPixelsPerByte = 4096;
  // The total pixel budget of this data.
  int64_t PixelBudget() const;

  explicit TGIFData(QByteArray bytes = {}) : bytes_(std::move(bytes)) {}

  const QByteArray& Bytes() const { return bytes_; }
  bool Parsed() const { return frames_ != nullptr; }
  // Parses the whole file once; frames decoded before a failure stay. The
  // failure (not the end of the bytes) passes on to the caller the first time.
  void Parse();
  // Why the parse stopped before the trailer; empty when it reached it.
  const std::string& ParseError() const { return parseError_; }

  // nullptr until parsed.
  TMPOwnedObjectList<TGIFFrame>* Frames() const { return frames_.get(); }
  const TColorTable* GlobalColorTable() const { return globalTable_.get(); }
  uint16_t ScreenWidth = 0, ScreenHeight = 0;
  uint8_t ScreenFlags = 0, BackgroundIndex = 0, AspectRatio = 0;

  // Lowers the size limits for this data (the fuzz target uses it to stay
  // quick); they can never be raised above the defaults.
  void SetPixelLimits(int64_t perFrame, int64_t total);

 private:
  void ParseFrame(TGIFReader& r, TGIFFrame& frame, int64_t& pixelsSoFar);

  QByteArray bytes_;
  std::unique_ptr<TMPOwnedObjectList<TGIFFrame>> frames_;
  std::unique_ptr<TColorTable> globalTable_;
  std::string parseError_;
  bool extensionErrorShown_ = false;  // one box per picture, however many fail
  int64_t maxFramePixels_ = kMaxFramePixels;
  int64_t maxTotalPixels_ = kMaxTotalPixels;
};

class TGIFImage : public TGraphic {
 public:
  TGIFImage();
  ~TGIFImage() override;
  TGIFImage(const TGIFImage&) = delete;
  TGIFImage& operator=(const TGIFImage&) = delete;

  // Keeps every byte from the stream's position to its end and decodes them.
  void LoadFromStream(QIODevice& in) override;
  void LoadFromBytes(const QByteArray& bytes);
  // Writes the stored bytes unchanged; EInvalidGraphicOperation "No GIF data"
  // without any.
  void SaveToStream(QIODevice& out) const override;

  int Width() const override;
  int Height() const override;
  bool Empty() const override { return data_->Bytes().isEmpty(); }
  void Draw(QPainter& canvas, const QRect& rect) const override;
  QImage ClipboardImage() const override;

  // Parses when needed. A parse failure is not passed on; the frames decoded
  // before it are counted.
  int FrameCount();
  int CurrentFrame() const { return current_; }
  // Chooses frame i (clamped into range) and reports a change when it moved.
  void SetFrame(int i);
  // The next frame, after the last one the first again.
  void NextFrame();
  void SetAnimate(bool on);
  bool Animate() const;
  // Every frame's delay := value (units of 10 ms).
  void SetSpeed(int value);
  // These fail with EInvalidGraphicOperation "Invalid frame number %d (0..%d)"
  // for an index outside 0..FrameCount()-1.
  int FrameDelay(int i);
  const QImage& FrameBitmap(int i);
  TGIFFrame& Frame(int i);

  TGIFData& Data() const { return *data_; }
  int TriggerHandle() const { return trigger_; }
  // The process-wide pool that animates every GIF image; nullptr when no GIF
  // image exists.
  static TMPTimerPool* Pool();

 private:
  std::unique_ptr<TGIFData> data_;
  int current_ = 0;
  int trigger_ = -1;
};

}  // namespace arkelin::viewers

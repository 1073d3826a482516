// The GIF reader over hand-built files: LZW corner cases, interlace order,
// blocks after the last image, damaged and truncated files, the picture's
// interface and its animation through the shared timer pool.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QPainter>

#include <random>

#include "GifTestSupport.h"
#include "platform/FakePlatform.h"
#include "viewers/MPGifImg.h"

using namespace arkelin::viewers;
using namespace arkelin::viewers::testing;

namespace {

std::vector<uint8_t> Indexes(const QImage& bitmap) {
  std::vector<uint8_t> out;
  for (int y = 0; y < bitmap.height(); ++y)
    for (int x = 0; x < bitmap.width(); ++x) out.push_back(bitmap.pixelIndex(x, y));
  return out;
}

std::vector<uint8_t> RandomPixels(size_t n, int colours, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> px(n);
  for (auto& p : px) p = static_cast<uint8_t>(rng() % colours);
  return px;
}

std::string Str(const std::vector<int>& codes, int s) { return PackCodes(s, codes); }

// One image of w x h pixels with the given codes, global table of 2^bits.
std::string OneImage(int w, int h, int s, const std::vector<int>& codes, int bits = 2,
                     bool interlaced = false) {
  return GifBuilder(w, h, bits).Image(0, 0, w, h, s, Str(codes, s), interlaced).Trailer().bytes;
}

QByteArray Bytes(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// Decodes with a fresh image under fake services; the image outlives the scope only here.
struct Loaded {
  FakeTimerScope clock;
  arkelin::platform::FakePlatformScope platform;
  TGIFImage image;
  explicit Loaded(const std::string& bytes) { image.LoadFromBytes(Bytes(bytes)); }
};

}  // namespace

// ---- LZW ----------------------------------------------------------------------------

TEST(TDecoder, DecodesWhatTheEncoderWrote) {
  for (int s : {2, 3, 5, 8}) {
    const auto px = RandomPixels(97 * 41, 1 << s, 7 + s);
    Loaded gif(OneImage(97, 41, s, LzwEncode(px, s), s));
    ASSERT_EQ(gif.image.FrameCount(), 1) << "s=" << s;
    EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), px) << "s=" << s;
    EXPECT_EQ(gif.image.Data().ParseError(), "");
  }
}

TEST(TDecoder, DataWithoutALeadingClearCodeDecodesAsIfItHadOne) {
  const auto px = RandomPixels(30 * 20, 4, 1);
  Loaded gif(OneImage(30, 20, 2, LzwEncode(px, 2, {.leadingClear = false})));
  ASSERT_EQ(gif.image.FrameCount(), 1);
  EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), px);
}

TEST(TDecoder, ACodeEqualToTheNextFreeCodeRepeatsThePreviousStringPlusItsFirstPixel) {
  // s = 2: clear 4, end 5, first free 6. "1", then 6 (not yet defined) = "11",
  // then 7 (not yet defined) = "111": six pixels of colour 1.
  Loaded gif(OneImage(3, 2, 2, {4, 1, 6, 7, 5}));
  EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), std::vector<uint8_t>(6, 1));
  // "2", "3" (adds 6 = "23"), then 7, not yet defined: "3" + "3".
  Loaded other(OneImage(4, 1, 2, {4, 2, 3, 7, 5}));
  EXPECT_EQ(Indexes(other.image.FrameBitmap(0)), (std::vector<uint8_t>{2, 3, 3, 3}) ) ;
}

TEST(TDecoder, AFullTableFollowedByAClearCodeGoesOn) {
  const auto px = RandomPixels(300 * 200, 256, 3);
  const auto codes = LzwEncode(px, 8, {.clearAfterFull = 0});
  ASSERT_NE(std::count(codes.begin() + 1, codes.end(), 256), 0) << "the table never filled";
  Loaded gif(OneImage(300, 200, 8, codes, 8));
  ASSERT_EQ(gif.image.FrameCount(), 1);
  EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), px);
}

TEST(TDecoder, AFullTableFollowedByAnotherCodeGoesOnWithoutNewEntries) {
  // Encoders may keep sending 12-bit codes from the full table and clear
  // later; the format allows it, so the frame must come out whole.
  const auto px = RandomPixels(300 * 200, 256, 4);
  const auto codes = LzwEncode(px, 8, {.clearAfterFull = 500});
  const auto codesNoClear = LzwEncode(px, 8, {.clearAfterFull = -1});
  for (const auto* c : {&codes, &codesNoClear}) {
    Loaded gif(OneImage(300, 200, 8, *c, 8));
    ASSERT_EQ(gif.image.FrameCount(), 1);
    EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), px);
    EXPECT_EQ(gif.image.Data().ParseError(), "");
  }
}

TEST(TDecoder, AnEndCodeRightAfterAClearCodeIsAStreamError) {
  const auto good = LzwEncode({1, 2, 3, 0}, 2);
  GifBuilder b(4, 1, 2);
  b.Image(0, 0, 4, 1, 2, Str(good, 2));
  b.Image(0, 0, 4, 1, 2, Str({4, 4, 5}, 2));   // clear, clear, end
  b.Image(0, 0, 4, 1, 2, Str(good, 2));
  Loaded gif(b.Trailer().bytes);
  EXPECT_EQ(gif.image.FrameCount(), 1) << "the frame before the damage stays";
  EXPECT_EQ(gif.image.Data().ParseError(), "Invalid stream format");
  EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), (std::vector<uint8_t>{1, 2, 3, 0}));
  EXPECT_EQ(gif.image.CurrentFrame(), 0);
}

TEST(TDecoder, ACodeAboveTheNextFreeCodeIsAStreamError) {
  Loaded gif(OneImage(4, 1, 2, {4, 1, 7, 5}));   // next free is 6
  EXPECT_EQ(gif.image.FrameCount(), 0);
  EXPECT_EQ(gif.image.Data().ParseError(), "Invalid stream format");
  EXPECT_EQ(gif.image.CurrentFrame(), -1) << "nothing to show";
}

TEST(TDecoder, CodeSizesOutside2To9AreRefused) {
  for (int s : {0, 1, 10, 11}) {
    Loaded gif(GifBuilder(2, 1, 1).Image(0, 0, 2, 1, s, "\x01\x02").Trailer().bytes);
    EXPECT_EQ(gif.image.FrameCount(), 0);
    EXPECT_EQ(gif.image.Data().ParseError(), "Invalid LZW Code Size: " + std::to_string(s));
  }
  EXPECT_THROW(TDecoder(nullptr, 0, 1), EInvalidGraphicOperation);
  EXPECT_THROW(TDecoder(nullptr, 0, 10), EInvalidGraphicOperation);
}

TEST(TDecoder, CodeSize9KeepsTheLow8BitsOfEachLiteral) {
  // clear 512, end 513; literal 300 shows as palette index 44.
  Loaded gif(OneImage(3, 1, 9, {512, 300, 7, 511, 513}, 8));
  EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), (std::vector<uint8_t>{44, 7, 255}));
}

TEST(TDecoder, InterlacedRowsArriveInTheFourPasses) {
  // Row r of the stream is filled with the value r; the bitmap row shows
  // which stream row landed on it.
  const std::map<int, std::vector<int>> order = {
      {1, {0}},          {2, {0, 1}},          {3, {0, 2, 1}},
      {4, {0, 2, 1, 3}}, {5, {0, 4, 2, 1, 3}}, {8, {0, 4, 2, 6, 1, 3, 5, 7}},
      {9, {0, 8, 4, 2, 6, 1, 3, 5, 7}},
      {17, {0, 8, 16, 4, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15}}};
  for (const auto& [h, rows] : order) {
    std::vector<uint8_t> px;
    for (int r = 0; r < h; ++r)
      for (int x = 0; x < 3; ++x) px.push_back(static_cast<uint8_t>(r));
    Loaded gif(OneImage(3, h, 5, LzwEncode(px, 5), 5, true));
    const QImage& bmp = gif.image.FrameBitmap(0);
    for (int i = 0; i < h; ++i)
      for (int x = 0; x < 3; ++x)
        EXPECT_EQ(bmp.pixelIndex(x, rows[i]), i) << "height " << h << ", stream row " << i;
  }
}

TEST(TDecoder, PixelsBeyondTheImageAreDropped) {
  const auto px = RandomPixels(50, 4, 5);   // 50 pixels for a 4 x 3 image
  Loaded gif(OneImage(4, 3, 2, LzwEncode(px, 2)));
  EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), std::vector<uint8_t>(px.begin(), px.begin() + 12));
}

// ---- Blocks and damaged files ----------------------------------------------------

TEST(TGIFData, ExtensionsAfterTheLastImageMakeAFrameWithoutPicture) {
  const auto codes = LzwEncode({1, 1, 2, 2}, 2);
  Loaded gif(GifBuilder(2, 2, 2).Image(0, 0, 2, 2, 2, Str(codes, 2)).Comment("made by hand").Trailer().bytes);
  EXPECT_EQ(gif.image.FrameCount(), 2);
  EXPECT_TRUE(gif.image.FrameBitmap(1).isNull());
  EXPECT_EQ(gif.image.Data().ParseError(), "");
  gif.image.SetFrame(1);
  QImage canvas(10, 10, QImage::Format_RGB32);
  canvas.fill(Qt::green);
  {
    QPainter p(&canvas);
    gif.image.Draw(p, canvas.rect());
  }
  EXPECT_EQ(canvas.pixel(5, 5), qRgb(0, 255, 0)) << "a frame without picture draws nothing";
}

TEST(TGIFData, AZeroIntroducerAfterAnImageEndsTheParseKeepingTheFrames) {
  const auto codes = LzwEncode({3, 2, 1, 0}, 2);
  Loaded gif(GifBuilder(2, 2, 2).Image(0, 0, 2, 2, 2, Str(codes, 2)).Raw(std::string(1, '\0')).Trailer().bytes);
  EXPECT_EQ(gif.image.FrameCount(), 1);
  EXPECT_EQ(gif.image.Data().ParseError(), "Invalid GIF format seperator: $0");
  EXPECT_EQ(gif.image.CurrentFrame(), 0);
  EXPECT_EQ(gif.image.FrameCount(), 1) << "later queries count the same frames";
  Loaded other(GifBuilder(2, 2, 2).Raw("\x42").bytes);
  EXPECT_EQ(other.image.Data().ParseError(), "Invalid GIF format seperator: $42");
}

TEST(TGIFData, ExtensionBlocksOfOddSizesAreSkippedCorrectly) {
  const auto codes = LzwEncode({1, 2, 3, 1}, 2);
  GifBuilder b(4, 1, 2);
  b.Raw(std::string("\x21\xF9\x00", 3));                        // empty graphic control
  b.Raw(std::string("\x21\xF9\x06\x00\x07\x00\x00\xAA\xBB\x00", 10));  // 6-byte block: delay 7
  b.Raw(std::string("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19));
  b.Raw(std::string("\x21\x77\x02" "ab\x00", 6));                  // unknown label
  b.Comment(std::string(600, 'c'));
  b.Image(0, 0, 4, 1, 2, Str(codes, 2));
  Loaded gif(b.Trailer().bytes);
  ASSERT_EQ(gif.image.FrameCount(), 1);
  EXPECT_EQ(gif.image.Data().ParseError(), "");
  EXPECT_EQ(gif.image.FrameDelay(0), 7);
  EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), (std::vector<uint8_t>{1, 2, 3, 1}));
}

TEST(TGIFData, TruncatedFilesKeepWhatWasDecoded) {
  const auto px = RandomPixels(40 * 40, 16, 11);
  GifBuilder b(40, 40, 4);
  b.Image(0, 0, 40, 40, 4, Str(LzwEncode(px, 4), 4));
  const size_t secondStart = b.bytes.size();
  const std::string full = b.Image(0, 0, 40, 40, 4, Str(LzwEncode(px, 4), 4)).Trailer().bytes;
  // Every possible cut: never a crash, never more than the complete frames
  // plus one partial one, and a partial frame agrees with the source as far
  // as it goes.
  for (size_t cut = 0; cut < full.size(); ++cut) {
    Loaded gif(full.substr(0, cut));
    const int n = gif.image.FrameCount();
    ASSERT_LE(n, 2) << cut;
    if (n > 0) {
      const auto got = Indexes(gif.image.FrameBitmap(0));
      ASSERT_EQ(got.size(), px.size());
    }
  }
  // Cut inside the second image's data (after its 10-byte descriptor, code
  // size and first sub-block length): the first frame whole, the second
  // partly there.
  Loaded gif(full.substr(0, secondStart + 200));
  ASSERT_EQ(gif.image.FrameCount(), 2);
  EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), px);
  const auto partial = Indexes(gif.image.FrameBitmap(1));
  size_t same = 0;
  while (same < px.size() && partial[same] == px[same]) ++same;
  EXPECT_GT(same, 100u);
  EXPECT_LT(same, px.size());
  // Past the end nothing is made up: no code is finished from missing bytes
  // and the rest of the frame stays at index 0.
  for (size_t k = same; k < partial.size(); ++k) ASSERT_EQ(partial[k], 0) << k;
  EXPECT_EQ(gif.image.Data().ParseError(), "GIF data ends before its trailer");
}

TEST(TGIFData, HugeDeclaredSizesStopTheParseInsteadOfAllocating) {
  const auto codes = LzwEncode({1, 2}, 2);
  Loaded gif(GifBuilder(2, 1, 2)
                 .Image(0, 0, 2, 1, 2, Str(codes, 2))
                 .Image(0, 0, 65535, 65535, 2, Str(codes, 2))
                 .Trailer()
                 .bytes);
  EXPECT_EQ(gif.image.FrameCount(), 1);
  EXPECT_EQ(gif.image.Data().ParseError(), "GIF image too large: 65535x65535");
}

TEST(TGIFData, TheTotalPixelBudgetFollowsTheFileSizeAndStopsBeforeAllocating) {
  const auto codes = LzwEncode({1, 2}, 2);
  // Four 8192 x 8192 frames (256 MiB of bitmaps) declared by under 100 bytes.
  GifBuilder tiny(2, 1, 2);
  for (int i = 0; i < 4; ++i) tiny.Image(0, 0, 8192, 8192, 2, Str(codes, 2));
  tiny.Trailer();
  ASSERT_LT(tiny.bytes.size(), 100u);
  Loaded refused(tiny.bytes);
  EXPECT_EQ(refused.image.FrameCount(), 0);
  EXPECT_EQ(refused.image.Data().ParseError(), "GIF image too large: 8192x8192");
  // Within the base budget a small file still shows a large blank frame.
  GifBuilder base(2, 1, 2);
  base.Image(0, 0, 4000, 4000, 2, Str(codes, 2)).Trailer();
  Loaded shown(base.bytes);
  EXPECT_EQ(shown.image.FrameCount(), 1);
  EXPECT_EQ(shown.image.Data().ParseError(), "");
  // The budget grows with the bytes the file really holds.
  TGIFData small(QByteArray(100, 'x')), large(QByteArray(20'000, 'x'));
  EXPECT_EQ(small.PixelBudget(), TGIFData::kBudgetBasePixels + 100 * TGIFData::kBudgetPixelsPerByte);
  EXPECT_GT(large.PixelBudget(), int64_t(8192) * 8192);
  large.SetPixelLimits(TGIFData::kMaxFramePixels, 1000);
  EXPECT_EQ(large.PixelBudget(), 1000);
}

TEST(TGIFData, FramesWithoutAnyColourTableShowGreyLevels) {
  const auto codes = LzwEncode({0, 128, 255, 7}, 8);
  Loaded gif(GifBuilder(4, 1, 0).Image(0, 0, 4, 1, 8, Str(codes, 8)).Trailer().bytes);
  const QImage rgb = Rgb(gif.image.FrameBitmap(0));
  EXPECT_EQ(rgb.pixel(1, 0), qRgb(128, 128, 128));
  EXPECT_EQ(rgb.pixel(2, 0), qRgb(255, 255, 255));
}

TEST(TGIFData, LocalTablesWinAndValuesBeyondATableShowBlack) {
  const auto codes = LzwEncode({1, 3, 2, 0}, 2);
  // Global table of 4 entries, local table of 2 entries (bits 1).
  Loaded gif(GifBuilder(4, 1, 2).Image(0, 0, 4, 1, 2, Str(codes, 2), false, 1).Trailer().bytes);
  const QImage rgb = Rgb(gif.image.FrameBitmap(0));
  EXPECT_EQ(rgb.pixel(0, 0), qRgb(37, 98, 63)) << "entry 1 of the test palette";
  EXPECT_EQ(rgb.pixel(1, 0), qRgb(0, 0, 0)) << "index 3 is beyond the 2-entry local table";
}

// ---- The picture -------------------------------------------------------------------

TEST(TGIFImage, FrameAccessOutsideTheFramesFails) {
  const auto codes = LzwEncode({1, 2}, 2);
  Loaded gif(GifBuilder(2, 1, 2).Image(0, 0, 2, 1, 2, Str(codes, 2)).Image(0, 0, 2, 1, 2, Str(codes, 2)).Trailer().bytes);
  try {
    gif.image.FrameDelay(5);
    FAIL();
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_STREQ(e.what(), "Invalid frame number 5 (0..1)");
  }
  EXPECT_THROW(gif.image.FrameBitmap(-1), EInvalidGraphicOperation);
  try {
    gif.image.Frame(0).SetBitmap(QImage(1, 1, QImage::Format_Indexed8));
    FAIL();
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_STREQ(e.what(), "Cannot modify TGIFFrame bitmap");
  }
  try {
    gif.image.Data().GlobalColorTable()->Entry(4);
    FAIL();
  } catch (const EListError& e) {
    EXPECT_STREQ(e.what(), "Index 4 out of range [0..3]");
  }
}

TEST(TGIFImage, SavesTheStoredBytesUnchanged) {
  FakeTimerScope clock;
  TGIFImage empty;
  QBuffer out;
  out.open(QIODevice::WriteOnly);
  try {
    empty.SaveToStream(out);
    FAIL();
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_STREQ(e.what(), "No GIF data");
  }
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.Width(), 0);

  // Loading starts at the stream's position; damaged bytes are kept too.
  const std::string file = OneImage(5, 3, 2, LzwEncode(RandomPixels(15, 4, 2), 2)) + "junk";
  QByteArray stream = QByteArray("prefix") + Bytes(file);
  QBuffer in(&stream);
  in.open(QIODevice::ReadOnly);
  in.seek(6);
  TGIFImage gif;
  gif.LoadFromStream(in);
  EXPECT_EQ(gif.Width(), 5);
  EXPECT_EQ(gif.Height(), 3);
  gif.SaveToStream(out);
  EXPECT_EQ(out.data(), Bytes(file));
}

TEST(TGIFImage, SetFrameClampsAndReportsOnlyRealChanges) {
  const auto codes = LzwEncode({1, 2}, 2);
  Loaded gif(GifBuilder(2, 1, 2)
                 .GraphicControl(5).Image(0, 0, 2, 1, 2, Str(codes, 2))
                 .GraphicControl(30).Image(0, 0, 2, 1, 2, Str(codes, 2))
                 .GraphicControl(250).Image(0, 0, 2, 1, 2, Str(codes, 2))
                 .Trailer().bytes);
  int changes = 0;
  gif.image.OnChange = [&](TGraphic&) { ++changes; };
  ASSERT_EQ(gif.image.FrameCount(), 3);
  EXPECT_EQ(gif.image.FrameDelay(1), 30) << "delays are kept in hundredths of a second";
  EXPECT_EQ(gif.image.FrameDelay(2), 250);
  gif.image.SetFrame(99);
  EXPECT_EQ(gif.image.CurrentFrame(), 2);
  EXPECT_EQ(TGIFImage::Pool()->Trigger(gif.image.TriggerHandle()).Interval(), 2500);
  gif.image.SetFrame(2);
  gif.image.SetFrame(-4);
  EXPECT_EQ(gif.image.CurrentFrame(), 0);
  EXPECT_EQ(TGIFImage::Pool()->Trigger(gif.image.TriggerHandle()).Interval(), 55) << "50 ms raised to 55";
  EXPECT_EQ(changes, 2);
  gif.image.NextFrame();
  gif.image.NextFrame();
  gif.image.NextFrame();
  EXPECT_EQ(gif.image.CurrentFrame(), 0) << "after the last frame comes the first";
  gif.image.SetSpeed(10);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(gif.image.FrameDelay(i), 10);
}

TEST(TGIFImage, DrawStretchesTheCurrentFrame) {
  const auto codes = LzwEncode({1, 2, 3, 0}, 2);
  Loaded gif(OneImage(2, 2, 2, codes));
  QImage canvas(20, 20, QImage::Format_RGB32);
  canvas.fill(Qt::black);
  {
    QPainter p(&canvas);
    gif.image.Draw(p, canvas.rect());
  }
  const QImage frame = Rgb(gif.image.FrameBitmap(0));
  EXPECT_EQ(canvas.pixel(4, 4), frame.pixel(0, 0));
  EXPECT_EQ(canvas.pixel(15, 4), frame.pixel(1, 0));
  EXPECT_EQ(canvas.pixel(4, 15), frame.pixel(0, 1));
  EXPECT_EQ(canvas.pixel(15, 15), frame.pixel(1, 1));
  EXPECT_EQ(gif.image.ClipboardImage(), gif.image.FrameBitmap(0));
}

TEST(TGIFImage, PlainTextIsDrawnInsideItsGridInTheForegroundIndex) {
  EnsureGuiApp();
  const std::vector<uint8_t> px(60 * 20, 2);
  std::string text;
  text += "\x21\x01\x0C";
  Put16(text, 4);    // grid left
  Put16(text, 2);    // grid top
  Put16(text, 40);   // grid width
  Put16(text, 14);   // grid height
  text += "\x08\x0E\x01\x03";   // cell 8 x 14, foreground 1, background 3
  text += "\x04WWWW";
  text += '\0';
  Loaded gif(GifBuilder(60, 20, 2).Raw(text).Image(0, 0, 60, 20, 2, Str(LzwEncode(px, 2), 2)).Trailer().bytes);
  const QImage& bmp = gif.image.FrameBitmap(0);
  int fg = 0, bg = 0;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 60; ++x) {
      const int v = bmp.pixelIndex(x, y);
      const bool inGrid = x >= 4 && x < 44 && y >= 2 && y < 16;
      if (!inGrid) {
        ASSERT_EQ(v, 2) << x << "," << y;
      }
      fg += v == 1;
      bg += v == 3;
    }
  EXPECT_GT(fg, 10);
  EXPECT_GT(bg, 10);
  EXPECT_TRUE(gif.platform.dialogs.boxes.empty());
}

TEST(TGIFImage, AnExtensionThatFailsIsReportedAndTheFrameStays) {
  const std::vector<uint8_t> px(16, 1);
  std::string text = "\x21\x01\x0C";
  Put16(text, 0); Put16(text, 0); Put16(text, 4); Put16(text, 4);
  text += std::string("\x04\x04\x09\x00", 4);   // foreground 9 is beyond the 4-entry table
  text += "\x01X";
  text += '\0';
  Loaded gif(GifBuilder(4, 4, 2).Raw(text).GraphicControl(12).Image(0, 0, 4, 4, 2, Str(LzwEncode(px, 2), 2)).Trailer().bytes);
  ASSERT_EQ(gif.image.FrameCount(), 1);
  EXPECT_EQ(gif.image.FrameDelay(0), 12) << "the next extension was still applied";
  ASSERT_EQ(gif.platform.dialogs.boxes.size(), 1u);
  EXPECT_EQ(gif.platform.dialogs.boxes[0].text, "Index 9 out of range [0..3]");
  EXPECT_EQ(gif.platform.dialogs.boxes[0].kind, arkelin::platform::MsgKind::Error);
  EXPECT_EQ(Indexes(gif.image.FrameBitmap(0)), px);
}

TEST(TGIFImage, ManyFailingExtensionsGiveOneMessagePerPicture) {
  const std::vector<uint8_t> px(16, 1);
  std::string bad = "\x21\x01\x0C";
  Put16(bad, 0); Put16(bad, 0); Put16(bad, 4); Put16(bad, 4);
  bad += std::string("\x04\x04\x09\x00", 4);   // foreground 9 is beyond the 4-entry table
  bad += "\x01X";
  bad += '\0';
  GifBuilder b(4, 4, 2);
  for (int frame = 0; frame < 4; ++frame) {
    for (int i = 0; i < 50; ++i) b.Raw(bad);
    b.Image(0, 0, 4, 4, 2, Str(LzwEncode(px, 2), 2));
  }
  Loaded gif(b.Trailer().bytes);
  ASSERT_EQ(gif.image.FrameCount(), 4);
  ASSERT_EQ(gif.platform.dialogs.boxes.size(), 1u);
  EXPECT_EQ(gif.platform.dialogs.boxes[0].text, "Index 9 out of range [0..3]");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Indexes(gif.image.FrameBitmap(i)), px);
}

// ---- Animation through the shared pool -----------------------------------------

namespace {
std::string Animated(int frames, int delay) {
  GifBuilder b(2, 1, 2);
  for (int i = 0; i < frames; ++i)
    b.GraphicControl(delay).Image(0, 0, 2, 1, 2, Str(LzwEncode({uint8_t(i % 4), 1}, 2), 2));
  return b.Trailer().bytes;
}
}  // namespace

TEST(TGIFImage, ImagesStartWithoutAnimationAndShareOnePool) {
  FakeTimerScope clock;
  ASSERT_EQ(TGIFImage::Pool(), nullptr);
  {
    TGIFImage a;
    TMPTimerPool* pool = TGIFImage::Pool();
    ASSERT_NE(pool, nullptr);
    EXPECT_FALSE(pool->DefEnabled);
    EXPECT_FALSE(a.Animate());
    EXPECT_EQ(pool->Trigger(a.TriggerHandle()).Interval(), 55);
    TGIFImage b;
    EXPECT_EQ(TGIFImage::Pool(), pool);
    EXPECT_EQ(pool->TriggerCount(), 2);
    EXPECT_NE(a.TriggerHandle(), b.TriggerHandle());
    EXPECT_FALSE(pool->TimerActive());
  }
  EXPECT_EQ(TGIFImage::Pool(), nullptr) << "freed with the last image";
  TGIFImage c;
  EXPECT_NE(TGIFImage::Pool(), nullptr);
  EXPECT_EQ(clock.made, 2) << "a new pool with a new timer";
  EXPECT_EQ(clock.timers.size(), 1u) << "the old pool's timer went with it";
}

TEST(TGIFImage, TwoAnimationsAt100And300MsShareOneTimer) {
  FakeTimerScope clock;
  TGIFImage fast, slow;
  fast.LoadFromBytes(Bytes(Animated(4, 10)));
  slow.LoadFromBytes(Bytes(Animated(3, 30)));
  int tick = 0;
  std::vector<int> fastAt, slowAt;
  fast.OnChange = [&](TGraphic&) { fastAt.push_back(tick + 1); };
  slow.OnChange = [&](TGraphic&) { slowAt.push_back(tick + 1); };
  TGIFImage::Pool()->OnAllTriggers = [&](TMPTimerPool&, int, int64_t, int64_t) { ++tick; };
  fast.SetAnimate(true);
  slow.SetAnimate(true);
  EXPECT_EQ(clock.timers.size(), 1u);
  EXPECT_EQ(TGIFImage::Pool()->TimerInterval(), 100);
  EXPECT_EQ(clock.RunFor(900), 9);
  EXPECT_EQ(fastAt, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(slowAt, (std::vector<int>{3, 6, 9}));
  EXPECT_EQ(fast.CurrentFrame(), 9 % 4);
  EXPECT_EQ(slow.CurrentFrame(), 0);
  fast.SetAnimate(false);
  EXPECT_EQ(TGIFImage::Pool()->TimerInterval(), 300);
  slow.SetAnimate(false);
  EXPECT_FALSE(TGIFImage::Pool()->TimerActive());
}

TEST(TGIFImage, ASingleFrameNeverRepaintsFromTheTimer) {
  FakeTimerScope clock;
  TGIFImage gif;
  gif.LoadFromBytes(Bytes(Animated(1, 10)));
  int changes = 0;
  gif.OnChange = [&](TGraphic&) { ++changes; };
  gif.SetAnimate(true);
  EXPECT_GT(clock.RunFor(1000), 5);
  EXPECT_EQ(changes, 0);
}

TEST(TGIFImage, AnImageFreedFromItsOwnChangeHandlerLeavesThePoolSound) {
  FakeTimerScope clock;
  auto* gif = new TGIFImage;
  gif->LoadFromBytes(Bytes(Animated(3, 10)));
  gif->OnChange = [&](TGraphic&) {
    delete gif;
    gif = nullptr;
  };
  gif->SetAnimate(true);
  clock.RunFor(300);
  EXPECT_EQ(gif, nullptr);
  EXPECT_EQ(TGIFImage::Pool(), nullptr) << "the empty pool was freed after its tick";
}

TEST(TGIFImage, TheViewerSpeedAppliesFromTheSecondFrameOn) {
  FakeTimerScope clock;
  TGIFImage gif;
  gif.LoadFromBytes(Bytes(Animated(3, 50)));   // 500 ms in the file
  gif.SetAnimate(true);
  gif.SetSpeed(10);
  int changes = 0;
  gif.OnChange = [&](TGraphic&) { ++changes; };
  clock.RunFor(400);
  EXPECT_EQ(changes, 0) << "frame 0 keeps the delay it was shown with";
  clock.RunFor(100);
  EXPECT_EQ(changes, 1);
  clock.RunFor(300);
  EXPECT_EQ(changes, 4) << "then every 100 ms";
}

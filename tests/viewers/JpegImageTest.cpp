// JPEG pictures through the JPEG library with every option, checked against
// ImageMagick's decode of the same files and against the colours they were
// made of; damaged files and oversized pictures; BMP and PNG through Qt.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QProcess>

#include <cstdio>

#include "GifTestSupport.h"
#include "viewers/GraphicErrors.h"
#include "viewers/JpegImage.h"

using namespace arkelin::viewers;

namespace {

QByteArray Data(const char* name) {
  QFile f(QStringLiteral(ARKELIN_TEST_DATA "/viewers/") + QString::fromLatin1(name));
  EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << name;
  return f.readAll();
}

// The four quadrants the test pictures were made of.
const QRgb kQuadrant[4] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};

int Distance(QRgb a, QRgb b) {
  return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// The colour at the middle of each quadrant is within tolerance.
void ExpectQuadrants(const QImage& image, int tolerance, bool grey = false) {
  ASSERT_FALSE(image.isNull());
  const int w = image.width(), h = image.height();
  const QPoint centres[4] = {{w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4}};
  for (int q = 0; q < 4; ++q) {
    QRgb want = kQuadrant[q];
    if (grey) {   // the JPEG luminance weights
      const int y = static_cast<int>(0.299 * qRed(want) + 0.587 * qGreen(want) + 0.114 * qBlue(want) + 0.5);
      want = qRgb(y, y, y);
    }
    const QRgb got = image.pixel(centres[q]);
    EXPECT_LE(Distance(got, want), tolerance) << "quadrant " << q << " got " << std::hex << got;
  }
}

// ImageMagick's decode of a file, as RGB.
QImage PeerDecode(const char* name) {
  QProcess p;
  p.start(QStringLiteral("convert"), {QStringLiteral(ARKELIN_TEST_DATA "/viewers/") + QString::fromLatin1(name),
                                      QStringLiteral("-depth"), QStringLiteral("8"), QStringLiteral("ppm:-")});
  if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
  QImage img;
  img.loadFromData(p.readAllStandardOutput(), "PPM");
  return img.convertToFormat(QImage::Format_RGB888);
}

TJPEGImage Load(const QByteArray& bytes) {
  TJPEGImage j;
  j.LoadFromBytes(bytes);
  return j;
}

}  // namespace

TEST(TJPEGImage, DecodesLikeThePeerAndLikeTheColoursItWasMadeOf) {
  arkelin::viewers::testing::EnsureGuiApp();
  for (const char* name : {"quadrants.jpg", "quadrants-progressive.jpg"}) {
    TJPEGImage j;
    j.LoadFromBytes(Data(name));
    ASSERT_EQ(j.Width(), 64) << name;
    ASSERT_EQ(j.Height(), 64) << name;
    EXPECT_EQ(j.Bitmap().format(), QImage::Format_RGB888);
    EXPECT_EQ(j.Passes(), 1);
    ExpectQuadrants(j.Bitmap(), 12);
    const QImage peer = PeerDecode(name);
    if (peer.isNull()) GTEST_SKIP() << "ImageMagick's convert is not available";
    ASSERT_EQ(peer.size(), j.Bitmap().size());
    int worst = 0;
    for (int y = 0; y < 64; ++y)
      for (int x = 0; x < 64; ++x) worst = std::max(worst, Distance(peer.pixel(x, y), j.Bitmap().pixel(x, y)));
    EXPECT_LE(worst, 2) << name << ": the same library, the same slow DCT";
  }
}

TEST(TJPEGImage, OptionsOfScaleDepthGreyAndSpeed) {
  arkelin::viewers::testing::EnsureGuiApp();
  TJPEGImage j;
  j.LoadFromBytes(Data("quadrants.jpg"));
  int changes = 0;
  j.OnChange = [&](TGraphic&) { ++changes; };
  const std::pair<TJPEGScale, int> scales[] = {
      {TJPEGScale::jsHalf, 32}, {TJPEGScale::jsQuarter, 16}, {TJPEGScale::jsEighth, 8}, {TJPEGScale::jsFullSize, 64}};
  for (auto [s, size] : scales) {
    j.SetScale(s);
    EXPECT_EQ(j.Width(), size);
    EXPECT_EQ(j.Height(), size);
    // At an eighth each quadrant is 4 x 4 pixels and its colours bleed.
    if (size >= 16) ExpectQuadrants(j.Bitmap(), 16);
  }
  EXPECT_EQ(changes, 4);
  j.SetScale(TJPEGScale::jsFullSize);   // the same value: nothing happens
  EXPECT_EQ(changes, 4);
  j.SetPixelFormat(TJPEGPixelFormat::jf8Bit);
  EXPECT_EQ(j.Bitmap().format(), QImage::Format_Indexed8);
  EXPECT_LE(j.Bitmap().colorCount(), 256);
  ExpectQuadrants(j.Bitmap(), 40);
  j.SetGrayscale(true);
  EXPECT_EQ(j.Bitmap().format(), QImage::Format_Grayscale8);
  ExpectQuadrants(j.Bitmap(), 12, true);
  j.SetGrayscale(false);
  j.SetPixelFormat(TJPEGPixelFormat::jf24Bit);
  j.SetPerformance(TJPEGPerformance::jpBestSpeed);
  ExpectQuadrants(j.Bitmap(), 16);
  // Grey and CMYK files.
  TJPEGImage grey = Load(Data("quadrants-gray.jpg"));
  EXPECT_EQ(grey.Bitmap().format(), QImage::Format_Grayscale8);
  const QImage peer = PeerDecode("quadrants-gray.jpg");   // made with other grey weights
  if (!peer.isNull()) {
    for (int y = 0; y < 64; y += 3)
      for (int x = 0; x < 64; x += 3) ASSERT_LE(Distance(peer.pixel(x, y), grey.Bitmap().pixel(x, y)), 2);
  }
  TJPEGImage cmyk = Load(Data("quadrants-cmyk.jpg"));
  ExpectQuadrants(cmyk.Bitmap(), 24);
  cmyk.SetGrayscale(true);
  ExpectQuadrants(cmyk.Bitmap(), 24, true);
}

TEST(TJPEGImage, ProgressiveDisplayShowsEveryPass) {
  arkelin::viewers::testing::EnsureGuiApp();
  TJPEGImage j;
  j.SetProgressiveDisplay(true);
  std::vector<QImage> shown;
  j.OnChange = [&](TGraphic& g) { shown.push_back(static_cast<TJPEGImage&>(g).Bitmap()); };
  j.LoadFromBytes(Data("quadrants-progressive.jpg"));
  EXPECT_GT(j.Passes(), 2);
  EXPECT_EQ(static_cast<int>(shown.size()), j.Passes());
  ExpectQuadrants(shown.back(), 12);
  EXPECT_NE(shown.front(), shown.back()) << "the first pass is coarser than the last";
  // A baseline file has one pass, whatever the option says.
  shown.clear();
  j.LoadFromBytes(Data("quadrants.jpg"));
  EXPECT_EQ(j.Passes(), 1);
}

TEST(TJPEGImage, DamagedAndOversizedPicturesAreRefused) {
  arkelin::viewers::testing::EnsureGuiApp();
  for (const char* name : {"damaged-truncated.jpg", "damaged-huffman.jpg"}) {
    TJPEGImage j;
    EXPECT_THROW(j.LoadFromBytes(Data(name)), EInvalidGraphicOperation) << name;
    EXPECT_TRUE(j.Empty());
    EXPECT_EQ(j.Width(), 0);
  }
  TJPEGImage j;
  EXPECT_THROW(j.LoadFromBytes(QByteArray()), EInvalidGraphicOperation);
  EXPECT_THROW(j.LoadFromBytes(QByteArray("GIF89a not a jpeg at all")), EInvalidGraphicOperation);
  // A picture whose data ends inside its scan is decoded around the gap.
  QByteArray cut = Data("quadrants.jpg");
  cut.chop(60);
  TJPEGImage partial = Load(cut);
  EXPECT_EQ(partial.Width(), 64);
  // Above the pixel limit nothing is decoded (4096 pixels here).
  TJPEGImage limited;
  limited.SetPixelLimit(4095);
  EXPECT_THROW(limited.LoadFromBytes(Data("quadrants.jpg")), EInvalidGraphicOperation);
  limited.SetPixelLimit(1 << 30);   // never raised again
  EXPECT_THROW(limited.LoadFromBytes(Data("quadrants.jpg")), EInvalidGraphicOperation);
  // A header that declares 60000 x 60000.
  QByteArray huge = Data("quadrants.jpg");
  const int sof = huge.indexOf("\xFF\xC0");
  ASSERT_GT(sof, 0);
  huge[sof + 5] = char(0xEA);
  huge[sof + 6] = char(0x60);
  huge[sof + 7] = char(0xEA);
  huge[sof + 8] = char(0x60);
  TJPEGImage big;
  EXPECT_THROW(big.LoadFromBytes(huge), EInvalidGraphicOperation);
}

TEST(TQtImage, BitmapsAndPngThroughQt) {
  arkelin::viewers::testing::EnsureGuiApp();
  QImage src(5, 3, QImage::Format_RGB32);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) src.setPixel(x, y, qRgb(x * 50, y * 100, 7));
  for (const char* fmt : {"bmp", "png"}) {
    QByteArray bytes;
    QBuffer out(&bytes);
    out.open(QIODevice::WriteOnly);
    ASSERT_TRUE(src.save(&out, fmt));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    TQtImage img(fmt);
    img.LoadFromStream(in);
    EXPECT_EQ(img.Width(), 5);
    EXPECT_EQ(img.Image().convertToFormat(QImage::Format_RGB32), src) << fmt;
    QBuffer saved;
    saved.open(QIODevice::WriteOnly);
    img.SaveToStream(saved);
    EXPECT_EQ(saved.data(), bytes);
  }
  QByteArray garbage("BM this is not a bitmap");
  QBuffer g(&garbage);
  g.open(QIODevice::ReadOnly);
  TQtImage bad("bmp");
  EXPECT_THROW(bad.LoadFromStream(g), EInvalidGraphicOperation);
  // A PNG header declaring 100000 x 100000 is refused before decoding.
  QByteArray png("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\x01\x86\xa0\0\x01\x86\xa0\x08\x02\0\0\0", 29);
  png += QByteArray(4, '\0');
  QBuffer h(&png);
  h.open(QIODevice::ReadOnly);
  TQtImage huge("png");
  EXPECT_THROW(huge.LoadFromStream(h), EInvalidGraphicOperation);
}

TEST(GraphicFormats, TheViewersFormatsAreRegistered) {
  TGraphicFormats formats;
  RegisterViewerFormats(formats);
  RegisterViewerFormats(formats);
  for (const char* ext : {"jpg", "JPEG", ".bmp", "png"}) EXPECT_NE(formats.Find(ext), nullptr) << ext;
  EXPECT_EQ(formats.Formats().size(), 4u);
  EXPECT_NE(dynamic_cast<TJPEGImage*>(formats.CreateFor("x.JPG").get()), nullptr);
  EXPECT_NE(dynamic_cast<TQtImage*>(formats.CreateFor("x.png").get()), nullptr);
  EXPECT_THROW(formats.CreateFor("x.xyz"), EInvalidGraphicOperation);
}

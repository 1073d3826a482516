// The image control without its widget: the Fit rule, where the picture is
// painted and what surrounds it, "Empty" for everything that is no picture,
// the options handed to JPEG and GIF pictures, and an animation driven by a
// hand-run clock.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QPainter>
#include <QTemporaryDir>

#include "GifTestSupport.h"
#include "platform/FakePlatform.h"
#include "viewers/AdvImage.h"
#include "viewers/MPGifImg.h"

using namespace arkelin::viewers;
using namespace arkelin::viewers::testing;

namespace {

QString Data(const char* name) { return QStringLiteral(ARKELIN_TEST_DATA "/viewers/") + QString::fromLatin1(name); }

// The control set up as the viewer window sets it.
void ViewerSettings(TAdvImage& a) {
  a.SetBevelWidth(4);
  a.SetShowFrame3D(true);
  a.SetStretchRatio(true);
  a.SetCenterView(true);
  a.SetShowEmptyLabel(true);
  a.SetGIFAnimate(true);
  a.SetGifAnimateSpeed(10);
}

TAdvImageLook Look() {
  TAdvImageLook l;
  l.face = QColor(10, 20, 30);
  l.light = QColor(250, 250, 250);
  l.dark = QColor(60, 60, 60);
  l.text = QColor(255, 255, 0);
  return l;
}

QImage PaintInto(TAdvImage& a, int w, int h, const TAdvImageLook& look = Look()) {
  QImage out(w, h, QImage::Format_RGB32);
  out.fill(Qt::black);
  QPainter p(&out);
  a.Paint(p, w, h, look);
  return out;
}

// Writes an image file of the given size and solid colour.
QString WriteImage(const QTemporaryDir& dir, const QString& name, int w, int h, QColor c, const char* fmt) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(c);
  const QString path = dir.path() + "/" + name;
  EXPECT_TRUE(img.save(path, fmt));
  return path;
}

// A GIF of `frames` solid frames (colour index i in frame i) of 8 x 8, each
// with the given delay in hundredths of a second.
std::string SolidFrames(int frames, int delay) {
  GifBuilder b(8, 8, 2);
  for (int i = 0; i < frames; ++i) {
    std::vector<uint8_t> px(64, static_cast<uint8_t>(i));
    b.GraphicControl(delay).Image(0, 0, 8, 8, 2, PackCodes(2, LzwEncode(px, 2)));
  }
  return b.Trailer().bytes;
}

}  // namespace

TEST(TAdvImageFit, ShrinksKeepingProportionsAndTruncates) {
  EXPECT_EQ(TAdvImage::Fit(400, 400, 1000, 500), QRect(0, 0, 400, 200));
  EXPECT_EQ(TAdvImage::Fit(400, 400, 500, 1000), QRect(0, 0, 200, 400));
  EXPECT_EQ(TAdvImage::Fit(400, 400, 100, 100), QRect(0, 0, 100, 100));   // never enlarged
  EXPECT_EQ(TAdvImage::Fit(400, 400, 1000, 300), QRect(0, 0, 400, 120));
  EXPECT_EQ(TAdvImage::Fit(400, 400, 993, 300), QRect(0, 0, 400, 120));   // 120.85 truncated
  EXPECT_EQ(TAdvImage::Fit(400, 100, 1000, 800), QRect(0, 0, 125, 100));  // both larger, height limits
  EXPECT_EQ(TAdvImage::Fit(400, 100, 300, 300), QRect(0, 0, 100, 100));   // only the height
  EXPECT_EQ(TAdvImage::Fit(100, 400, 300, 90), QRect(0, 0, 100, 30));     // only the width
  EXPECT_EQ(TAdvImage::Fit(400, 400, 0, 10), QRect(0, 0, 0, 0));
}

TEST(TAdvImagePaint, FramedCentredPictureAndItsSurroundings) {
  EnsureGuiApp();
  QTemporaryDir dir;
  const QString wide = WriteImage(dir, "wide.png", 1000, 500, QColor(0, 200, 0), "png");
  TAdvImage a;
  ViewerSettings(a);
  EXPECT_EQ(a.ImageType(), TImageType::itUnknown);
  a.SetImageName(wide.toStdString());
  EXPECT_EQ(a.ImageType(), TImageType::itPng);
  EXPECT_EQ(a.ImageName(), wide.toStdString());
  // A 408 x 408 control with a 4-pixel frame leaves a 400 x 400 area.
  const QImage shot = PaintInto(a, 408, 408);
  EXPECT_EQ(a.ImageRect(), QRect(4, 104, 400, 200)) << "400 x 200, centred vertically";
  EXPECT_EQ(shot.pixel(200, 200), qRgb(0, 200, 0));
  EXPECT_EQ(shot.pixel(200, 50), qRgb(10, 20, 30)) << "above: the control colour";
  EXPECT_EQ(shot.pixel(200, 350), qRgb(10, 20, 30)) << "below";
  EXPECT_EQ(shot.pixel(0, 200), qRgb(250, 250, 250)) << "light left edge";
  EXPECT_EQ(shot.pixel(200, 0), qRgb(250, 250, 250)) << "light top edge";
  EXPECT_EQ(shot.pixel(407, 200), qRgb(60, 60, 60)) << "dark right edge";
  EXPECT_EQ(shot.pixel(200, 407), qRgb(60, 60, 60)) << "dark bottom edge";
  // Checked: the surroundings in the check colour.
  a.SetChecked(true);
  a.SetCheckColor(QColor(0, 0, 255));
  EXPECT_EQ(PaintInto(a, 408, 408).pixel(200, 50), qRgb(0, 0, 255));
  // A small picture stays small, centred.
  const QString small = WriteImage(dir, "small.bmp", 100, 100, QColor(200, 0, 0), "bmp");
  a.SetImageName(small.toStdString());
  EXPECT_EQ(a.ImageType(), TImageType::itBmp);
  PaintInto(a, 408, 408);
  EXPECT_EQ(a.ImageRect(), QRect(154, 154, 100, 100));
  // Without stretching and centring: the picture's own size at the corner.
  a.SetStretchRatio(false);
  a.SetCenterView(false);
  a.SetShowFrame3D(false);
  a.SetImageName(wide.toStdString());
  PaintInto(a, 408, 408);
  EXPECT_EQ(a.ImageRect(), QRect(0, 0, 1000, 500));
}

TEST(TAdvImagePaint, EverythingThatIsNoPictureShowsEmpty) {
  EnsureGuiApp();
  QTemporaryDir dir;
  QFile junk(dir.path() + "/picture.xyz");
  ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
  junk.write("anything");
  junk.close();
  const QString paths[] = {Data("damaged-truncated.jpg"), Data("damaged-huffman.jpg"), junk.fileName(),
                           dir.path() + "/missing.jpg", dir.path()};
  TAdvImage good;
  ViewerSettings(good);
  good.LoadFromFile(Data("quadrants.jpg").toStdString());
  const QImage picture = PaintInto(good, 200, 100);
  for (const QString& p : paths) {
    TAdvImage a;
    ViewerSettings(a);
    a.LoadFromFile(p.toStdString());
    EXPECT_EQ(a.Picture().Graphic(), nullptr) << p.toStdString();
    EXPECT_EQ(a.ImageType(), TImageType::itUnknown);
    const QImage shot = PaintInto(a, 200, 100);
    // Yellow text pixels near the middle, nothing of the picture.
    int yellow = 0;
    for (int y = 30; y < 70; ++y)
      for (int x = 60; x < 140; ++x) yellow += shot.pixel(x, y) == qRgb(255, 255, 0);
    EXPECT_GT(yellow, 5) << p.toStdString();
    EXPECT_NE(shot, picture);
  }
  // Without the label, only the control's colour.
  TAdvImage quiet;
  quiet.LoadFromFile(junk.fileName().toStdString());
  const QImage blank = PaintInto(quiet, 200, 100);
  for (int y = 0; y < 100; y += 7)
    for (int x = 0; x < 200; x += 7) ASSERT_EQ(blank.pixel(x, y), qRgb(10, 20, 30));
  EXPECT_THROW(TPicture().LoadFromFile(junk.fileName().toStdString()), EInvalidGraphicOperation)
      << "the control catches what the picture throws";
}

TEST(TAdvImageProperties, SettersRepaintOnlyOnChangeAndJpegOptionsApplyAtLoad) {
  EnsureGuiApp();
  TAdvImage a;
  int invalidated = 0, repaintedNow = 0;
  a.OnInvalidate = [&] { ++invalidated; };
  a.OnRepaintNow = [&] { ++repaintedNow; };
  a.SetBevelWidth(1);
  a.SetEmptyLabel(QStringLiteral("Empty"));
  a.SetCheckColor(Qt::red);
  EXPECT_EQ(invalidated, 0);
  a.SetBevelWidth(4);
  a.SetCaption(QStringLiteral("caption"));
  a.SetJPEGScale(TJPEGScale::jsQuarter);
  EXPECT_EQ(invalidated, 3);
  a.SetGIFAnimate(true);
  a.SetGifAnimateSpeed(20);
  EXPECT_EQ(invalidated, 3) << "the GIF options do not repaint";
  a.SetJPEGGrayscale(true);
  a.LoadFromFile(Data("quadrants.jpg").toStdString());
  auto* jpeg = dynamic_cast<TJPEGImage*>(a.Picture().Graphic());
  ASSERT_NE(jpeg, nullptr);
  EXPECT_EQ(jpeg->Width(), 16);
  EXPECT_TRUE(jpeg->Grayscale());
  EXPECT_EQ(repaintedNow, 0);
  // Changing an option later only repaints; the loaded picture stays.
  a.SetJPEGScale(TJPEGScale::jsFullSize);
  EXPECT_EQ(jpeg->Width(), 16);
  // Progressive display repaints at once on every pass of the load.
  a.SetJPEGProgressiveDisplay(true);
  a.LoadFromFile(Data("quadrants-progressive.jpg").toStdString());
  jpeg = dynamic_cast<TJPEGImage*>(a.Picture().Graphic());
  ASSERT_NE(jpeg, nullptr);
  EXPECT_GT(jpeg->Passes(), 2);
  EXPECT_EQ(repaintedNow, jpeg->Passes());
  // The caption sits at the bottom, also without a picture.
  TAdvImage c;
  c.SetCaption(QString(300, u'W'));
  c.SetBevelWidth(2);
  const QImage shot = PaintInto(c, 60, 40);
  const int textTop = 40 - QFontMetrics(Look().font).height() - 2;
  int below = 0, above = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x)
      if (shot.pixel(x, y) == qRgb(255, 255, 0)) ++(y >= textTop ? below : above);
  EXPECT_GT(below, 10);
  EXPECT_EQ(above, 0);
}

TEST(TAdvImageAnimation, FramesChangeAtTheViewersSpeed) {
  EnsureGuiApp();
  FakeTimerScope clock;
  arkelin::platform::FakePlatformScope platform;
  QTemporaryDir dir;
  const QString path = dir.path() + "/anim.gif";
  {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    const std::string bytes = SolidFrames(3, 30);   // the file asks for 300 ms a frame
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
  }
  TAdvImage a;
  ViewerSettings(a);
  std::vector<QRgb> shown;
  a.OnRepaintNow = [&] { shown.push_back(PaintInto(a, 40, 40).pixel(20, 20)); };
  a.LoadFromFile(path.toStdString());
  auto* gif = dynamic_cast<TGIFImage*>(a.Picture().Graphic());
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(a.ImageType(), TImageType::itGif);
  EXPECT_TRUE(gif->Animate());
  const QRgb c0 = PaintInto(a, 40, 40).pixel(20, 20);
  // Frame 0 keeps the delay it was chosen with (the file's), then every
  // frame lasts 100 ms.
  clock.RunFor(200);
  EXPECT_TRUE(shown.empty());
  clock.RunFor(100);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(gif->CurrentFrame(), 1);
  clock.RunFor(100);
  EXPECT_EQ(gif->CurrentFrame(), 2);
  clock.RunFor(100);
  EXPECT_EQ(gif->CurrentFrame(), 0);
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_NE(shown[0], c0);
  EXPECT_NE(shown[1], shown[0]);
  EXPECT_EQ(shown[2], c0) << "back to the first frame";
  // Animation off: the timer stops, nothing more is painted.
  a.SetGIFAnimate(false);
  clock.RunFor(1000);
  EXPECT_EQ(shown.size(), 3u);
}

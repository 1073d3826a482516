// The picture-format registry: GIF is there by default, extensions match
// without regard to case, unclaimed extensions are an invalid-graphic error,
// and TPicture loads a file into a graphic of the chosen format.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "GifTestSupport.h"
#include "viewers/GraphicFormats.h"
#include "viewers/MPGifImg.h"

using namespace arkelin::viewers;
using namespace arkelin::viewers::testing;

namespace {
// A stand-in format that records what it loaded.
class TFakeGraphic : public TGraphic {
 public:
  void LoadFromStream(QIODevice& in) override { bytes = in.readAll(); }
  void SaveToStream(QIODevice&) const override {}
  int Width() const override { return 7; }
  int Height() const override { return 3; }
  bool Empty() const override { return bytes.isEmpty(); }
  void Draw(QPainter&, const QRect&) const override {}
  QImage ClipboardImage() const override { return {}; }
  QByteArray bytes;
};

std::string WriteFile(const QTemporaryDir& dir, const char* name, const std::string& bytes) {
  QFile f(dir.filePath(name));
  EXPECT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(bytes.data(), static_cast<qint64>(bytes.size()));
  return f.fileName().toStdString();
}
}  // namespace

TEST(TGraphicFormats, GifIsRegisteredByDefault) {
  const TGraphicFormat* f = TGraphicFormats::Default().Find("gif");
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->extension, "GIF");
  EXPECT_EQ(f->description, "Graphics Interchange Format");
  EXPECT_EQ(TGraphicFormats::Default().Find(".Gif"), f);
  FakeTimerScope clock;
  auto g = TGraphicFormats::Default().CreateFor("/tmp/some.folder/Anim.GiF");
  EXPECT_NE(dynamic_cast<TGIFImage*>(g.get()), nullptr);
}

TEST(TGraphicFormats, UnclaimedExtensionsAreAnInvalidGraphicError) {
  TGraphicFormats formats;
  formats.Register("bmp", "Bitmaps", [] { return std::unique_ptr<TGraphic>(new TFakeGraphic); });
  for (const char* name : {"picture.xyz", "no_extension", "dir.gif/file", "a.bmp.txt"}) {
    try {
      formats.CreateFor(name);
      FAIL() << name;
    } catch (const EInvalidGraphicOperation& e) {
      EXPECT_EQ(std::string(e.what()).rfind("Unknown picture file extension (.", 0), 0u) << e.what();
    }
  }
  try {
    formats.CreateFor("picture.xyz");
  } catch (const EInvalidGraphicOperation& e) {
    EXPECT_STREQ(e.what(), "Unknown picture file extension (.xyz)");
  }
  EXPECT_NO_THROW(formats.CreateFor("x.BMP"));
}

TEST(TGraphicFormats, RegisteringAgainReplacesAndUnregisterRemoves) {
  TGraphicFormats formats;
  formats.Register("jpg", "JPEG Image File", [] { return std::unique_ptr<TGraphic>(new TFakeGraphic); });
  formats.Register(".JPG", "JPEG pictures", [] { return std::unique_ptr<TGraphic>(new TFakeGraphic); });
  formats.Register("jpeg", "JPEG pictures", [] { return std::unique_ptr<TGraphic>(new TFakeGraphic); });
  ASSERT_EQ(formats.Formats().size(), 2u);
  EXPECT_EQ(formats.Find("jpg")->description, "JPEG pictures");
  EXPECT_EQ(formats.Filter(), "JPEG pictures (*.jpg)|*.jpg|JPEG pictures (*.jpeg)|*.jpeg");
  formats.Unregister("JPG");
  EXPECT_EQ(formats.Find("jpg"), nullptr);
  EXPECT_NE(formats.Find("jpeg"), nullptr);
}

TEST(TPicture, LoadsAFileIntoTheFormatOfItsExtension) {
  QTemporaryDir dir;
  TGraphicFormats formats;
  formats.Register("fak", "Fake", [] { return std::unique_ptr<TGraphic>(new TFakeGraphic); });
  TPicture picture;
  picture.LoadFromFile(WriteFile(dir, "one.FAK", "payload"), formats);
  auto* g = dynamic_cast<TFakeGraphic*>(picture.Graphic());
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->bytes, QByteArray("payload"));
  EXPECT_EQ(picture.Width(), 7);

  EXPECT_THROW(picture.LoadFromFile(WriteFile(dir, "two.xyz", "x"), formats), EInvalidGraphicOperation);
  EXPECT_EQ(picture.Graphic(), nullptr) << "a failed load leaves the picture empty";
  EXPECT_THROW(picture.LoadFromFile(dir.filePath("missing.fak").toStdString(), formats), EStreamError);
  EXPECT_EQ(picture.Graphic(), nullptr);
}

TEST(TPicture, ForwardsTheChangesOfAnAnimatedGif) {
  QTemporaryDir dir;
  FakeTimerScope clock;
  GifBuilder b(2, 1, 2);
  for (int i = 0; i < 3; ++i)
    b.GraphicControl(10).Image(0, 0, 2, 1, 2, PackCodes(2, LzwEncode({uint8_t(i), 1}, 2)));
  TPicture picture;
  picture.LoadFromFile(WriteFile(dir, "anim.gif", b.Trailer().bytes));
  auto* gif = dynamic_cast<TGIFImage*>(picture.Graphic());
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(picture.Width(), 2);
  EXPECT_EQ(picture.Height(), 1);
  int changes = 0;
  picture.OnChange = [&](TPicture& sender) {
    EXPECT_EQ(&sender, &picture);
    ++changes;
  };
  gif->SetAnimate(true);
  clock.RunFor(300);
  EXPECT_EQ(changes, 3);
  EXPECT_EQ(gif->CurrentFrame(), 0);
}

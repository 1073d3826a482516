// Our GIF reader against Qt's own GIF reader, frame by frame and pixel by
// pixel, on files made by ImageMagick (/usr/bin/convert) and Pillow
// (/usr/bin/python3): sizes from 1 x 1 to 1000 x 1000, 2 to 256 colours,
// interlaced or not, global and local colour tables, animations with
// several delays and frames smaller than the screen. Qt lays each frame over
// the previous ones; our frames stand alone, so each of ours is compared
// with the part of Qt's picture it covers (the generated frames are opaque).
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>

#include <cstdlib>
#include <random>

#include "GifTestSupport.h"
#include "platform/FakePlatform.h"
#include "viewers/MPGifImg.h"

using namespace arkelin::viewers;
using namespace arkelin::viewers::testing;

namespace {

struct Case {
  const char* name;
  const char* command;   // run in the output folder; writes <name>.gif
};

// "C" is /usr/bin/convert, "P" is /usr/bin/python3 (the ones first on PATH
// may be other programs).
const Case kCases[] = {
    {"one_pixel", "C -size 1x1 xc:red one_pixel.gif"},
    {"two_colours", "C -seed 1 -size 64x48 plasma: +dither -colors 2 two_colours.gif"},
    {"five_colours_interlaced", "C -seed 4 -size 17x5 plasma: -colors 5 -interlace GIF five_colours_interlaced.gif"},
    {"tall_interlaced", "C -seed 12 -size 3x37 plasma: -colors 30 -interlace GIF tall_interlaced.gif"},
    {"colours_256_interlaced", "C -seed 2 -size 333x211 plasma: -colors 256 -interlace GIF colours_256_interlaced.gif"},
    {"colours_256_big", "C -seed 3 -size 1000x1000 plasma: -colors 256 colours_256_big.gif"},
    {"local_tables_animated",
     "C -delay 7 \\( -seed 5 -size 120x90 plasma: -colors 16 \\) -delay 33 \\( -seed 6 -size 120x90 plasma: "
     "-colors 64 \\) -delay 150 \\( -size 120x90 gradient:red-blue -colors 3 \\) local_tables_animated.gif"},
    {"global_table_animated",
     "C -delay 12 \\( -seed 7 -size 80x60 plasma: \\) -delay 4 \\( -seed 8 -size 80x60 plasma: \\) "
     "-delay 200 \\( -seed 9 -size 80x60 plasma: \\) +map global_table_animated.gif"},
    {"sub_frames",
     "C -delay 20 -size 120x90 xc:white -page +10+20 \\( -seed 8 -size 30x20 plasma: -colors 8 \\) "
     "-page +70+5 \\( -seed 9 -size 40x60 plasma: -colors 5 \\) sub_frames.gif"},
    {"pil_animated",
     "P -c \"from PIL import Image\n"
     "import random\n"
     "random.seed(5)\n"
     "frames = []\n"
     "for i, (w, h) in enumerate([(150, 100)] * 4):\n"
     "    im = Image.new('RGB', (w, h))\n"
     "    im.putdata([(random.randrange(256), (x * 7 + i * 40) % 256, 90) for x in range(w * h)])\n"
     "    frames.append(im.quantize(colors=[4, 32, 200, 256][i]))\n"
     "frames[0].save('pil_animated.gif', save_all=True, append_images=frames[1:],"
     " duration=[30, 120, 70, 500], loop=0, optimize=False)\""},
    {"pil_grey_interlaced",
     "P -c \"from PIL import Image\n"
     "im = Image.new('L', (257, 64))\n"
     "im.putdata([(x * 3 + y * 5) % 256 for y in range(64) for x in range(257)])\n"
     "im.save('pil_grey_interlaced.gif', interlace=True)\""},
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

std::string Expand(std::string cmd) {
  if (cmd.rfind("C ", 0) == 0) cmd = "/usr/bin/convert " + cmd.substr(2);
  if (cmd.rfind("P ", 0) == 0) cmd = "/usr/bin/python3 " + cmd.substr(2);
  return cmd;
}

// Files are made on first use, so a run of one test makes only its file.
class GifPeers : public ::testing::TestWithParam<Case> {
 public:
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

 protected:
  // The path of the case's file, made now if needed; empty when the tool failed.
  static QString Made(const Case& c) {
    EnsureGuiApp();
    if (!dir_) dir_ = new QTemporaryDir;
    const QString path = dir_->filePath(QString(c.name) + ".gif");
    if (QFile::exists(path)) return path;
    const std::string cmd = "cd '" + dir_->path().toStdString() + "' && " + Expand(c.command);
    return std::system(cmd.c_str()) == 0 && QFile::exists(path) ? path : QString();
  }
  static QTemporaryDir* dir_;
};
QTemporaryDir* GifPeers::dir_ = nullptr;

bool HavePeers() { return QFile::exists("/usr/bin/convert") && QFile::exists("/usr/bin/python3"); }

// Compares every frame of the file with Qt's reader; returns the frames seen.
int CompareWithQt(const QString& path) {
  FakeTimerScope clock;
  arkelin::platform::FakePlatformScope platform;
  TGIFImage gif;
  gif.LoadFromFile(path.toStdString());
  EXPECT_EQ(gif.Data().ParseError(), "") << path.toStdString();
  QImageReader reader(path, "gif");
  EXPECT_TRUE(reader.canRead()) << "Qt cannot read " << path.toStdString();
  EXPECT_EQ(gif.Width(), reader.size().width());
  EXPECT_EQ(gif.Height(), reader.size().height());
  int i = 0;
  for (;; ++i) {
    const QImage theirs = reader.read();
    if (theirs.isNull()) break;
    if (i >= gif.FrameCount()) {
      ADD_FAILURE() << "Qt reads more frames than we do: " << path.toStdString();
      break;
    }
    const TGIFFrame& frame = gif.Frame(i);
    const QImage ours = Rgb(frame.Bitmap());
    const QImage region = Rgb(theirs).copy(frame.Left(), frame.Top(), ours.width(), ours.height());
    int wrong = 0;
    for (int y = 0; y < ours.height(); ++y)
      for (int x = 0; x < ours.width(); ++x) wrong += ours.pixel(x, y) != region.pixel(x, y);
    EXPECT_EQ(wrong, 0) << path.toStdString() << " frame " << i << " (" << ours.width() << "x"
                        << ours.height() << ")";
    // Qt shows a frame without a delay for 100 ms; compare the others.
    if (reader.supportsAnimation() && frame.Delay() > 0) {
      EXPECT_EQ(frame.Delay() * 10, reader.nextImageDelay()) << path.toStdString() << " frame " << i;
    }
  }
  EXPECT_EQ(i, gif.FrameCount()) << path.toStdString();
  EXPECT_TRUE(platform.dialogs.boxes.empty());
  return i;
}

// The packed flags byte of every image descriptor in the file, found by
// walking its blocks (bit 7: local colour table, bit 6: interlaced).
std::vector<uint8_t> DescriptorFlags(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  const QByteArray d = f.readAll();
  auto at = [&](qsizetype i) { return i < d.size() ? static_cast<uint8_t>(d[i]) : uint8_t(0x3B); };
  auto skipBlocks = [&](qsizetype i) {
    while (i < d.size() && at(i) != 0) i += at(i) + 1;
    return i + 1;
  };
  std::vector<uint8_t> flags;
  qsizetype i = 13;
  if (at(10) & 0x80) i += 3 << ((at(10) & 7) + 1);
  while (i < d.size()) {
    const uint8_t b = at(i);
    if (b == 0x21) {
      i = skipBlocks(i + 2);
    } else if (b == 0x2C) {
      const uint8_t packed = at(i + 9);
      flags.push_back(packed);
      i += 10;
      if (packed & 0x80) i += 3 << ((packed & 7) + 1);
      i = skipBlocks(i + 1);  // after the code size byte
    } else {
      break;
    }
  }
  return flags;
}

}  // namespace

TEST_P(GifPeers, EveryFrameMatchesQtsReader) {
  if (!HavePeers()) GTEST_SKIP() << "/usr/bin/convert or /usr/bin/python3 is missing";
  const Case& c = GetParam();
  const QString path = Made(c);
  ASSERT_FALSE(path.isEmpty()) << "could not make " << c.name << " with: " << Expand(c.command);
  EXPECT_GE(CompareWithQt(path), 1);
}

INSTANTIATE_TEST_SUITE_P(Generated, GifPeers, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(GifPeers, TheGeneratedSetCoversTheVariety) {
  // Guards the set itself: animations with different delays, local tables,
  // interlacing and frames smaller than the screen are really in it.
  if (!HavePeers()) GTEST_SKIP() << "/usr/bin/convert or /usr/bin/python3 is missing";
  const Case& c = GetParam();
  const QString path = Made(c);
  ASSERT_FALSE(path.isEmpty()) << "could not make " << c.name;
  FakeTimerScope clock;
  TGIFImage gif;
  gif.LoadFromFile(path.toStdString());
  const std::string name = c.name;
  const std::vector<uint8_t> flags = DescriptorFlags(path);
  ASSERT_EQ(static_cast<int>(flags.size()), gif.FrameCount()) << name;
  if (name.find("interlaced") != std::string::npos) {
    for (uint8_t f : flags) EXPECT_TRUE(f & 0x40) << name << " has a frame that is not interlaced";
  }
  if (name.rfind("local_tables", 0) == 0) {
    int local = 0;
    for (uint8_t f : flags) local += (f & 0x80) != 0;
    EXPECT_GE(local, 2) << name << ": local colour tables";
  }
  if (name == "local_tables_animated") {
    ASSERT_EQ(gif.FrameCount(), 3);
    EXPECT_EQ(gif.FrameDelay(0), 7);
    EXPECT_EQ(gif.FrameDelay(1), 33);
    EXPECT_EQ(gif.FrameDelay(2), 150);
  } else if (name == "sub_frames") {
    ASSERT_EQ(gif.FrameCount(), 3);
    EXPECT_EQ(gif.Frame(1).Left(), 10);
    EXPECT_EQ(gif.Frame(1).Top(), 20);
    EXPECT_EQ(gif.FrameBitmap(2).size(), QSize(40, 60));
  } else if (name == "colours_256_big") {
    EXPECT_EQ(gif.FrameBitmap(0).size(), QSize(1000, 1000));
  } else if (name == "one_pixel") {
    EXPECT_EQ(Rgb(gif.FrameBitmap(0)).pixel(0, 0), qRgb(255, 0, 0));
  } else if (name == "pil_animated") {
    ASSERT_EQ(gif.FrameCount(), 4);
    EXPECT_EQ(gif.FrameDelay(3), 50);
  }
}

// Hand-made code streams that other encoders rarely write, read by Qt too.
TEST(GifPeersHandMade, FullTablesAndMissingClearCodesAgreeWithQt) {
  EnsureGuiApp();
  QTemporaryDir dir;
  std::mt19937 rng(17);
  std::vector<uint8_t> px(300 * 200);
  for (auto& p : px) p = static_cast<uint8_t>(rng() % 256);
  const std::pair<const char*, LzwOptions> streams[] = {
      {"deferred_clear.gif", {.leadingClear = true, .clearAfterFull = -1}},
      {"late_clear.gif", {.leadingClear = true, .clearAfterFull = 300}},
      {"clear_when_full.gif", {.leadingClear = true, .clearAfterFull = 0}},
      {"no_leading_clear.gif", {.leadingClear = false, .clearAfterFull = 0}},
  };
  for (const auto& [name, options] : streams) {
    const std::string bytes =
        GifBuilder(300, 200, 8).Image(0, 0, 300, 200, 8, PackCodes(8, LzwEncode(px, 8, options))).Trailer().bytes;
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), static_cast<qint64>(bytes.size()));
    f.close();
    EXPECT_EQ(CompareWithQt(f.fileName()), 1) << name;
  }
}

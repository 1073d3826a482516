// GIF decoding benchmark: a 1000 x 1000 animation of 50 frames (made once
// by make_anim.py with Pillow and kept in the build folder) is decoded by our
// reader (all frames, at load) and by Qt's own GIF reader (all frames through
// QImageReader), and by Pillow when /usr/bin/python3 has it. Best of five
// runs each; prints the times and the ratios. Qt also lays each frame over
// the previous one, which ours does not do: the ratio includes that work.
//
//   bench_gif
#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImageReader>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "viewers/MPGifImg.h"

namespace fs = std::filesystem;
using namespace arkelin::viewers;

namespace {

double BestOf(int runs, const std::function<void()>& f) {
  double best = 1e100;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (s < best) best = s;
  }
  return best;
}

double PillowSeconds(const std::string& file) {
  const std::string out = std::string(BENCH_WORK_DIR) + "/pil_time.txt";
  const std::string cmd =
      "/usr/bin/python3 -c \"import time\nfrom PIL import Image\nbest = 1e9\n"
      "for r in range(5):\n"
      "    t = time.perf_counter()\n"
      "    im = Image.open('" + file + "')\n"
      "    for i in range(im.n_frames):\n"
      "        im.seek(i); im.load()\n"
      "    best = min(best, time.perf_counter() - t)\n"
      "open('" + out + "', 'w').write(str(best))\" 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return -1;
  FILE* f = std::fopen(out.c_str(), "r");
  if (!f) return -1;
  double s = -1;
  if (std::fscanf(f, "%lf", &s) != 1) s = -1;
  std::fclose(f);
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string file = std::string(BENCH_WORK_DIR) + "/anim_1000x1000x50.gif";
  if (!fs::exists(file)) {
    std::printf("making %s ...\n", file.c_str());
    const std::string cmd = "/usr/bin/python3 '" + std::string(BENCH_SOURCE_DIR) + "/make_anim.py' '" + file + "'";
    if (std::system(cmd.c_str()) != 0) {
      std::printf("could not make the animation (needs /usr/bin/python3 with PIL)\n");
      return 1;
    }
  }
  QFile f(QString::fromStdString(file));
  if (!f.open(QIODevice::ReadOnly)) return 1;
  const QByteArray bytes = f.readAll();
  std::printf("file: %s, %.1f MB\n", file.c_str(), bytes.size() / 1e6);

  int ourFrames = 0;
  const double ours = BestOf(5, [&] {
    TGIFImage gif;
    gif.LoadFromBytes(bytes);
    ourFrames = gif.FrameCount();
  });
  int qtFrames = 0;
  const double qt = BestOf(5, [&] {
    QByteArray copy = bytes;
    QBuffer buf(&copy);
    buf.open(QIODevice::ReadOnly);
    QImageReader reader(&buf, "gif");
    qtFrames = 0;
    while (true) {
      const QImage img = reader.read();
      if (img.isNull()) break;
      ++qtFrames;
    }
  });
  std::printf("What is compared: ours decodes each frame into an indexed 8-bit image of the frame's own\n"
              "rectangle; Qt's reader and Pillow also compose every frame over the previous one into a\n"
              "full-size colour picture. The ratios include that extra work of theirs. One thread each.\n");
  std::printf("Arkelin TGIFImage: %d frames in %.3f s (indexed frames)\n", ourFrames, ours);
  std::printf("Qt QImageReader:   %d frames in %.3f s (composed frames)   Qt/Arkelin = %.2f (above 1: ours is faster)\n",
              qtFrames, qt, qt / ours);
  const double pil = PillowSeconds(file);
  if (pil > 0)
    std::printf("Pillow:            all frames in %.3f s (composed frames)   Pillow/Arkelin = %.2f\n", pil, pil / ours);
  else
    std::printf("Pillow:            not measured (/usr/bin/python3 with PIL not found)\n");
  return ourFrames == 50 && qtFrames == 50 ? 0 : 1;
}

// Extracts a large archive (1 GB by default, one entry) through the archive
// window and measures what the user would feel while it runs:
//   - the longest gap between two message-pump calls (the window can only
//     repaint and see a click inside one),
//   - how late a 50 ms heartbeat timer fires (input reaching the window),
//   - how long the file list takes to repaint after each heartbeat asks it
//     to (as when another window uncovers it), counted from when the
//     heartbeat was due,
//   - how long the window takes from the moment Cancel is clicked to being
//     idle again, counted from when the click was due.
// Each is set against a 100 ms target (target/ours > 1 means within it).
// The full extraction time is compared with unzip in the same run, to show
// what the pumping costs.
//
// The dialogs are the scripted double (the count message is answered
// without a window); the pump calls really process Qt's events and paint.
//
// Run: build/bin/bench_responsive [MEGABYTES]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "window/MainSettings.h"
#include "window/extrunit.h"
#include "window/mainunit.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;

namespace {

constexpr double kTargetMs = 100.0;

// Text-like data that deflates to about a third, so the inflater has work.
bool MakeSource(const QString& path, int64_t bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly)) return false;
  static const char* const kWords[] = {"archive ", "folder ",  "entry ",  "volume ",  "deflate ", "header ",
                                       "record ",  "central ", "local ",  "extract ", "window ",  "cancel ",
                                       "status ",  "panel ",   "button ", "program ", "\n",        "0123 "};
  uint64_t x = 88172645463325252ull;
  QByteArray block;
  block.reserve(1 << 20);
  int64_t left = bytes;
  while (left > 0) {
    block.clear();
    while (block.size() < (1 << 20)) {
      x ^= x << 13, x ^= x >> 7, x ^= x << 17;
      if ((x & 7) == 0) {
        block.append(static_cast<char>('a' + (x >> 8) % 26));
        block.append(static_cast<char>('a' + (x >> 16) % 26));
      } else {
        block.append(kWords[(x >> 3) % std::size(kWords)]);
      }
    }
    const int64_t n = std::min<int64_t>(left, block.size());
    if (f.write(block.constData(), n) != n) return false;
    left -= n;
  }
  return true;
}

struct Gaps {
  std::vector<double> ms;
  qint64 last = -1;
  void Mark(qint64 nowNs) {
    if (last >= 0) ms.push_back((nowNs - last) / 1e6);
    last = nowNs;
  }
  double Max() const { return ms.empty() ? 0 : *std::max_element(ms.begin(), ms.end()); }
  double Percentile(double p) const {
    if (ms.empty()) return 0;
    std::vector<double> s = ms;
    std::sort(s.begin(), s.end());
    return s[std::min(s.size() - 1, static_cast<size_t>(p * s.size()))];
  }
};

// Times the paint that answers each update request, from when the request
// was due.
class RepaintWatch : public QObject {
 public:
  const QElapsedTimer* clock = nullptr;
  qint64 requestedDue = -1;
  double worstMs = 0;
  long answered = 0;
  bool eventFilter(QObject* o, QEvent* e) override {
    if (e->type() == QEvent::Paint && requestedDue >= 0) {
      worstMs = std::max(worstMs, (clock->nsecsElapsed() - requestedDue) / 1e6);
      ++answered;
      requestedDue = -1;
    }
    return QObject::eventFilter(o, e);
  }
};

void Row(const char* what, double ours) {
  std::printf("  %-44s %9.1f ms   target %5.0f ms   target/ours %6.2f\n", what, ours, kTargetMs,
              ours > 0 ? kTargetMs / ours : 0.0);
}

double RunUnzip(const QString& zip, const QString& out) {
  QDir(out).removeRecursively();
  QDir().mkpath(out);
  QElapsedTimer t;
  t.start();
  QProcess p;
  p.start(QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("-qq"), zip, QStringLiteral("-d"), out});
  if (!p.waitForFinished(-1) || p.exitCode() != 0) return -1;
  return t.nsecsElapsed() / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int64_t megabytes = argc > 1 ? std::max(1, atoi(argv[1])) : 1024;

  const QString work = QStringLiteral(BENCH_WORK_DIR "/responsive");
  QDir().mkpath(work);
  const QString zip = work + QStringLiteral("/big-%1.zip").arg(megabytes);
  if (!QFileInfo::exists(zip)) {
    const QString src = work + QStringLiteral("/big.bin");
    std::printf("making a %lld MB archive with zip -1 (kept for later runs)...\n", static_cast<long long>(megabytes));
    std::fflush(stdout);
    if (!MakeSource(src, megabytes << 20)) return std::fprintf(stderr, "cannot write %s\n", qPrintable(src)), 1;
    QProcess z;
    z.setWorkingDirectory(work);
    z.start(QStringLiteral("zip"), {QStringLiteral("-q"), QStringLiteral("-1"), zip + ".part", QStringLiteral("big.bin")});
    const bool ok = z.waitForFinished(-1) && z.exitCode() == 0;
    QFile::remove(src);
    if (!ok || !QFile::rename(zip + ".part", zip)) return std::fprintf(stderr, "zip failed\n"), 1;
  }
  const QString out = work + QStringLiteral("/out");
  const QString data = work + QStringLiteral("/data");
  QDir().mkpath(data);
  pf::SetDataFolderOverride(data.toStdString() + "/");

  pf::FakePlatformScope fake;
  DefaultMainSettings settings;
  TMainform f;
  f.SetSettings(&settings);
  f.resize(640, 420);
  f.show();
  f.EnterZipSession(zip);
  if (f.Model().RowCountValue() != 1) return std::fprintf(stderr, "the archive did not list\n"), 1;
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(out);
    d.BitBtn1->click();
  });

  QElapsedTimer clock;
  clock.start();
  RepaintWatch repaints;
  repaints.clock = &clock;
  QWidget* listArea = f.lw_Files->viewport();
  listArea->installEventFilter(&repaints);

  struct Run {
    double seconds = 0;
    Gaps pumps;
    double lateMax = 0;
    double repaintMax = 0;
    long repaintCount = 0;
    double cancelMs = -1;
    bool failed = false;
  };
  auto extract = [&](int64_t cancelAfterMs) {
    Run r;
    QDir(out).removeRecursively();
    QDir().mkpath(out);
    repaints.requestedDue = -1;
    repaints.worstMs = 0;
    repaints.answered = 0;
    // A heartbeat timer stands in for input: how late it fires is how long
    // a click or key would wait.
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    qint64 due = -1;
    beat.setInterval(50);
    QObject::connect(&beat, &QTimer::timeout, [&] {
      const qint64 now = clock.nsecsElapsed();
      if (due >= 0) r.lateMax = std::max(r.lateMax, (now - due) / 1e6);
      if (repaints.requestedDue < 0) {
        repaints.requestedDue = due >= 0 ? due : now;
        listArea->update();
      }
      due = now + 50'000'000;
    });
    qint64 clickDue = -1;
    QTimer cancel;
    cancel.setSingleShot(true);
    cancel.setTimerType(Qt::PreciseTimer);
    QObject::connect(&cancel, &QTimer::timeout, [&] { f.CancelBut->click(); });
    fake.pump.onProcess = [&] {
      r.pumps.Mark(clock.nsecsElapsed());
      QApplication::processEvents();
    };
    fake.dialogs.boxes.clear();
    beat.start();
    const qint64 start = clock.nsecsElapsed();
    if (cancelAfterMs > 0) {
      clickDue = start + cancelAfterMs * 1'000'000;
      cancel.start(static_cast<int>(cancelAfterMs));
    }
    f.Extract1Click();
    const qint64 end = clock.nsecsElapsed();
    beat.stop();
    fake.pump.onProcess = nullptr;
    r.seconds = (end - start) / 1e9;
    r.repaintMax = repaints.worstMs;
    r.repaintCount = repaints.answered;
    if (f.CancelRequested() && clickDue >= 0) r.cancelMs = (end - clickDue) / 1e6;
    if (cancelAfterMs <= 0 && !fake.dialogs.Saw("were extracted")) r.failed = true;
    return r;
  };

  const double unzipSeconds = RunUnzip(zip, out);
  const Run full = extract(0);
  const qint64 bigSize = QFileInfo(out + "/big.bin").size();
  if (full.failed || bigSize != (megabytes << 20)) {
    std::fprintf(stderr, "the extraction did not complete (%lld bytes written)\n", static_cast<long long>(bigSize));
    for (const auto& b : fake.dialogs.boxes) std::fprintf(stderr, "  box: %s\n", b.text.c_str());
    return 1;
  }
  const int64_t cancelAt = std::max<int64_t>(200, static_cast<int64_t>(full.seconds * 1000 / 2));
  const Run stopped = extract(cancelAt);
  QDir(out).removeRecursively();

  std::printf("extracting %s (%lld MB, one entry) through the archive window\n", qPrintable(QFileInfo(zip).fileName()),
              static_cast<long long>(megabytes));
  std::printf("  full run: %.2f s, %zu pump calls, %ld repaints of the file list asked for\n", full.seconds,
              full.pumps.ms.size() + 1, full.repaintCount);
  Row("longest gap between pump calls", full.pumps.Max());
  Row("99th percentile gap between pump calls", full.pumps.Percentile(0.99));
  Row("latest a 50 ms heartbeat timer fired", full.lateMax);
  Row("slowest repaint of the file list", full.repaintMax);
  if (stopped.cancelMs < 0) {
    std::printf("  cancel: the extraction ended before the click at %lld ms\n", static_cast<long long>(cancelAt));
  } else {
    Row("Cancel click until the window is idle", stopped.cancelMs);
    Row("slowest repaint of the file list (cancel run)", stopped.repaintMax);
    Row("longest gap between pump calls (cancel run)", stopped.pumps.Max());
  }
  if (unzipSeconds > 0)
    std::printf("  unzip -o: %.2f s   unzip/ours %.2f\n", unzipSeconds, unzipSeconds / full.seconds);
  else
    std::printf("  unzip did not run\n");
  return 0;
}

// Extracts and tests an archive of many small files (100,000 by default)
// through the archive window and with arkzip on the same archive, in the same
// run, and prints window/arkzip (the target is 1.3 at most) and the ratio to
// Info-ZIP unzip. Both sides use the same engine library with the threads it
// chooses (the output says how many each side was seen with); the window adds its file list, status bar, progress bar
// and message pump (the pump calls really process Qt's events and paint,
// offscreen). Each side runs twice, the order turned round in the second
// round, and the faster run counts.
//
// Every timed extraction follows the removal of the one before it (an
// untimed extraction by arkzip comes first): ext4 passes over inodes freed
// in the last minute or so when it makes a file, so a run that follows the
// removal of 100,000 files pays more than one on a quiet file system,
// whatever program it is, and each run must start from the same state. The
// files are removed while their data are still unwritten (removing them
// once on disk costs a discard per file, minutes for 100,000), and the
// removal is synced before the next run.
//
// Run: build/bin/bench_manyfiles [FILES] [test]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "window/MainSettings.h"
#include "window/extrunit.h"
#include "window/mainunit.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;

namespace {

// 100 folders of small text files (60 to 2,000 bytes), deflated, written by
// Python's zipfile straight into the archive.
bool MakeArchive(const QString& zip, int files) {
  const char* script = R"(
import random, sys, zipfile
path, n = sys.argv[1], int(sys.argv[2])
rnd = random.Random(7)
words = [b"archive", b"folder", b"entry", b"window", b"status", b"panel", b"extract", b"test"]
with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED, compresslevel=6) as z:
    for i in range(n):
        size = rnd.randint(60, 2000)
        data = b" ".join(rnd.choice(words) for _ in range(size // 6))[:size]
        z.writestr("d%03d/file%06d.txt" % (i % 100, i), data)
)";
  QProcess p;
  p.start(QStringLiteral("python3"), {QStringLiteral("-c"), QString::fromUtf8(script), zip, QString::number(files)});
  return p.waitForFinished(-1) && p.exitCode() == 0;
}

// The threads a process has now (0 when it is gone).
int ThreadsOf(qint64 pid) {
  QFile f(QStringLiteral("/proc/%1/status").arg(pid));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  for (const QByteArray& line : f.readAll().split('\n'))
    if (line.startsWith("Threads:")) return line.mid(8).trimmed().toInt();
  return 0;
}

// Seconds the program took, -1 when it failed; the most threads it was seen
// with (looked at every 5 ms) go to peakThreads.
double RunTool(const QString& program, const QStringList& args, int& peakThreads) {
  QElapsedTimer t;
  t.start();
  QProcess p;
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  p.start(program, args);
  while (p.state() != QProcess::NotRunning && !p.waitForFinished(5))
    peakThreads = std::max(peakThreads, ThreadsOf(p.processId()));
  const double s = t.nsecsElapsed() / 1e9;
  if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return -1;
  return s;
}

// The target of the next run: what the last run wrote is removed, the
// removal synced, and the folder made again.
void Fresh(const QString& folder) {
  QDir(folder).removeRecursively();
  QProcess::execute(QStringLiteral("sync"), {});
  QDir().mkpath(folder);
}

// The names of this process's threads ("arkelin-bench, Thread (pooled), ...").
QString ThreadNames() {
  QStringList names;
  for (const QString& task : QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile f(QStringLiteral("/proc/self/task/") + task + QStringLiteral("/comm"));
    if (f.open(QIODevice::ReadOnly)) names << QString::fromUtf8(f.readAll()).trimmed();
  }
  return names.join(QStringLiteral(", "));
}

QString LoadAverage() {
  QFile f(QStringLiteral("/proc/loadavg"));
  if (!f.open(QIODevice::ReadOnly)) return QStringLiteral("?");
  return QString::fromLatin1(f.readAll()).section(u' ', 0, 2);
}

int CountFiles(const QString& folder) {
  QProcess p;
  p.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("find \"$1\" -type f | wc -l"),
                                 QStringLiteral("sh"), folder});
  p.waitForFinished(-1);
  return p.readAllStandardOutput().trimmed().toInt();
}

void Line(const char* what, double window, double arkzip, double unzip) {
  std::printf("  %-8s window %7.2f s   arkzip %7.2f s   unzip %7.2f s   window/arkzip %5.2f   unzip/window %5.2f\n",
              what, window, arkzip, unzip, arkzip > 0 ? window / arkzip : 0.0, window > 0 ? unzip / window : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int files = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
  const QString work = QStringLiteral(BENCH_WORK_DIR "/manyfiles");
  QDir().mkpath(work);
  const QString zip = work + QStringLiteral("/many-%1.zip").arg(files);
  if (!QFileInfo::exists(zip)) {
    std::printf("making an archive of %d small files with Python's zipfile (kept for later runs)...\n", files);
    std::fflush(stdout);
    if (!MakeArchive(zip + ".part", files) || !QFile::rename(zip + ".part", zip))
      return std::fprintf(stderr, "cannot make %s\n", qPrintable(zip)), 1;
  }
  const QString arkzip = QCoreApplication::applicationDirPath() + QStringLiteral("/arkzip");
  const QString out = work + QStringLiteral("/out");
  const QString data = work + QStringLiteral("/data");
  QDir().mkpath(data);
  pf::SetDataFolderOverride(data.toStdString() + "/");
  const QString loadBefore = LoadAverage();

  // Threads the window's command adds to its process (0: the work runs on
  // the calling thread), and the most each tool was seen with.
  int windowAdded = 0, windowBase = 0, arkzipThreads = 0, unzipThreads = 0;
  QString windowNames;  // the window's threads when the most were seen
  pf::FakePlatformScope fake;
  fake.pump.onProcess = [&] {
    const int added = ThreadsOf(QCoreApplication::applicationPid()) - windowBase;
    if (added > windowAdded) windowAdded = added, windowNames = ThreadNames();
    QApplication::processEvents();
  };
  DefaultMainSettings settings;
  TMainform f;
  f.SetSettings(&settings);
  f.resize(700, 460);
  f.show();
  QElapsedTimer listing;
  listing.start();
  f.EnterZipSession(zip);
  const double listSeconds = listing.nsecsElapsed() / 1e9;
  if (f.Model().RowCountValue() != files) return std::fprintf(stderr, "the archive did not list\n"), 1;
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(out);
    d.RadioGroup1->SetItemIndex(1);  // with folder names
    d.RadioGroup2->SetItemIndex(1);  // overwrite
    d.BitBtn1->click();
  });
  auto windowRun = [&](bool test) {
    if (!test) Fresh(out);
    fake.dialogs.boxes.clear();
    QApplication::processEvents();
    windowBase = ThreadsOf(QCoreApplication::applicationPid());
    QElapsedTimer t;
    t.start();
    if (test)
      f.Test1Click();
    else
      f.Extract1Click();
    const double s = t.nsecsElapsed() / 1e9;
    const bool ok = test ? fake.dialogs.Saw(QStringLiteral("All %1 files tested OK").arg(files).toStdString())
                         : fake.dialogs.Saw(QStringLiteral("%1 file(s) were extracted").arg(files).toStdString());
    if (!ok) {
      for (const auto& b : fake.dialogs.boxes) std::fprintf(stderr, "  box: %s\n", b.text.c_str());
      return -1.0;
    }
    if (!test && CountFiles(out) != files) {
      std::fprintf(stderr, "the window wrote the wrong number of files\n");
      return -1.0;
    }
    return s;
  };
  auto arkzipExtract = [&] {
    Fresh(out);
    return RunTool(arkzip, {QStringLiteral("extract"), zip, QStringLiteral("--dir"), out,
                            QStringLiteral("--dirnames"), QStringLiteral("--overwrite")}, arkzipThreads);
  };
  auto best = [](double a, double b) { return a < 0 || b < 0 ? -1 : std::min(a, b); };

  double wx = 1e9, ax = 1e9, ux = 1e9, wt = 1e9, at = 1e9, ut = 1e9;
  // "test" as the second argument: only the test runs.
  const bool testOnly = argc > 2 && QByteArray(argv[2]) == "test";
  if (!testOnly) {
    int unused = 0;
    Fresh(out);
    RunTool(arkzip, {QStringLiteral("extract"), zip, QStringLiteral("--dir"), out, QStringLiteral("--dirnames"),
                     QStringLiteral("--overwrite")}, unused);
  }
  for (int round = 0; round < 2; ++round) {
    const bool windowFirst = round == 1;
    if (!testOnly) {
      if (windowFirst) wx = best(wx, windowRun(false));
      ax = best(ax, arkzipExtract());
      if (!windowFirst) wx = best(wx, windowRun(false));
      Fresh(out);
      ux = best(ux, RunTool(QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("-qq"), zip,
                                                      QStringLiteral("-d"), out}, unzipThreads));
    }
    if (windowFirst) wt = best(wt, windowRun(true));
    at = best(at, RunTool(arkzip, {QStringLiteral("test"), zip}, arkzipThreads));
    if (!windowFirst) wt = best(wt, windowRun(true));
    ut = best(ut, RunTool(QStringLiteral("unzip"), {QStringLiteral("-tqq"), zip}, unzipThreads));
  }
  const QString loadAfter = LoadAverage();
  if (wx < 0 || ax < 0 || wt < 0 || at < 0) {
    QDir(out).removeRecursively();
    return std::fprintf(stderr, "a run failed\n"), 1;
  }
  std::printf("%d small files (%s, %.1f MB); best of two runs, the order turned round in the second\n", files,
              qPrintable(QFileInfo(zip).fileName()), QFileInfo(zip).size() / 1e6);
  std::printf("  threads: the window's command on %d (its calling thread and %d more), arkzip %d, unzip %d\n",
              1 + windowAdded, windowAdded, arkzipThreads, unzipThreads);
  if (windowAdded > 0) std::printf("  the window's process then: %s\n", qPrintable(windowNames));
  std::printf("  load average before %s, after %s (%u cores)\n", qPrintable(loadBefore), qPrintable(loadAfter),
              std::thread::hardware_concurrency());
  std::printf("  the window listed the archive in %.2f s\n", listSeconds);
  if (!testOnly) Line("extract", wx, ax, ux);
  Line("test", wt, at, ut);
  std::printf("  target: window/arkzip at most 1.30\n");
  std::fflush(stdout);
  QDir(out).removeRecursively();
  return 0;
}

// Extracts and tests an archive of many small files (100,000 by default)
// through the archive window and with arkzip on the same archive, in the same
// run, and prints window/arkzip (the target is 1.3 at most) and the ratio to
// Info-ZIP unzip. Both sides use the same engine library on one thread; the
// window adds its file list, status bar, progress bar and message pump (the
// pump calls really process Qt's events and paint, offscreen). Each side runs
// twice, alternating, and the faster run counts.
//
// Run: build/bin/bench_manyfiles [FILES]
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QPushButton>

#include <algorithm>
#include <cstdio>

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

double RunTool(const QString& program, const QStringList& args) {
  QElapsedTimer t;
  t.start();
  QProcess p;
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  p.start(program, args);
  if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) return -1;
  return t.nsecsElapsed() / 1e9;
}

// An empty target, with the removal of the last run's files written out
// first, so that no run pays for the one before it.
void Fresh(const QString& folder) {
  QDir(folder).removeRecursively();
  QDir().mkpath(folder);
  QProcess::execute(QStringLiteral("sync"), {});
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

  pf::FakePlatformScope fake;
  fake.pump.onProcess = [] { QApplication::processEvents(); };
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
    return s;
  };
  auto best = [](double a, double b) { return a < 0 || b < 0 ? -1 : std::min(a, b); };

  double wx = 1e9, ax = 1e9, ux = 1e9, wt = 1e9, at = 1e9, ut = 1e9;
  // "test" as the second argument: only the test runs.
  const bool testOnly = argc > 2 && QByteArray(argv[2]) == "test";
  for (int round = 0; round < 2; ++round) {
    if (!testOnly) {
      Fresh(out);
      ax = best(ax, RunTool(arkzip, {QStringLiteral("extract"), zip, QStringLiteral("--dir"), out,
                                     QStringLiteral("--dirnames"), QStringLiteral("--overwrite")}));
      wx = best(wx, windowRun(false));
      if (round == 0 && CountFiles(out) != files)
        return std::fprintf(stderr, "the window wrote the wrong number of files\n"), 1;
      Fresh(out);
      ux = best(ux, RunTool(QStringLiteral("unzip"), {QStringLiteral("-o"), QStringLiteral("-qq"), zip,
                                                      QStringLiteral("-d"), out}));
      Fresh(out);
    }
    at = best(at, RunTool(arkzip, {QStringLiteral("test"), zip}));
    wt = best(wt, windowRun(true));
    ut = best(ut, RunTool(QStringLiteral("unzip"), {QStringLiteral("-tqq"), zip}));
  }
  QDir(out).removeRecursively();
  if (wx < 0 || ax < 0 || wt < 0 || at < 0) return std::fprintf(stderr, "a run failed\n"), 1;
  std::printf("%d small files (%s, %.1f MB); one thread on each side; best of two runs\n", files,
              qPrintable(QFileInfo(zip).fileName()), QFileInfo(zip).size() / 1e6);
  std::printf("  the window listed the archive in %.2f s\n", listSeconds);
  if (!testOnly) Line("extract", wx, ax, ux);
  Line("test", wt, at, ut);
  std::printf("  target: window/arkzip at most 1.30\n");
  return 0;
}

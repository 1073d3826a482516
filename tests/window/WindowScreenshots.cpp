// Pictures of the archive window for checking by eye (not a test):
//   arkelin_window_pictures progress ARCHIVE OUT   three grabs during a long
//       extraction of ARCHIVE (the bar and the status texts moving);
//   arkelin_window_pictures first ARCHIVE OUT      the first window at its
//       default size with ARCHIVE listed (NAME picks the file name).
// Run offscreen or under a virtual display; QT_SCALE_FACTOR=2 gives the
// scaled window, ARKELIN_PICTURE_NAME the picture's file name,
// ARKELIN_PICTURE_PALETTE=dark the window under a dark desktop palette
// (or, with nothing set here, QT_QPA_PLATFORMTHEME=qt6ct and an
// $XDG_CONFIG_HOME/qt6ct/qt6ct.conf naming a dark colour scheme: the
// palette a platform theme gives).
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QThread>
#include <QTimer>

#include <cstdio>

#include "DarkPalette_p.h"
#include "platform/qt/QtPlatform.h"
#include "window/MainSettings.h"
#include "window/extrunit.h"
#include "window/mainunit.h"
#include "PictureTools.h"

using namespace arkelin::window;

namespace {

QString PictureName(const QString& fallback) {
  const QString n = qEnvironmentVariable("ARKELIN_PICTURE_NAME");
  return n.isEmpty() ? fallback : n;
}

}  // namespace

int main(int argc, char** argv) {
  PictureApp app(argc, argv);
  if (qEnvironmentVariable("ARKELIN_PICTURE_PALETTE") == QStringLiteral("dark"))
    QApplication::setPalette(DarkDesktopPalette());
  if (argc < 4) return 2;
  const QString mode = QString::fromLocal8Bit(argv[1]);
  const QString archive = QString::fromLocal8Bit(argv[2]);
  const QString out = QString::fromLocal8Bit(argv[3]);
  QDir().mkpath(out);
  DefaultMainSettings settings;
  settings.promptAfterExtracted = false;
  TMainform f;
  f.SetSettings(&settings);
  if (mode == QStringLiteral("first")) {
    f.show();
    f.EnterZipSession(archive);
    Settle(300);
    f.grab().save(out + "/" + PictureName(QStringLiteral("first-window.png")));
    return 0;
  }
  f.show();
  f.EnterZipSession(archive);
  Settle(300);
  const QString target = QDir::tempPath() + QStringLiteral("/arkelin-pictures-out");
  QDir(target).removeRecursively();
  QDir().mkpath(target);
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(target);
    d.RadioGroup2->SetItemIndex(1);  // overwrite
    d.BitBtn1->click();
  });
  // Grabs from inside the extraction: the timer fires when the window
  // lets events run.
  int shot = 0;
  QTimer grabber;
  grabber.setInterval(qEnvironmentVariableIntValue("ARKELIN_PICTURE_MS") > 0
                          ? qEnvironmentVariableIntValue("ARKELIN_PICTURE_MS")
                          : 400);
  QObject::connect(&grabber, &QTimer::timeout, [&] {
    if (shot >= 3 || !f.ProgressBar1->isVisible()) return;
    ++shot;
    f.grab().save(out + QStringLiteral("/extracting-%1.png").arg(shot));
    std::printf("picture %d: bar at %d of %d, \"%s\"\n", shot, f.ProgressBar1->value(), f.ProgressBar1->maximum(),
                qPrintable(f.Panel4->text()));
  });
  grabber.start();
  f.Extract1Click();
  QDir(target).removeRecursively();
  return shot > 0 ? 0 : 1;
}

// A picture of the configuration window's "User Interface" page with a colour
// of the user's chosen (so "Desktop color" beside the swatch is offered), for
// checking by eye: run it offscreen or under a virtual display with an output
// folder ("arkelin_settings_pictures out/"). It reads an Arkelin.ini of its
// own from a temporary data folder. Not a test.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "platform/Paths.h"
#include "platform/qt/QtPlatform.h"
#include "settings/u_settings.h"
#include "PictureTools.h"

using namespace arkelin;

int main(int argc, char** argv) {
  PictureApp app(argc, argv);
  if (argc < 2) return 2;
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  QTemporaryDir data;
  platform::SetDataFolderOverride(data.path().toStdString() + "/");
  QFile ini(data.path() + QStringLiteral("/Arkelin.ini"));
  if (!ini.open(QIODevice::WriteOnly)) return 1;
  ini.write("[COLOR]\nWINDOW=13172735\n");  // light yellow, 0x00C8FFFF
  ini.close();

  settings::TF_Settings s;
  s.FormCreate();
  s.PageControl1->setCurrentIndex(0);
  s.show();
  Settle();
  const bool saved = s.grab().save(out + QStringLiteral("/configuration-user-interface.png"));
  platform::SetDataFolderOverride("");
  return saved ? 0 : 1;
}

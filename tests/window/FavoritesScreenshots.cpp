// Pictures of the favourites window (after a sort by size), the install
// program chooser and the install window, for checking by eye: run it under a
// virtual display or offscreen with an output folder
// ("arkelin_favorites_screenshots out/"). It writes a favourites list of its
// own into a temporary write folder. Not a test.
#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QThread>

#include "platform/Paths.h"
#include "platform/qt/QtPlatform.h"
#include "settings/Favorites.h"
#include "settings/U_Favorites.h"
#include "shared/widgets/SortGrid.h"
#include "window/U_FileToInstall.h"
#include "window/U_Install.h"
#include "PictureTools.h"

using namespace arkelin;

int main(int argc, char** argv) {
  PictureApp app(argc, argv);
  if (argc < 2) return 2;
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);
  QTemporaryDir data;
  platform::SetDataFolderOverride(data.path().toStdString() + "/");
  settings::TFavorites list;
  list.Load();
  list.Append({"/home/user/Downloads/backup-2024.zip", "3/14/24", "1048576"});
  list.Append({"/home/user/projects/site;old.zip", "12/2/23", "52311"});
  list.Append({"/srv/archive/photos.zip", "1/9/24", "734003200"});
  list.Save();
  list.Load();
  settings::TF_Favorites fav(list, QColor(Qt::white));
  fav.show();
  Settle();
  fav.StringGrid1->SortByColumn(2, {});
  fav.StringGrid1->SetCurrent(0, 2);
  fav.RowClick(2);
  Settle();
  fav.grab().save(out + "/favorites-window.png");

  window::TF_FileToInstall chooser({"disk1\\setup.exe", "tools\\linux\\install.sh", "setup.exe"}, QColor(Qt::white));
  chooser.show();
  Settle();
  chooser.grab().save(out + "/install-chooser.png");

  window::TF_Install inst(QStringLiteral("install.sh"), QDir::tempPath() + QStringLiteral("/arkelin-temp"));
  inst.show();
  Settle();
  inst.grab().save(out + "/install-window.png");
  platform::SetDataFolderOverride("");
  return 0;
}

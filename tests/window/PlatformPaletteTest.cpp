// The window under a palette a real platform theme gives: qt6ct with its
// "darker" colour scheme, set up in a configuration folder of the test's own
// before the application starts (a platform theme is chosen only then). The
// list and the toolbar take the theme's colours with nothing set by hand.
// Skipped where the theme is not installed.
#include <QtTest>

#include <QApplication>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

#include "QtTestFiles.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "settings/u_settings.h"
#include "shared/widgets/ListColors.h"
#include "window/SettingsView.h"
#include "window/WindowImages.h"
#include "window/mainunit.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;
namespace sh = arkelin::shared;

namespace {

const char* const kScheme = "/usr/share/qt6ct/colors/darker.conf";

QImage Pixels(const QPixmap& p) { return p.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied); }

}  // namespace

class PlatformPaletteTest : public QObject {
  Q_OBJECT
 public:
  bool themed = false;

 private slots:
  void theListAndTheToolbarTakeTheThemesDarkPalette() {
    if (!themed) QSKIP("the qt6ct platform theme or its colour schemes are not installed");
    const QPalette given = QApplication::palette();
    // The scheme's ground and text, as the theme hands them over: its
    // active colours are listed in the order of the palette's roles.
    QSettings scheme(QString::fromLatin1(kScheme), QSettings::IniFormat);
    const QStringList active = scheme.value("ColorScheme/active_colors").toStringList();
    QVERIFY(active.size() > QPalette::Base);
    QCOMPARE(given.color(QPalette::Base), QColor(active[QPalette::Base].trimmed()));
    QCOMPARE(given.color(QPalette::Text), QColor(active[QPalette::Text].trimmed()));
    QTemporaryDir data;
    pf::SetDataFolderOverride(data.path().toStdString() + "/");
    pf::FakePlatformScope fake;
    {
      TMainform f;
      arkelin::settings::TF_Settings settings;
      settings.AttachMainWindow(&f, f.lw_Files);
      SettingsView view(settings);
      settings.FormCreate();
      f.SetSettings(&view);
      const QColor ground = f.lw_Files->viewport()->palette().color(QPalette::Base);
      const QColor ink = f.lw_Files->palette().color(QPalette::Text);
      QCOMPARE(ground, given.color(QPalette::Base));
      QCOMPARE(ink, given.color(QPalette::Text));
      QVERIFY(sh::ContrastRatio(ground, ink) >= sh::kReadableContrast);
      QVERIFY(DarkGround(f.palette()));
      QCOMPARE(Pixels(f.bu_Extract->icon().pixmap(QSize(32, 32), 1.0)), Pixels(QPixmap(":/window/dark_off_extract.png")));
    }
    pf::SetDataFolderOverride("");
  }
};

int main(int argc, char** argv) {
  // The theme reads its settings from $XDG_CONFIG_HOME/qt6ct/qt6ct.conf.
  QTemporaryDir config;
  const bool haveScheme = QFile::exists(QString::fromLatin1(kScheme));
  if (haveScheme) {
    QDir().mkpath(config.path() + "/qt6ct");
    QFile conf(config.path() + "/qt6ct/qt6ct.conf");
    if (conf.open(QIODevice::WriteOnly))
      conf.write(QByteArray("[Appearance]\ncustom_palette=true\ncolor_scheme_path=") + kScheme + "\nstyle=Fusion\n");
    conf.close();
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("QT_QPA_PLATFORMTHEME", "qt6ct");
  }
  QApplication app(argc, argv);
  PlatformPaletteTest test;
  // A theme that did not load leaves the light default.
  test.themed = haveScheme && QApplication::palette().color(QPalette::Base).lightness() < 128;
  return QTest::qExec(&test, argc, argv);
}

#include "PlatformPaletteTest.moc"

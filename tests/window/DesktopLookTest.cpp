// How the archive window looks on the desktop it runs on: the file list
// follows a dark or light application palette (also when it changes while
// the window is open) unless the user chose a colour, which is kept with
// text that reads on it; the other lists do the same; and the toolbar's
// images offer pixels of their own on a screen scaled by two. Offscreen,
// with the real configuration window reading an Arkelin.ini of the test's.
#include <QtTest>

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QTemporaryDir>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <optional>

#include <memory>

#include "DarkPalette_p.h"
#include "QtTestFiles.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "settings/Favorites.h"
#include "settings/IniFile.h"
#include "settings/U_Favorites.h"
#include "shared/widgets/SortGrid.h"
#include "settings/u_settings.h"
#include "shared/widgets/ListColors.h"
#include "window/SettingsView.h"
#include "window/WindowImages.h"
#include "window/mainunit.h"
#include "SessionTestBase.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;
namespace sh = arkelin::shared;

namespace {

// The list's colours as it paints them (its viewport draws the ground).
QColor Ground(const QTableView* v) { return v->viewport()->palette().color(QPalette::Active, QPalette::Base); }
QColor Ink(const QTableView* v) { return v->palette().color(QPalette::Active, QPalette::Text); }

// A picture's pixels in one format (the images have half-transparent edges).
QImage Pixels(const QPixmap& p) { return p.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied); }

// An image enlarged from one of half its size repeats each pixel in 2 x 2
// blocks; one drawn at its size does not.
bool HasDetailFinerThanTwoPixels(const QImage& img) {
  for (int y = 0; y + 1 < img.height(); y += 2)
    for (int x = 0; x + 1 < img.width(); x += 2) {
      const QRgb a = img.pixel(x, y);
      if (img.pixel(x + 1, y) != a || img.pixel(x, y + 1) != a || img.pixel(x + 1, y + 1) != a) return true;
    }
  return false;
}

}  // namespace

class DesktopLookTest : public SessionTestBase {
  Q_OBJECT
 private:
  QPalette light_;

  // The window as the program builds it: the configuration window attached
  // to the list, reading COLOR WINDOW from the ini (empty: the default).
  struct Program {
    TMainform form;
    arkelin::settings::TF_Settings settings;
    std::unique_ptr<SettingsView> view;
    Program() {
      settings.AttachMainWindow(&form, form.lw_Files);
      view = std::make_unique<SettingsView>(settings);
      settings.FormCreate();
      form.SetSettings(view.get());
    }
  };
  void WriteColour(const QString& value) {
    WriteFile(dir_->path() + "/Arkelin.ini", value.isEmpty() ? QByteArray() : ("[COLOR]\nWINDOW=" + value.toLatin1() + "\n"));
  }

 private slots:
  void initTestCase() { light_ = QApplication::palette(); }
  void init() {
    QVERIFY(StartSession());
    QApplication::setPalette(light_);
  }
  void cleanup() {
    QApplication::setPalette(light_);
    EndSession();
  }

  void contrastIsMeasuredByLuminance() {
    QCOMPARE(qRound(sh::ContrastRatio(Qt::black, Qt::white) * 100), 2100);
    QCOMPARE(sh::ContrastRatio(QColor(10, 200, 30), QColor(10, 200, 30)), 1.0);
    QCOMPARE(sh::ContrastRatio(Qt::white, Qt::black), sh::ContrastRatio(Qt::black, Qt::white));
    // Green weighs far more than blue: pure blue on black reads poorly.
    QVERIFY(sh::ContrastRatio(Qt::blue, Qt::black) < 3.0);
    QVERIFY(sh::ContrastRatio(Qt::green, Qt::black) > 15.0);
    // Text that reads is kept; text that does not becomes black or white.
    QCOMPARE(sh::ReadableTextOn(Qt::white, QColor(64, 64, 64)), QColor(64, 64, 64));
    QCOMPARE(sh::ReadableTextOn(QColor(255, 255, 200), QColor(0xEE, 0xEE, 0xEE)), QColor(Qt::black));
    QCOMPARE(sh::ReadableTextOn(QColor(0, 0, 128), Qt::black), QColor(Qt::white));
    QCOMPARE(sh::ReadableTextOn(QColor(0, 255, 255), Qt::white), QColor(Qt::black));  // the footer's aqua
    QCOMPARE(sh::ReadableTextOn(QColor(90, 90, 90), QColor()), QColor(Qt::white));
  }

  void theDefaultColourFollowsTheDesktopPalette() {
    WriteColour({});
    Program p;
    QTableView* list = p.form.lw_Files;
    QCOMPARE(Ground(list), light_.color(QPalette::Base));
    // The desktop turns dark while the window is open.
    const QPalette dark = DarkDesktopPalette();
    QApplication::setPalette(dark);
    QApplication::processEvents();
    QCOMPARE(Ground(list), dark.color(QPalette::Base));
    QCOMPARE(Ink(list), dark.color(QPalette::Text));
    // The configuration's swatch shows the desktop's colour it stands for.
    QCOMPARE(p.settings.pa_WindowColor->palette().color(QPalette::Window), dark.color(QPalette::Base));
    QVERIFY(sh::ContrastRatio(Ground(list), Ink(list)) >= sh::kReadableContrast);
    // And light again.
    QApplication::setPalette(light_);
    QApplication::processEvents();
    QCOMPARE(Ground(list), light_.color(QPalette::Base));
    QCOMPARE(Ink(list), light_.color(QPalette::Text));
    // Started under the dark palette, the same.
    QApplication::setPalette(dark);
    Program q;
    QCOMPARE(Ground(q.form.lw_Files), dark.color(QPalette::Base));
    QCOMPARE(Ink(q.form.lw_Files), dark.color(QPalette::Text));
    // The configuration's own preview reads the same value.
    QVERIFY(!q.view->WindowColor().isValid());
  }

  void aCancelledColourStaysOutOfTheListWhenThePaletteChanges() {
    WriteColour({});
    Program p;
    QTableView* list = p.form.lw_Files;
    p.settings.pa_WindowColor->SetColor(0x00C8FFFF);
    p.settings.bu_CancelClick();
    // Recoloured only by the configuration's load, not by a palette change.
    QApplication::setPalette(DarkDesktopPalette());
    QApplication::processEvents();
    QCOMPARE(Ground(list), DarkDesktopPalette().color(QPalette::Base));
    // Confirmed, it shows.
    p.settings.bu_OkClick();
    QCOMPARE(Ground(list), QColor(255, 255, 200));
    QVERIFY(sh::ContrastRatio(Ground(list), Ink(list)) >= sh::kReadableContrast);
  }

  // The configuration window run as the command runs it (modally); `steps`
  // work its controls once it shows. It is closed if they leave it open.
  static int RunConfiguration(arkelin::settings::TF_Settings& s, const std::function<void()>& steps) {
    QTimer::singleShot(0, &s, [&s, steps] {
      steps();
      if (s.isVisible()) s.reject();
    });
    return s.Execute();
  }
  int32_t StoredColour() const {
    return arkelin::settings::TIniFile((dir_->path() + "/Arkelin.ini").toStdString()).ReadInteger("COLOR", "WINDOW", 0);
  }
  // Picks light yellow in the colour dialog and confirms with OK.
  void ChooseYellow(Program& p) {
    p.settings.ChooseColor = [](const QColor&) -> std::optional<QColor> { return QColor(255, 255, 200); };
    QCOMPARE(RunConfiguration(p.settings, [&] {
               QTest::mouseClick(p.settings.pa_WindowColor, Qt::LeftButton);
               p.settings.bu_Ok->click();
             }),
             int(QDialog::Accepted));
    QCOMPARE(StoredColour(), 0x00C8FFFF);
    QCOMPARE(Ground(p.form.lw_Files), QColor(255, 255, 200));
  }
  static QPushButton* DesktopColourButton(arkelin::settings::TF_Settings& s) {
    return s.findChild<QPushButton*>(QStringLiteral("bu_DesktopColor"));
  }

  void theDesktopColourCanBeChosenAgain() {
    WriteColour({});
    Program p;
    QTableView* list = p.form.lw_Files;
    QPushButton* desktop = DesktopColourButton(p.settings);
    QVERIFY(desktop);
    QCOMPARE(desktop->text(), QString("Desktop color"));
    QVERIFY(!desktop->isEnabled());  // nothing to go back from yet
    ChooseYellow(p);
    QVERIFY(desktop->isEnabled());
    QCOMPARE(RunConfiguration(p.settings, [&] {
               QTest::mouseClick(desktop, Qt::LeftButton);
               p.settings.bu_Ok->click();
             }),
             int(QDialog::Accepted));
    // The default is stored again, and the list takes the palette's colours.
    QCOMPARE(StoredColour(), arkelin::settings::clWindow);
    QVERIFY(!desktop->isEnabled());
    QVERIFY(!p.view->WindowColor().isValid());  // what the other lists are given
    QCOMPARE(Ground(list), light_.color(QPalette::Base));
    const QPalette dark = DarkDesktopPalette();
    QApplication::setPalette(dark);
    QApplication::processEvents();
    QCOMPARE(Ground(list), dark.color(QPalette::Base));
    QCOMPARE(Ink(list), dark.color(QPalette::Text));
    QCOMPARE(p.settings.pa_WindowColor->palette().color(QPalette::Window), dark.color(QPalette::Base));
    // The next start reads the default too.
    Program q;
    QCOMPARE(Ground(q.form.lw_Files), dark.color(QPalette::Base));
    QVERIFY(fake_->dialogs.boxes.empty());
  }

  void cancelKeepsTheChosenColourOverTheDesktops() {
    WriteColour({});
    Program p;
    QTableView* list = p.form.lw_Files;
    ChooseYellow(p);
    QPushButton* desktop = DesktopColourButton(p.settings);
    QVERIFY(desktop);
    QCOMPARE(RunConfiguration(p.settings, [&] {
               QTest::mouseClick(desktop, Qt::LeftButton);
               p.settings.bu_Cancel->click();
             }),
             int(QDialog::Rejected));
    QCOMPARE(StoredColour(), 0x00C8FFFF);
    QApplication::setPalette(DarkDesktopPalette());
    QApplication::processEvents();
    QCOMPARE(Ground(list), QColor(255, 255, 200));
    // (The swatch keeps the edit, as every control does after Cancel; only
    // "&Ok" stores it.) The next start reads the chosen colour.
    Program q;
    QCOMPARE(Ground(q.form.lw_Files), QColor(255, 255, 200));
    QVERIFY(fake_->dialogs.boxes.empty());
  }

  void aChosenColourStaysWithTextThatReadsOnIt_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QColor>("colour");
    QTest::addColumn<bool>("darkDesktop");
    // Stored as 0x00BBGGRR.
    QTest::newRow("light yellow, dark desktop") << QString::number(0x00C8FFFF) << QColor(255, 255, 200) << true;
    QTest::newRow("navy, light desktop") << QString::number(0x00800000) << QColor(0, 0, 128) << false;
    QTest::newRow("white, dark desktop") << QString::number(0x00FFFFFF) << QColor(255, 255, 255) << true;
  }
  void aChosenColourStaysWithTextThatReadsOnIt() {
    QFETCH(QString, stored);
    QFETCH(QColor, colour);
    QFETCH(bool, darkDesktop);
    if (darkDesktop) QApplication::setPalette(DarkDesktopPalette());
    WriteColour(stored);
    Program p;
    QTableView* list = p.form.lw_Files;
    QCOMPARE(Ground(list), colour);
    QVERIFY2(sh::ContrastRatio(Ground(list), Ink(list)) >= sh::kReadableContrast, qPrintable(Ink(list).name()));
    // The desktop switches: the colour stays, the text still reads.
    QApplication::setPalette(darkDesktop ? light_ : DarkDesktopPalette());
    QApplication::processEvents();
    QCOMPARE(Ground(list), colour);
    QVERIFY2(sh::ContrastRatio(Ground(list), Ink(list)) >= sh::kReadableContrast, qPrintable(Ink(list).name()));
    QCOMPARE(p.view->WindowColor(), colour);
  }

  void theOtherListsFollowTheSameRule() {
    QApplication::setPalette(DarkDesktopPalette());
    arkelin::settings::TFavorites favourites;
    {
      arkelin::settings::TF_Favorites w(favourites, QColor());
      QCOMPARE(w.StringGrid1->viewport()->palette().color(QPalette::Base), DarkDesktopPalette().color(QPalette::Base));
    }
    arkelin::settings::TF_Favorites w(favourites, QColor(255, 255, 200));
    QCOMPARE(w.StringGrid1->viewport()->palette().color(QPalette::Base), QColor(255, 255, 200));
    QVERIFY(sh::ContrastRatio(QColor(255, 255, 200), w.StringGrid1->palette().color(QPalette::Text)) >=
            sh::kReadableContrast);
  }

  void toolbarImagesHaveTheirOwnPixelsAtTwiceTheSize_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("image");
    for (const char* b : {"open", "new", "run", "view", "add", "extract", "delete", "quit"})
      QTest::newRow(b) << QString::fromLatin1(b) << QString::fromLatin1(b);
  }
  void toolbarImagesHaveTheirOwnPixelsAtTwiceTheSize() {
    QFETCH(QString, image);
    for (bool darkGround : {false, true}) {
      const QString prefix = darkGround ? ":/window/dark_" : ":/window/";
      const QIcon icon = ToolbarIcon(image, darkGround);
      const QImage small(prefix + "off_" + image + ".png");
      QCOMPARE(small.size(), QSize(32, 32));
      for (QIcon::Mode mode : {QIcon::Normal, QIcon::Active, QIcon::Disabled}) {
        const QPixmap one = icon.pixmap(QSize(32, 32), 1.0, mode);
        QCOMPARE(one.size(), QSize(32, 32));
        const QPixmap two = icon.pixmap(QSize(32, 32), 2.0, mode);
        QCOMPARE(two.size(), QSize(64, 64));
        QCOMPARE(two.devicePixelRatio(), 2.0);
        QCOMPARE(two.deviceIndependentSize(), QSizeF(32, 32));
        const QImage big = two.toImage().convertToFormat(QImage::Format_ARGB32);
        const QImage s = one.toImage().convertToFormat(QImage::Format_ARGB32);
        QVERIFY(HasDetailFinerThanTwoPixels(big));
        QVERIFY(big != s.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::FastTransformation));
        QVERIFY(big != s.scaled(64, 64, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
      }
      // Under the mouse the coloured image, at either size.
      const QString on = prefix + "on_" + image;
      QCOMPARE(Pixels(icon.pixmap(QSize(32, 32), 2.0, QIcon::Active)), Pixels(QPixmap(on + "@2x.png")));
      QCOMPARE(Pixels(icon.pixmap(QSize(32, 32), 1.0, QIcon::Active)), Pixels(QPixmap(on + ".png")));
      QCOMPARE(Pixels(icon.pixmap(QSize(32, 32), 1.0, QIcon::Normal)), Pixels(QPixmap(prefix + "off_" + image + ".png")));
    }
    // The dark ground's images are lighter where they are drawn: their
    // edges do not vanish into a dark toolbar.
    auto meanLightness = [](const QImage& img) {
      double sum = 0;
      int n = 0;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
          if (qAlpha(img.pixel(x, y)) > 0) {
            sum += QColor(img.pixel(x, y)).lightnessF();
            ++n;
          }
      return n ? sum / n : 0.0;
    };
    // (An image without edges, like Delete's cross, keeps its colours under
    // the mouse.)
    QVERIFY(meanLightness(QImage(":/window/dark_off_" + image + "@2x.png")) >
            meanLightness(QImage(":/window/off_" + image + "@2x.png")));
    QVERIFY(meanLightness(QImage(":/window/dark_on_" + image + "@2x.png")) >=
            meanLightness(QImage(":/window/on_" + image + "@2x.png")));
  }

  void theButtonsTakeTheImagesForTheDesktopsGround() {
    TMainform f;
    const QImage light = Pixels(QPixmap(":/window/off_open.png"));
    const QImage dark = Pixels(QPixmap(":/window/dark_off_open.png"));
    QCOMPARE(Pixels(f.bu_Open->icon().pixmap(QSize(32, 32), 1.0)), light);
    QApplication::setPalette(DarkDesktopPalette());
    QApplication::processEvents();
    QCOMPARE(Pixels(f.bu_Open->icon().pixmap(QSize(32, 32), 1.0)), dark);
    QCOMPARE(f.bu_Open->icon().pixmap(QSize(32, 32), 2.0).size(), QSize(64, 64));
    QApplication::setPalette(light_);
    QApplication::processEvents();
    QCOMPARE(Pixels(f.bu_Close->icon().pixmap(QSize(32, 32), 1.0)), Pixels(QPixmap(":/window/off_quit.png")));
    // Started under the dark palette, the same.
    QApplication::setPalette(DarkDesktopPalette());
    TMainform g;
    QCOMPARE(Pixels(g.bu_Open->icon().pixmap(QSize(32, 32), 1.0)), dark);
  }

  void theWindowsButtonsAndFileTypeImagesCarryBothSizes() {
    TMainform f;
    for (QToolButton* b : {f.bu_Open, f.bu_New, f.bu_run, f.bu_View, f.bu_Add, f.bu_Extract, f.bu_Delete, f.bu_Close}) {
      QVERIFY(b);
      QVERIFY(b->icon().availableSizes().contains(QSize(64, 64)));
      QCOMPARE(b->icon().pixmap(b->iconSize(), 2.0).size(), QSize(64, 64));
    }
    const QIcon small = FileTypeImage("small_default", 16);
    QCOMPARE(Pixels(small.pixmap(QSize(16, 16), 2.0)), Pixels(QPixmap(":/window/small_default@2x.png")));
    QCOMPARE(FileTypeImage("large_exe", 32).pixmap(QSize(32, 32), 2.0).size(), QSize(64, 64));
  }
};

QTEST_MAIN(DesktopLookTest)
#include "DesktopLookTest.moc"

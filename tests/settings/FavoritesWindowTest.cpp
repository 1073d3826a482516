// The favourites window offscreen: its grid, the rows after sorting, the
// status line, opening, removing, and the buttons and keys that close it.
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "settings/Favorites.h"
#include "settings/U_Favorites.h"
#include "shared/widgets/SortGrid.h"
#include "SessionTestBase.h"

using arkelin::settings::TF_Favorites;
using arkelin::settings::TFavorite;
using arkelin::settings::TFavorites;
namespace pf = arkelin::platform;

class FavoritesWindowTest : public SessionTestBase {
  Q_OBJECT


  std::string FileText() const {
    std::ifstream in(dir_->path().toStdString() + "/Favorites.lst", std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  static TFavorites With(std::initializer_list<TFavorite> items) {
    TFavorites f;
    f.Load();
    for (const auto& i : items) f.Append(i);
    f.Save();
    f.Load();
    return f;
  }
  // Press, release, double-click, release, as the window system delivers them.
  static void DoubleClick(QWidget* w, QPoint pos) {
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                           QEvent::MouseButtonRelease}) {
      const bool down = t != QEvent::MouseButtonRelease;
      QMouseEvent e(t, QPointF(pos), w->mapToGlobal(QPointF(pos)), Qt::LeftButton,
                    down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QApplication::sendEvent(w, &e);
    }
  }
  static void ClickHeader(arkelin::shared::TSortGrid* g, int col, Qt::MouseButton b) {
    QHeaderView* h = g->horizontalHeader();
    QTest::mouseClick(h->viewport(), b, {}, QPoint(h->sectionViewportPosition(col) + 5, h->height() / 2));
  }

 private slots:
  void init() {
    QVERIFY(StartSession());
  }
  void cleanup() {
    EndSession();
  }

  void looksAsDescribed() {
    TFavorites list = With({});
    TF_Favorites w(list, QColor(250, 240, 200));
    QCOMPARE(w.windowTitle(), QStringLiteral(" "));
    QCOMPARE(w.Header->text(), QStringLiteral("Favorites"));
    auto* g = w.StringGrid1;
    QCOMPARE(g->ColCount(), 4);
    QCOMPARE(g->RowCount(), 2);  // header and one empty row
    const QStringList headers{"Zip archive", "Date/Time", "Size", ""};
    const int widths[] = {100, 70, 60, 64};
    for (int c = 0; c < 4; ++c) {
      QCOMPARE(g->Cells(c, 0), headers[c]);
      // the described width, or wider where the title needs it
      QVERIFY(g->columnWidth(c) >= widths[c]);
      QVERIFY(g->columnWidth(c) >= g->horizontalHeader()->sectionSizeHint(c) || c == 3);
    }
    QCOMPARE(g->toolTip(), QStringLiteral("Double-Click to open the selected zipfile"));
    QCOMPARE(g->palette().color(QPalette::Base), QColor(250, 240, 200));
    QCOMPARE(g->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(w.bu_Remove->text(), QStringLiteral("Remove"));
    QCOMPARE(w.bu_Remove->toolTip(), QStringLiteral("Remove selected file(s)"));
    QCOMPARE(w.bu_Close->text(), QStringLiteral("&Close"));
  }

  void anEmptyListIgnoresClicksOpensAndRemoves() {
    TFavorites list = With({});
    TF_Favorites w(list, Qt::white);
    int opened = 0;
    w.OnOpen = [&](const std::string&) { ++opened; };
    w.RowClick(1);
    w.OpenRow(1);
    w.bu_Remove->click();
    QCOMPARE(opened, 0);
    QVERIFY(w.StatusBar1->text().isEmpty());
    QCOMPARE(w.StringGrid1->RowCount(), 2);
    QVERIFY(fake_->dialogs.boxes.empty());
  }

  void rowsShowNameDateAndSizeAndAClickShowsThePath() {
    TFavorites list = With({{"/data/first.zip", "1/2/24", "300"}, {"/other/second.zip", "2/2/24", "20"}});
    TF_Favorites w(list, Qt::white);
    auto* g = w.StringGrid1;
    QCOMPARE(g->RowCount(), 3);
    QCOMPARE(g->Cells(0, 1), QStringLiteral("first.zip"));
    QCOMPARE(g->Cells(1, 1), QStringLiteral("1/2/24"));
    QCOMPARE(g->Cells(2, 1), QStringLiteral("300"));
    QCOMPARE(g->Cells(0, 2), QStringLiteral("second.zip"));
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, g->visualItemRect(g->item(1, 0)).center());
    QCOMPARE(w.StatusBar1->text(), QStringLiteral("/other/second.zip"));
  }

  void longNamesAndSizesShowWhole() {
    TFavorites list = With({{"/data/backup-of-the-whole-home-folder-2024.zip", "3/14/24", "10485760000"},
                            {"/data/a.zip", "1/9/24", "7"}});
    TF_Favorites w(list, Qt::white);
    auto* g = w.StringGrid1;
    const QFontMetrics fm(g->font());
    QVERIFY(g->columnWidth(0) > fm.horizontalAdvance(g->Cells(0, 1)));
    QVERIFY(g->columnWidth(2) > fm.horizontalAdvance(g->Cells(2, 1)));
    QVERIFY(g->columnWidth(0) <= 420);  // a name widens its column only so far
    QVERIFY(w.width() > 360);         // the window widens with its columns
  }

  void afterSortingTheTopRowOpensTheFavoriteItShows() {
    TFavorites list = With({{"/d/big.zip", "1/2/24", "300"}, {"/d/small.zip", "1/3/24", "20"}, {"/d/mid.zip", "1/1/24", "100"}});
    TF_Favorites w(list, Qt::white);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* g = w.StringGrid1;
    ClickHeader(g, 2, Qt::LeftButton);  // by size, ascending
    QCOMPARE(g->Cells(0, 1), QStringLiteral("small.zip"));
    std::string opened;
    w.OnOpen = [&](const std::string& p) { opened = p; };
    DoubleClick(g->viewport(), g->visualItemRect(g->item(0, 0)).center());
    QCOMPARE(QString::fromStdString(opened), QStringLiteral("/d/small.zip"));
    QVERIFY(!w.isVisible());  // the window closed itself
  }

  void enterOpensTheCurrentRow() {
    TFavorites list = With({{"/d/a.zip", "d", "1"}, {"/d/b.zip", "d", "2"}});
    TF_Favorites w(list, Qt::white);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    std::string opened;
    w.OnOpen = [&](const std::string& p) { opened = p; };
    w.StringGrid1->setFocus();
    w.StringGrid1->SetCurrent(0, 2);
    QTest::keyClick(w.StringGrid1, Qt::Key_Return);
    QCOMPARE(opened, std::string("/d/b.zip"));
  }

  void removeDeletesTheCurrentRowsFavoriteAfterASort() {
    TFavorites list = With({{"/d/c.zip", "d", "3"}, {"/d/a.zip", "d", "1"}, {"/d/b.zip", "d", "2"}});
    TF_Favorites w(list, Qt::white);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto* g = w.StringGrid1;
    ClickHeader(g, 0, Qt::RightButton);  // c, b, a
    QCOMPARE(g->Cells(0, 3), QStringLiteral("a.zip"));
    g->SetCurrent(0, 3);
    w.bu_Remove->click();
    QCOMPARE(FileText(), std::string("/d/c.zip;d;3\r\n/d/b.zip;d;2\r\n"));
    QCOMPARE(list.Count(), 2);
    // Refilled in list order, one row per favourite.
    QCOMPARE(g->RowCount(), 3);
    QCOMPARE(g->Cells(0, 1), QStringLiteral("c.zip"));
    QCOMPARE(g->Cells(0, 2), QStringLiteral("b.zip"));
    QCOMPARE(g->Cells(0, 0), QStringLiteral("Zip archive"));
    // Down to one favourite the row count stays: the emptied row is still shown.
    g->SetCurrent(0, 1);
    w.bu_Remove->click();
    QCOMPARE(FileText(), std::string("/d/b.zip;d;2\r\n"));
    QCOMPARE(g->RowCount(), 3);
    QCOMPARE(g->Cells(0, 1), QStringLiteral("b.zip"));
    QCOMPARE(g->Cells(0, 2), QString());
    QCOMPARE(w.FavoriteAt(2), -1);
    g->SetCurrent(0, 2);
    w.bu_Remove->click();  // an emptied row removes nothing
    QCOMPARE(list.Count(), 1);
  }

  void removingTheOnlyFavoriteLeavesOneEmptyRowAndAnEmptyFile() {
    TFavorites list = With({{"/d/only.zip", "d", "9"}});
    TF_Favorites w(list, Qt::white);
    QCOMPARE(w.StringGrid1->RowCount(), 2);
    QCOMPARE(w.StringGrid1->Cells(0, 1), QStringLiteral("only.zip"));
    w.StringGrid1->SetCurrent(0, 1);
    w.bu_Remove->click();
    QCOMPARE(w.StringGrid1->RowCount(), 2);
    QCOMPARE(w.StringGrid1->Cells(0, 1), QString());
    QCOMPARE(FileText(), std::string());
    QCOMPARE(list.Count(), 0);
  }

  void aRefusedWriteIsShownAndTheListFollowsTheFile() {
    if (::geteuid() == 0) QSKIP("root writes into read-only folders");
    TFavorites list = With({{"/d/a.zip", "d", "1"}, {"/d/b.zip", "d", "2"}});
    TF_Favorites w(list, Qt::white);
    QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::ExeOwner);
    w.StringGrid1->SetCurrent(0, 1);
    w.bu_Remove->click();
    QFile::setPermissions(dir_->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(fake_->dialogs.boxes.size(), size_t(1));
    QCOMPARE(fake_->dialogs.boxes[0].caption, std::string("Error"));
    QVERIFY(fake_->dialogs.boxes[0].text.find("Unable to write to") == 0);
    QCOMPARE(list.Count(), 2);
    QCOMPARE(w.StringGrid1->Cells(0, 1), QStringLiteral("a.zip"));
  }

  void closeAndEscapeCloseTheWindow() {
    TFavorites list = With({{"/d/a.zip", "d", "1"}});
    TF_Favorites w(list, Qt::white);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.bu_Close->click();
    QVERIFY(!w.isVisible());
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTest::keyClick(&w, Qt::Key_Escape);
    QVERIFY(!w.isVisible());
  }
};

QTEST_MAIN(FavoritesWindowTest)
#include "FavoritesWindowTest.moc"

// The sortable grid driven offscreen: header clicks with either button, the
// rules that stop a click from sorting, footer rows, whole rows moving with
// their item data, the current row following its content, and the marker.
#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QtTest>

#include "platform/Platform.h"
#include "shared/widgets/SortGrid.h"

using arkelin::shared::sdAscending;
using arkelin::shared::sdDescending;
using arkelin::shared::sgArrow;
using arkelin::shared::sgCustom;
using arkelin::shared::sgGlyph;
using arkelin::shared::sgNone;
using arkelin::shared::TSortGrid;
using arkelin::shared::TSortOptions;
using arkelin::shared::TSortStyle;

namespace {

// A grid of two columns (name, size) filled with rows; row 0 is the header.
void Fill(TSortGrid& g, const QList<QPair<QString, QString>>& rows) {
  g.SetColCount(2);
  g.SetRowCount(static_cast<int>(rows.size()) + 1);
  g.SetCells(0, 0, QStringLiteral("Name"));
  g.SetCells(1, 0, QStringLiteral("Size"));
  for (int i = 0; i < rows.size(); ++i) {
    g.SetCells(0, i + 1, rows[i].first);
    g.SetCells(1, i + 1, rows[i].second);
  }
}

QStringList Column(const TSortGrid& g, int col) {
  QStringList out;
  for (int r = 1; r < g.RowCount(); ++r) out << g.Cells(col, r);
  return out;
}

QPoint HeaderCentre(TSortGrid& g, int col) {
  QHeaderView* h = g.horizontalHeader();
  return QPoint(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, h->height() / 2);
}

void ClickHeader(TSortGrid& g, int col, Qt::MouseButton b, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* vp = g.horizontalHeader()->viewport();
  QTest::mouseClick(vp, b, mods, HeaderCentre(g, col));
}

void Send(QWidget* w, QEvent::Type t, QPoint pos, Qt::MouseButtons held) {
  QMouseEvent e(t, QPointF(pos), w->mapToGlobal(QPointF(pos)), Qt::LeftButton, held, Qt::NoModifier);
  QApplication::sendEvent(w, &e);
}

}  // namespace

class SortGridTest : public QObject {
  Q_OBJECT
 private slots:
  void init() {
    grid_ = new TSortGrid;
    grid_->SortLocale.Name = "en_US";
    grid_->resize(400, 300);
    grid_->show();
    QVERIFY(QTest::qWaitForWindowExposed(grid_));
  }
  void cleanup() { delete grid_; }

  void startsAsTheWindowsExpectIt() {
    TSortGrid g;
    QCOMPARE(g.FixedRows(), 1);
    QVERIFY(g.SortOnClick);
    QVERIFY(!g.CaseSensitive);
    QCOMPARE(g.SortColumn, 1);
    QCOMPARE(g.SortDirection, sdAscending);
    QCOMPARE(g.SortSymbol, sgNone);
    QCOMPARE(g.FooterRows(), 0);
    QCOMPARE(g.SortSpacingHor, 2);
    QCOMPARE(g.FooterColor, QColor(0, 255, 255));
    QCOMPARE(g.editTriggers(), QAbstractItemView::NoEditTriggers);
    QVERIFY(!g.verticalHeader()->isVisible());
  }

  void leftClickSortsAscendingRightClickDescending() {
    Fill(*grid_, {{"b", "10"}, {"c", "9"}, {"a", "100"}});
    ClickHeader(*grid_, 1, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 1), QStringList({"9", "10", "100"}));
    QCOMPARE(Column(*grid_, 0), QStringList({"c", "b", "a"}));  // whole rows moved
    QCOMPARE(grid_->SortColumn, 1);
    QCOMPARE(grid_->SortDirection, sdAscending);
    ClickHeader(*grid_, 1, Qt::RightButton);
    QCOMPARE(Column(*grid_, 1), QStringList({"100", "10", "9"}));
    QCOMPARE(grid_->SortDirection, sdDescending);
    ClickHeader(*grid_, 1, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 1), QStringList({"9", "10", "100"}));
    ClickHeader(*grid_, 1, Qt::LeftButton);  // the same header again: still ascending
    QCOMPARE(Column(*grid_, 1), QStringList({"9", "10", "100"}));
    ClickHeader(*grid_, 0, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 0), QStringList({"a", "b", "c"}));
    QCOMPARE(grid_->SortColumn, 0);
    ClickHeader(*grid_, 0, Qt::MiddleButton);  // any button but the right is ascending
    QCOMPARE(grid_->SortDirection, sdAscending);
  }

  void anEmptyCellMakesTheColumnSortAsText() {
    Fill(*grid_, {{"a", "10"}, {"b", ""}, {"c", "100"}, {"d", "9"}});
    ClickHeader(*grid_, 1, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 1), QStringList({"", "10", "100", "9"}));
  }

  void datesAndTimesSortByValue() {
    Fill(*grid_, {{"x", "3/1/24"}, {"y", "12/15/23"}, {"z", "1/2/24"}});
    ClickHeader(*grid_, 1, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 1), QStringList({"12/15/23", "1/2/24", "3/1/24"}));
    Fill(*grid_, {{"x", "10:00"}, {"y", "9:05"}, {"z", "23:01"}});
    ClickHeader(*grid_, 1, Qt::RightButton);
    QCOMPARE(Column(*grid_, 1), QStringList({"23:01", "10:00", "9:05"}));
  }

  void equalTextsKeepTheirOrder() {
    Fill(*grid_, {{"1", "abc"}, {"2", "x"}, {"3", "ABC"}, {"4", "abc"}});
    ClickHeader(*grid_, 1, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 0), QStringList({"1", "3", "4", "2"}));
    ClickHeader(*grid_, 1, Qt::RightButton);
    QCOMPARE(Column(*grid_, 0), QStringList({"2", "1", "3", "4"}));
  }

  void clicksThatMustNotSort() {
    Fill(*grid_, {{"b", "2"}, {"a", "1"}});
    const QStringList before = Column(*grid_, 0);
    ClickHeader(*grid_, 0, Qt::LeftButton, Qt::ShiftModifier);
    ClickHeader(*grid_, 0, Qt::LeftButton, Qt::ControlModifier);
    ClickHeader(*grid_, 0, Qt::LeftButton, Qt::AltModifier);
    QCOMPARE(Column(*grid_, 0), before);
    grid_->SortOnClick = false;
    ClickHeader(*grid_, 0, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 0), before);
    grid_->SortOnClick = true;
    grid_->setEnabled(false);
    ClickHeader(*grid_, 0, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 0), before);
    grid_->setEnabled(true);
    // A click on a data cell is no header click.
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, grid_->visualItemRect(grid_->item(0, 0)).center());
    QCOMPARE(Column(*grid_, 0), before);
    ClickHeader(*grid_, 0, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 0), QStringList({"a", "b"}));
  }

  void resizingAColumnDoesNotSort() {
    Fill(*grid_, {{"b", "2"}, {"a", "1"}});
    QHeaderView* h = grid_->horizontalHeader();
    QWidget* vp = h->viewport();
    int edge = h->sectionViewportPosition(0) + h->sectionSize(0) - 1;
    int width = h->sectionSize(0);
    Send(vp, QEvent::MouseButtonPress, QPoint(edge, 5), Qt::LeftButton);
    Send(vp, QEvent::MouseMove, QPoint(edge + 30, 5), Qt::LeftButton);
    Send(vp, QEvent::MouseButtonRelease, QPoint(edge + 30, 5), Qt::NoButton);
    QVERIFY(h->sectionSize(0) > width);
    QCOMPARE(Column(*grid_, 0), QStringList({"b", "a"}));
  }

  void oneDataRowNeverSorts() {
    Fill(*grid_, {{"only", "1"}});
    grid_->SortColumn = 1;
    int began = 0;
    grid_->OnBeginSort = [&](TSortGrid&, int, TSortOptions&) { ++began; };
    ClickHeader(*grid_, 0, Qt::RightButton);
    QCOMPARE(began, 0);
    QCOMPARE(grid_->SortColumn, 1);
    QCOMPARE(grid_->SortDirection, sdAscending);
    QCOMPARE(Column(*grid_, 0), QStringList({"only"}));
  }

  void footerRowsStayUnlessTheyTakePart() {
    Fill(*grid_, {{"c", "3"}, {"a", "1"}, {"b", "2"}, {"total", "6"}, {"count", "3"}});
    grid_->SetFooterRows(2);
    ClickHeader(*grid_, 0, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 0), QStringList({"a", "b", "c", "total", "count"}));
    ClickHeader(*grid_, 1, Qt::RightButton);
    QCOMPARE(Column(*grid_, 0), QStringList({"c", "b", "a", "total", "count"}));
    grid_->SortFooter = true;
    ClickHeader(*grid_, 1, Qt::RightButton);
    QCOMPARE(Column(*grid_, 0), QStringList({"total", "c", "count", "b", "a"}));
    grid_->SortFooter = false;
    grid_->SetFooterRows(0);
    ClickHeader(*grid_, 0, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 0), QStringList({"a", "b", "c", "count", "total"}));
  }

  void rowsCarryTheirDataAndTheCurrentRowFollows() {
    Fill(*grid_, {{"c", "3"}, {"a", "1"}, {"b", "2"}});
    for (int r = 1; r <= 3; ++r) grid_->CellItem(0, r)->setData(Qt::UserRole, r * 100);
    grid_->SetRangeSelect(true);
    grid_->SetCurrent(1, 1);  // "c"
    QCOMPARE(grid_->Row(), 1);
    ClickHeader(*grid_, 0, Qt::LeftButton);
    QCOMPARE(grid_->Row(), 3);
    QCOMPARE(grid_->Col(), 1);
    QCOMPARE(grid_->Cells(0, grid_->Row()), QStringLiteral("c"));
    QCOMPARE(grid_->SelectionTop(), 3);
    QCOMPARE(grid_->SelectionBottom(), 3);
    QCOMPARE(grid_->CellItem(0, 1)->data(Qt::UserRole).toInt(), 200);  // "a" was row 2
    QCOMPARE(grid_->CellItem(0, 3)->data(Qt::UserRole).toInt(), 100);
  }

  void eventsSeeTheDetectedStyleAndMayChangeTheOptions() {
    Fill(*grid_, {{"b", "10"}, {"a", "9"}, {"c", "100"}});
    TSortStyle seen = TSortStyle::ssAutomatic;
    bool busyDuringSort = false;
    int ended = -1;
    grid_->OnClickSort = [](TSortGrid&, int, TSortOptions& o) { o.SortDirection = sdDescending; };
    grid_->OnBeginSort = [&](TSortGrid&, int, TSortOptions& o) {
      seen = o.SortStyle;
      busyDuringSort = arkelin::platform::Busy().Busy();
    };
    grid_->OnEndSort = [&](TSortGrid&, int col) { ended = col; };
    ClickHeader(*grid_, 1, Qt::LeftButton);
    QCOMPARE(seen, TSortStyle::ssNumeric);
    QVERIFY(busyDuringSort);
    QVERIFY(!arkelin::platform::Busy().Busy());
    QCOMPARE(ended, 1);
    QCOMPARE(Column(*grid_, 1), QStringList({"100", "10", "9"}));
    // A style set by the owner wins: text order.
    grid_->OnClickSort = nullptr;
    grid_->OnBeginSort = [](TSortGrid&, int, TSortOptions& o) { o.SortStyle = TSortStyle::ssAlphabetic; };
    ClickHeader(*grid_, 1, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 1), QStringList({"10", "100", "9"}));
  }

  void aFailingComparisonLeavesTheRowsAndRestoresTheCursor() {
    Fill(*grid_, {{"b", "2"}, {"a", "1"}});
    grid_->OnBeginSort = [](TSortGrid&, int, TSortOptions& o) {
      o.SortStyle = TSortStyle::ssCustom;
      o.SortCompare = [](const std::string&, const std::string&) -> int { throw std::runtime_error("x"); };
    };
    ClickHeader(*grid_, 0, Qt::LeftButton);
    QCOMPARE(Column(*grid_, 0), QStringList({"b", "a"}));
    QVERIFY(!arkelin::platform::Busy().Busy());
  }

  void enterAndDoubleClickChooseTheCurrentRow() {
    Fill(*grid_, {{"b", "2"}, {"a", "1"}});
    QSignalSpy chosen(grid_, &TSortGrid::RowChosen);
    QSignalSpy clicked(grid_, &TSortGrid::RowClicked);
    QPoint cell = grid_->visualItemRect(grid_->item(1, 0)).center();
    QTest::mouseClick(grid_->viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toInt(), 2);
    QTest::mouseDClick(grid_->viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toInt(), 2);
    grid_->SetCurrent(0, 1);
    QTest::keyClick(grid_, Qt::Key_Return);
    QCOMPARE(chosen.count(), 2);
    QCOMPARE(chosen.at(1).at(0).toInt(), 1);
  }

  void theMarkerFollowsSymbolAndDirection() {
    Fill(*grid_, {{"b", "2"}, {"a", "1"}});
    QVERIFY(grid_->SortMarker().isNull());
    grid_->SortSymbol = sgArrow;
    QImage up = grid_->SortMarker().toImage();
    grid_->SortDirection = sdDescending;
    QImage down = grid_->SortMarker().toImage();
    QVERIFY(!up.isNull() && !down.isNull());
    QVERIFY(up != down);
    grid_->SortSymbol = sgGlyph;
    QVERIFY(grid_->SortMarker().toImage() != down);
    // A custom bitmap's top-left colour is see-through.
    QPixmap custom(6, 6);
    custom.fill(Qt::magenta);
    {
      QPainter p(&custom);
      p.fillRect(2, 2, 2, 2, Qt::black);
    }
    grid_->SortBitMapD = custom;
    grid_->SortSymbol = sgCustom;
    QImage m = grid_->SortMarker().toImage().convertToFormat(QImage::Format_ARGB32);
    QCOMPARE(qAlpha(m.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(m.pixel(2, 2)), 255);
    // Drawn in the header of the sorted column only.
    grid_->SortSymbol = sgNone;
    grid_->SortColumn = 0;
    QImage plain = grid_->horizontalHeader()->grab().toImage();
    grid_->SortSymbol = sgArrow;
    QImage marked = grid_->horizontalHeader()->grab().toImage();
    QVERIFY(plain != marked);
    QHeaderView* h = grid_->horizontalHeader();
    QRect second(h->sectionViewportPosition(1), 0, h->sectionSize(1), h->height());
    QCOMPARE(plain.copy(second), marked.copy(second));
  }

  void underADarkPaletteFooterTextAndMarkersStayReadable() {
    // Light text on dark grounds, as a dark desktop gives.
    QPalette dark = grid_->palette();
    dark.setColor(QPalette::Base, QColor(0x24, 0x24, 0x27));
    dark.setColor(QPalette::Text, QColor(0xEE, 0xEE, 0xEE));
    dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x38));
    dark.setColor(QPalette::ButtonText, QColor(0xEE, 0xEE, 0xEE));
    grid_->setPalette(dark);
    Fill(*grid_, {{"a", "1"}, {"WWWWWWWW", "2"}});
    grid_->SetFooterRows(1);
    grid_->clearSelection();
    grid_->setCurrentCell(-1, -1);
    // The footer's aqua keeps its colour, and its text is dark on it.
    const QRect cell = grid_->visualRect(grid_->model()->index(grid_->model()->rowCount() - 1, 0));
    const QImage img = grid_->viewport()->grab().toImage().copy(cell).convertToFormat(QImage::Format_RGB32);
    int aqua = 0, darkInk = 0, lightInk = 0;
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const QColor c = img.pixelColor(x, y);
        if (c == QColor(0, 255, 255)) ++aqua;
        if (c.lightness() < 60) ++darkInk;
        if (c.red() > 200 && c.green() > 200 && c.blue() > 200) ++lightInk;
      }
    QVERIFY(aqua > img.width() * img.height() / 2);
    QVERIFY(darkInk > 10);
    QCOMPARE(lightInk, 0);
    // The sort marker is drawn in the header's text colour: light here.
    grid_->SortSymbol = sgArrow;
    const QImage marker = grid_->SortMarker().toImage().convertToFormat(QImage::Format_ARGB32);
    int lit = 0;
    for (int y = 0; y < marker.height(); ++y)
      for (int x = 0; x < marker.width(); ++x)
        if (qAlpha(marker.pixel(x, y)) == 255 && QColor(marker.pixel(x, y)).lightness() > 200) ++lit;
    QVERIFY(lit > 5);
  }

  void autoSizeFitsTheWidestText() {
    Fill(*grid_, {{"a", "1"}, {"a much longer name than the header", "2"}});
    grid_->AutoSizeColumn(0);
    QFontMetrics fm(grid_->font());
    QCOMPARE(grid_->columnWidth(0),
             fm.horizontalAdvance(QStringLiteral("a much longer name than the header")) + fm.horizontalAdvance('x'));
  }

 private:
  TSortGrid* grid_ = nullptr;
};

QTEST_MAIN(SortGridTest)
#include "SortGridTest.moc"

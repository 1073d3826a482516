#include "shared/widgets/SortGrid.h"

#include <QBitmap>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QStyledItemDelegate>
#include <exception>
#include <vector>

#include "platform/Platform.h"
#include "shared/widgets/ListColors.h"

namespace arkelin::shared {

// The header: the plain header, then the sort marker after the text of the
// sorted column.
class TSortGrid::Header : public QHeaderView {
 public:
  Header(TSortGrid* grid) : QHeaderView(Qt::Horizontal, grid), grid_(grid) {}

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    if (logicalIndex != grid_->SortColumn || grid_->FixedRows() < 1) return;
    QPixmap marker = grid_->SortMarker();
    if (marker.isNull()) return;
    QString text = model()->headerData(logicalIndex, Qt::Horizontal).toString();
    QFontMetrics fm(font());
    int margin = style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    int x = rect.left() + margin + fm.horizontalAdvance(text) + grid_->SortSpacingHor;
    int y = rect.top() + (rect.height() - fm.height()) / 2 + grid_->SortSpacingVert;
    painter->drawPixmap(x, y, marker);
  }

 private:
  TSortGrid* grid_;
};

// Footer look, alignment, bevels and the owner's cell format.
class SortGridDelegate : public QStyledItemDelegate {
 public:
  explicit SortGridDelegate(TSortGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    TCellFormat f = Format(option, index);
    QStyleOptionViewItem opt(option);
    opt.font = f.Font;
    opt.fontMetrics = QFontMetrics(f.Font);
    opt.displayAlignment = f.Alignment;
    if (f.Brush.style() != Qt::NoBrush && !(opt.state & QStyle::State_Selected)) {
      painter->fillRect(opt.rect, f.Brush);
      // A footer or owner colour under a dark palette's light text (or the
      // other way round): the text is chosen to read on the cell.
      const QColor text = ReadableTextOn(f.Brush.color(), opt.palette.color(QPalette::Text));
      opt.palette.setColor(QPalette::Text, text);
      opt.palette.setColor(QPalette::WindowText, text);
    }
    QStyledItemDelegate::paint(painter, opt, index);
    if (f.BevelStyle == cbNone) return;
    QColor light = opt.palette.color(QPalette::Light), dark = opt.palette.color(QPalette::Dark);
    if (f.BevelStyle == cbLowered) std::swap(light, dark);
    QRect r = opt.rect.adjusted(0, 0, -1, -1);
    painter->save();
    painter->setPen(light);
    painter->drawLine(r.topLeft(), r.topRight());
    painter->drawLine(r.topLeft(), r.bottomLeft());
    painter->setPen(dark);
    painter->drawLine(r.bottomLeft(), r.bottomRight());
    painter->drawLine(r.topRight(), r.bottomRight());
    painter->restore();
  }

 private:
  TCellFormat Format(const QStyleOptionViewItem& option, const QModelIndex& index) const {
    TCellFormat f;
    bool footer = grid_->IsFooterRow(index.row());
    f.Font = footer ? grid_->FooterFont : option.font;
    if (footer) f.Brush = QBrush(grid_->FooterColor);
    f.Alignment = grid_->AlignmentHorz | grid_->AlignmentVert;
    f.BevelStyle = footer ? grid_->FooterBevelStyle : grid_->BevelStyle;
    if (grid_->OnGetCellFormat) grid_->OnGetCellFormat(*grid_, index.column(), index.row() + grid_->FixedRows(), f);
    return f;
  }

  TSortGrid* grid_;
};

TSortGrid::TSortGrid(QWidget* parent) : QTableWidget(parent) {
  setHorizontalHeader(new Header(this));
  horizontalHeader()->setSectionsClickable(false);  // clicks are ours, not column selections
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setHighlightSections(false);
  horizontalHeader()->setDefaultSectionSize(64);
  horizontalHeader()->viewport()->installEventFilter(this);
  connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
    if (headerPressed_) headerResized_ = true;
  });
  verticalHeader()->hide();
  setItemDelegate(new SortGridDelegate(this));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
  setWordWrap(false);
  FooterFont = font();
  setColumnCount(5);
  setRowCount(4);
  connect(this, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { emit RowChosen(row + fixedRows_); });
  connect(this, &QTableWidget::cellClicked, this, [this](int row, int) { emit RowClicked(row + fixedRows_); });
}

TSortGrid::~TSortGrid() = default;

void TSortGrid::SetFixedRows(int n) {
  n = n > 0 ? 1 : 0;
  if (n == fixedRows_) return;
  int total = RowCount();
  fixedRows_ = n;
  horizontalHeader()->setVisible(n == 1);
  SetRowCount(total);
}

void TSortGrid::SetRowCount(int n) { setRowCount(std::max(0, n - fixedRows_)); }
void TSortGrid::SetColCount(int n) { setColumnCount(std::max(0, n)); }

QString TSortGrid::Cells(int col, int row) const {
  if (col < 0 || col >= columnCount()) return {};
  if (row < fixedRows_) {
    if (row < 0) return {};
    QTableWidgetItem* h = horizontalHeaderItem(col);
    return h ? h->text() : QString();
  }
  QTableWidgetItem* it = item(row - fixedRows_, col);
  return it ? it->text() : QString();
}

void TSortGrid::SetCells(int col, int row, const QString& text) {
  if (col < 0 || col >= columnCount() || row < 0 || row >= RowCount()) return;
  if (row < fixedRows_) {
    QTableWidgetItem* h = horizontalHeaderItem(col);
    if (!h) setHorizontalHeaderItem(col, h = new QTableWidgetItem);
    h->setText(text);
    return;
  }
  QTableWidgetItem* it = item(row - fixedRows_, col);
  if (!it) {
    it = new QTableWidgetItem;
    it->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    setItem(row - fixedRows_, col, it);
  }
  it->setText(text);
}

QTableWidgetItem* TSortGrid::CellItem(int col, int row) const {
  if (row < fixedRows_) return nullptr;
  return item(row - fixedRows_, col);
}

int TSortGrid::Row() const { return std::max(0, currentRow()) + fixedRows_; }
int TSortGrid::Col() const { return std::max(0, currentColumn()); }

void TSortGrid::SetCurrent(int col, int row) {
  if (row < fixedRows_) return;
  setCurrentCell(row - fixedRows_, col);
}

void TSortGrid::SetRangeSelect(bool on) {
  setSelectionBehavior(on ? QAbstractItemView::SelectRows : QAbstractItemView::SelectItems);
  setSelectionMode(on ? QAbstractItemView::ContiguousSelection : QAbstractItemView::SingleSelection);
}

int TSortGrid::SelectionTop() const {
  const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
  if (ranges.isEmpty()) return Row();
  int top = ranges.front().topRow();
  for (const auto& r : ranges) top = std::min(top, r.topRow());
  return top + fixedRows_;
}

int TSortGrid::SelectionBottom() const {
  const QList<QTableWidgetSelectionRange> ranges = selectedRanges();
  if (ranges.isEmpty()) return Row();
  int bottom = ranges.front().bottomRow();
  for (const auto& r : ranges) bottom = std::max(bottom, r.bottomRow());
  return bottom + fixedRows_;
}

void TSortGrid::SetFooterRows(int n) {
  footerRows_ = std::max(0, n);
  viewport()->update();
}

bool TSortGrid::IsFooterRow(int tableRow) const { return footerRows_ > 0 && tableRow >= rowCount() - footerRows_; }

void TSortGrid::SortableRange(int& first, int& last) const {
  first = 0;
  last = rowCount() - 1 - (SortFooter ? 0 : footerRows_);
}

void TSortGrid::SortByColumn(int column, TSortOptions options) {
  if (state() == QAbstractItemView::EditingState) return;
  if (rowCount() <= 1 || column < 0 || column >= columnCount()) return;
  int first = 0, last = 0;
  SortableRange(first, last);

  std::vector<std::string> texts;
  for (int r = first; r <= last; ++r) {
    QTableWidgetItem* it = item(r, column);
    texts.push_back(it ? it->text().toStdString() : std::string());
  }
  if (options.SortStyle == TSortStyle::ssAutomatic) options.SortStyle = DetectSortStyle(texts, SortLocale);
  if (OnBeginSort) OnBeginSort(*this, column, options);
  SortDirection = options.SortDirection;
  SortColumn = column;

  std::vector<int> order = SortOrder(texts, options, SortLocale);

  // Whole rows move: every item is taken out and put back at its row's new
  // position, so the data a window keeps in an item travels with it.
  int oldCurrent = currentRow(), currentCol = currentColumn();
  const int cols = columnCount();
  std::vector<std::vector<QTableWidgetItem*>> rows(order.size());
  setUpdatesEnabled(false);
  {
    QSignalBlocker quiet(this);
    for (size_t k = 0; k < order.size(); ++k) {
      rows[k].resize(cols);
      for (int c = 0; c < cols; ++c) rows[k][c] = takeItem(first + static_cast<int>(k), c);
    }
    for (size_t k = 0; k < order.size(); ++k) {
      for (int c = 0; c < cols; ++c) setItem(first + static_cast<int>(k), c, rows[order[k]][c]);
    }
  }
  setUpdatesEnabled(true);
  if (oldCurrent >= first && oldCurrent <= last) {
    for (size_t k = 0; k < order.size(); ++k) {
      if (order[k] == oldCurrent - first) {
        setCurrentCell(first + static_cast<int>(k), std::max(0, currentCol));
        break;
      }
    }
  }
  horizontalHeader()->viewport()->update();
  viewport()->update();
  if (OnEndSort) OnEndSort(*this, column);
}

void TSortGrid::AutoSizeColumn(int column) {
  if (column < 0 || column >= columnCount()) return;
  int widest = 0;
  if (QTableWidgetItem* h = horizontalHeaderItem(column); h && fixedRows_ > 0) {
    widest = QFontMetrics(horizontalHeader()->font()).horizontalAdvance(h->text());
  }
  for (int r = 0; r < rowCount(); ++r) {
    QTableWidgetItem* it = item(r, column);
    if (!it) continue;
    QFont f = IsFooterRow(r) ? FooterFont : it->font();
    widest = std::max(widest, QFontMetrics(f).horizontalAdvance(it->text()));
  }
  setColumnWidth(column, widest + fontMetrics().horizontalAdvance(QLatin1Char('x')));
}

namespace {

// The built-in markers: triangles for sgArrow, "A over Z" for sgGlyph, in
// the header's text colour (dark on a light desktop, light on a dark one).
QPixmap Triangle(bool up, const QColor& ink) {
  QPixmap p(9, 8);
  p.fill(Qt::transparent);
  QPainter g(&p);
  g.setRenderHint(QPainter::Antialiasing);
  g.setPen(Qt::NoPen);
  g.setBrush(ink);
  QPolygon tri = up ? QPolygon({QPoint(4, 1), QPoint(8, 7), QPoint(0, 7)}) : QPolygon({QPoint(0, 1), QPoint(8, 1), QPoint(4, 7)});
  g.drawPolygon(tri);
  return p;
}

QPixmap Letters(bool az, const QColor& ink) {
  QPixmap p(9, 14);
  p.fill(Qt::transparent);
  QPainter g(&p);
  QFont f;
  f.setPixelSize(7);
  f.setBold(true);
  g.setFont(f);
  g.setPen(ink);
  g.drawText(QRect(0, 0, 9, 7), Qt::AlignCenter, az ? QStringLiteral("A") : QStringLiteral("Z"));
  g.drawText(QRect(0, 7, 9, 7), Qt::AlignCenter, az ? QStringLiteral("Z") : QStringLiteral("A"));
  return p;
}

QPixmap WithTopLeftTransparent(const QPixmap& source) {
  if (source.isNull()) return source;
  QImage img = source.toImage();
  QColor key = img.pixelColor(0, 0);
  QPixmap out = source;
  out.setMask(QBitmap::fromImage(img.createMaskFromColor(key.rgb(), Qt::MaskInColor)));
  return out;
}

}  // namespace

QPixmap TSortGrid::SortMarker() const {
  bool up = SortDirection == sdAscending;
  switch (SortSymbol) {
    case sgArrow: return Triangle(up, horizontalHeader()->palette().color(QPalette::ButtonText));
    case sgGlyph: return Letters(up, horizontalHeader()->palette().color(QPalette::ButtonText));
    case sgCustom: return WithTopLeftTransparent(up ? SortBitMapA : SortBitMapD);
    default: return {};
  }
}

bool TSortGrid::eventFilter(QObject* watched, QEvent* event) {
  if (watched == horizontalHeader()->viewport()) {
    if (event->type() == QEvent::MouseButtonPress) {
      headerPressed_ = true;
      headerResized_ = false;
      setFocus(Qt::MouseFocusReason);
    } else if (event->type() == QEvent::MouseButtonRelease) {
      // The header does its own resizing on the release first.
      bool wasResize = headerResized_;
      headerPressed_ = false;
      headerResized_ = false;
      if (!wasResize) HeaderReleased(static_cast<QMouseEvent*>(event));
    }
  }
  return QTableWidget::eventFilter(watched, event);
}

void TSortGrid::HeaderReleased(QMouseEvent* e) {
  if (!SortOnClick || fixedRows_ < 1 || !isEnabled()) return;
  if (e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return;
  QPoint pos = e->position().toPoint();
  if (!horizontalHeader()->viewport()->rect().contains(pos)) return;
  int column = horizontalHeader()->logicalIndexAt(pos);
  if (column < 0) return;
  TSortOptions options;
  options.SortStyle = TSortStyle::ssAutomatic;
  options.SortDirection = e->button() == Qt::RightButton ? sdDescending : sdAscending;
  options.SortCaseSensitive = CaseSensitive;
  if (OnClickSort) OnClickSort(*this, column, options);
  platform::BusyCursorScope busy(platform::Busy());
  try {
    SortByColumn(column, options);
  } catch (const std::exception&) {
    // A failing owner's comparison ends the sort; the rows are only moved
    // once the order is complete, so nothing is half sorted.
  }
}

void TSortGrid::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
    if (rowCount() > 0) emit RowChosen(Row());
    event->accept();
    return;
  }
  QTableWidget::keyPressEvent(event);
}

}  // namespace arkelin::shared

// TSortGrid: the string grid of the favourites window, the install-program
// chooser, the multiple-extraction list and the search results. A thin
// QTableWidget whose rows sort by a column when its header is clicked; the
// order itself comes from the Widgets-free core (shared/SortRows.h), this
// class only reads a column's texts, moves whole rows (every item with its
// data, so a row keeps standing for what it stood for) and draws.
//
// Cells are addressed as in a string grid: Cells(col, row) with row 0 the
// fixed header row (the table's horizontal header) and data rows from 1.
// There are no fixed columns (the vertical header is hidden); FixedRows is 1
// (the header shows) or 0. Footer rows are the last FooterRows data rows;
// they stay where they are when rows sort unless SortFooter is set, and they
// are drawn in the footer font and colour.
//
// A header click sorts when SortOnClick is on, the grid is enabled, there is
// a fixed row, no Shift/Ctrl/Alt is held and the button is released over a
// header cell, and the press did not resize a column: the left button (any
// button but the right) ascending, the right button descending, the texts
// compared without case unless CaseSensitive. The hourglass shows during the
// sort. A grid with at most one data row never sorts.
//
// Not provided: keyboard insertion and deletion of rows and columns
// (ExtendedKeys is kept but does nothing; no window turns it on), and
// ProportionalScrollBars, which Qt's scroll bars always are.
#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPixmap>
#include <QTableWidget>
#include <functional>

#include "shared/SortRows.h"

namespace arkelin::shared {

enum TSortSymbol { sgNone, sgArrow, sgGlyph, sgCustom };
enum TCellBevelStyle { cbNone, cbRaised, cbLowered };

// How one cell is drawn; OnGetCellFormat may change it.
struct TCellFormat {
  QFont Font;
  QBrush Brush;
  Qt::Alignment Alignment;
  TCellBevelStyle BevelStyle = cbNone;
};

class TSortGrid : public QTableWidget {
  Q_OBJECT
 public:
  // One fixed header row, no fixed columns, five columns of width 64 and
  // five rows (header included), nothing editable.
  explicit TSortGrid(QWidget* parent = nullptr);
  ~TSortGrid() override;

  // ---- Cells, as a string grid addresses them ----
  int FixedRows() const { return fixedRows_; }
  void SetFixedRows(int n);  // 0 or 1
  int RowCount() const { return rowCount() + fixedRows_; }
  void SetRowCount(int n);  // header included
  int ColCount() const { return columnCount(); }
  void SetColCount(int n);
  QString Cells(int col, int row) const;
  void SetCells(int col, int row, const QString& text);
  // The item behind a data cell (null for row 0 or an empty cell).
  QTableWidgetItem* CellItem(int col, int row) const;
  void SetColWidth(int col, int width) { setColumnWidth(col, width); }
  // The current cell (Row() is fixedRows when no cell is current).
  int Row() const;
  int Col() const;
  void SetCurrent(int col, int row);
  // Whole-row selection of a run of rows (Shift extends it from the anchor).
  void SetRangeSelect(bool on);
  // The selected rows as one run in grid rows, top and bottom; both are the
  // current row when nothing is selected.
  int SelectionTop() const;
  int SelectionBottom() const;

  // ---- Sorting ----
  bool SortOnClick = true;
  bool CaseSensitive = false;
  int SortColumn = 1;
  TSortDirection SortDirection = sdAscending;
  TSortLocale SortLocale;  // how numbers, dates and times are read
  void SortByColumn(int column, TSortOptions options);
  // Sets the column's width to its widest text (each cell measured in the
  // font it is drawn with) plus the width of "x".
  void AutoSizeColumn(int column);

  using SortOptionsEvent = std::function<void(TSortGrid& sender, int column, TSortOptions& options)>;
  using EndSortEvent = std::function<void(TSortGrid& sender, int column)>;
  using CellFormatEvent = std::function<void(TSortGrid& sender, int col, int row, TCellFormat& format)>;
  SortOptionsEvent OnClickSort;  // a header click, before its sort
  SortOptionsEvent OnBeginSort;  // every sort, after the style is detected
  EndSortEvent OnEndSort;
  CellFormatEvent OnGetCellFormat;  // before a data cell is drawn

  // ---- Look ----
  TSortSymbol SortSymbol = sgNone;
  int SortSpacingHor = 2;
  int SortSpacingVert = 0;
  QPixmap SortBitMapA, SortBitMapD;  // sgCustom; their top-left colour is transparent
  int FooterRows() const { return footerRows_; }
  void SetFooterRows(int n);
  bool SortFooter = false;
  QColor FooterColor = QColor(0, 255, 255);  // aqua
  QFont FooterFont;
  TCellBevelStyle FooterBevelStyle = cbNone;
  TCellBevelStyle BevelStyle = cbNone;
  Qt::Alignment AlignmentHorz = Qt::AlignLeft;
  Qt::Alignment AlignmentVert = Qt::AlignTop;
  bool ProportionalScrollBars = true;
  bool ExtendedKeys = false;

  // The marker drawn after the sorted column's header text (null for sgNone).
  QPixmap SortMarker() const;

 signals:
  // A data row was double-clicked, or Enter was pressed (grid row numbers).
  void RowChosen(int row);
  // A data row was clicked with the left button.
  void RowClicked(int row);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  friend class SortGridDelegate;
  class Header;
  // The sortable table rows [first, last], empty when last < first.
  void SortableRange(int& first, int& last) const;
  bool IsFooterRow(int tableRow) const;
  void HeaderReleased(QMouseEvent* e);

  int fixedRows_ = 1;
  int footerRows_ = 0;
  bool headerPressed_ = false;
  bool headerResized_ = false;
};

}  // namespace arkelin::shared

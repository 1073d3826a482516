// The rows of the archive window's file list, and the texts shown for them.
//
// One row per archive entry (folder entries are skipped by the caller): the
// caption (the name without folders), Size kb, Packed kb, Modified, Ratio and
// Path. Sizes are kept as 64-bit numbers and turned into texts only when the
// view asks, so a directory of 100,000 entries is stored, not formatted, when
// it arrives. Kilobytes are 1000 bytes, truncated. The model does not know
// where the rows come from (ZIP directory or RAR listing) and has no widgets;
// the window hands it plain values.
//
// Ordering on a column click is done here, by CompareRows, with a stable sort:
// rows that compare equal keep their relative order, so a second click on the
// same column changes nothing.
#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QString>
#include <QVector>

#include <cstdint>
#include <optional>
#include <vector>

namespace arkelin::window {

// ---- Texts of one row (no state; used by the model and by the window) ------

// The text after the last "/" or "\"; the whole name when it has neither.
QString NamePart(const QString& name);
// The text before the last "/" or "\", without it; empty when it has neither.
QString FolderPart(const QString& name);

// Size ÷ 1000, truncated; "1" when that comes to 0 or below, so an empty file
// and a 999-byte file both read "1".
QString KbText(int64_t bytes);

// The compressed size as a percentage of the uncompressed one (not the
// saving), whole-number part, with "%"; "0%" when either size is 0.
QString RatioText(int64_t compressed, int64_t uncompressed);

// MS-DOS time in the low 16 bits, date in the high 16 bits.
struct DosStamp {
  int year, month, day, hour, minute, second;
};
// The calendar value of a packed stamp; nullopt when it is not a real date
// and time (month 0, 30th of February, hour 24 ...).
std::optional<DosStamp> DecodeDosDateTime(uint32_t packed);

// Formats a stamp by a date/time pattern: "yyyy" four-digit year, "yy"
// two-digit year, "dd" day, "hh" 24-hour clock hour, "nn" minutes, "ss"
// seconds, and "mm" minutes when the last letter specifier before it is an
// hour and month otherwise ("mm:hh" shows month and hour). "/" and ":" give
// the date and time separators; text in quotes and anything else is copied.
QString FormatStamp(const DosStamp& s, const QString& pattern, QChar dateSep = u'/',
                    QChar timeSep = u':');

// The Modified text: the stamp formatted by pattern, or "Unknown".
QString ModifiedText(uint32_t packed, const QString& pattern, QChar dateSep = u'/',
                     QChar timeSep = u':');

// " " + G + " " + U of the totals and selection texts: bytes below 1000 show
// as bytes, others as truncated kilobytes; a figure of more than three digits
// gets one blank before its last three digits (1234567 -> "1234 567"), one of
// three digits or fewer a leading blank.
QString AmountText(int64_t bytes);
// "Total 12 files, 2 345 Kb"
QString TotalsText(int64_t count, int64_t bytes);
// "Selected 3 files,  8 Kb"
QString SelectionText(int64_t count, int64_t bytes);

// ---- The rows ----------------------------------------------------------------

struct FileRow {
  QString caption;        // NamePart of the entry name
  QString path;           // FolderPart of the entry name
  QString fullName;       // the entry name as delivered ("docs\intro.txt")
  int64_t uncompressed = 0;
  int64_t compressed = 0;
  uint32_t dosDateTime = 0;
  bool stampValid = false;
  int icon = -1;          // index into the model's icon list, -1 for none
  bool encrypted = false; // its data needs a password
  int sourceIndex = -1;   // position in the listing (directory order)
};

class FileListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { ColFilename = 0, ColSize, ColPacked, ColModified, ColRatio, ColPath, ColumnCount };
  // The role under which data() answers a row's whole entry name.
  static constexpr int FullNameRole = Qt::UserRole + 1;

  explicit FileListModel(QObject* parent = nullptr);

  // Column captions "Filename", "Size kb", ... and their default widths.
  static QString ColumnCaption(int column);
  static int DefaultColumnWidth(int column);

  // The pattern of the Modified column: date format + three blanks + time
  // format. Changing it repaints the column; stored rows keep their stamps.
  void SetStampPattern(const QString& datePattern, const QString& timePattern);
  QString StampPattern() const { return pattern_; }

  // Empties the list (one reset for the views).
  void Clear();
  // Adds many rows with one reset; faster than AddRow for whole directories.
  void BeginFill();
  // Adds one row. Names whose NamePart is empty (folder entries) add nothing
  // and answer false. Counts into ListedCount / ListedBytes.
  bool AddRow(const QString& entryName, int64_t uncompressed, int64_t compressed,
              uint32_t dosDateTime, int icon = -1, bool encrypted = false);
  void EndFill();

  // The shared small icons; AddIcon answers the new image's index.
  int AddIcon(const QIcon& icon);
  int IconCount() const { return icons_.size(); }

  int64_t ListedCount() const { return listedCount_; }
  int64_t ListedBytes() const { return listedBytes_; }
  void ResetCounters() { listedCount_ = 0; listedBytes_ = 0; }

  const FileRow& Row(int row) const { return rows_[static_cast<size_t>(row)]; }
  int RowCountValue() const { return static_cast<int>(rows_.size()); }

  // The text of a cell, as the view shows it.
  QString CellText(int row, int column) const;

  // Negative when a goes before b for a click on column, zero when equal.
  int CompareRows(const FileRow& a, const FileRow& b, int column) const;
  // Stable sort by CompareRows.
  void SortByColumn(int column);

  // QAbstractTableModel
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<FileRow> rows_;
  QVector<QIcon> icons_;
  QString pattern_ = QStringLiteral("yyyy/mm/dd   hh:mm");
  int64_t listedCount_ = 0;
  int64_t listedBytes_ = 0;
  bool filling_ = false;
};

}  // namespace arkelin::window

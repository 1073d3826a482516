#include "window/FileListModel.h"

#include <QDate>
#include <QLocale>

#include <algorithm>
#include <cstring>

namespace arkelin::window {

// ---- Row texts -------------------------------------------------------------------

namespace {

int LastSeparator(const QString& name) {
  return std::max(name.lastIndexOf(u'\\'), name.lastIndexOf(u'/'));
}

QString Pad2(int v) { return QString::number(v).rightJustified(2, u'0'); }

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

QString NamePart(const QString& name) {
  const int sep = LastSeparator(name);
  return sep < 0 ? name : name.mid(sep + 1);
}

QString FolderPart(const QString& name) {
  const int sep = LastSeparator(name);
  return sep < 0 ? QString() : name.left(sep);
}

QString KbText(int64_t bytes) {
  const int64_t kb = bytes / 1000;
  return kb <= 0 ? QStringLiteral("1") : QString::number(kb);
}

QString RatioText(int64_t compressed, int64_t uncompressed) {
  if (compressed == 0 || uncompressed == 0) return QStringLiteral("0%");
  const double pct = static_cast<double>(compressed) / static_cast<double>(uncompressed) * 100.0;
  return QString::number(static_cast<int64_t>(pct)) + u'%';
}

std::optional<DosStamp> DecodeDosDateTime(uint32_t packed) {
  const uint32_t time = packed & 0xFFFFu;
  const uint32_t date = packed >> 16;
  DosStamp s{};
  s.year = static_cast<int>((date >> 9) & 0x7F) + 1980;
  s.month = static_cast<int>((date >> 5) & 0x0F);
  s.day = static_cast<int>(date & 0x1F);
  s.hour = static_cast<int>((time >> 11) & 0x1F);
  s.minute = static_cast<int>((time >> 5) & 0x3F);
  s.second = static_cast<int>(time & 0x1F) * 2;
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (s.month < 1 || s.month > 12 || s.day < 1) return std::nullopt;
  const int maxDay = kDays[s.month - 1] + (s.month == 2 && IsLeapYear(s.year) ? 1 : 0);
  if (s.day > maxDay) return std::nullopt;
  if (s.hour > 23 || s.minute > 59 || s.second > 59) return std::nullopt;
  return s;
}

QString FormatStamp(const DosStamp& s, const QString& pattern, QChar dateSep, QChar timeSep) {
  QString out;
  out.reserve(pattern.size() + 4);
  const QLocale c = QLocale::c();
  bool afterHour = false;  // the last letter specifier was an hour
  int i = 0;
  const int n = pattern.size();
  while (i < n) {
    const QChar ch = pattern[i];
    if (ch == u'"' || ch == u'\'') {  // quoted text is copied as it is
      const int end = pattern.indexOf(ch, i + 1);
      const int stop = end < 0 ? n : end;
      out += pattern.mid(i + 1, stop - i - 1);
      i = stop + 1;
      continue;
    }
    const QChar lower = ch.toLower();
    int run = 1;
    while (i + run < n && pattern[i + run].toLower() == lower) ++run;
    switch (lower.unicode()) {
      case u'y':
        out += run >= 3 ? QString::number(s.year).rightJustified(4, u'0') : Pad2(s.year % 100);
        afterHour = false;
        break;
      case u'm':
        if (afterHour && run <= 2) {
          out += run == 1 ? QString::number(s.minute) : Pad2(s.minute);
        } else if (run == 1) {
          out += QString::number(s.month);
        } else if (run == 2) {
          out += Pad2(s.month);
        } else {
          out += c.monthName(s.month, run == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
        }
        afterHour = false;
        break;
      case u'd':
        if (run <= 2) {
          out += run == 1 ? QString::number(s.day) : Pad2(s.day);
        } else {
          const int dow = QDate(s.year, s.month, s.day).dayOfWeek();
          out += c.dayName(dow, run == 3 ? QLocale::ShortFormat : QLocale::LongFormat);
        }
        afterHour = false;
        break;
      case u'h':
        out += run == 1 ? QString::number(s.hour) : Pad2(s.hour);
        afterHour = true;
        break;
      case u'n':
        out += run == 1 ? QString::number(s.minute) : Pad2(s.minute);
        afterHour = false;
        break;
      case u's':
        out += run == 1 ? QString::number(s.second) : Pad2(s.second);
        afterHour = false;
        break;
      case u'/':
        out += QString(run, dateSep);
        break;
      case u':':
        out += QString(run, timeSep);
        break;
      default:
        out += pattern.mid(i, run);
        break;
    }
    i += run;
  }
  return out;
}

QString ModifiedText(uint32_t packed, const QString& pattern, QChar dateSep, QChar timeSep) {
  const auto s = DecodeDosDateTime(packed);
  return s ? FormatStamp(*s, pattern, dateSep, timeSep) : QStringLiteral("Unknown");
}

QString AmountText(int64_t bytes) {
  const bool small = bytes < 1000;
  const int64_t v = small ? bytes : bytes / 1000;
  QString digits = QString::number(v);
  // One blank before the last three digits, however long the figure.
  const QString g = digits.size() > 3 ? digits.left(digits.size() - 3) + u' ' + digits.right(3)
                                      : u' ' + digits;
  return u' ' + g + u' ' + (small ? QStringLiteral("Bytes") : QStringLiteral("Kb"));
}

QString TotalsText(int64_t count, int64_t bytes) {
  return QStringLiteral("Total ") + QString::number(count) + QStringLiteral(" files,") +
         AmountText(bytes);
}

QString SelectionText(int64_t count, int64_t bytes) {
  return QStringLiteral("Selected ") + QString::number(count) + QStringLiteral(" files,") +
         AmountText(bytes);
}

// ---- The model -----------------------------------------------------------------

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

QString FileListModel::ColumnCaption(int column) {
  switch (column) {
    case ColFilename: return QStringLiteral("Filename");
    case ColSize: return QStringLiteral("Size kb");
    case ColPacked: return QStringLiteral("Packed kb");
    case ColModified: return QStringLiteral("Modified");
    case ColRatio: return QStringLiteral("Ratio");
    case ColPath: return QStringLiteral("Path");
    default: return QString();
  }
}

int FileListModel::DefaultColumnWidth(int column) {
  static constexpr int kWidths[ColumnCount] = {130, 65, 65, 70, 40, 300};
  return column >= 0 && column < ColumnCount ? kWidths[column] : 0;
}

void FileListModel::SetStampPattern(const QString& datePattern, const QString& timePattern) {
  const QString p = datePattern + QStringLiteral("   ") + timePattern;
  if (p == pattern_) return;
  pattern_ = p;
  if (!rows_.empty())
    emit dataChanged(index(0, ColModified), index(RowCountValue() - 1, ColModified));
}

void FileListModel::Clear() {
  if (filling_) {  // already inside the fill's reset
    rows_.clear();
    icons_.clear();
    return;
  }
  beginResetModel();
  rows_.clear();
  icons_.clear();
  endResetModel();
}

void FileListModel::BeginFill() {
  if (filling_) return;
  filling_ = true;
  beginResetModel();
}

void FileListModel::EndFill() {
  if (!filling_) return;
  filling_ = false;
  endResetModel();
}

bool FileListModel::AddRow(const QString& entryName, int64_t uncompressed, int64_t compressed,
                           uint32_t dosDateTime, int icon, bool encrypted) {
  FileRow r;
  r.caption = NamePart(entryName);
  if (r.caption.isEmpty()) return false;  // a folder entry
  r.path = FolderPart(entryName);
  r.fullName = entryName;
  r.uncompressed = uncompressed;
  r.compressed = compressed;
  r.dosDateTime = dosDateTime;
  r.stampValid = DecodeDosDateTime(dosDateTime).has_value();
  r.icon = icon;
  r.encrypted = encrypted;
  r.sourceIndex = static_cast<int>(rows_.size());
  ++listedCount_;
  listedBytes_ += uncompressed;
  if (filling_) {
    rows_.push_back(std::move(r));
  } else {
    const int at = RowCountValue();
    beginInsertRows(QModelIndex(), at, at);
    rows_.push_back(std::move(r));
    endInsertRows();
  }
  return true;
}

int FileListModel::AddIcon(const QIcon& icon) {
  icons_.push_back(icon);
  return icons_.size() - 1;
}

QString FileListModel::CellText(int row, int column) const {
  const FileRow& r = Row(row);
  switch (column) {
    case ColFilename: return r.caption;
    case ColSize: return KbText(r.uncompressed);
    case ColPacked: return KbText(r.compressed);
    case ColModified: return ModifiedText(r.dosDateTime, pattern_);
    case ColRatio: return RatioText(r.compressed, r.uncompressed);
    case ColPath: return r.path;
    default: return QString();
  }
}

namespace {

// Byte-wise comparison of UTF-8 texts as unsigned bytes; a text that is the
// start of a longer one comes first.
int CompareBytes(const QByteArray& a, const QByteArray& b) {
  const size_t n = static_cast<size_t>(std::min(a.size(), b.size()));
  const int c = n ? std::memcmp(a.constData(), b.constData(), n) : 0;
  if (c != 0) return c < 0 ? -1 : 1;
  return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int Sign(int64_t v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

// The Size kb text read back as a number (what the user sees is what sorts).
int64_t KbValue(int64_t bytes) {
  const int64_t kb = bytes / 1000;
  return kb <= 0 ? 1 : kb;
}

}  // namespace

int FileListModel::CompareRows(const FileRow& a, const FileRow& b, int column) const {
  switch (column) {
    case ColFilename:
      return CompareBytes(a.caption.toUtf8(), b.caption.toUtf8());
    case ColSize:
      return Sign(KbValue(a.uncompressed) - KbValue(b.uncompressed));
    case ColPacked:
      // As texts, not numbers: "10" goes before "9".
      return CompareBytes(KbText(a.compressed).toLatin1(), KbText(b.compressed).toLatin1());
    case ColModified:
      // Newest first; rows with no valid stamp go last.
      if (a.stampValid != b.stampValid) return a.stampValid ? -1 : 1;
      if (!a.stampValid) return 0;
      // Date in the high half, time in the low: the packed value orders in time.
      return a.dosDateTime == b.dosDateTime ? 0 : (a.dosDateTime > b.dosDateTime ? -1 : 1);
    default:
      return 0;  // Ratio and Path: all rows equal
  }
}

void FileListModel::SortByColumn(int column) {
  if (column == ColRatio || column == ColPath || rows_.size() < 2) return;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList before = persistentIndexList();
  std::vector<int> oldRowOfPersistent;
  oldRowOfPersistent.reserve(static_cast<size_t>(before.size()));
  for (const QModelIndex& i : before) oldRowOfPersistent.push_back(i.row());

  std::vector<int> order(rows_.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  if (column == ColFilename) {
    // Convert each caption once rather than at every comparison.
    std::vector<QByteArray> keys(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i) keys[i] = rows_[i].caption.toUtf8();
    std::stable_sort(order.begin(), order.end(),
                     [&](int x, int y) { return CompareBytes(keys[x], keys[y]) < 0; });
  } else if (column == ColPacked) {
    std::vector<QByteArray> keys(rows_.size());
    for (size_t i = 0; i < rows_.size(); ++i) keys[i] = KbText(rows_[i].compressed).toLatin1();
    std::stable_sort(order.begin(), order.end(),
                     [&](int x, int y) { return CompareBytes(keys[x], keys[y]) < 0; });
  } else {
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
      return CompareRows(rows_[x], rows_[y], column) < 0;
    });
  }
  std::vector<FileRow> sorted;
  sorted.reserve(rows_.size());
  std::vector<int> newRowOfOld(rows_.size());
  for (size_t i = 0; i < order.size(); ++i) {
    newRowOfOld[static_cast<size_t>(order[i])] = static_cast<int>(i);
    sorted.push_back(std::move(rows_[static_cast<size_t>(order[i])]));
  }
  rows_.swap(sorted);

  QModelIndexList after;
  after.reserve(before.size());
  for (int k = 0; k < before.size(); ++k)
    after.push_back(index(newRowOfOld[static_cast<size_t>(oldRowOfPersistent[k])], before[k].column()));
  changePersistentIndexList(before, after);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : RowCountValue();
}

int FileListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : ColumnCount;
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= RowCountValue()) return {};
  if (role == Qt::DisplayRole) return CellText(index.row(), index.column());
  if (role == FullNameRole) return Row(index.row()).fullName;
  if (role == Qt::DecorationRole && index.column() == ColFilename) {
    const int icon = Row(index.row()).icon;
    if (icon >= 0 && icon < icons_.size()) return icons_[icon];
    return {};
  }
  if (role == Qt::TextAlignmentRole) {
    const int c = index.column();
    if (c == ColSize || c == ColPacked || c == ColRatio)
      return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
  }
  return {};
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && role == Qt::DisplayRole) return ColumnCaption(section);
  return QAbstractTableModel::headerData(section, orientation, role);
}

}  // namespace arkelin::window

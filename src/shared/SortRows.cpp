#include "shared/SortRows.h"

#include <QCollator>
#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTime>
#include <cmath>

namespace arkelin::shared {
namespace {

constexpr long long kMsPerDay = 86400000LL;

// A two-digit year read by Qt lands in 1900..1999; put it in the hundred
// years around today instead (50 back, 49 ahead), as users of two-digit
// short dates expect.
int WindowedYear(int parsedYear) {
  int yy = parsedYear % 100;
  int now = QDate::currentDate().year();
  int year = (now / 100) * 100 + yy;
  if (year > now + 49) year -= 100;
  if (year <= now - 50) year += 100;
  return year;
}

// The conversions of one locale, built once per sort.
class Reader {
 public:
  explicit Reader(const TSortLocale& loc)
      : locale_(loc.Name.empty() ? QLocale::system() : QLocale(QString::fromStdString(loc.Name))) {
    QString shortDate = locale_.dateFormat(QLocale::ShortFormat);
    dateFormats_.append({shortDate, false});
    static const QRegularExpression twoDigitYear(QStringLiteral("(?<!y)yy(?!y)"));
    if (shortDate.contains(twoDigitYear)) {
      dateFormats_.front().twoDigitYear = true;
      QString fourDigits = shortDate;
      fourDigits.replace(twoDigitYear, QStringLiteral("yyyy"));
      dateFormats_.append({fourDigits, false});
    }
    for (const QString& f : {locale_.timeFormat(QLocale::ShortFormat), locale_.timeFormat(QLocale::LongFormat),
                             QStringLiteral("H:mm:ss.zzz"), QStringLiteral("H:mm:ss"), QStringLiteral("H:mm"),
                             QStringLiteral("h:mm:ss AP"), QStringLiteral("h:mm AP")}) {
      if (!timeFormats_.contains(f)) timeFormats_.append(f);
    }
    for (const std::string& f : loc.ExtraDateTimeFormats) extraFormats_.append(QString::fromStdString(f));
  }

  const QLocale& Locale() const { return locale_; }

  std::optional<double> Number(const QString& text) const {
    bool ok = false;
    double v = locale_.toDouble(text.trimmed(), &ok);
    if (!ok || std::isnan(v)) return std::nullopt;
    return v;
  }

  std::optional<long long> Time(const QString& text) const {
    QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    for (const QString& f : timeFormats_) {
      QTime v = locale_.toTime(t, f);
      if (v.isValid()) return v.msecsSinceStartOfDay();
    }
    return std::nullopt;
  }

  std::optional<long long> DateTime(const QString& text) const {
    QString t = text.trimmed();
    if (t.isEmpty()) return std::nullopt;
    if (auto d = Date(t)) return *d * kMsPerDay;
    // A date, blanks, a time; every blank is tried as the split, because
    // some locales' dates hold blanks themselves.
    for (int i = 1; i < t.size(); ++i) {
      if (!t[i].isSpace() || t[i - 1].isSpace()) continue;
      auto d = Date(t.left(i));
      if (!d) continue;
      if (auto tm = Time(t.mid(i))) return *d * kMsPerDay + *tm;
    }
    for (const QString& f : extraFormats_) {
      QDateTime v = locale_.toDateTime(t, f);
      if (v.isValid()) return v.date().toJulianDay() * kMsPerDay + v.time().msecsSinceStartOfDay();
    }
    return std::nullopt;
  }

 private:
  struct DateFormat {
    QString format;
    bool twoDigitYear;
  };

  // Julian day of a date in one of the short date formats.
  std::optional<long long> Date(const QString& t) const {
    for (const DateFormat& f : dateFormats_) {
      QDate v = locale_.toDate(t, f.format);
      if (!v.isValid()) continue;
      if (f.twoDigitYear) {
        QDate w(WindowedYear(v.year()), v.month(), v.day());
        if (w.isValid()) v = w;
      }
      return v.toJulianDay();
    }
    return std::nullopt;
  }

  QLocale locale_;
  QList<DateFormat> dateFormats_;
  QStringList timeFormats_;
  QStringList extraFormats_;
};

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

TSortStyle Detect(const std::vector<QString>& cells, const Reader& r) {
  bool number = true, dateTime = true, time = true;
  for (const QString& c : cells) {
    if (number && !r.Number(c)) number = false;
    if (dateTime && !r.DateTime(c)) dateTime = false;
    if (time && !r.Time(c)) time = false;
    if (!number && !dateTime && !time) break;
  }
  if (number) return TSortStyle::ssNumeric;
  if (dateTime) return TSortStyle::ssDateTime;
  if (time) return TSortStyle::ssTime;
  return TSortStyle::ssAlphabetic;
}

// One row's key: the converted value when it converts.
struct Key {
  bool ok = false;
  double number = 0;
  long long stamp = 0;
};

// Stable top-down merge sort of positions; cmp(a, b) answers <0 when a goes
// first. It reads only positions inside the range, whatever cmp answers.
template <class Cmp>
void MergeSort(std::vector<int>& v, std::vector<int>& tmp, size_t lo, size_t hi, const Cmp& cmp) {
  if (hi - lo < 2) return;
  size_t mid = lo + (hi - lo) / 2;
  MergeSort(v, tmp, lo, mid, cmp);
  MergeSort(v, tmp, mid, hi, cmp);
  size_t i = lo, j = mid, k = lo;
  while (i < mid && j < hi) tmp[k++] = cmp(v[j], v[i]) < 0 ? v[j++] : v[i++];
  while (i < mid) tmp[k++] = v[i++];
  while (j < hi) tmp[k++] = v[j++];
  for (size_t n = lo; n < hi; ++n) v[n] = tmp[n];
}

}  // namespace

std::optional<double> SortNumber(const std::string& text, const TSortLocale& loc) {
  return Reader(loc).Number(Q(text));
}

std::optional<long long> SortDateTime(const std::string& text, const TSortLocale& loc) {
  return Reader(loc).DateTime(Q(text));
}

std::optional<long long> SortTime(const std::string& text, const TSortLocale& loc) {
  return Reader(loc).Time(Q(text));
}

TSortStyle DetectSortStyle(const std::vector<std::string>& cells, const TSortLocale& loc) {
  std::vector<QString> texts;
  texts.reserve(cells.size());
  for (const std::string& c : cells) texts.push_back(Q(c));
  return Detect(texts, Reader(loc));
}

std::vector<int> SortOrder(const std::vector<std::string>& cells, const TSortOptions& options,
                           const TSortLocale& loc, TSortStyle* detected) {
  Reader reader(loc);
  std::vector<QString> texts;
  texts.reserve(cells.size());
  for (const std::string& c : cells) texts.push_back(Q(c));

  TSortStyle style = options.SortStyle;
  if (style == TSortStyle::ssAutomatic) style = Detect(texts, reader);
  if (detected) *detected = style;

  // Upper-case copies; the callers' cells never change.
  std::vector<QString> cmpTexts = texts;
  if (!options.SortCaseSensitive) {
    for (QString& t : cmpTexts) t = reader.Locale().toUpper(t);
  }

  std::vector<Key> keys(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    Key& k = keys[i];
    switch (style) {
      case TSortStyle::ssNumeric:
        if (auto v = reader.Number(texts[i])) k = {true, *v, 0};
        break;
      case TSortStyle::ssDateTime:
        if (auto v = reader.DateTime(texts[i])) k = {true, 0, *v};
        break;
      case TSortStyle::ssTime:
        if (auto v = reader.Time(texts[i])) k = {true, 0, *v};
        break;
      default:
        break;
    }
  }

  std::vector<std::string> customTexts;
  if (style == TSortStyle::ssCustom) {
    customTexts.reserve(cmpTexts.size());
    for (const QString& t : cmpTexts) customTexts.push_back(t.toStdString());
  }

  QCollator collator(reader.Locale());
  collator.setCaseSensitivity(Qt::CaseSensitive);

  auto valueCompare = [&](int a, int b) -> int {
    switch (style) {
      case TSortStyle::ssNumeric:
        if (!keys[a].ok || !keys[b].ok) return 0;
        return keys[a].number < keys[b].number ? -1 : keys[a].number > keys[b].number ? 1 : 0;
      case TSortStyle::ssDateTime:
      case TSortStyle::ssTime:
        if (!keys[a].ok || !keys[b].ok) return 0;
        return keys[a].stamp < keys[b].stamp ? -1 : keys[a].stamp > keys[b].stamp ? 1 : 0;
      case TSortStyle::ssCustom:
        if (!options.SortCompare) return 0;
        return options.SortCompare(customTexts[a], customTexts[b]);
      default: {
        int c = collator.compare(cmpTexts[a], cmpTexts[b]);
        return c < 0 ? -1 : c > 0 ? 1 : 0;
      }
    }
  };
  auto cmp = [&](int a, int b) -> int {
    int c = valueCompare(a, b);
    if (c != 0) return options.SortDirection == sdDescending ? -c : c;
    return a < b ? -1 : a > b ? 1 : 0;
  };

  std::vector<int> order(texts.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = static_cast<int>(i);
  std::vector<int> tmp(order.size());
  MergeSort(order, tmp, 0, order.size(), cmp);
  return order;
}

}  // namespace arkelin::shared

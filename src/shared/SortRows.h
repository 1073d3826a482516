// The Widgets-free core of the sortable grid (TSortGrid in shared/widgets):
// the sort options, the detection of what kind of values a column holds, and
// the order of a column's rows. It owns no rows: callers hand it the texts
// of one column, in row order, and get back the new order as the list of
// old positions, which they apply to whole rows.
//
// Kinds of values are read in a locale: floating-point numbers in its number
// format (group separators accepted), dates in its short date format (a
// two-digit year also as four digits) optionally followed by a time, times
// in its short or long time format or as H:mm[:ss] or h:mm[:ss] AM/PM. Blanks around a text do
// not matter. Callers may add their own date-and-time patterns (Qt format
// strings) for columns written in another format.
//
// Ties are broken by the old row position, lower first, in both directions,
// so equal texts keep their relative order and the result never depends on
// the sorting algorithm. A converting style (numeric, date and time, time)
// compares a text that does not convert as equal to anything; such a
// comparison is not a proper ordering, so the rows are merged with a merge
// sort that stays well defined (and deterministic) whatever the comparison
// answers, instead of a library sort that would be undefined.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace arkelin::shared {

enum TSortDirection { sdAscending, sdDescending };

// 0 automatic, 1 text, 2 numeric, 3 date and time, 4 time, 5 custom.
enum class TSortStyle : int {
  ssAutomatic = 0,
  ssAlphabetic = 1,
  ssNumeric = 2,
  ssDateTime = 3,
  ssTime = 4,
  ssCustom = 5,
};

// Negative, zero or positive, like strcmp; texts are UTF-8.
using TSortCompare = std::function<int(const std::string& a, const std::string& b)>;

// Passed by value through one sort.
struct TSortOptions {
  TSortStyle SortStyle = TSortStyle::ssAutomatic;
  TSortDirection SortDirection = sdAscending;
  bool SortCaseSensitive = false;
  TSortCompare SortCompare;  // ssCustom only
};

// The locale the kinds are read in.
struct TSortLocale {
  // A locale name such as "de_DE"; empty means the system's locale.
  std::string Name;
  // Further date-and-time patterns (Qt format strings, e.g. "yyyy/MM/dd
  // HH:mm"), tried after the locale's own.
  std::vector<std::string> ExtraDateTimeFormats;
};

// Conversions of one text. Values: a number; a date and time as
// milliseconds from the start of the proleptic Gregorian calendar's day 0
// (so any date compares with any other); a time as milliseconds from
// midnight. nullopt when the text is not of that kind (an empty text never
// is; "nan" is not a number).
std::optional<double> SortNumber(const std::string& text, const TSortLocale& loc = {});
std::optional<long long> SortDateTime(const std::string& text, const TSortLocale& loc = {});
std::optional<long long> SortTime(const std::string& text, const TSortLocale& loc = {});

// The style of a column from its cells, top to bottom: numeric when every
// cell is a number, otherwise date and time when every cell is one,
// otherwise time when every cell is one, otherwise text. A kind is no longer
// tested once a cell failed it. No cells: numeric (nothing fails).
TSortStyle DetectSortStyle(const std::vector<std::string>& cells, const TSortLocale& loc = {});

// The new order of cells under options: position k of the result holds the
// index (into cells) of the row that goes to position k. The automatic style
// is replaced by the detected one first (detected is set to the style used
// when not null). Without case sensitivity texts compare in upper case.
std::vector<int> SortOrder(const std::vector<std::string>& cells, const TSortOptions& options,
                           const TSortLocale& loc = {}, TSortStyle* detected = nullptr);

}  // namespace arkelin::shared

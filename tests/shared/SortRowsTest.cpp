// The sorting core of the grid: what kind of values a column holds, in a
// given locale, and the order of its rows, ties included.
#include "shared/SortRows.h"

#include <gtest/gtest.h>

#include <QDate>
#include <algorithm>
#include <random>
#include <stdexcept>

using namespace arkelin::shared;

namespace {

const TSortLocale kUS{"en_US", {}};
const TSortLocale kDE{"de_DE", {}};

// The cells in the order SortOrder gives.
std::vector<std::string> Sorted(const std::vector<std::string>& cells, TSortOptions o,
                                const TSortLocale& loc = kUS, TSortStyle* style = nullptr) {
  std::vector<std::string> out;
  for (int i : SortOrder(cells, o, loc, style)) out.push_back(cells[static_cast<size_t>(i)]);
  return out;
}

TSortOptions Asc() { return {}; }
TSortOptions Desc() {
  TSortOptions o;
  o.SortDirection = sdDescending;
  return o;
}

using V = std::vector<std::string>;

}  // namespace

TEST(SortRows, NumbersSortByValueAndAnEmptyCellMakesTheColumnText) {
  TSortStyle style{};
  EXPECT_EQ(Sorted({"10", "9", "100"}, Asc(), kUS, &style), (V{"9", "10", "100"}));
  EXPECT_EQ(style, TSortStyle::ssNumeric);
  EXPECT_EQ(Sorted({"10", "9", "100"}, Desc()), (V{"100", "10", "9"}));
  EXPECT_EQ(Sorted({"10", "", "100", "9"}, Asc(), kUS, &style), (V{"", "10", "100", "9"}));
  EXPECT_EQ(style, TSortStyle::ssAlphabetic);
  // Signs, fractions, exponents and blanks around the text.
  EXPECT_EQ(Sorted({"2.5", "-3", " 1e1 ", "0.25"}, Asc()), (V{"-3", "0.25", "2.5", " 1e1 "}));
}

TEST(SortRows, NumbersAreReadInTheLocale) {
  EXPECT_EQ(SortNumber("1,5", kDE), 1.5);
  EXPECT_EQ(SortNumber("1.234,5", kDE), 1234.5);
  EXPECT_EQ(SortNumber("1,234.5", kUS), 1234.5);
  EXPECT_FALSE(SortNumber("", kUS));
  EXPECT_FALSE(SortNumber("12 kB", kUS));
  EXPECT_FALSE(SortNumber("nan", kUS));
  EXPECT_EQ(Sorted({"10,5", "9,75", "100"}, Asc(), kDE), (V{"9,75", "10,5", "100"}));
}

TEST(SortRows, ShortDatesSortChronologically) {
  // en_US writes M/d/yy; the year is also accepted with four digits.
  TSortStyle style{};
  EXPECT_EQ(Sorted({"3/1/24", "12/15/23", "1/2/24", "2/1/2024"}, Asc(), kUS, &style),
            (V{"12/15/23", "1/2/24", "2/1/2024", "3/1/24"}));
  EXPECT_EQ(style, TSortStyle::ssDateTime);
  // de_DE writes dd.MM.yy; a two-digit year is read in the century around today.
  EXPECT_EQ(Sorted({"03.01.24", "31.12.99", "15.12.23", "01.01.01"}, Asc(), kDE),
            (V{"31.12.99", "01.01.01", "15.12.23", "03.01.24"}));
  int yy = QDate::currentDate().year() % 100;
  auto thisYear = SortDateTime("01.01." + std::to_string(100 + yy).substr(1), kDE);
  auto full = SortDateTime("01.01." + std::to_string(QDate::currentDate().year()), kDE);
  ASSERT_TRUE(thisYear && full);
  EXPECT_EQ(*thisYear, *full);
  EXPECT_FALSE(SortDateTime("31.02.24", kDE));
  EXPECT_FALSE(SortDateTime("", kDE));
}

TEST(SortRows, DatesWithTimesSortByBoth) {
  TSortStyle style{};
  EXPECT_EQ(Sorted({"1/2/24 10:00 AM", "1/2/24 9:30 AM", "12/31/23 11:00 PM", "1/2/24"}, Asc(), kUS, &style),
            (V{"12/31/23 11:00 PM", "1/2/24", "1/2/24 9:30 AM", "1/2/24 10:00 AM"}));
  EXPECT_EQ(style, TSortStyle::ssDateTime);
  EXPECT_EQ(Sorted({"02.01.24 10:00", "02.01.24 09:59:30", "01.01.24 23:00"}, Desc(), kDE),
            (V{"02.01.24 10:00", "02.01.24 09:59:30", "01.01.24 23:00"}));
  // A pattern of the caller's own, for a column written in another form.
  TSortLocale own{"en_US", {"yyyy/MM/dd HH:mm"}};
  EXPECT_EQ(Sorted({"2024/01/02 10:00", "2023/12/31 23:59", "2024/01/02 09:00"}, Asc(), own, &style),
            (V{"2023/12/31 23:59", "2024/01/02 09:00", "2024/01/02 10:00"}));
  EXPECT_EQ(style, TSortStyle::ssDateTime);
  EXPECT_FALSE(SortDateTime("2024/01/02 10:00", kUS));
}

TEST(SortRows, TimesSortAsTimes) {
  TSortStyle style{};
  EXPECT_EQ(Sorted({"9:05", "10:00", "8:59:30", "23:01"}, Asc(), kDE, &style), (V{"8:59:30", "9:05", "10:00", "23:01"}));
  EXPECT_EQ(style, TSortStyle::ssTime);
  EXPECT_EQ(Sorted({"9:05 AM", "1:00 PM", "11:59 AM"}, Asc(), kUS, &style), (V{"9:05 AM", "11:59 AM", "1:00 PM"}));
  EXPECT_EQ(style, TSortStyle::ssTime);
  EXPECT_FALSE(SortTime("25:00", kDE));
  EXPECT_FALSE(SortTime("", kDE));
}

TEST(SortRows, MixedColumnsFallBackToText) {
  TSortStyle style{};
  // A number among dates, a date among times, a word among numbers.
  EXPECT_EQ(DetectSortStyle({"1/2/24", "5"}, kUS), TSortStyle::ssAlphabetic);
  EXPECT_EQ(DetectSortStyle({"10:00 AM", "1/2/24"}, kUS), TSortStyle::ssAlphabetic);
  EXPECT_EQ(Sorted({"20", "ten", "3"}, Asc(), kUS, &style), (V{"20", "3", "ten"}));
  EXPECT_EQ(style, TSortStyle::ssAlphabetic);
  // A date column with a time-only cell: no kind holds every cell.
  EXPECT_EQ(DetectSortStyle({"1/2/24 10:00 AM", "10:00 AM"}, kUS), TSortStyle::ssAlphabetic);
  // Date and time at once beats time: a date cell makes the column date-time.
  EXPECT_EQ(DetectSortStyle({"1/2/24", "1/3/24 10:00 AM"}, kUS), TSortStyle::ssDateTime);
}

TEST(SortRows, EqualTextsKeepTheirOrderInBothDirections) {
  // Rows are told apart by their position: each equal pair keeps its order.
  V cells{"b", "a", "B", "a", "b"};
  std::vector<int> asc = SortOrder(cells, Asc(), kUS);
  EXPECT_EQ(asc, (std::vector<int>{1, 3, 0, 2, 4}));
  std::vector<int> desc = SortOrder(cells, Desc(), kUS);
  EXPECT_EQ(desc, (std::vector<int>{0, 2, 4, 1, 3}));
  // Numbers equal by value, written differently, keep their order too.
  EXPECT_EQ(SortOrder({"2", "1.0", "1", "01"}, Desc(), kUS), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(SortOrder({"2", "1.0", "1", "01"}, Asc(), kUS), (std::vector<int>{1, 2, 3, 0}));
}

TEST(SortRows, CaseCountsOnlyWhenAskedFor) {
  EXPECT_EQ(SortOrder({"abc", "ABC", "Abd"}, Asc(), kUS), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(SortOrder({"ABC", "abc"}, Asc(), kUS), (std::vector<int>{0, 1}));
  TSortOptions cs;
  cs.SortCaseSensitive = true;
  std::vector<int> a = SortOrder({"ABC", "abc"}, cs, kUS);
  std::vector<int> b = SortOrder({"abc", "ABC"}, cs, kUS);
  // Case-sensitive, one of the two goes first whatever their old order.
  EXPECT_EQ(a[0], 1 - b[0]);
  // Letters beyond ASCII fold too.
  EXPECT_EQ(SortOrder({"ärger", "ÄRGER"}, Asc(), kDE), (std::vector<int>{0, 1}));
}

TEST(SortRows, TextsSortInTheLocale) {
  // A locale-aware order puts accented letters with their base letter.
  EXPECT_EQ(Sorted({"zebra", "Äpfel", "Birne"}, Asc(), kDE), (V{"Äpfel", "Birne", "zebra"}));
}

TEST(SortRows, AStatedStyleTreatsTextsThatDoNotConvertAsEqual) {
  TSortOptions o;
  o.SortStyle = TSortStyle::ssNumeric;
  V cells{"30", "x", "10", "", "20"};
  std::vector<int> order = SortOrder(cells, o, kUS);
  std::vector<int> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(sorted, (std::vector<int>{0, 1, 2, 3, 4}));  // every row once
  EXPECT_EQ(order, SortOrder(cells, o, kUS));             // and the same every time
  // Without non-converting cells the stated style is a plain numeric order.
  EXPECT_EQ(Sorted({"30", "10", "20"}, o), (V{"10", "20", "30"}));
  o.SortStyle = TSortStyle::ssAlphabetic;
  EXPECT_EQ(Sorted({"10", "9", "100"}, o), (V{"10", "100", "9"}));
}

TEST(SortRows, CustomComparisonSeesUpperCaseCopiesAndMayFail) {
  TSortOptions o;
  o.SortStyle = TSortStyle::ssCustom;
  std::vector<std::string> seen;
  o.SortCompare = [&](const std::string& a, const std::string& b) {
    seen.push_back(a);
    seen.push_back(b);
    return static_cast<int>(a.size()) - static_cast<int>(b.size());
  };
  EXPECT_EQ(Sorted({"ccc", "a", "bb"}, o), (V{"a", "bb", "ccc"}));
  for (const std::string& s : seen) EXPECT_TRUE(s == "CCC" || s == "A" || s == "BB") << s;
  o.SortCompare = [](const std::string&, const std::string&) -> int { throw std::runtime_error("broken"); };
  EXPECT_THROW(SortOrder({"a", "b"}, o, kUS), std::runtime_error);
}

TEST(SortRows, ManyRowsMatchAStableSortByValue) {
  std::mt19937 rng(7);
  std::vector<std::string> cells;
  std::vector<int> values;
  for (int i = 0; i < 3000; ++i) {
    int v = static_cast<int>(rng() % 200) - 100;
    values.push_back(v);
    cells.push_back(std::to_string(v));
  }
  std::vector<int> expect(cells.size());
  for (size_t i = 0; i < expect.size(); ++i) expect[i] = static_cast<int>(i);
  std::stable_sort(expect.begin(), expect.end(), [&](int a, int b) { return values[a] > values[b]; });
  EXPECT_EQ(SortOrder(cells, Desc(), kUS), expect);
}

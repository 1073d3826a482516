// The file list's texts, counters and ordering, without a window.
#include <QtTest>

#include "window/FileListModel.h"

using namespace arkelin::window;

namespace {

// MS-DOS packed value: date in the high half, time in the low half.
uint32_t Dos(int y, int mo, int d, int h, int mi, int s) {
  const uint32_t date = static_cast<uint32_t>(((y - 1980) << 9) | (mo << 5) | d);
  const uint32_t time = static_cast<uint32_t>((h << 11) | (mi << 5) | (s / 2));
  return (date << 16) | time;
}

QStringList Column(const FileListModel& m, int col) {
  QStringList out;
  for (int r = 0; r < m.RowCountValue(); ++r) out << m.CellText(r, col);
  return out;
}

}  // namespace

class FileListModelTest : public QObject {
  Q_OBJECT
 private slots:
  void namePartAndFolderPart_data();
  void namePartAndFolderPart();
  void kbText_data();
  void kbText();
  void ratioText_data();
  void ratioText();
  void modifiedText_data();
  void modifiedText();
  void amountTexts_data();
  void amountTexts();
  void folderEntriesAddNoRowsAndAreNotCounted();
  void countersAndTotalsUseSixtyFourBits();
  void sortBySizeAndPackedAreNumeric();
  void sortByNameIsByteWiseCaseSensitiveAndStable();
  void sortByModifiedIsNewestFirstUnknownLast();
  void sortByRatioOrPathKeepsOrder();
  void sortKeepsPersistentSelection();
  void stampPatternChangeRepaintsModified();
};

void FileListModelTest::namePartAndFolderPart_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QString>("path");
  QTest::newRow("backslashes") << "docs\\manual\\intro.txt" << "intro.txt" << "docs\\manual";
  QTest::newRow("slashes") << "docs/manual/intro.txt" << "intro.txt" << "docs/manual";
  QTest::newRow("mixed") << "a/b\\c.txt" << "c.txt" << "a/b";
  QTest::newRow("plain") << "readme" << "readme" << "";
  QTest::newRow("folder entry") << "docs\\" << "" << "docs";
}

void FileListModelTest::namePartAndFolderPart() {
  QFETCH(QString, name);
  QFETCH(QString, caption);
  QFETCH(QString, path);
  QCOMPARE(NamePart(name), caption);
  QCOMPARE(FolderPart(name), path);
}

void FileListModelTest::kbText_data() {
  QTest::addColumn<qint64>("bytes");
  QTest::addColumn<QString>("text");
  QTest::newRow("empty") << qint64(0) << "1";
  QTest::newRow("999") << qint64(999) << "1";
  QTest::newRow("1000") << qint64(1000) << "1";
  QTest::newRow("1999 truncates") << qint64(1999) << "1";
  QTest::newRow("2000") << qint64(2000) << "2";
  QTest::newRow("5 GB") << qint64(5'000'000'000) << "5000000";
  QTest::newRow("negative") << qint64(-5) << "1";
}

void FileListModelTest::kbText() {
  QFETCH(qint64, bytes);
  QFETCH(QString, text);
  QCOMPARE(KbText(bytes), text);
}

void FileListModelTest::ratioText_data() {
  QTest::addColumn<qint64>("c");
  QTest::addColumn<qint64>("u");
  QTest::addColumn<QString>("text");
  QTest::newRow("half") << qint64(500) << qint64(1000) << "50%";
  QTest::newRow("grown") << qint64(1234) << qint64(1000) << "123%";
  QTest::newRow("stored with header") << qint64(1012) << qint64(1000) << "101%";
  QTest::newRow("truncates") << qint64(2) << qint64(3) << "66%";
  QTest::newRow("empty entry") << qint64(0) << qint64(0) << "0%";
  QTest::newRow("no packed") << qint64(0) << qint64(100) << "0%";
  QTest::newRow("no unpacked") << qint64(10) << qint64(0) << "0%";
  QTest::newRow("big") << qint64(3'000'000'000) << qint64(6'000'000'000) << "50%";
}

void FileListModelTest::ratioText() {
  QFETCH(qint64, c);
  QFETCH(qint64, u);
  QFETCH(QString, text);
  QCOMPARE(RatioText(c, u), text);
}

void FileListModelTest::modifiedText_data() {
  QTest::addColumn<uint>("packed");
  QTest::addColumn<QString>("pattern");
  QTest::addColumn<QString>("text");
  const uint t = Dos(2023, 7, 4, 13, 5, 42);
  QTest::newRow("default") << t << "yyyy/mm/dd   hh:mm" << "2023/07/04   13:05";
  QTest::newRow("two-digit year") << t << "yy/mm/dd   hh:mm:ss" << "23/07/04   13:05:42";
  QTest::newRow("day first") << t << "dd/mm/yyyy   hh:mm" << "04/07/2023   13:05";
  QTest::newRow("mm before hh is month") << t << "dd/mm/yy   mm:hh" << "04/07/23   07:13";
  QTest::newRow("quoted text copied") << t << "yyyy'mm'" << "2023mm";
  QTest::newRow("other text copied") << t << "yyyy-mm-dd at hh.mm" << "2023-07-04 at 13.05";
  QTest::newRow("zero is not a date") << 0u << "yyyy/mm/dd   hh:mm" << "Unknown";
  QTest::newRow("month 13") << ((uint((43 << 9) | (13 << 5) | 1) << 16)) << "yyyy/mm/dd" << "Unknown";
  QTest::newRow("30 February") << Dos(2024, 2, 30, 0, 0, 0) << "yyyy/mm/dd" << "Unknown";
  QTest::newRow("29 February leap") << Dos(2024, 2, 29, 0, 0, 0) << "yyyy/mm/dd" << "2024/02/29";
  QTest::newRow("29 February 2100 is not") << Dos(2100, 2, 29, 0, 0, 0) << "yyyy/mm/dd" << "Unknown";
  QTest::newRow("hour 24") << (Dos(2020, 1, 1, 0, 0, 0) | (24u << 11)) << "hh:mm" << "Unknown";
  QTest::newRow("60 seconds") << (Dos(2020, 1, 1, 0, 0, 0) | 30u) << "hh:mm" << "Unknown";
}

void FileListModelTest::modifiedText() {
  QFETCH(uint, packed);
  QFETCH(QString, pattern);
  QFETCH(QString, text);
  QCOMPARE(ModifiedText(packed, pattern), text);
}

void FileListModelTest::amountTexts_data() {
  QTest::addColumn<qint64>("count");
  QTest::addColumn<qint64>("bytes");
  QTest::addColumn<QString>("totals");
  QTest::addColumn<QString>("selection");
  QTest::newRow("bytes") << qint64(3) << qint64(500) << "Total 3 files,  500 Bytes"
                         << "Selected 3 files,  500 Bytes";
  QTest::newRow("nothing") << qint64(0) << qint64(0) << "Total 0 files,  0 Bytes"
                           << "Selected 0 files,  0 Bytes";
  QTest::newRow("999 bytes") << qint64(1) << qint64(999) << "Total 1 files,  999 Bytes"
                             << "Selected 1 files,  999 Bytes";
  QTest::newRow("8 Kb") << qint64(3) << qint64(8000) << "Total 3 files,  8 Kb"
                        << "Selected 3 files,  8 Kb";
  QTest::newRow("four digits") << qint64(12) << qint64(2'345'678) << "Total 12 files, 2 345 Kb"
                               << "Selected 12 files, 2 345 Kb";
  QTest::newRow("one blank only") << qint64(1) << qint64(1'234'567'000)
                                  << "Total 1 files, 1234 567 Kb" << "Selected 1 files, 1234 567 Kb";
  QTest::newRow("above 2 GiB") << qint64(2) << qint64(5'000'000'000)
                               << "Total 2 files, 5000 000 Kb" << "Selected 2 files, 5000 000 Kb";
}

void FileListModelTest::amountTexts() {
  QFETCH(qint64, count);
  QFETCH(qint64, bytes);
  QFETCH(QString, totals);
  QFETCH(QString, selection);
  QCOMPARE(TotalsText(count, bytes), totals);
  QCOMPARE(SelectionText(count, bytes), selection);
}

void FileListModelTest::folderEntriesAddNoRowsAndAreNotCounted() {
  FileListModel m;
  m.BeginFill();
  QVERIFY(!m.AddRow("docs\\", 0, 0, 0));
  QVERIFY(!m.AddRow("docs/sub/", 0, 0, 0));
  m.EndFill();
  QCOMPARE(m.rowCount(), 0);
  QCOMPARE(m.ListedCount(), 0);
  QCOMPARE(TotalsText(m.ListedCount(), m.ListedBytes()), QString("Total 0 files,  0 Bytes"));
}

void FileListModelTest::countersAndTotalsUseSixtyFourBits() {
  FileListModel m;
  m.BeginFill();
  m.AddRow("a.bin", 3'000'000'000, 2'900'000'000, Dos(2020, 1, 1, 0, 0, 0));
  m.AddRow("b.bin", 3'000'000'000, 100, Dos(2020, 1, 1, 0, 0, 0));
  m.EndFill();
  QCOMPARE(m.ListedCount(), 2);
  QCOMPARE(m.ListedBytes(), qint64(6'000'000'000));
  QCOMPARE(m.CellText(0, FileListModel::ColSize), QString("3000000"));
  QCOMPARE(m.CellText(0, FileListModel::ColRatio), QString("96%"));
  QCOMPARE(m.CellText(1, FileListModel::ColPacked), QString("1"));
  m.Clear();
  QCOMPARE(m.rowCount(), 0);
}

void FileListModelTest::sortBySizeAndPackedAreNumeric() {
  FileListModel m;
  m.AddRow("three", 3000, 3000, 0);
  m.AddRow("twelve", 12000, 12000, 0);
  m.AddRow("nine", 9000, 9000, 0);
  m.SortByColumn(FileListModel::ColPacked);
  QCOMPARE(Column(m, FileListModel::ColPacked), QStringList({"3", "9", "12"}));
  m.SortByColumn(FileListModel::ColSize);
  QCOMPARE(Column(m, FileListModel::ColSize), QStringList({"3", "9", "12"}));
}

void FileListModelTest::sortByNameIsByteWiseCaseSensitiveAndStable() {
  FileListModel m;
  m.AddRow("x\\a", 1, 1, 0);
  m.AddRow("B", 1, 1, 0);
  m.AddRow("ab", 1, 1, 0);
  m.AddRow("y\\a", 1, 1, 0);
  m.AddRow("\xC3\xA9.txt", 1, 1, 0);  // é: above every ASCII byte
  m.SortByColumn(FileListModel::ColFilename);
  QCOMPARE(Column(m, FileListModel::ColFilename), QStringList({"B", "a", "a", "ab", "\xC3\xA9.txt"}));
  // Equal captions keep their relative order.
  QCOMPARE(Column(m, FileListModel::ColPath), QStringList({"", "x", "y", "", ""}));
  const QStringList once = Column(m, FileListModel::ColPath);
  m.SortByColumn(FileListModel::ColFilename);
  QCOMPARE(Column(m, FileListModel::ColPath), once);
}

void FileListModelTest::sortByModifiedIsNewestFirstUnknownLast() {
  FileListModel m;
  m.SetStampPattern("yyyy/mm/dd", "hh:mm");
  m.AddRow("old", 1, 1, Dos(1999, 12, 31, 23, 59, 0));
  m.AddRow("bad", 1, 1, 0);
  m.AddRow("new", 1, 1, Dos(2024, 1, 1, 0, 0, 0));
  m.AddRow("mid", 1, 1, Dos(2010, 6, 1, 12, 0, 0));
  m.AddRow("mid later", 1, 1, Dos(2010, 6, 1, 12, 1, 0));
  m.SortByColumn(FileListModel::ColModified);
  QCOMPARE(Column(m, FileListModel::ColFilename),
           QStringList({"new", "mid later", "mid", "old", "bad"}));
  QCOMPARE(m.CellText(4, FileListModel::ColModified), QString("Unknown"));
}

void FileListModelTest::sortByRatioOrPathKeepsOrder() {
  FileListModel m;
  m.AddRow("z\\1", 10, 1, 0);
  m.AddRow("a\\2", 10, 9, 0);
  m.AddRow("m\\3", 10, 5, 0);
  for (int col : {int(FileListModel::ColRatio), int(FileListModel::ColPath)}) {
    m.SortByColumn(col);
    QCOMPARE(Column(m, FileListModel::ColFilename), QStringList({"1", "2", "3"}));
  }
}

void FileListModelTest::sortKeepsPersistentSelection() {
  FileListModel m;
  m.AddRow("c", 1, 1, 0);
  m.AddRow("a", 1, 1, 0);
  m.AddRow("b", 1, 1, 0);
  QPersistentModelIndex p = m.index(0, 0);  // "c"
  m.SortByColumn(FileListModel::ColFilename);
  QCOMPARE(p.row(), 2);
  QCOMPARE(p.data().toString(), QString("c"));
}

void FileListModelTest::stampPatternChangeRepaintsModified() {
  FileListModel m;
  m.AddRow("f", 1, 1, Dos(2023, 7, 4, 13, 5, 42));
  QSignalSpy spy(&m, &QAbstractItemModel::dataChanged);
  m.SetStampPattern("dd/mm/yy", "hh:mm:ss");
  QCOMPARE(spy.count(), 1);
  QCOMPARE(m.CellText(0, FileListModel::ColModified), QString("04/07/23   13:05:42"));
}

QTEST_GUILESS_MAIN(FileListModelTest)
#include "FileListModelTest.moc"

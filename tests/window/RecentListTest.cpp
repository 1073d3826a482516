// The recent-archives list logic and its section access to the settings file.
#include <QtTest>

#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include "settings/IniFile.h"
#include "window/RecentIni.h"
#include "window/RecentList.h"
#include "QtTestFiles.h"

using namespace arkelin::window;

namespace {

std::vector<std::string> V(std::initializer_list<const char*> l) {
  return std::vector<std::string>(l.begin(), l.end());
}

}  // namespace

class RecentListTest : public QObject {
  Q_OBJECT
  std::unique_ptr<QTemporaryDir> dir_;
  // The settings file in the test's own folder.
  QString Ini(const QString& name = QStringLiteral("Arkelin.ini")) const { return dir_->path() + "/" + name; }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
  }
  void cleanup() { dir_.reset(); }
  void valueIsTextAfterFirstEquals();
  void updateMovesToTopRemovesDuplicatesAndCuts();
  void sectionLinesAreReadInFileOrderIgnoringCase();
  void missingFileReadsEmptyAndIsCreatedOnWrite();
  void writeReplacesKeyAndKeepsEverythingElse();
  void writeIntoUnwritableFolderFails();
  void staleHigherKeysAreNotErased();
  void nameWithLineBreaksPlantsNothing();
  void readsAgreeWithTheSettingsStore();
};

void RecentListTest::valueIsTextAfterFirstEquals() {
  QCOMPARE(ValueOfLine("0=/a/b=c.zip"), std::string("/a/b=c.zip"));
  QCOMPARE(ValueOfLine("no equals"), std::string("no equals"));
  QCOMPARE(ValueOfLine("3="), std::string());
}

void RecentListTest::updateMovesToTopRemovesDuplicatesAndCuts() {
  QCOMPARE(UpdateRecent({}, "/a.zip", 5), V({"/a.zip"}));
  QCOMPARE(UpdateRecent(V({"/b.zip", "/a.zip"}), "/a.zip", 5), V({"/a.zip", "/b.zip"}));
  // A name written twice by hand leaves both places.
  QCOMPARE(UpdateRecent(V({"/A.zip", "/b.zip", "/a.ZIP"}), "/a.zip", 5), V({"/a.zip", "/b.zip"}));
  QCOMPARE(UpdateRecent(V({"1", "2", "3", "4", "5"}), "6", 5), V({"6", "1", "2", "3", "4"}));
  QCOMPARE(UpdateRecent(V({"1", "2", "3", "4", "5"}), "3", 5), V({"3", "1", "2", "4", "5"}));
}

void RecentListTest::sectionLinesAreReadInFileOrderIgnoringCase() {
  const QString path = Ini("Arkelin.Ini");
  WriteFile(path, "[Other]\n0=/not/me\n[Recent]\n1=/second.zip\r\n 0 = /first.zip\n; comment\n\n[X]\n2=/x\n");
  IniSectionFile ini(path.toStdString());
  // Through the one INI store: blanks around the key and the value go.
  QCOMPARE(ini.SectionLines("RECENT"), V({"1=/second.zip", "0=/first.zip"}));
  QVERIFY(ini.SectionLines("NONE").empty());
}

void RecentListTest::missingFileReadsEmptyAndIsCreatedOnWrite() {
  const QString path = Ini();
  IniSectionFile ini(path.toStdString());
  QVERIFY(ini.SectionLines("RECENT").empty());
  QVERIFY(RecordRecentIn(ini, "RECENT", 5, "/a.zip"));
  // A new file gets the line ends every other setting gets.
  QCOMPARE(ReadFile(path), QByteArray("[RECENT]\n0=/a.zip\n"));
}

void RecentListTest::writeReplacesKeyAndKeepsEverythingElse() {
  const QString path = Ini();
  WriteFile(path, "[MISC]\r\nSAVELAYOUT=1\r\nUNKNOWN=keep me\r\n[recent]\r\n0=/old.zip\r\n\r\n[LAYOUT]\r\nLEFT=5\r\n");
  IniSectionFile ini(path.toStdString());
  QVERIFY(RecordRecentIn(ini, "RECENT", 5, "/new.zip"));
  QCOMPARE(ReadFile(path), QByteArray("[MISC]\r\nSAVELAYOUT=1\r\nUNKNOWN=keep me\r\n[recent]\r\n"
                                     "0=/new.zip\r\n1=/old.zip\r\n\r\n[LAYOUT]\r\nLEFT=5\r\n"));
}

void RecentListTest::writeIntoUnwritableFolderFails() {
  // A folder where the file should be: no write can replace it.
  const QString path = Ini();
  QVERIFY(QDir().mkpath(path));
  IniSectionFile ini(path.toStdString());
  QVERIFY(!RecordRecentIn(ini, "RECENT", 5, "/a.zip"));
  QVERIFY(QFileInfo(path).isDir());
}

void RecentListTest::staleHigherKeysAreNotErased() {
  const QString path = Ini();
  WriteFile(path, "[RECENT]\r\n0=/0\r\n1=/1\r\n2=/2\r\n3=/3\r\n4=/4\r\n5=/5\r\n");
  IniSectionFile ini(path.toStdString());
  QVERIFY(RecordRecentIn(ini, "RECENT", 5, "/n"));
  // Keys 0..4 are rewritten; key 5 stays in the file.
  QCOMPARE(ini.SectionLines("RECENT"), V({"0=/n", "1=/0", "2=/1", "3=/2", "4=/3", "5=/5"}));
}

void RecentListTest::nameWithLineBreaksPlantsNothing() {
  const QString path = Ini();
  WriteFile(path, "[RECENT]\n0=/old.zip\n[DRAG&DROP]\nACCEPTFILES=0\n");
  const QByteArray before = ReadFile(path);
  IniSectionFile ini(path.toStdString());
  for (const char* evil : {"/x.zip\n[DRAG&DROP]\nACCEPTFILES=1", "/x.zip\r[MISC]\rOPENFAVORITES=1",
                           "/x.zip\r\nDEFAULTPATH=/etc/passwd"}) {
    QVERIFY(RecordRecentIn(ini, "RECENT", 5, evil));
    QCOMPARE(ReadFile(path), before);
  }
  QCOMPARE(arkelin::settings::TIniFile(path.toStdString()).ReadInteger("DRAG&DROP", "ACCEPTFILES", 7), 0);
}

void RecentListTest::readsAgreeWithTheSettingsStore() {
  const QString path = Ini();
  // A byte-order mark, a header with a comment after it, a comment line and
  // a line without a line end.
  WriteFile(path, "\xEF\xBB\xBF[RECENT] ; archives\n; not an entry\n0=/a.zip\n1=/b.zip");
  IniSectionFile ini(path.toStdString());
  QCOMPARE(ini.SectionLines("RECENT"), V({"0=/a.zip", "1=/b.zip"}));
  QVERIFY(RecordRecentIn(ini, "RECENT", 5, "/b.zip"));
  QCOMPARE(ini.SectionLines("RECENT"), V({"0=/b.zip", "1=/a.zip"}));
  QVERIFY(ReadFile(path).startsWith("\xEF\xBB\xBF[RECENT] ; archives\n"));
  QCOMPARE(arkelin::settings::TIniFile(path.toStdString()).ReadString("RECENT", "0", ""), std::string("/b.zip"));
}

QTEST_GUILESS_MAIN(RecentListTest)
#include "RecentListTest.moc"

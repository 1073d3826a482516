// Misc > Name encoding: a code page chosen for the open archive lists its
// names again in that code page, is remembered for that archive in
// Arkelin.ini and comes back when it is opened again; extraction writes
// the names the list shows; Auto forgets the choice.
#include <QtTest>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QTemporaryDir>

#include <memory>

#include "engine/zip/ZipMstr.h"
#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "settings/IniFile.h"
#include "window/mainunit.h"
#include "SessionTestBase.h"
#include "WindowRows.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;

namespace {

const QString kPrivetUpper = QString::fromUtf8("\xd0\x9f\xd0\xa0\xd0\x98\xd0\x92\xd0\x95\xd0\xa2");
const QString kPrivetLower = QString::fromUtf8("\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");

QString Names(TMainform& f) { return Captions(f).join('|'); }

}  // namespace

class NameEncodingTest : public SessionTestBase {
  Q_OBJECT
  DefaultMainSettings settings_;

  QAction* Choice(TMainform& f, int value) {
    return f.findChild<QAction*>(QStringLiteral("NameEncoding%1").arg(value));
  }
  std::string Stored(const QString& archive) {
    arkelin::settings::TIniFile ini(TMainform::IniFileName().toStdString());
    return ini.ReadString("NAMEENCODING", archive.toStdString(), "<none>");
  }

 private slots:
  void init() {
    QVERIFY(StartSession());
  }
  void cleanup() {
    EndSession();
  }

  void chosenCodePageIsShownRememberedAndUsed() {
    const QString z = P("cyr.zip");
    QVERIFY(QFile::copy(QStringLiteral(ARKELIN_FIXTURES "/zip/la-test_read_format_zip_filename_cp866.zip"), z));
    {
      TMainform f;
      f.SetSettings(&settings_);
      f.EnterZipSession(z);
      QCOMPARE(f.Model().RowCountValue(), 2);
      QVERIFY(!Names(f).contains(kPrivetUpper));
      QVERIFY(Choice(f, 0)->isChecked());
      QVERIFY(f.findChild<QMenu*>(QStringLiteral("NameEncoding1")));
      QCOMPARE(f.findChild<QMenu*>(QStringLiteral("NameEncoding1"))->actions().size(), 13);

      Choice(f, 4)->trigger();  // CP866
      QVERIFY2(Names(f).contains(kPrivetUpper) && Names(f).contains(kPrivetLower), qPrintable(Names(f)));
      QVERIFY(Choice(f, 4)->isChecked());
      QCOMPARE(Stored(z), std::string("CP866"));

      // Extraction writes the names the list shows.
      ez::TZipMaster& zm = f.ZipMaster1();
      zm.ExtrBaseDir = P("out").toStdString();
      QVERIFY(QDir().mkpath(P("out")));
      zm.ExtrOptions = ez::ExtrDirNames | ez::ExtrOverWrite;
      zm.FSpecArgs = {};
      zm.Extract();
      QCOMPARE(zm.SuccessCount(), 2);
      QVERIFY(QFile::exists(P("out/") + kPrivetUpper));
      QVERIFY(QFile::exists(P("out/") + kPrivetLower));
    }
    {
      // Opened again in a new window: the choice comes back.
      TMainform f;
      f.SetSettings(&settings_);
      f.EnterZipSession(z);
      QVERIFY(Names(f).contains(kPrivetUpper));
      QVERIFY(Choice(f, 4)->isChecked());
      // Another archive is read by Auto.
      QVERIFY(QFile::copy(z, P("other.zip")));
      f.EnterZipSession(P("other.zip"));
      QVERIFY(!Names(f).contains(kPrivetUpper));
      QVERIFY(Choice(f, 0)->isChecked());
      f.EnterZipSession(z);
      QVERIFY(Names(f).contains(kPrivetUpper));
      Choice(f, 0)->trigger();  // Auto
      QVERIFY(!Names(f).contains(kPrivetUpper));
      QCOMPARE(Stored(z), std::string("<none>"));
    }
  }

  void pathsWithEqualsSignsAreKeysOfTheirOwn() {
    QVERIFY(QDir().mkpath(P("a=b")));
    const QString z = P("a=b/x.zip");
    QVERIFY(QFile::copy(QStringLiteral(ARKELIN_FIXTURES "/zip/la-test_read_format_zip_filename_cp866.zip"), z));
    QString shown;
    {
      TMainform f;
      f.SetSettings(&settings_);
      f.EnterZipSession(z);
      Choice(f, 6)->trigger();  // CP1251: other letters than CP437 gives
      shown = Names(f);
    }
    TMainform f;
    f.SetSettings(&settings_);
    f.EnterZipSession(z);
    QCOMPARE(Names(f), shown);
    QVERIFY(Choice(f, 6)->isChecked());
    QCOMPARE(Stored(z), std::string("<none>"));  // the key is stored escaped
  }
};

QTEST_MAIN(NameEncodingTest)
#include "NameEncodingTest.moc"

// The multiple file extraction window, offscreen: its controls, "<Add>"
// (the first row filled, others appended, the default folder of the moment),
// "<Remove>" of a range, "&Start extracting" over real archives with the
// final count and the report, an edited folder cell, Cancel during a pass
// (the window closes after it) and when idle, and the File menu item.
#include <QtTest>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>

#include "platform/FakePlatform.h"
#include "platform/Paths.h"
#include "window/U_mfe.h"
#include "window/mainunit.h"
#include "SessionTestBase.h"
#include "QtTestFiles.h"

using namespace arkelin::window;
namespace pf = arkelin::platform;

namespace {

bool HaveEngines() {
  return QFile::exists(QStringLiteral(ARKELIN_BIN_DIR "/libunzdll.so")) &&
         QFile::exists(QStringLiteral(ARKELIN_BIN_DIR "/libarkunrar.so"));
}

QString Cell(const TF_MFE& m, int row, int col) {
  const QTableWidgetItem* it = m.gr_Files->item(row, col);
  return it ? it->text() : QString();
}

}  // namespace

class MfeWindowTest : public SessionTestBase {
  Q_OBJECT
 private:
  QString MakeZip(const QString& name, int files, int size);
  std::vector<std::string> Texts() const { return fake_->dialogs.Texts(); }

 private slots:
  void init();
  void cleanup();
  void controlsAndDefaults();
  void addFillsTheFirstRowThenAppends();
  void removeDeletesTheSelectedRange();
  void startWithTheEmptyRow();
  void startExtractsEveryRowAndReports();
  void cancelDuringThePassClosesAfterIt();
  void cancelWhenIdleCloses();
  void menuItemOpensTheWindow();
};

void MfeWindowTest::init() {
  QVERIFY(StartSession());
}

void MfeWindowTest::cleanup() {
  TF_MFE::SetShowHook(nullptr);
  EndSession();
}

QString MfeWindowTest::MakeZip(const QString& name, int files, int size) {
  const QString src = P("src-" + name);
  QStringList names;
  for (int i = 0; i < files; ++i) {
    WriteFile(src + QString("/f%1.bin").arg(i), QByteArray(size + i, char('a' + i)));
    names << QString("f%1.bin").arg(i);
  }
  return RunZipTool(src, QStringList{"-X", P(name)} + names) ? P(name) : QString();
}

void MfeWindowTest::controlsAndDefaults() {
  TF_MFE m;
  QCOMPARE(m.windowTitle(), QString(" "));
  QCOMPARE(m.la_Heading->text(), QString("Multiple File Extracting"));
  QCOMPARE(m.bu_Add->text(), QString("<Add>"));
  QCOMPARE(m.bu_Add->toolTip(), QString("Add file(s)"));
  QCOMPARE(m.bu_Remove->text(), QString("<Remove>"));
  QCOMPARE(m.bu_Remove->toolTip(), QString("Remove selected file(s)"));
  QCOMPARE(m.ed_Defdir->text(), QString("Please, enter your default directory here"));
  QCOMPARE(m.bu_Start->text(), QString("&Start extracting"));
  QCOMPARE(m.bu_Start->toolTip(), QString("Begin to extract all files"));
  QCOMPARE(m.bu_Cancel->text(), QString("&Cancel"));
  QCOMPARE(m.bu_Cancel->toolTip(), QString("Cancel operation"));
  QCOMPARE(m.gr_Files->columnCount(), 2);
  QCOMPARE(m.gr_Files->rowCount(), 1);
  QCOMPARE(m.gr_Files->horizontalHeaderItem(0)->text(), QString("Filename"));
  QCOMPARE(m.gr_Files->horizontalHeaderItem(1)->text(), QString("Path"));
  QCOMPARE(m.gr_Files->columnWidth(0), 150);
  QCOMPARE(m.gr_Files->columnWidth(1), 340);
  QVERIFY(m.FirstRow);
  QVERIFY(m.ProgressBar1->isHidden());
  // The window's own engine starts as described.
  auto& z = m.Pass().ZipMaster1();
  QVERIFY(!z.Verbose);
  QVERIFY(!z.Trace);
  QCOMPARE(z.AddCompLevel, 9);
  QCOMPARE(z.ExtrOptions, 0u);
  QCOMPARE(z.SFXOptions, 0u);
  QVERIFY(!z.Unattended);
}

void MfeWindowTest::addFillsTheFirstRowThenAppends() {
  TF_MFE m;
  m.ed_Defdir->setText("/first/target");
  fake_->dialogs.openFiles = {{"/a/one.zip", "/a/two.rar", "/a/three.zip"}, {"/b/four.zip"}, {}};
  m.bu_Add->click();
  QCOMPARE(fake_->dialogs.fileDialogsAsked.size(), size_t(1));
  QCOMPARE(fake_->dialogs.fileDialogsAsked[0].filter, std::string("ZIP Files (*.ZIP)|*.ZIP|RAR Files (*-RAR)|*.RAR"));
  QVERIFY(fake_->dialogs.fileDialogsAsked[0].allowMultiple);
  QCOMPARE(m.gr_Files->rowCount(), 3);
  QCOMPARE(Cell(m, 0, 0), QString("/a/one.zip"));
  QCOMPARE(Cell(m, 1, 0), QString("/a/two.rar"));
  QCOMPARE(Cell(m, 2, 0), QString("/a/three.zip"));
  for (int r = 0; r < 3; ++r) QCOMPARE(Cell(m, r, 1), QString("/first/target"));
  QVERIFY(!m.FirstRow);
  m.ed_Defdir->setText("/second");
  m.bu_Add->click();
  QCOMPARE(m.gr_Files->rowCount(), 4);
  QCOMPARE(Cell(m, 3, 0), QString("/b/four.zip"));
  QCOMPARE(Cell(m, 3, 1), QString("/second"));
  QCOMPARE(Cell(m, 0, 1), QString("/first/target"));
  // A cancelled dialog adds nothing.
  m.bu_Add->click();
  QCOMPARE(m.gr_Files->rowCount(), 4);
  const auto rows = m.Rows();
  QCOMPARE(rows.size(), size_t(4));
  QCOMPARE(rows[1].archive, std::string("/a/two.rar"));
  QCOMPARE(rows[3].folder, std::string("/second"));
}

void MfeWindowTest::removeDeletesTheSelectedRange() {
  TF_MFE m;
  fake_->dialogs.openFiles = {{"/r0.zip", "/r1.zip", "/r2.zip", "/r3.zip", "/r4.zip"}};
  m.bu_Add->click();
  m.gr_Files->setRangeSelected(QTableWidgetSelectionRange(1, 0, 3, 1), true);
  m.bu_Remove->click();
  QCOMPARE(m.gr_Files->rowCount(), 2);
  QCOMPARE(Cell(m, 0, 0), QString("/r0.zip"));
  QCOMPARE(Cell(m, 1, 0), QString("/r4.zip"));
  // Nothing selected: nothing removed.
  m.gr_Files->clearSelection();
  m.bu_Remove->click();
  QCOMPARE(m.gr_Files->rowCount(), 2);
}

void MfeWindowTest::startWithTheEmptyRow() {
  TF_MFE m;
  m.bu_Start->click();
  const auto texts = Texts();
  QCOMPARE(texts.size(), size_t(3));
  QCOMPARE(texts[0], std::string("File not found: "));
  QCOMPARE(fake_->dialogs.boxes[0].kind, pf::MsgKind::Error);
  QCOMPARE(texts[1], std::string("0 files extracted successfully"));
  QCOMPARE(fake_->dialogs.boxes[1].kind, pf::MsgKind::Information);
  QCOMPARE(texts[2], std::string("(no name): File not found"));
  QVERIFY(m.ProgressBar1->isHidden());
}

void MfeWindowTest::startExtractsEveryRowAndReports() {
  if (!HaveEngines()) QSKIP("the engine libraries are not built");
  const QString zip = MakeZip("a.zip", 3, 1000);
  const QString rar = P("b.rar");
  QVERIFY(QFile::copy(QStringLiteral(ARKELIN_FIXTURES "/rar/la-test_read_format_rar5_compressed.rar"), rar));
  WriteFile(P("broken.rar"), "Rar!\x1a\x07\x01\x00 and then nothing sensible at all");
  TF_MFE m;
  m.ed_Defdir->setText(P("out"));
  fake_->dialogs.openFiles = {{zip.toStdString(), rar.toStdString(), P("gone.zip").toStdString(),
                               P("broken.rar").toStdString()}};
  m.bu_Add->click();
  // The RAR row goes elsewhere: an edited cell is the row's folder.
  QVERIFY(m.gr_Files->item(1, 1)->flags() & Qt::ItemIsEditable);
  QVERIFY(m.gr_Files->editTriggers() & QAbstractItemView::DoubleClicked);
  m.gr_Files->item(1, 1)->setText(P("rar-out"));
  QStringList archives;
  m.Pass().OnArchive = [&](const std::string& a) {
    archives << QString::fromStdString(a);
    m.la_Archive->setText(QString::fromStdString(a));
    QVERIFY(!m.ProgressBar1->isHidden());
  };
  m.bu_Start->click();
  QCOMPARE(archives, QStringList({zip, rar, P("broken.rar")}));
  for (int i = 0; i < 3; ++i)
    QCOMPARE(ReadFile(P("out/f%1.bin").arg(i)), QByteArray(1000 + i, char('a' + i)));
  QCOMPARE(QFileInfo(P("rar-out/test.bin")).size(), qint64(1200));
  const auto texts = Texts();
  QVERIFY(fake_->dialogs.Saw("File not found: " + P("gone.zip").toStdString()));
  // The final count: three rows reached an engine; then the report.
  QCOMPARE(texts[texts.size() - 2], std::string("3 files extracted successfully"));
  const QString report = QString::fromStdString(texts.back());
  QVERIFY2(report.contains(zip + ": 3 file(s) extracted"), qPrintable(report));
  QVERIFY2(report.contains(rar + ": 1 file(s) extracted"), qPrintable(report));
  QVERIFY2(report.contains(P("gone.zip") + ": File not found"), qPrintable(report));
  QVERIFY2(report.contains(P("broken.rar") + ": not extracted: "), qPrintable(report));
  QVERIFY(m.ProgressBar1->isHidden());
  QCOMPARE(m.la_Archive->text(), QString());
  QVERIFY(m.bu_Start->isEnabled());
  QCOMPARE(fake_->busy.depth, 0);
}

void MfeWindowTest::cancelDuringThePassClosesAfterIt() {
  if (!HaveEngines()) QSKIP("the engine libraries are not built");
  const QString first = MakeZip("first.zip", 5, 300000);
  const QString second = MakeZip("second.zip", 2, 10);
  TF_MFE m;
  m.ed_Defdir->setText(P("out"));
  fake_->dialogs.openFiles = {{first.toStdString(), second.toStdString()}};
  m.bu_Add->click();
  m.show();
  bool clicked = false;
  fake_->pump.onProcess = [&] {
    // While the first file is being written (its bar counts 9 blocks).
    if (!clicked && m.ProgressBar1->maximum() == 9) {
      clicked = true;
      m.bu_Cancel->click();
      QVERIFY(m.isVisible());  // not while the pass runs
    }
  };
  m.bu_Start->click();
  QVERIFY(clicked);
  QVERIFY(m.isHidden());
  QCOMPARE(m.result(), int(QDialog::Rejected));
  QCOMPARE(QDir(P("out")).entryList(QDir::Files).size(), 1);
  const auto texts = Texts();
  QCOMPARE(texts[texts.size() - 2], std::string("1 files extracted successfully"));
  QVERIFY(QString::fromStdString(texts.back()).contains(second + ": not extracted (cancelled)"));
}

void MfeWindowTest::cancelWhenIdleCloses() {
  TF_MFE m;
  m.show();
  m.bu_Cancel->click();
  QVERIFY(m.isHidden());
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(0));
}

void MfeWindowTest::menuItemOpensTheWindow() {
  TMainform f;
  int shown = 0;
  TF_MFE::SetShowHook([&](TF_MFE& m) {
    ++shown;
    QCOMPARE(m.parentWidget(), static_cast<QWidget*>(&f));
    m.bu_Cancel->click();
  });
  f.Item("Multiplefileextracting1")->trigger();
  QCOMPARE(shown, 1);
  QCOMPARE(fake_->dialogs.boxes.size(), size_t(0));  // no "not available yet"
}

QTEST_MAIN(MfeWindowTest)
#include "MfeWindowTest.moc"

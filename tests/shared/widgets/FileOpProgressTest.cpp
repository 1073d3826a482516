// The file operations' progress window offscreen: its title, bar and item
// text, and a real copy stopped from its Cancel button.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>
#include <filesystem>
#include <fstream>

#include "platform/FakePlatform.h"
#include "shared/widgets/FileOpProgress.h"

namespace fs = std::filesystem;
using arkelin::shared::TFileOperation;
using arkelin::shared::TFileOpProgressDialog;

class FileOpProgressTest : public QObject {
  Q_OBJECT
 private slots:
  void showsTitleItemAndFraction() {
    TFileOpProgressDialog d(nullptr, 0);
    d.Start("Copying files", 4000);
    d.Item("/a/src.zip", "/b/src.zip");
    d.Done(1000);
    QCOMPARE(d.windowTitle(), QStringLiteral("Copying files"));
    QCOMPARE(d.ItemLabel()->text(), QStringLiteral("/a/src.zip\n/b/src.zip"));
    QCOMPARE(d.Bar()->value(), 250);
    QVERIFY(d.isVisible());
    // Byte counts past the range of an int still give a fraction.
    d.Start("Big", int64_t(6) << 32);
    d.Done(int64_t(3) << 32);
    QCOMPARE(d.Bar()->value(), 500);
  }

  void appearsOnlyAfterTheDelay() {
    TFileOpProgressDialog d(nullptr, 60000);
    d.Start("Copying files", 10);
    d.Done(5);
    QVERIFY(!d.isVisible());
  }

  void cancelButtonAndEscapeRequestAStopThatCanBeTakenBack() {
    TFileOpProgressDialog d(nullptr, 0);
    d.Start("t", 0);
    QVERIFY(!d.CancelRequested());
    d.CancelButton()->click();
    QVERIFY(d.CancelRequested());
    d.Resume();
    QVERIFY(!d.CancelRequested());
    QTest::keyClick(&d, Qt::Key_Escape);
    QVERIFY(d.CancelRequested());
    QVERIFY(d.isVisible());  // the operation decides, not the window
  }

  void copyStoppedFromTheWindowLeavesTheTargetAsItWas() {
    QTemporaryDir tmp;
    const fs::path dir = tmp.path().toStdString();
    { std::ofstream(dir / "big", std::ios::binary) << std::string(4 << 20, 'q'); }
    { std::ofstream(dir / "dst") << "before"; }

    arkelin::platform::FakePlatformScope fake;
    fake.dialogs.answers = {arkelin::platform::BtnYes};  // yes, stop
    TFileOpProgressDialog* seen = nullptr;
    arkelin::shared::SetFileOpProgressFactory([&](TFileOperation&) {
      auto d = std::make_unique<TFileOpProgressDialog>(nullptr, 0);
      seen = d.get();
      return d;
    });
    // The first time pending messages run, the user presses Cancel.
    fake.pump.onProcess = [&] {
      if (seen && !seen->CancelRequested()) seen->CancelButton()->click();
      fake.pump.onProcess = nullptr;
    };
    TFileOperation op;
    op.FilesFrom = (dir / "big").string();
    op.FilesTo = (dir / "dst").string();
    op.Flags = arkelin::shared::fofNoConfirmation;
    op.ProgressTitle = "Copying files";
    QVERIFY(!op.Execute());
    arkelin::shared::SetFileOpProgressFactory({});
    QVERIFY(op.OperationAborted());
    std::ifstream in(dir / "dst");
    std::string text;
    in >> text;
    QCOMPARE(QString::fromStdString(text), QStringLiteral("before"));
    QCOMPARE(fake.dialogs.boxes.size(), size_t(1));
    int files = 0;
    for (auto& e : fs::directory_iterator(dir)) (void)e, ++files;
    QCOMPARE(files, 2);  // no temporary leftovers
  }
};

QTEST_MAIN(FileOpProgressTest)
#include "FileOpProgressTest.moc"

// The image viewer window: what closes it and what does not, its caption
// and size, and the settings it gives its image control.
#include <QtTest>

#include <QTemporaryDir>

#include "viewers/widgets/u_ShowImg.h"

using namespace arkelin::viewers;

class ImageViewerTest : public QObject {
  Q_OBJECT
 private slots:
  void keysThatTypeACharacterClose_data();
  void keysThatTypeACharacterClose();
  void aClickOnThePictureCloses();
  void captionSizeAndControlSettings();
};

void ImageViewerTest::keysThatTypeACharacterClose_data() {
  QTest::addColumn<int>("key");
  QTest::addColumn<QString>("text");
  QTest::addColumn<bool>("closes");
  QTest::newRow("Esc") << int(Qt::Key_Escape) << QString("\x1b") << true;
  QTest::newRow("Enter") << int(Qt::Key_Return) << QString("\r") << true;
  QTest::newRow("space") << int(Qt::Key_Space) << QString(" ") << true;
  QTest::newRow("letter") << int(Qt::Key_Q) << QString("q") << true;
  QTest::newRow("digit") << int(Qt::Key_7) << QString("7") << true;
  QTest::newRow("left") << int(Qt::Key_Left) << QString() << false;
  QTest::newRow("down") << int(Qt::Key_Down) << QString() << false;
  QTest::newRow("F5") << int(Qt::Key_F5) << QString() << false;
  QTest::newRow("shift") << int(Qt::Key_Shift) << QString() << false;
}

void ImageViewerTest::keysThatTypeACharacterClose() {
  QFETCH(int, key);
  QFETCH(QString, text);
  QFETCH(bool, closes);
  TF_ShowImg w;
  w.LoadFile(QStringLiteral(ARKELIN_TEST_DATA "/viewers/quadrants.jpg"));
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(QApplication::focusWidget() ? QApplication::focusWidget() : &w, &press);
  QCOMPARE(w.isVisible(), !closes);
}

void ImageViewerTest::aClickOnThePictureCloses() {
  TF_ShowImg w;
  w.LoadFile(QStringLiteral(ARKELIN_TEST_DATA "/viewers/quadrants.jpg"));
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QTest::mouseClick(w.AdvImage1, Qt::LeftButton, {}, w.AdvImage1->rect().center());
  QVERIFY(!w.isVisible());
}

void ImageViewerTest::captionSizeAndControlSettings() {
  const QString path = QStringLiteral(ARKELIN_TEST_DATA "/viewers/quadrants.jpg");
  TF_ShowImg w;
  QCOMPARE(w.windowTitle(), QString("Image"));
  w.LoadFile(path);
  QCOMPARE(w.windowTitle(), path);
  QCOMPARE(w.AdvImage1->Image().ImageType(), TImageType::itJpeg);
  // The control fills the window.
  w.show();
  QVERIFY(QTest::qWaitForWindowExposed(&w));
  QCOMPARE(w.AdvImage1->size(), w.size());
  const TAdvImage& a = w.AdvImage1->Image();
  QCOMPARE(a.BevelWidth(), 4);
  QVERIFY(a.ShowFrame3D() && a.StretchRatio() && a.CenterView() && a.ShowEmptyLabel() && a.GIFAnimate());
  QCOMPARE(a.GifAnimateSpeed(), 10);
  QCOMPARE(a.EmptyLabel(), QString("Empty"));
  // Painted: the picture inside the frame, centred.
  w.AdvImage1->grab();
  QVERIFY(!a.ImageRect().isEmpty());
  QCOMPARE(a.ImageRect().center(), QRect(4, 4, w.AdvImage1->width() - 8, w.AdvImage1->height() - 8).center());
  // A file that is no picture: "Empty", the window keeps a usable size.
  QTemporaryDir dir;
  TF_ShowImg empty;
  empty.LoadFile(dir.path() + "/nothing.jpg");
  QVERIFY(empty.AdvImage1->Image().Picture().Graphic() == nullptr);
  QVERIFY(empty.width() >= 200 && empty.height() >= 150);
}

QTEST_MAIN(ImageViewerTest)
#include "ImageViewerTest.moc"

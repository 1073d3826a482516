// Takes pictures of the text editor (an RTF letter with a found match
// selected) and of the image viewer (a JPEG, and an animated GIF on two of
// its frames) for checking by eye. Run it under a virtual display:
//   arkelin_viewers_screenshots OUT-FOLDER LETTER.rtf PICTURE.jpg ANIMATION.gif
// Not a test.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QThread>

#include "platform/qt/QtPlatform.h"
#include "viewers/MPGifImg.h"
#include "viewers/widgets/REMain.h"
#include "viewers/widgets/u_ShowImg.h"
#include "PictureTools.h"

using namespace arkelin::viewers;

int main(int argc, char** argv) {
  PictureApp app(argc, argv);
  if (argc < 5) return 2;
  const QString out = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(out);

  TF_Editform editor;
  editor.resize(620, 360);
  if (!editor.LoadFile(QString::fromLocal8Bit(argv[2]))) return 1;
  editor.setWindowTitle(QStringLiteral("- letter.rtf"));
  editor.show();
  editor.FindClick();
  editor.FindDialog1->SetFindText(QStringLiteral("archive"));
  editor.FindDialog1Find();
  editor.FindNextClick();   // the second one
  Settle(300);
  editor.grab().save(out + "/editor-found-match.png");
  editor.Modified = false;
  editor.close();

  TF_ShowImg jpeg;
  jpeg.LoadFile(QString::fromLocal8Bit(argv[3]));
  jpeg.show();
  Settle(300);
  jpeg.grab().save(out + "/image-viewer-jpeg.png");
  jpeg.close();

  TF_ShowImg gif;
  gif.LoadFile(QString::fromLocal8Bit(argv[4]));
  gif.resize(360, 300);
  gif.show();
  Settle(50);
  auto* image = dynamic_cast<TGIFImage*>(gif.AdvImage1->Image().Picture().Graphic());
  const int first = image ? image->CurrentFrame() : -1;
  gif.grab().save(out + "/image-viewer-gif-frame-a.png");
  // The viewer moves on every 100 ms: wait for the next frame.
  QElapsedTimer t;
  t.start();
  while (image && image->CurrentFrame() == first && t.elapsed() < 2000) Settle(10);
  Settle(20);
  gif.grab().save(out + "/image-viewer-gif-frame-b.png");
  gif.close();
  return 0;
}

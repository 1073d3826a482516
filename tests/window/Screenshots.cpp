// Takes pictures of the archive window, the extract window, the Add window
// and the self-extracting options window
// for checking by eye: run it under a virtual display with an archive and an
// output folder, and optionally the folder the Add window shows
// ("arkelin_window_screenshots archive.zip out/ [folder]"). Not a test.
#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QFileInfo>
#include <QThread>

#include "platform/qt/QtPlatform.h"
#include "window/Addunit.h"
#include "window/extrunit.h"
#include "window/mainunit.h"
#include "window/sfxunit.h"
#include "PictureTools.h"

using namespace arkelin::window;

int main(int argc, char** argv) {
  PictureApp app(argc, argv);
  if (argc < 3) return 2;
  const QString archive = QString::fromLocal8Bit(argv[1]);
  const QString out = QString::fromLocal8Bit(argv[2]);
  const QString addFolder =
      argc > 3 ? QString::fromLocal8Bit(argv[3]) : QFileInfo(archive).absolutePath();
  QDir().mkpath(out);
  TMainform f;
  f.resize(640, 420);
  f.show();
  f.EnterZipSession(archive);
  f.lw_Files->selectRow(0);
  f.CountSelection(0);
  Settle();
  f.grab().save(out + "/main-window.png");
  TExtract::SetShowHook([&](TExtract& d) {
    d.SetFolder(QDir::homePath());
    d.show();
    Settle();
    d.grab().save(out + "/extract-window.png");
    d.BitBtn2->click();
  });
  f.Extract1Click();
  TAddForm::SetShowHook([&](TAddForm& w) {
    w.SetFolder(addFolder);
    w.FileListBox1->selectAll();
    w.bu_AddFilesClick();
    w.ed_Password->setText(QStringLiteral("secret"));
    w.co_Encryption->setCurrentText(QStringLiteral("AES-256"));
    w.show();
    Settle();
    w.grab().save(out + "/add-window.png");
    w.BitBtn2->click();
  });
  f.Add1Click();
  TMakeSFX::SetShowHook([&](TMakeSFX& w) {
    w.show();
    Settle();
    w.grab().save(out + "/make-sfx-page1.png");
    w.Pages->setCurrentIndex(1);
    Settle();
    w.grab().save(out + "/make-sfx-page2.png");
    w.bu_Close->click();
  });
  f.MakeSelfExtractedfile1Click();
  return 0;
}

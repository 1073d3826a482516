// The program's entry: sets the application title, installs the windowed
// platform services, creates the archive window and then the configuration
// window, and runs the message loop until the archive window closes. The
// command line is handed to the archive window, which acts on it the first
// time it becomes active.
#include <QApplication>

#include "platform/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "window/mainunit.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tolvaren Arkelin2001"));
  arkelin::platform::qt::InstallQtPlatform();

  arkelin::window::TMainform mainform;
  QStringList args = QApplication::arguments();
  args.removeFirst();
  mainform.SetCommandLine(args);
  mainform.show();
  const int rc = QApplication::exec();
  return rc;
}

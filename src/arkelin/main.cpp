// The program's entry: sets the application title, installs the windowed
// platform services, creates the archive window and then the configuration
// window, and runs the message loop until the archive window closes. The
// command line is handed to the archive window, which acts on it the first
// time it becomes active. The configuration window lives for the whole run:
// its controls are the live settings the archive window reads.
//
// With ARKELIN_SMOKE_REPORT set to a file name the program handles its command
// line, writes the window's title and the rows of its list to that file and
// closes the window as a user would: the package check runs the installed
// program this way, offscreen, and reads what it showed.
#include <QApplication>
#include <QFile>
#include <QIcon>
#include <QTextStream>
#include <QTimer>

#include <exception>

#include "platform/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "settings/u_settings.h"
#include "shared/widgets/FileOpProgress.h"
#include "window/FavoritesCommands.h"
#include "window/SettingsView.h"
#include "window/mainunit.h"

namespace {

// The last guard of the event loop: the window's commands catch what they
// call, and anything that still escapes an event handler is shown here
// instead of ending the program.
class ArkelinApplication : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* e) override {
    try {
      return QApplication::notify(receiver, e);
    } catch (const std::exception& ex) {
      arkelin::platform::Dialogs().MessageBox(ex.what(), arkelin::platform::MsgKind::Error,
                                              arkelin::platform::BtnOK);
    } catch (...) {
      arkelin::platform::Dialogs().MessageBox("Unexpected error", arkelin::platform::MsgKind::Error,
                                              arkelin::platform::BtnOK);
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  ArkelinApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tolvaren Arkelin2001"));
  // The desktop entry's name, so that Wayland compositors and task bars match
  // the window to its entry and icon; the icon in every size it is drawn at
  // (the theme's when installed, else the copies built into the program).
  QGuiApplication::setDesktopFileName(QStringLiteral("org.tolvaren.Arkelin"));
  QIcon appIcon;
  for (int size : {16, 24, 32, 48, 64, 128, 256})
    appIcon.addFile(QStringLiteral(":/app/arkelin-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("arkelin"), appIcon));
  arkelin::platform::qt::InstallQtPlatform();
  arkelin::shared::InstallFileOpProgressDialog();

  arkelin::window::TMainform mainform;
  arkelin::settings::TF_Settings settings;
  settings.AttachMainWindow(&mainform, mainform.lw_Files);
  arkelin::window::SettingsView view(settings);
  arkelin::window::OpenFavoritesOnStart(settings, mainform, &view);
  settings.FormCreate();
  mainform.SetSettings(&view);
  mainform.ShowConfiguration = [&settings] { settings.Execute(); };

  QStringList args = QApplication::arguments();
  args.removeFirst();
  mainform.SetCommandLine(args);
  mainform.show();
  const QString report = qEnvironmentVariable("ARKELIN_SMOKE_REPORT");
  if (!report.isEmpty()) {
    QTimer::singleShot(0, &mainform, [&mainform, report] {
      mainform.FormActivate();  // the command line, unless activation already ran it
      QFile out(report);
      if (out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        QTextStream ts(&out);
        ts << "title: " << mainform.windowTitle() << '\n';
        ts << "totals: " << mainform.Panel4->text() << '\n';
        const auto& model = mainform.Model();
        for (int r = 0; r < model.RowCountValue(); ++r)
          ts << "row: " << model.CellText(r, 5) << (model.CellText(r, 5).isEmpty() ? "" : "\\")
             << model.CellText(r, 0) << '\n';
      }
      mainform.close();
    });
  }
  const int rc = QApplication::exec();
  settings.FormDestroy();
  return rc;
}

// The program's entry: sets the application title, installs the windowed
// platform services, creates the archive window and then the configuration
// window, and runs the message loop until the archive window closes. The
// command line is handed to the archive window, which acts on it the first
// time it becomes active. The configuration window lives for the whole run:
// its controls are the live settings the archive window reads.
#include <QApplication>

#include <exception>

#include "platform/Platform.h"
#include "platform/qt/QtPlatform.h"
#include "settings/u_settings.h"
#include "shared/widgets/FileOpProgress.h"
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
  arkelin::platform::qt::InstallQtPlatform();
  arkelin::shared::InstallFileOpProgressDialog();

  arkelin::window::TMainform mainform;
  arkelin::settings::TF_Settings settings;
  settings.AttachMainWindow(&mainform, mainform.lw_Files);
  settings.FormCreate();
  arkelin::window::SettingsView view(settings);
  mainform.SetSettings(&view);
  mainform.ShowConfiguration = [&settings] { settings.Execute(); };

  QStringList args = QApplication::arguments();
  args.removeFirst();
  mainform.SetCommandLine(args);
  mainform.show();
  const int rc = QApplication::exec();
  settings.FormDestroy();
  return rc;
}

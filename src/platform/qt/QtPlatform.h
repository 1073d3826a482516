// The windowed platform services: message boxes, input boxes and file
// dialogs over Qt Widgets, the hourglass cursor over the application's
// override-cursor stack, and the message pump over the event loop.
//
// InstallQtPlatform() puts them in force for the program; the drives, files,
// processes and file types stay the headless Linux ones. Everything here runs
// on the user-interface thread and needs a QApplication.
#pragma once

#include <QString>
#include <QStringList>

#include "platform/Platform.h"

class QWidget;

namespace arkelin::platform::qt {

// Modal boxes and dialogs. Boxes take their caption from the kind (or the
// given caption), show the kind's icon and the requested buttons with the
// program's captions; the text is shown as plain text, never as markup, so
// file names with "<" or "&" appear as they are. The owner is the active
// window.
class QtDialogs : public IDialogs {
 public:
  Button MessageBox(const std::string& text, MsgKind kind, Buttons buttons) override;
  Button MessageBoxCaption(const std::string& caption, const std::string& text, MsgKind kind,
                           Buttons buttons) override;
  std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& initial, bool password) override;
  std::vector<std::string> OpenFiles(const FileDialogRequest& req) override;
  std::optional<std::string> SaveFile(const FileDialogRequest& req) override;
  std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override;
};

// The hourglass shows while at least one Begin is not ended. Each Begin
// pushes the wait cursor on the application's override stack and each End
// pops one, so the cursor nests with other users of that stack; an End
// without a Begin changes nothing.
class QtBusyCursor : public IBusyCursor {
 public:
  void Begin() override;
  void End() override;
  bool Busy() const override { return depth_ > 0; }

 private:
  int depth_ = 0;
};

// Runs the pending events once (repaints, clicks on Cancel); does nothing
// when there is no application object.
class QtMessagePump : public IMessagePump {
 public:
  void ProcessMessages() override;
};

// Converts the "Text|*.txt;*.doc|All|*.*" filter form into Qt's name filters
// ("Text (*.txt *.doc)", "All (*)"). "*.*" means every file, also names
// without a dot. A description without patterns is dropped.
QStringList QtNameFilters(const std::string& filter);

// Installs QtDialogs, QtBusyCursor and QtMessagePump (objects that live for
// the whole run) and takes the application title from the application name
// when one is set. Call once, after the QApplication is made.
void InstallQtPlatform();

}  // namespace arkelin::platform::qt

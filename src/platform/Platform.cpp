// The table of installed platform services and its headless defaults.
#include "platform/Platform.h"

#include "platform/LinuxPlatform.h"

namespace arkelin::platform {

std::string CaptionForKind(MsgKind kind) {
  switch (kind) {
    case MsgKind::Warning: return "Warning";
    case MsgKind::Error: return "Error";
    case MsgKind::Information: return "Information";
    case MsgKind::Confirm: return "Confirm";
    case MsgKind::None: break;
  }
  return ApplicationTitle();
}

namespace {
std::string& Title() {
  static std::string t = "Tolvaren Arkelin2001";
  return t;
}
}  // namespace

std::string ApplicationTitle() { return Title(); }
void SetApplicationTitle(const std::string& title) { Title() = title; }

std::string ButtonCaption(Button b) {
  switch (b) {
    case BtnYes: return "&Yes";
    case BtnNo: return "&No";
    case BtnOK: return "OK";
    case BtnCancel: return "Cancel";
    case BtnAbort: return "&Abort";
    case BtnRetry: return "&Retry";
    default: return "";
  }
}

namespace {
struct Defaults {
  ConsoleDialogs dialogs;
  NullBusyCursor busy;
  NullMessagePump pump;
  LinuxDrives drives;
  LinuxFiles files;
  LinuxProcesses processes;
  LinuxFileTypes fileTypes;
};

Defaults& TheDefaults() {
  static Defaults d;
  return d;
}

Services& Table() {
  static Services s;
  return s;
}
}  // namespace

Services& Current() { return Table(); }

void Install(const Services& s) { Table() = s; }

IDialogs& Dialogs() { return Table().dialogs ? *Table().dialogs : TheDefaults().dialogs; }
IBusyCursor& Busy() { return Table().busy ? *Table().busy : TheDefaults().busy; }
IMessagePump& Pump() { return Table().pump ? *Table().pump : TheDefaults().pump; }
IDrives& Drives() { return Table().drives ? *Table().drives : TheDefaults().drives; }
IFiles& Files() { return Table().files ? *Table().files : TheDefaults().files; }
IProcesses& Processes() { return Table().processes ? *Table().processes : TheDefaults().processes; }
IFileTypes& FileTypes() { return Table().fileTypes ? *Table().fileTypes : TheDefaults().fileTypes; }

}  // namespace arkelin::platform

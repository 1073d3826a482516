// The operating-system facilities the program uses, behind small interfaces.
//
// Everything above this layer (engines, shared helpers, windows) reaches the
// user and the machine only through the services installed here: message
// boxes and questions, input boxes, file and folder dialogs, the busy cursor,
// processing pending window messages, drives and volumes, temporary names, the
// desktop trash, starting programs, the shell's "open", file-type
// associations and drop-target registration.
//
// The program installs the Linux implementations at start-up
// (LinuxPlatform.h, and QtDialogs from platform/qt for the windows); tests
// install the scripted doubles of FakePlatform.h. Headers here use only std
// types so that engines and their tests need no QApplication.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace arkelin::platform {

// ---- Message boxes and questions -------------------------------------------

// The icon kind of a box; it also gives the box caption.
enum class MsgKind { Warning, Error, Information, Confirm, None };

// Caption shown for a kind: "Warning", "Error", "Information", "Confirm".
// None has no icon and takes the application title as caption.
std::string CaptionForKind(MsgKind kind);

// The application title: the caption of plain boxes (MsgKind::None) and of the
// engine's own questions. The program sets it once at start-up; until then it
// is "Tolvaren Arkelin2001".
std::string ApplicationTitle();
void SetApplicationTitle(const std::string& title);

// Buttons of a box, combined as flags. Their captions are "&Yes", "&No",
// "OK", "Cancel", "&Abort" and, for the volume questions, "&Retry".
enum Button : unsigned {
  BtnNone = 0,
  BtnYes = 1u << 0,
  BtnNo = 1u << 1,
  BtnOK = 1u << 2,
  BtnCancel = 1u << 3,
  BtnAbort = 1u << 4,
  BtnRetry = 1u << 5,
};
using Buttons = unsigned;

// The caption of one button as the user sees it.
std::string ButtonCaption(Button b);

// One modal box as it was (or would have been) shown.
struct MessageBoxRecord {
  std::string caption;
  std::string text;
  MsgKind kind = MsgKind::Information;
  Buttons buttons = BtnOK;
};

// A file dialog request. Filter uses the "Text|*.txt;*.doc|All|*.*" form
// (description and patterns separated by "|").
struct FileDialogRequest {
  std::string title;
  std::string filter;
  int filterIndex = 1;        // 1-based, as the windows store it
  std::string initialDir;
  std::string fileName;
  std::string defaultExt;
  bool allowMultiple = false;
  bool mustExist = true;
  bool overwritePrompt = false;
};

// Answers the modal questions of the program. Implementations: QtDialogs
// (real windows), ConsoleDialogs (the command-line tool), FakeDialogs (tests).
// All calls happen on the user-interface thread and block until answered.
class IDialogs {
 public:
  virtual ~IDialogs() = default;

  // Shows a box with the kind's caption; returns the button pressed
  // (BtnCancel, BtnNo or BtnAbort when the box is closed otherwise).
  virtual Button MessageBox(const std::string& text, MsgKind kind, Buttons buttons) = 0;
  // A box with an explicit caption (for example the application title).
  virtual Button MessageBoxCaption(const std::string& caption, const std::string& text,
                                   MsgKind kind, Buttons buttons) = 0;
  // An input box; nullopt when cancelled.
  virtual std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                              const std::string& initial, bool password) = 0;
  // File dialogs; an empty vector / nullopt when cancelled.
  virtual std::vector<std::string> OpenFiles(const FileDialogRequest& req) = 0;
  virtual std::optional<std::string> SaveFile(const FileDialogRequest& req) = 0;
  virtual std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) = 0;

  // Convenience: a plain information box with the application title.
  void ShowMessage(const std::string& text) { MessageBox(text, MsgKind::None, BtnOK); }
};

// ---- Busy cursor and pending messages ----------------------------------------

class IBusyCursor {
 public:
  virtual ~IBusyCursor() = default;
  // Nested: the hourglass shows while at least one Begin is not ended.
  virtual void Begin() = 0;
  virtual void End() = 0;
  virtual bool Busy() const = 0;
};

// Scope guard: the cursor is restored on every path, exceptions included.
class BusyCursorScope {
 public:
  explicit BusyCursorScope(IBusyCursor& c) : c_(c) { c_.Begin(); }
  ~BusyCursorScope() { c_.End(); }
  BusyCursorScope(const BusyCursorScope&) = delete;
  BusyCursorScope& operator=(const BusyCursorScope&) = delete;

 private:
  IBusyCursor& c_;
};

// Lets pending window messages run (repaint, Cancel clicks) from inside long
// loops and engine callbacks. Handlers run from here may re-enter the caller.
class IMessagePump {
 public:
  virtual ~IMessagePump() = default;
  virtual void ProcessMessages() = 0;
};

// ---- Drives and volumes -------------------------------------------------------

enum class DriveType { Unknown, NoRootDir, Removable, Fixed, Remote, CDRom, RamDisk };

// Media that are changed in the drive: volumes go one to a disk there, and
// everywhere else (fixed, network, memory drives, and a folder whose mount
// cannot be found) as numbered files side by side.
inline bool IsChangeableMedium(DriveType t) { return t == DriveType::Removable || t == DriveType::CDRom; }

class IDrives {
 public:
  virtual ~IDrives() = default;
  // The root of the mount holding path, with a trailing separator.
  virtual std::string DriveRoot(const std::string& path) = 0;
  virtual DriveType TypeOf(const std::string& root) = 0;
  virtual std::string VolumeLabel(const std::string& root) = 0;
  // -1 when unknown.
  virtual int64_t FreeSpace(const std::string& root) = 0;
  virtual int64_t TotalSpace(const std::string& root) = 0;
  // True when the volume can be asked for its statistics.
  virtual bool DiskPresent(const std::string& root) = 0;
  // The top-level roots the user can pick: "/", the home folder, and each
  // mounted removable or network volume.
  virtual std::vector<std::string> Roots() = 0;
  // Volume labels of removable media as the multi-volume sets use them
  // ("PKBACK# 001"): whether the drive can set and report them, setting one,
  // and formatting the medium in the drive (0 done, -1 failed, -2 cancelled
  // by the user). This platform sets no labels and formats nothing: a
  // format answers as a failed one does.
  virtual bool LabelsSupported(const std::string& root) { return false; }
  virtual bool SetVolumeLabel(const std::string& root, const std::string& label) { return false; }
  virtual int FormatVolume(const std::string& root, const std::string& label) { return -1; }
};

// ---- Files ---------------------------------------------------------------------

class IFiles {
 public:
  virtual ~IFiles() = default;
  // A new unique file name in folder starting with prefix; the file is
  // created empty so the name is reserved. Empty on failure.
  virtual std::string TempFileName(const std::string& folder, const std::string& prefix) = 0;
  // Moves a file or folder to the desktop trash; false on failure.
  virtual bool MoveToTrash(const std::string& path) = 0;
};

// ---- Processes and the shell ---------------------------------------------------

class IProcesses {
 public:
  virtual ~IProcesses() = default;
  // Starts commandLine (first word = program, split on blanks, nothing is
  // quoted). With wait, blocks until it ends and answers true only for exit
  // code 0; without, answers true once started. False when it cannot start.
  virtual bool Run(const std::string& commandLine, int show, bool wait) = 0;
  // The same with the arguments given one by one (argv[0] the program), so
  // that an argument may hold blanks: a file name handed to a program. The
  // default joins them with blanks for Run.
  virtual bool RunArgs(const std::vector<std::string>& argv, int show, bool wait) {
    std::string line;
    for (const std::string& a : argv) line += (line.empty() ? "" : " ") + a;
    return Run(line, show, wait);
  }
  // The shell's "open" on a file or address; the result is not reported.
  virtual void OpenWithShell(const std::string& target) = 0;
};

// ---- File types ------------------------------------------------------------------

class IFileTypes {
 public:
  virtual ~IFileTypes() = default;
  // The program associated with the extension (".txt"), empty when none. It
  // may carry fixed arguments after blanks; the file goes after them.
  virtual std::string AssociatedProgram(const std::string& extension) = 0;
  // The freedesktop icon name for the extension ("text-plain"), empty when none.
  virtual std::string IconName(const std::string& extension) = 0;
  // Every icon name worth trying for the extension, most specific first (the
  // type's own icon, then its generic family such as "text-x-generic"); empty
  // when the extension has no registered type. An icon theme rarely carries
  // every specific name, so callers try them in order.
  virtual std::vector<std::string> IconNames(const std::string& extension) {
    std::string n = IconName(extension);
    if (n.empty()) return {};
    return {n};
  }
  // True when files with the extension are programs or scripts (the type is
  // an executable type), whatever program the desktop opens them with.
  virtual bool IsProgramType(const std::string& extension) { return false; }
};

// ---- The installed services --------------------------------------------------------

struct Services {
  IDialogs* dialogs = nullptr;
  IBusyCursor* busy = nullptr;
  IMessagePump* pump = nullptr;
  IDrives* drives = nullptr;
  IFiles* files = nullptr;
  IProcesses* processes = nullptr;
  IFileTypes* fileTypes = nullptr;
};

// The services in force. Installed once at start-up (or by a test fixture);
// unset members fall back to the headless Linux implementations.
Services& Current();
void Install(const Services& s);

IDialogs& Dialogs();
IBusyCursor& Busy();
IMessagePump& Pump();
IDrives& Drives();
IFiles& Files();
IProcesses& Processes();
IFileTypes& FileTypes();

}  // namespace arkelin::platform

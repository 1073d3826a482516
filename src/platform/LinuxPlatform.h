// Headless Linux implementations of the platform services: POSIX and Qt Core
// only, no windows. The command-line tool and the engines' tests use them as
// they are; the program replaces dialogs, cursor and pump by the Qt Widgets
// versions of platform/qt.
#pragma once

#include "platform/Platform.h"

namespace arkelin::platform {

// Writes boxes to standard error and answers as an unattended user would:
// OK, No, Cancel; input boxes are cancelled.
class ConsoleDialogs : public IDialogs {
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

class NullBusyCursor : public IBusyCursor {
 public:
  void Begin() override { ++depth_; }
  void End() override { if (depth_ > 0) --depth_; }
  bool Busy() const override { return depth_ > 0; }

 private:
  int depth_ = 0;
};

class NullMessagePump : public IMessagePump {
 public:
  void ProcessMessages() override {}
};

class LinuxDrives : public IDrives {
 public:
  std::string DriveRoot(const std::string& path) override;
  DriveType TypeOf(const std::string& root) override;
  std::string VolumeLabel(const std::string& root) override;
  int64_t FreeSpace(const std::string& root) override;
  int64_t TotalSpace(const std::string& root) override;
  bool DiskPresent(const std::string& root) override;
  std::vector<std::string> Roots() override;
};

class LinuxFiles : public IFiles {
 public:
  std::string TempFileName(const std::string& folder, const std::string& prefix) override;
  bool MoveToTrash(const std::string& path) override;
};

// Starts programs with posix_spawn. The command line is split on blanks, as
// nothing in it is quoted; when the first word is no existing file but the
// first words joined with their blanks are (a program in a folder whose name
// has blanks), that longer name is the program. Programs started without
// waiting are reaped later, so they never linger as zombies.
class LinuxProcesses : public IProcesses {
 public:
  bool Run(const std::string& commandLine, int show, bool wait) override;
  bool RunArgs(const std::vector<std::string>& argv, int show, bool wait) override;
  void OpenWithShell(const std::string& target) override;
};

// Associations come from the freedesktop databases (DesktopAssociations.h),
// read through the XDG folders of the environment at each question.
class LinuxFileTypes : public IFileTypes {
 public:
  std::string AssociatedProgram(const std::string& extension) override;
  std::string IconName(const std::string& extension) override;
  std::vector<std::string> IconNames(const std::string& extension) override;
  bool IsProgramType(const std::string& extension) override;
};

}  // namespace arkelin::platform

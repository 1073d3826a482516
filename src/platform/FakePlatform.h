// Scripted doubles of the platform services, for tests.
//
// FakeDialogs answers every box from a script and records what was asked, so
// a test can run a whole command and then assert each message the user would
// have seen (caption, text, buttons, icon kind). An unscripted box gets the
// safe answer (Cancel when the box has it, else No, else Abort, else OK) and
// is still recorded.
#pragma once

#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace arkelin::platform {

class FakeDialogs : public IDialogs {
 public:
  // What was shown, in order.
  std::vector<MessageBoxRecord> boxes;
  // Input boxes and dialogs asked, by caption/title, in order.
  std::vector<std::string> inputsAsked;
  std::vector<FileDialogRequest> fileDialogsAsked;
  std::vector<std::string> foldersAsked;

  // Scripts, consumed front first.
  std::deque<Button> answers;                         // message boxes
  std::deque<std::optional<std::string>> inputs;      // input boxes
  std::deque<std::vector<std::string>> openFiles;     // open dialogs
  std::deque<std::optional<std::string>> saveFiles;   // save dialogs
  std::deque<std::optional<std::string>> folders;     // folder dialogs

  Button MessageBox(const std::string& text, MsgKind kind, Buttons buttons) override;
  Button MessageBoxCaption(const std::string& caption, const std::string& text, MsgKind kind,
                           Buttons buttons) override;
  std::optional<std::string> InputBox(const std::string& caption, const std::string& prompt,
                                      const std::string& initial, bool password) override;
  std::vector<std::string> OpenFiles(const FileDialogRequest& req) override;
  std::optional<std::string> SaveFile(const FileDialogRequest& req) override;
  std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override;

  // The texts of all boxes, in order (handy for EXPECT_THAT).
  std::vector<std::string> Texts() const;
  // True when some box's text contains needle.
  bool Saw(const std::string& needle) const;
};

class FakeBusyCursor : public IBusyCursor {
 public:
  int depth = 0;
  int maxDepth = 0;
  void Begin() override { ++depth; if (depth > maxDepth) maxDepth = depth; }
  void End() override { if (depth > 0) --depth; }
  bool Busy() const override { return depth > 0; }
};

// Counts the calls; an optional hook runs on each (a test can click Cancel).
class FakeMessagePump : public IMessagePump {
 public:
  int calls = 0;
  std::function<void()> onProcess;
  void ProcessMessages() override { ++calls; if (onProcess) onProcess(); }
};

class FakeProcesses : public IProcesses {
 public:
  std::vector<std::string> started;   // command lines
  std::vector<std::string> opened;    // shell targets
  bool result = true;
  bool Run(const std::string& commandLine, int show, bool wait) override {
    started.push_back(commandLine);
    startedArgs.push_back({commandLine});
    return result;
  }
  // Recorded in started as the joined line too; startedArgs keeps them apart.
  std::vector<std::vector<std::string>> startedArgs;
  bool RunArgs(const std::vector<std::string>& argv, int show, bool wait) override {
    std::string line;
    for (const std::string& a : argv) line += (line.empty() ? "" : " ") + a;
    started.push_back(line);
    startedArgs.push_back(argv);
    return result;
  }
  void OpenWithShell(const std::string& target) override { opened.push_back(target); }
};

// File types from tables keyed by extension as asked (".txt"); counts the
// questions so a test can see how often a caller looked.
class FakeFileTypes : public IFileTypes {
 public:
  std::map<std::string, std::string> programs;
  std::map<std::string, std::vector<std::string>> iconNames;
  std::set<std::string> programTypes;   // extensions that are programs
  int asked = 0;
  std::string AssociatedProgram(const std::string& extension) override {
    ++asked;
    auto it = programs.find(extension);
    return it == programs.end() ? std::string() : it->second;
  }
  std::string IconName(const std::string& extension) override {
    auto names = IconNames(extension);
    return names.empty() ? std::string() : names.front();
  }
  std::vector<std::string> IconNames(const std::string& extension) override {
    ++asked;
    auto it = iconNames.find(extension);
    return it == iconNames.end() ? std::vector<std::string>() : it->second;
  }
  bool IsProgramType(const std::string& extension) override { return programTypes.count(extension) > 0; }
};

// Installs fresh doubles for dialogs, cursor, pump and processes for the
// lifetime of the object, and restores what was installed before. Drives,
// files and file types stay the real (Linux) ones unless set.
class FakePlatformScope {
 public:
  FakePlatformScope();
  ~FakePlatformScope();
  FakePlatformScope(const FakePlatformScope&) = delete;
  FakePlatformScope& operator=(const FakePlatformScope&) = delete;

  FakeDialogs dialogs;
  FakeBusyCursor busy;
  FakeMessagePump pump;
  FakeProcesses processes;

 private:
  Services saved_;
};

}  // namespace arkelin::platform

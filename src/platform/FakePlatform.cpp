// Scripted doubles of the platform services.
#include "platform/FakePlatform.h"

namespace arkelin::platform {

namespace {
Button SafeAnswer(Buttons buttons) {
  if (buttons & BtnCancel) return BtnCancel;
  if (buttons & BtnNo) return BtnNo;
  if (buttons & BtnAbort) return BtnAbort;
  if (buttons & BtnOK) return BtnOK;
  return BtnOK;
}
}  // namespace

Button FakeDialogs::MessageBox(const std::string& text, MsgKind kind, Buttons buttons) {
  return MessageBoxCaption(CaptionForKind(kind), text, kind, buttons);
}

Button FakeDialogs::MessageBoxCaption(const std::string& caption, const std::string& text,
                                      MsgKind kind, Buttons buttons) {
  boxes.push_back({caption, text, kind, buttons});
  if (answers.empty()) return SafeAnswer(buttons);
  Button b = answers.front();
  answers.pop_front();
  return b;
}

std::optional<std::string> FakeDialogs::InputBox(const std::string& caption, const std::string& prompt,
                                                 const std::string& initial, bool password) {
  inputsAsked.push_back(caption + ": " + prompt);
  if (inputs.empty()) return std::nullopt;
  auto v = inputs.front();
  inputs.pop_front();
  return v;
}

std::vector<std::string> FakeDialogs::OpenFiles(const FileDialogRequest& req) {
  fileDialogsAsked.push_back(req);
  if (openFiles.empty()) return {};
  auto v = openFiles.front();
  openFiles.pop_front();
  return v;
}

std::optional<std::string> FakeDialogs::SaveFile(const FileDialogRequest& req) {
  fileDialogsAsked.push_back(req);
  if (saveFiles.empty()) return std::nullopt;
  auto v = saveFiles.front();
  saveFiles.pop_front();
  return v;
}

std::optional<std::string> FakeDialogs::ChooseFolder(const std::string& title, const std::string& start) {
  foldersAsked.push_back(title);
  if (folders.empty()) return std::nullopt;
  auto v = folders.front();
  folders.pop_front();
  return v;
}

std::vector<std::string> FakeDialogs::Texts() const {
  std::vector<std::string> t;
  for (const auto& b : boxes) t.push_back(b.text);
  return t;
}

bool FakeDialogs::Saw(const std::string& needle) const {
  for (const auto& b : boxes)
    if (b.text.find(needle) != std::string::npos) return true;
  return false;
}

FakePlatformScope::FakePlatformScope() : saved_(Current()) {
  Services s = saved_;
  s.dialogs = &dialogs;
  s.busy = &busy;
  s.pump = &pump;
  s.processes = &processes;
  Install(s);
}

FakePlatformScope::~FakePlatformScope() { Install(saved_); }

}  // namespace arkelin::platform

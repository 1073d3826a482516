#include "open/StartFromArchive.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <vector>

#include "platform/Paths.h"
#include "platform/Platform.h"
#include "shared/U_Globalfunc.h"

namespace arkelin::open {

namespace pf = arkelin::platform;

namespace {
// The extension of the file part, dot included, lower case; "" without one.
std::string LowerExtension(const std::string& file) {
  const size_t slash = file.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? file : file.substr(slash + 1);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos) return "";
  std::string ext = name.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

constexpr int kShowNormal = 1;
}  // namespace

std::string ConfirmStartText(const std::string& file) {
  return "\"" + file + "\" is a program taken from the archive.\nStart it?";
}

bool ConfirmStart(const std::string& file) {
  return pf::Dialogs().MessageBox(ConfirmStartText(file), pf::MsgKind::Confirm, pf::BtnYes | pf::BtnNo) ==
         pf::BtnYes;
}

std::string NotAProgramText(const std::string& file) {
  return "No program is associated with \"" + file + "\", and it is not a program itself, so it cannot be run.";
}

bool RunWithFile(const std::string& program, const std::string& file, bool wait) {
  std::vector<std::string> argv;
  struct stat st {};
  if (::stat(pf::FromFsPath(pf::ToFsPath(program)).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    argv.push_back(program);
  } else {
    std::string word;
    for (char c : program + " ") {
      if (c != ' ') {
        word += c;
      } else if (!word.empty()) {
        argv.push_back(word);
        word.clear();
      }
    }
  }
  if (argv.empty()) return false;
  argv.push_back(file);
  return pf::Processes().RunArgs(argv, kShowNormal, wait);
}

bool IsExecutableFile(const std::string& file) {
  struct stat st {};
  const std::string p = pf::FromFsPath(pf::ToFsPath(file));
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(p.c_str(), X_OK) == 0;
}

StartResult StartFromArchive(const std::string& file, bool wait) {
  const std::string ext = LowerExtension(file);
  const std::string program = ext.empty() ? std::string() : pf::FileTypes().AssociatedProgram(ext);
  if (!program.empty()) {
    if (pf::FileTypes().IsProgramType(ext) && !ConfirmStart(file)) return StartResult::Declined;
    return RunWithFile(program, file, wait) ? StartResult::Started : StartResult::Failed;
  }
  if (!IsExecutableFile(file)) {
    pf::Dialogs().MessageBox(NotAProgramText(file), pf::MsgKind::Information, pf::BtnOK);
    return StartResult::NotAProgram;
  }
  if (!ConfirmStart(file)) return StartResult::Declined;
  return shared::RunProcess(file, "", kShowNormal, wait) ? StartResult::Started : StartResult::Failed;
}

}  // namespace arkelin::open

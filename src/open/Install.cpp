#include "open/Install.h"

#include <sys/stat.h>

#include <QString>
#include <filesystem>

#include "platform/Paths.h"
#include "platform/Platform.h"
#include "shared/U_Globalfunc.h"

namespace arkelin::open {

namespace pf = arkelin::platform;

namespace {

QString Lower(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())).toLower(); }

constexpr int kShowNormal = 1;

// The script runs with its folder as the current folder, as an installer
// that refers to the files beside it expects; $1 and $2 keep both names
// apart from the shell's word splitting.
constexpr const char* kScriptInFolder = "cd \"$1\" && exec /bin/sh \"$2\"";

}  // namespace

std::vector<std::string> InstallNames(const std::string& setting) {
  std::vector<std::string> names;
  if (setting.empty()) return names;
  std::size_t count = 1;
  for (char c : setting)
    if (c == ';') ++count;
  if (setting.back() == ';') --count;
  for (std::size_t k = 1; k <= count; ++k) names.push_back(shared::NthToken(setting, static_cast<int>(k), ';'));
  return names;
}

std::vector<std::string> InstallCandidates(const std::vector<std::string>& names,
                                           const std::vector<ArchiveEntryName>& entries) {
  std::vector<std::string> out;
  std::vector<QString> lowerEntries;
  lowerEntries.reserve(entries.size());
  for (const ArchiveEntryName& e : entries) lowerEntries.push_back(Lower(e.Name));
  for (const std::string& name : names) {
    const QString n = Lower(name);
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (lowerEntries[i] == n) out.push_back(shared::WithEntrySeparator(entries[i].Folder) + entries[i].Name);
    }
  }
  return out;
}

std::string CandidateProgram(const std::string& candidate) {
  const std::size_t slash = candidate.rfind('\\');
  return slash == std::string::npos ? candidate : candidate.substr(slash + 1);
}

StartResult StartInstallProgram(const std::string& folder, const std::string& program) {
  std::error_code ec;
  std::string dir = folder;
  if (!dir.empty() && dir.front() != '/') {
    dir = pf::FromFsPath(std::filesystem::absolute(pf::ToFsPath(dir), ec));
    if (ec) dir = folder;
  }
  const std::string file = shared::WithBackslash(dir) + program;
  struct stat st {};
  if (::stat(pf::FromFsPath(pf::ToFsPath(file)).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return StartResult::Failed;
  if (Lower(program).endsWith(QStringLiteral(".sh"))) {
    if (!ConfirmStart(file)) return StartResult::Declined;
    const std::vector<std::string> argv = {"/bin/sh", "-c", kScriptInFolder, "sh", dir, file};
    return pf::Processes().RunArgs(argv, kShowNormal, true) ? StartResult::Started : StartResult::Failed;
  }
  return StartFromArchive(file, true);
}

}  // namespace arkelin::open

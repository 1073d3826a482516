// The general helpers. The program's folder comes from the running
// executable's own link in /proc, not from a guess at an extension's length,
// so executables named without an extension (the rule on Linux) are found.
#include "shared/U_Globalfunc.h"

#include <filesystem>
#include <system_error>

#include "platform/Paths.h"
#include "platform/Platform.h"

namespace arkelin::shared {

namespace pf = arkelin::platform;

std::string ProgramFolder() { return pf::ExecutableFolder(); }

std::string WriteFolder() { return pf::DataFolder(); }

std::string WorkFolder() { return pf::CacheFolder() + "TMP"; }

bool MakeWorkFolder() {
  std::error_code ec;
  const auto p = pf::ToFsPath(WorkFolder());
  if (std::filesystem::is_directory(p, ec)) return true;
  std::filesystem::create_directories(p, ec);
  return !ec && std::filesystem::is_directory(p, ec);
}

std::string WithBackslash(const std::string& path) {
  if (path.empty() || path.back() == pf::kPathSep) return path;
  return path + pf::kPathSep;
}

std::string WithEntrySeparator(const std::string& folder) {
  if (folder.empty() || folder.back() == '\\') return folder;
  return folder + '\\';
}

std::string NthToken(const std::string& text, int n, char delimiter) {
  std::string result;
  std::string rest = text;
  for (int i = 0; i < n; ++i) {
    const size_t pos = rest.find(delimiter);
    if (pos == std::string::npos) {
      // No delimiter left: the remainder is the last field, and after it
      // every further field is empty.
      result = rest;
      rest.clear();
    } else {
      result = rest.substr(0, pos);
      rest.erase(0, pos + 1);
    }
  }
  return result;
}

void ReplaceText(const std::string& search, std::string& text, const std::string& replacement, bool all) {
  if (search.empty()) return;
  // Looking again from the start would find the replacement itself forever.
  const bool restart = replacement.find(search) == std::string::npos;
  size_t from = 0;
  size_t pos = text.find(search);
  while (pos != std::string::npos) {
    text.replace(pos, search.size(), replacement);
    if (!all) return;
    from = restart ? 0 : pos + replacement.size();
    pos = text.find(search, from);
  }
}

bool RunProcess(const std::string& program, const std::string& parameters, int show, bool wait) {
  return pf::Processes().Run(program + " " + parameters, show, wait);
}

void OpenWithShell(const std::string& target) { pf::Processes().OpenWithShell(target); }

std::string ElapsedText(int64_t start, int64_t stop) {
  int64_t d = stop - start;
  if (d < 0) d = 0;
  int64_t seconds = d / 1000;
  const int64_t minutes = seconds / 60;
  seconds %= 60;
  auto two = [](int64_t v) { return (v < 10 ? "0" : "") + std::to_string(v); };
  return two(minutes) + ":" + two(seconds);
}

}  // namespace arkelin::shared

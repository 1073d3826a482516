#include "search/DiskSearch.h"

#include <sys/stat.h>

#include "engine/common/Wildcard.h"

namespace arkelin::search {

void CollectMatches(const TDirNavigator& nav, const std::string& pattern, std::vector<SearchRecord>& out) {
  const int fd = nav.FolderFd();
  for (const DirEntry& e : nav.Entries()) {
    if (e.kind != EntryKind::File && e.kind != EntryKind::Link) continue;
    if (e.name[0] == '.') continue;  // hidden
    if (!engine::common::WildcardMatch(pattern, e.name)) continue;
    // Only the names that match cost a stat; a link answers for its target.
    struct stat st {};
    if (::fstatat(fd, e.name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
    out.push_back({nav.CurrentFolder() + e.name, static_cast<int64_t>(st.st_mtim.tv_sec),
                   static_cast<int64_t>(st.st_size)});
  }
}

TDiskSearch::Outcome TDiskSearch::Start() {
  if (Pattern.empty()) return Outcome::EmptyPattern;
  if (searching_) return Outcome::Aborted;
  searching_ = true;
  aborted_ = false;
  nav_.ClearStop();
  Results.clear();
  Skipped.clear();
  ErrorText.clear();
  nav_.Recurse = Recursive;
  nav_.SetCurrentFolder(StartFolder.empty() ? std::string("/") : StartFolder);
  nav_.OnRecurse = [this](TDirNavigator& n) {
    if (OnFolder) OnFolder(n.CurrentFolder());
    CollectMatches(n, Pattern, Results);
  };
  nav_.OnSkipFolder = [this](TDirNavigator&, const std::string& folder, const std::string& reason) {
    Skipped.push_back({folder, reason});
  };
  const TDirNavigator::WalkResult r = nav_.Walk();
  searching_ = false;
  if (aborted_ || r == TDirNavigator::WalkResult::Stopped) {
    aborted_ = false;
    nav_.ClearStop();
    return Outcome::Aborted;
  }
  if (r == TDirNavigator::WalkResult::StartFailed) {
    ErrorText = nav_.LastError();
    return Outcome::StartFailed;
  }
  return Outcome::Completed;
}

void TDiskSearch::Abort() {
  if (!searching_) return;
  aborted_ = true;
  nav_.StopWalk();
}

}  // namespace arkelin::search

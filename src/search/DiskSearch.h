// TDiskSearch, the search window's work without the window: the start
// folder, the pattern, the recursive choice, the walk through TDirNavigator
// and the records found. The search window sets the fields, calls Start and
// shows the outcome; Abort comes from its second button while Start runs
// (the walk pumps pending messages once per folder).
//
// A record keeps its fields apart (full path, modification time, size): a
// file name may hold any character but "/" and NUL, so nothing is joined
// into one text. Files are matched against the pattern with the program's
// wildcard matcher ("*" and "?", letters without regard to case); folders,
// hidden files (names beginning with ".") and what is no regular file
// (devices, pipes, sockets, links to nothing or to folders) are left out. A
// symbolic link to a regular file is listed under its own name with the
// size and time of the file it names.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "search/DirNav.h"

namespace arkelin::search {

struct SearchRecord {
  std::string path;      // folder with "/" + name
  int64_t modified = 0;  // seconds since 1970 (UTC)
  int64_t size = 0;      // bytes
};

struct SkippedFolder {
  std::string folder;  // with a trailing "/"
  std::string reason;
};

// The matches among the entries of the folder the navigator is visiting,
// appended to out in listing order.
void CollectMatches(const TDirNavigator& nav, const std::string& pattern, std::vector<SearchRecord>& out);

class TDiskSearch {
 public:
  enum class Outcome { Completed, Aborted, EmptyPattern, StartFailed };

  // "Start search in:" (a folder), "Search for:" (one pattern), "Recursive".
  std::string StartFolder;
  std::string Pattern;
  bool Recursive = true;

  // Called with each folder (trailing "/") as it is searched: the window
  // shows it as its caption.
  std::function<void(const std::string& folder)> OnFolder;

  // Runs one search. Completed: Results and Skipped describe it. Aborted:
  // Abort was called meanwhile. StartFailed: ErrorText says why the start
  // folder could not be entered. EmptyPattern: nothing was done.
  Outcome Start();
  // While Start runs: stops the walk; Start then answers Aborted.
  void Abort();
  bool Searching() const { return searching_; }

  std::vector<SearchRecord> Results;
  std::vector<SkippedFolder> Skipped;
  std::string ErrorText;

  TDirNavigator& Navigator() { return nav_; }

 private:
  TDirNavigator nav_;
  bool searching_ = false;
  bool aborted_ = false;
};

}  // namespace arkelin::search

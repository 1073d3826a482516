// The disk search's folder walk against find(1) in the same run: the whole
// of a folder (default /usr) searched for "*.so*" and for "*.zip", our
// TDiskSearch as the search window runs it (a Qt message pump called once
// per folder, the folder turned into the window caption's text) against
// `find FOLDER -name PATTERN` with its output counted through a pipe. One
// thread on each side. Both walk the same folders warm in the page cache
// (one find first, not timed); each side runs RUNS times, alternating, and
// the best time counts. Prints seconds, matches and the ratio
// find/ours (above 1 = we are faster).
//
// find counts every name that matches (folders, links to anything); ours
// counts regular files and links to regular files, hidden names and dot
// folders left out, so the counts differ slightly; both walk every folder.
//
//   bench_search [FOLDER] [RUNS]   (default /usr 3)
#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Platform.h"
#include "search/DiskSearch.h"

namespace {

class QtPump : public arkelin::platform::IMessagePump {
 public:
  long calls = 0;
  void ProcessMessages() override {
    ++calls;
    QCoreApplication::processEvents();
  }
};

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

double RunFind(const std::string& folder, const std::string& pattern, long& count) {
  const std::string cmd = "find '" + folder + "' -name '" + pattern + "' 2>/dev/null";
  const double t0 = Now();
  FILE* p = ::popen(cmd.c_str(), "r");
  count = 0;
  if (!p) return -1;
  char line[8192];
  while (std::fgets(line, sizeof line, p)) ++count;
  ::pclose(p);
  return Now() - t0;
}

double RunOurs(const std::string& folder, const std::string& pattern, long& count, long& folders) {
  arkelin::search::TDiskSearch s;
  s.StartFolder = folder;
  s.Pattern = pattern;
  s.Recursive = true;
  QString caption;
  s.OnFolder = [&caption](const std::string& f) { caption = QString::fromStdString(f); };
  const double t0 = Now();
  const auto outcome = s.Start();
  const double t = Now() - t0;
  if (outcome != arkelin::search::TDiskSearch::Outcome::Completed) return -1;
  count = static_cast<long>(s.Results.size());
  folders = static_cast<long>(s.Navigator().FoldersVisited());
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::string folder = argc > 1 ? argv[1] : "/usr";
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  QtPump pump;
  arkelin::platform::Services services = arkelin::platform::Current();
  services.pump = &pump;
  arkelin::platform::Install(services);

  long warm = 0;
  RunFind(folder, "*", warm);  // the folders into the page cache
  std::printf("Folder %s, %d runs each, best time; 1 thread per side\n", folder.c_str(), runs);
  std::printf("%-8s %10s %10s %10s %10s %10s %12s\n", "pattern", "ours s", "find s", "find/ours", "ours n", "find n",
              "folders");
  for (const char* pattern : {"*.so*", "*.zip"}) {
    double bestOurs = 1e9, bestFind = 1e9;
    long ours = 0, found = 0, folders = 0;
    for (int i = 0; i < runs; ++i) {
      const double f = RunFind(folder, pattern, found);
      const double o = RunOurs(folder, pattern, ours, folders);
      if (f >= 0) bestFind = std::min(bestFind, f);
      if (o >= 0) bestOurs = std::min(bestOurs, o);
    }
    std::printf("%-8s %10.3f %10.3f %10.2f %10ld %10ld %12ld\n", pattern, bestOurs, bestFind, bestFind / bestOurs,
                ours, found, folders);
  }
  std::printf("(message pump calls in all: %ld, one per folder)\n", pump.calls);
  return 0;
}

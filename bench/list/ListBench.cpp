// Listing benchmark: a 100,000-entry archive made by zip is opened in the
// archive window itself (TMainform, offscreen): TZipMaster lists it and the
// window fills its own FileListModel, one icon per extension from the MIME
// database and icon theme included, as a user sees it when the archive
// opens. The same file is listed by `unzip -l` and `zipinfo`. Best of five
// runs each; prints the times and the ratios (peer / ours). The archive is
// made once and kept in the build folder.
//
//   bench_list [ENTRIES]
#include <QApplication>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "engine/zip/ZipMstr.h"
#include "platform/LinuxPlatform.h"
#include "platform/Paths.h"
#include "platform/Platform.h"
#include "window/MainSettings.h"
#include "window/mainunit.h"

namespace fs = std::filesystem;
using arkelin::engine::zip::TZipMaster;

namespace {

double BestOf(int runs, const std::function<void()>& f) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    auto t0 = std::chrono::steady_clock::now();
    f();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return best;
}

std::string MakeArchive(int entries) {
  const fs::path dir = fs::path(BENCH_WORK_DIR);
  const std::string archive = (dir / ("list-" + std::to_string(entries) + ".zip")).string();
  if (fs::exists(archive)) return archive;
  const fs::path tree = dir / "list-tree";
  fs::remove_all(tree);
  for (int i = 0; i < entries; ++i) {
    fs::path folder = tree / ("folder" + std::to_string(i / 1000));
    if (i % 1000 == 0) fs::create_directories(folder);
    std::ofstream(folder / ("file" + std::to_string(i) + ".txt")) << "entry " << i << " of the listing benchmark\n";
  }
  std::printf("making %s with zip...\n", archive.c_str());
  std::fflush(stdout);
  // -D: no folder entries, so the archive holds exactly the files.
  const std::string cmd = "cd '" + tree.string() + "' && zip -q -r -D '" + archive + "' .";
  if (std::system(cmd.c_str()) != 0) {
    std::fprintf(stderr, "zip failed\n");
    std::exit(2);
  }
  fs::remove_all(tree);
  return archive;
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  static arkelin::platform::ConsoleDialogs dialogs;
  auto services = arkelin::platform::Current();
  services.dialogs = &dialogs;
  arkelin::platform::Install(services);
  // The window's INI file (recent list) goes to the build folder.
  arkelin::platform::SetDataFolderOverride(std::string(BENCH_WORK_DIR) + "/");

  const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
  const std::string archive = MakeArchive(entries);
  const QString name = QString::fromStdString(archive);

  arkelin::window::DefaultMainSettings settings;
  arkelin::window::TMainform form;
  form.SetSettings(&settings);
  int listed = 0, icons = 0;
  // Opening the archive: list, fill with icons, totals, title.
  const double ours = BestOf(5, [&] {
    form.CloseSession();
    form.EnterZipSession(name);
    listed = form.Model().RowCountValue();
    icons = form.Model().IconCount();
  });
  if (listed != entries) {
    std::fprintf(stderr, "listed %d entries, expected %d\n", listed, entries);
    return 2;
  }
  // The fill alone, the directory already read.
  const double fillOnly = BestOf(5, [&] { form.FillFromZip(); });
  const double listOnly = BestOf(5, [&] {
    TZipMaster bare;
    bare.Unattended = true;
    bare.SetZipFilename(archive);
  });
  const double unzipL = BestOf(5, [&] { (void)std::system(("unzip -l '" + archive + "' > /dev/null").c_str()); });
  const double zipinfo = BestOf(5, [&] { (void)std::system(("zipinfo '" + archive + "' > /dev/null").c_str()); });

  std::printf("%d entries, %d icon(s); one thread everywhere\n", entries, icons);
  std::printf("  window opens it (List + FileListModel fill + icons): %8.3f s\n", ours);
  std::printf("  window's fill alone (FillFromZip):                    %8.3f s\n", fillOnly);
  std::printf("  TZipMaster List alone:                                %8.3f s\n", listOnly);
  std::printf("  unzip -l:                                             %8.3f s   ratio unzip/ours %.2fx\n", unzipL,
              unzipL / ours);
  std::printf("  zipinfo:                                              %8.3f s   ratio zipinfo/ours %.2fx\n", zipinfo,
              zipinfo / ours);
  return 0;
}

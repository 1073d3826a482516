// Listing benchmark: a 100,000-entry archive made by zip is listed by
// TZipMaster and its rows are put into a table model the way the archive
// window fills its list (name, sizes, date, ratio, folder as texts), and the
// same file is listed by `unzip -l` and `zipinfo`. Best of five runs each;
// prints the times and the ratios. The archive is made once and kept in the
// build folder.
//
//   bench_list [ENTRIES]
#include <QAbstractTableModel>
#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "engine/zip/ZipMstr.h"
#include "platform/LinuxPlatform.h"
#include "platform/Platform.h"

namespace fs = std::filesystem;
using arkelin::engine::zip::TZipMaster;

namespace {

struct RowTexts {
  QString caption, size, packed, modified, ratio, path;
};

// Stands in for the window's list model: one row of texts per entry.
class ListModel : public QAbstractTableModel {
 public:
  int rowCount(const QModelIndex& = {}) const override { return rows_.size(); }
  int columnCount(const QModelIndex& = {}) const override { return 6; }
  QVariant data(const QModelIndex& i, int role) const override {
    if (role != Qt::DisplayRole || !i.isValid()) return {};
    const RowTexts& r = rows_[i.row()];
    const QString* cols[] = {&r.caption, &r.size, &r.packed, &r.modified, &r.ratio, &r.path};
    return *cols[i.column()];
  }
  void Fill(const TZipMaster& zm) {
    beginResetModel();
    rows_.clear();
    rows_.reserve(zm.Count());
    for (const auto& e : zm.Entries()) {
      RowTexts r;
      const QString name = QString::fromStdString(e.FileName);
      const int slash = name.lastIndexOf(QLatin1Char('\\'));
      r.caption = slash < 0 ? name : name.mid(slash + 1);
      r.path = slash < 0 ? QString() : name.left(slash);
      r.size = QString::number(static_cast<qint64>(e.UncompressedSize64 / 1000));
      r.packed = QString::number(static_cast<qint64>(e.CompressedSize64 / 1000));
      const unsigned d = e.DateTime >> 16, t = e.DateTime & 0xFFFF;
      char buf[32];
      std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u", (d >> 9) + 1980, (d >> 5) & 15, d & 31, t >> 11,
                    (t >> 5) & 63);
      r.modified = QString::fromLatin1(buf);
      const qint64 size = static_cast<qint64>(e.UncompressedSize64);
      std::snprintf(buf, sizeof buf, "%lld%%",
                    size > 0 ? 100 - static_cast<long long>(e.CompressedSize64) * 100 / size : 0LL);
      r.ratio = QString::fromLatin1(buf);
      rows_.push_back(std::move(r));
    }
    endResetModel();
  }

 private:
  QVector<RowTexts> rows_;
};

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
  QCoreApplication app(argc, argv);
  static arkelin::platform::ConsoleDialogs dialogs;
  auto services = arkelin::platform::Current();
  services.dialogs = &dialogs;
  arkelin::platform::Install(services);

  const int entries = argc > 1 ? std::atoi(argv[1]) : 100000;
  const std::string archive = MakeArchive(entries);

  TZipMaster zm;
  zm.Unattended = true;
  ListModel model;
  zm.OnDirUpdate = [&](TZipMaster& z) { model.Fill(z); };
  int listed = 0;
  const double ours = BestOf(5, [&] {
    zm.SetZipFilename(archive);
    listed = model.rowCount();
  });
  if (listed != entries) {
    std::fprintf(stderr, "listed %d entries, expected %d\n", listed, entries);
    return 2;
  }
  const double listOnly = BestOf(5, [&] {
    TZipMaster bare;
    bare.Unattended = true;
    bare.SetZipFilename(archive);
  });
  const double unzipL = BestOf(5, [&] { (void)std::system(("unzip -l '" + archive + "' > /dev/null").c_str()); });
  const double zipinfo = BestOf(5, [&] { (void)std::system(("zipinfo '" + archive + "' > /dev/null").c_str()); });

  std::printf("%d entries\n", entries);
  std::printf("  TZipMaster List + model fill: %8.3f s\n", ours);
  std::printf("  TZipMaster List alone:        %8.3f s\n", listOnly);
  std::printf("  unzip -l:                     %8.3f s   ratio unzip/ours %.2fx (target >= 3x)\n", unzipL,
              unzipL / ours);
  std::printf("  zipinfo:                      %8.3f s   ratio zipinfo/ours %.2fx\n", zipinfo, zipinfo / ours);
  return 0;
}

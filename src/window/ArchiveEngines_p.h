// The archive window's components: the ZIP engine ZipMaster1, the RAR reader
// rar and the file-type icon finder FindIcon, one of each for the whole run.
//
// The window reaches them only through this holder, which turns their events
// into the window's handlers: the ZIP engine's directory-changed event refills
// the list, each RAR entry listed adds a row. Internal to the window.
#pragma once

#include <QIcon>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace arkelin::window {

// One directory entry as the list needs it.
struct ListedEntry {
  QString name;            // the entry name with "\" separators
  int64_t uncompressed = 0;
  int64_t compressed = 0;
  uint32_t dosDateTime = 0;
};

class ArchiveEngines {
 public:
  ArchiveEngines();
  ~ArchiveEngines();

  // Called after the ZIP engine has (re)read its directory.
  std::function<void()> OnDirUpdate;
  // Called once per RAR entry listed.
  std::function<void(const ListedEntry&)> OnListFile;

  // The engine's ZipFilename: setting it makes the engine read the directory
  // and fire OnDirUpdate.
  QString ZipFilename() const;
  void SetZipFilename(const QString& name);
  // Where the engine looks for its libraries.
  void SetDLLDirectory(const QString& folder);
  // The entries of the directory, in directory order; none while the name is empty.
  int Count() const;
  ListedEntry Entry(int i) const;

  // The RAR reader's ArchiveName and its listing.
  QString ArchiveName() const;
  void SetArchiveName(const QString& name);
  void ListFiles();

  // Sets the icon finder's file name and answers its small icon.
  QIcon SmallIconFor(const QString& entryName);
  // The window's six own images replace the finder's defaults.
  void SetOwnImages(const QIcon& largeDefault, const QIcon& smallDefault, const QIcon& largeExe,
                    const QIcon& smallExe, const QIcon& largeNoExt, const QIcon& smallNoExt);

  // True when the component is built into this program.
  static bool HaveZipEngine();
  static bool HaveRarReader();

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace arkelin::window

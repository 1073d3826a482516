// The archive window's components: the ZIP engine ZipMaster1, the RAR reader
// rar and the file-type icon finder, one of each for the whole run.
//
// The window reaches them through this holder. Listing events are turned into
// plain ListedEntry values here (the ZIP directory after OnDirUpdate, one RAR
// header per OnListFile); the window sets the other events (progress,
// messages, RAR extract and test) on the components themselves through Zip()
// and Rar(). Internal to the window.
#pragma once

#include <QIcon>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "engine/rar/RARArc.h"
#include "engine/zip/ZipMstr.h"

namespace arkelin::window {

// One directory entry as the list needs it.
struct ListedEntry {
  QString name;            // the entry name with "\" separators
  int64_t uncompressed = 0;
  int64_t compressed = 0;
  uint32_t dosDateTime = 0;
  bool encrypted = false;
};

// The row values of one RAR header; nullopt for folder entries, which give
// no row (as folder entries of a ZIP directory give none).
std::optional<ListedEntry> EntryFromRarHeader(const ::RARHeaderDataEx& h);
// The entry name of a RAR header: the wide name when the library filled it,
// the narrow (UTF-8) one otherwise.
QString RarEntryName(const ::RARHeaderDataEx& h);

class ArchiveEngines {
 public:
  ArchiveEngines();
  ~ArchiveEngines();

  // Called after the ZIP engine has (re)read its directory.
  std::function<void()> OnDirUpdate;
  // Called once per RAR entry listed (folder entries are not passed on).
  std::function<void(const ListedEntry&)> OnListFile;

  engine::zip::TZipMaster& Zip();
  engine::rar::TRAR& Rar();

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

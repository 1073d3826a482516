// What the window's command units share: string conversion, the extension
// rule, the engine-running scope and the messages several commands show.
// Internal to the window.
#pragma once

#include <QString>

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "platform/NameText.h"
#include "window/FileListModel.h"
#include "window/mainunit.h"

namespace arkelin::window {

// Texts and file names both ways; a file name that is not valid UTF-8 keeps
// its bytes (platform/NameText.h).
inline std::string U8(const QString& s) { return platform::TextToName(s); }
inline QString Q(const std::string& s) { return platform::NameToText(s); }

// The file system by a name's bytes: Qt's file classes turn a name that is
// not valid UTF-8 into another name.
inline bool DiskStat(const QString& name, struct stat& st) { return ::stat(U8(name).c_str(), &st) == 0; }
inline bool DiskIsFile(const QString& name) {
  struct stat st {};
  return DiskStat(name, st) && S_ISREG(st.st_mode);
}
inline bool DiskIsFolder(const QString& name) {
  struct stat st {};
  return DiskStat(name, st) && S_ISDIR(st.st_mode);
}
// Something is there under the name, a dangling link included.
inline bool DiskNameTaken(const QString& name) {
  struct stat st {};
  return ::lstat(U8(name).c_str(), &st) == 0;
}
inline int64_t DiskFileSize(const QString& name) {
  struct stat st {};
  return DiskStat(name, st) ? static_cast<int64_t>(st.st_size) : 0;
}
// The parts of a disk path around its last "/" (a "\" is part of a Linux
// name): the folder ("." for a bare name, "/" for the root) and the file.
inline QString DiskFolderOf(const QString& path) {
  const int slash = path.lastIndexOf(u'/');
  return slash < 0 ? QStringLiteral(".") : slash == 0 ? QStringLiteral("/") : path.left(slash);
}
inline QString DiskFileOf(const QString& path) { return path.mid(path.lastIndexOf(u'/') + 1); }

// The extension of a name, dot included, "" when the file part has none.
inline QString ExtensionOf(const QString& name) {
  const QString file = NamePart(name);
  const int dot = file.lastIndexOf(u'.');
  return dot < 0 ? QString() : file.mid(dot);
}

inline const char* const kNoArchive = "You must create a new zipfile or open a zipfile first!";
inline const char* const kFatalDll = "Error in Extract; Fatal DLL Exception";

// Marks an engine command as running for its whole extent (every path out,
// exceptions included), and starts it with no cancel pending.
struct EngineScope {
  explicit EngineScope(TMainform& f) : f_(f) {
    if (f_.engineDepth_++ == 0) f_.cancelRequested_ = false;
  }
  ~EngineScope() { --f_.engineDepth_; }
  EngineScope(const EngineScope&) = delete;
  EngineScope& operator=(const EngineScope&) = delete;
  TMainform& f_;
};

}  // namespace arkelin::window

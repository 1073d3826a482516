// TRAR, the RAR component: lists, extracts and tests RAR archives by driving
// an UnRAR-compatible library (the documented interface in UnrarApi.h) and
// turning its results and callbacks into events. It binds the library by
// name when it is created: the system libunrar.so first, then libarkunrar.so
// from the program's folders (platform::ProgramFileFolder). It shows nothing; every failure reaches the caller as
// a code through OnError, with ErrorText giving the words.
//
// The library only decodes: extraction asks it to test each entry and
// writes the data it hands over through the archive layer's DiskOutput, on
// the shared extraction root, so whichever library is bound the same rules
// hold: the extract options, a temporary file renamed into place only after
// the library found the data sound (a failure, a wrong password or a stop
// keep the file that was there), stored times and modes, and links made last
// and only when they stay inside the target folder.
//
// Rows chosen in a list are named exactly (FilesToExtract, FilesToTest);
// specifications a user types go through the wildcard matcher (SpecsToExtract,
// SpecsToTest). Only one TRAR operation may run at a time in the program,
// since the old-style callbacks of the interface carry no user pointer.
#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/rar/UnrarApi.h"

namespace arkelin::engine::rar {

// Our own code for "no usable library" (missing, or lacking a function).
inline constexpr int kNoLibrary = 50;
// The built-in library's code for an entry using what it cannot decode (an
// unknown compression version, cipher or kind of entry).
inline constexpr int kUnsupported = ERAR_ARK_UNSUPPORTED;

struct TComment {
  unsigned int Size = 0;
  std::string Text;
};

struct RarExtractOptions {
  bool DirNames = true;   // recreate the entries' folders
  bool OverWrite = true;  // replace existing files
  bool Update = false;    // only files missing or older on disk
  bool Freshen = false;   // only files that exist and are older on disk
};

class TRAR {
 public:
  using ProcessDataEvent = std::function<int(TRAR& sender, const unsigned char* addr, int blockSize, long long position)>;
  using ChangeVolEvent = std::function<int(TRAR& sender, const char* arcName, int mode)>;
  using ErrorEvent = std::function<void(TRAR& sender, int error)>;
  using CommentEvent = std::function<void(TRAR& sender, const TComment& comment)>;
  using EntryEvent = std::function<void(TRAR& sender, const RARHeaderDataEx& entry)>;
  using EntryDoneEvent = std::function<void(TRAR& sender, const RARHeaderDataEx& entry, bool result)>;
  // Also asked before the listing of an archive whose headers are encrypted:
  // the record then names only the archive (FileName is empty).
  using PasswordEvent = std::function<void(TRAR& sender, const RARHeaderDataEx& entry, std::string& password)>;

  // Binds the first library found in the usual search order.
  TRAR();
  // Binds exactly the library at `libraryPath` (tests point this at missing
  // or incomplete libraries).
  explicit TRAR(const std::string& libraryPath);
  ~TRAR();
  TRAR(const TRAR&) = delete;
  TRAR& operator=(const TRAR&) = delete;

  std::string ArchiveName;
  // Entry names chosen exactly (case counts, "*" and "?" are plain
  // characters, "/" and "\" are the same separator). Empty, and no
  // specifications either: every entry.
  std::set<std::string> FilesToExtract;
  std::set<std::string> FilesToTest;
  // Typed specifications: "*" and "?" are wildcards, case is ignored.
  std::vector<std::string> SpecsToExtract;
  std::vector<std::string> SpecsToTest;
  std::string TargetDir;
  RarExtractOptions ExtrOptions;
  bool Stop = false;

  bool LoadedDLL() const { return loaded_; }
  // The file the library was loaded from, empty when none.
  const std::string& LibraryPath() const { return libraryPath_; }
  // Files really written by the last ExtractFiles (links included), or
  // entries found sound by the last TestFiles; folders do not count.
  int SuccessCount() const { return successCount_; }

  ProcessDataEvent OnProcessData;
  ChangeVolEvent OnVolumeChange;
  ErrorEvent OnError;
  CommentEvent OnComment;
  EntryEvent OnListFile;
  EntryEvent OnExtracting;
  EntryDoneEvent OnExtract;
  EntryEvent OnTesting;
  EntryDoneEvent OnTested;
  PasswordEvent OnReqPassword;

  void ListFiles();
  bool ExtractFiles();
  bool TestFiles();
  static std::string ErrorText(int code);
  // What to show for an error reported through OnError: ErrorText, and
  // what it concerns when that is known (the target folder that cannot be
  // made, and why).
  std::string ErrorMessage(int code) const;
  // An entry's name: the wide name when the library filled it (as UTF-8),
  // otherwise the narrow one.
  static std::string EntryName(const RARHeaderDataEx& h);

 private:
  struct Api;
  struct Run;
  void Bind(const std::string& path);
  bool Process(bool extract);
  RarHandle Open(unsigned int mode, std::vector<char>& cmt, int& result, unsigned int& cmtState, unsigned int& cmtSize);
  int ReadHeader(RarHandle h, RARHeaderDataEx& hd);
  int ReadFirstHeader(RarHandle h, RARHeaderDataEx& hd);
  int ProcessEntry(RarHandle h, int op);
  bool Selected(const std::string& name, bool extract) const;
  bool AskHeaderPassword(bool again);
  bool Reopen(RarHandle& h, size_t index, RARHeaderDataEx& hd);
  void FireError(int code, const std::string& detail = {});
  int OnData(const unsigned char* addr, size_t size);
  static int CallbackTrampoline(unsigned int msg, RarLParam user, RarLParam p1, RarLParam p2) noexcept;
  static int ChangeVolTrampoline(char* arcName, int mode) noexcept;
  static int ProcessDataTrampoline(unsigned char* addr, int size) noexcept;

  void* handle_ = nullptr;
  bool loaded_ = false;
  std::string libraryPath_;
  std::string errorDetail_;  // of the error being reported, for ErrorMessage
  long long dataPosition_ = 0;
  int successCount_ = 0;
  Api* api_ = nullptr;
  std::unique_ptr<Run> run_;
};

}  // namespace arkelin::engine::rar

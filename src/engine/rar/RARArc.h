// TRAR, the RAR component: lists, extracts and tests RAR archives by driving
// an UnRAR-compatible library (the documented seven-function interface in
// UnrarApi.h) and turning its results and callbacks into events. It binds the
// library by name when it is created: the system libunrar.so first, then
// libarkunrar.so beside the program. It does no RAR work itself and shows
// nothing; every failure reaches the caller as a code through OnError, with
// ErrorText giving the words. Only one TRAR operation may run at a time in the
// program, since the library's callbacks carry no user pointer.
#pragma once

#include <functional>
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

// Case-insensitive ordering for the name lists.
struct NoCaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct TComment {
  unsigned int Size = 0;
  std::string Text;
};

class TRAR {
 public:
  using ProcessDataEvent = std::function<int(TRAR& sender, const unsigned char* addr, int blockSize, long long position)>;
  using ChangeVolEvent = std::function<int(TRAR& sender, const char* arcName, int mode)>;
  using ErrorEvent = std::function<void(TRAR& sender, int error)>;
  using CommentEvent = std::function<void(TRAR& sender, const TComment& comment)>;
  using EntryEvent = std::function<void(TRAR& sender, const RARHeaderDataEx& entry)>;
  using EntryDoneEvent = std::function<void(TRAR& sender, const RARHeaderDataEx& entry, bool result)>;
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
  std::set<std::string, NoCaseLess> FilesToExtract;
  std::set<std::string, NoCaseLess> FilesToTest;
  std::string TargetDir;
  bool Stop = false;

  bool LoadedDLL() const { return loaded_; }
  // The file the library was loaded from, empty when none.
  const std::string& LibraryPath() const { return libraryPath_; }

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

 private:
  struct Api;
  void Bind(const std::string& path);
  bool Process(bool extract);
  RarHandle Open(unsigned int mode, std::vector<char>& cmt, int& result, unsigned int& cmtState, unsigned int& cmtSize);
  int ReadHeader(RarHandle h, RARHeaderDataEx& hd);
  void FireError(int code);
  static int ChangeVolTrampoline(char* arcName, int mode) noexcept;
  static int ProcessDataTrampoline(unsigned char* addr, int size) noexcept;

  void* handle_ = nullptr;
  bool loaded_ = false;
  std::string libraryPath_;
  long long dataPosition_ = 0;
  Api* api_ = nullptr;
};

}  // namespace arkelin::engine::rar

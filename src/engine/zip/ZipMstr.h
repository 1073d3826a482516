// TZipMaster, the ZIP engine component: reads an archive's directory itself
// (end record, central directory, Zip64 records, self-extractor prefixes and
// numbered multi-volume files, following PKWARE's application note) and hands
// adding, deleting, extracting and testing to the two engine libraries
// (libzipdll.so / libunzdll.so), which it loads for one operation at a time
// and drives through command records and a progress callback.
//
// It never shows anything itself: message boxes and questions go through the
// platform dialogs service, the busy cursor and the message pump through the
// platform services too. Everything runs on the calling thread; callbacks and
// events are fired on that thread and may re-enter through the message pump
// (Cancel from inside a handler is safe; a second Add/Delete/Extract started
// from a handler returns at once).
//
// Self-extracting conversion (ZipSfx.cpp) copies a stub program, the
// 256-byte parameter block and the archive with its offsets shifted;
// multi-volume writing and joining live in ZipSpan.cpp.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace arkelin::engine::zip {

class TZipMaster;

// One central-directory entry. The fixed fields are the central header's
// fields copied exactly as stored (their widths are the record's); the 64-bit
// fields beside them carry the real values when a Zip64 extra field replaced
// a saturated 32-bit one, and equal the stored ones otherwise.
struct ZipDirEntry {
  uint8_t MadeByVersion = 0;
  uint8_t MadeByHost = 0;
  uint16_t NeededVersion = 0;
  uint16_t Flags = 0;                 // bit 0: encrypted; bit 3: data descriptor; bit 11: UTF-8 name
  uint16_t Method = 0;
  uint32_t DateTime = 0;              // MS-DOS time low 16 bits, date high 16 bits
  uint32_t CRC32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t FileNameLength = 0;
  uint16_t ExtraFieldLength = 0;
  uint16_t FileCommentLength = 0;
  uint16_t StartDisk = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;
  std::string FileName;               // UTF-8, "\" separators
  std::string FileComment;            // UTF-8, empty when none

  uint64_t CompressedSize64 = 0;
  uint64_t UncompressedSize64 = 0;
  uint64_t LocalHeaderOffset64 = 0;
  uint32_t StartDisk32 = 0;

  bool Encrypted() const { return (Flags & 1u) != 0; }
};

// The component's exception. Thrown only inside the component and caught at
// the boundary of each operation (see HandleZipError).
class EZipMaster : public std::exception {
 public:
  // Text = the message table's text for number.
  EZipMaster(int number, bool display);
  // Text = the table text formatted with value ("%d" / "%.1d"), shown.
  EZipMaster(int number, int value);
  // Text = the table text formatted with text ("%s"), shown.
  EZipMaster(int number, const std::string& text);

  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& Message() const { return message_; }
  // Adds a detail to the text (the table text stays in front).
  EZipMaster& Append(const std::string& detail) {
    message_ += detail;
    return *this;
  }
  int MessageNumber() const { return number_; }
  bool Display() const { return display_; }

 private:
  std::string message_;
  int number_ = 0;
  bool display_ = true;
};

// The message table: the text for a number from 10101 to 11047, or the
// fallback "ZipMsgXX.res is probably not bound to executable\nMissing String ID is: N".
std::string ZipMessageText(int number);
// True when the table holds a text for the number.
bool ZipMessageKnown(int number);
// The table text with its conversions replaced by values, in order.
std::string FormatZipMessage(int number, const std::vector<std::string>& values);

enum CodePageOpts { cpAuto, cpNone, cpOEM };
enum DeleteOpts { htdFinal, htdAllowUndo };
enum OvrOpts { OvrConfirm, OvrAlways, OvrNever };

// Add options, bits 0 to 11 in this order.
enum AddOpt : unsigned {
  AddDirNames = 1u << 0,
  AddRecurseDirs = 1u << 1,
  AddMove = 1u << 2,
  AddFreshen = 1u << 3,
  AddUpdate = 1u << 4,
  AddZipTime = 1u << 5,
  AddForceDOS = 1u << 6,
  AddHiddenFiles = 1u << 7,
  AddEncrypt = 1u << 8,
  AddSeparateDirs = 1u << 9,
  AddDiskSpan = 1u << 10,
  AddDiskSpanErase = 1u << 11,
};
using AddOpts = unsigned;

// Extract options, bits 0 to 4.
enum ExtrOpt : unsigned {
  ExtrDirNames = 1u << 0,
  ExtrOverWrite = 1u << 1,
  ExtrFreshen = 1u << 2,
  ExtrUpdate = 1u << 3,
  ExtrTest = 1u << 4,
};
using ExtrOpts = unsigned;

enum SFXOpt : unsigned {
  SFXAskCmdLine = 1u << 0,
  SFXAskFiles = 1u << 1,
  SFXHideOverWriteBox = 1u << 2,
  SFXAutoRun = 1u << 3,
  SFXNoSuccessMsg = 1u << 4,
  SFXExpandVariables = 1u << 5,
  SFXInitializeMessage = 1u << 6,
  SFXCheckSize = 1u << 7,
};
using SFXOpts = unsigned;

enum ProgressType {
  ProgrNewFile = 0,
  ProgrUpdate = 1,
  ProgrEndOfBatch = 2,
  ProgrTotalFiles = 3,
  ProgrTotalSize = 4,
};

// Events: the sender always comes first.
using NotifyEvent = std::function<void(TZipMaster& sender)>;
// FileSize is 64-bit so totals above 2 GiB arrive intact.
using ProgressEvent =
    std::function<void(TZipMaster& sender, ProgressType type, const std::string& fileName, int64_t fileSize)>;
using MessageEvent = std::function<void(TZipMaster& sender, int errCode, const std::string& message)>;

// The library names in the program folder or on the library search path.
inline constexpr const char* kZipDllName = "libzipdll.so";
inline constexpr const char* kUnzDllName = "libunzdll.so";

class TZipMaster {
 public:
  TZipMaster();
  ~TZipMaster();
  TZipMaster(const TZipMaster&) = delete;
  TZipMaster& operator=(const TZipMaster&) = delete;

  // ---- Published properties (defaults as at creation) ----
  bool Verbose = false;
  bool Trace = false;
  int AddCompLevel = 9;
  AddOpts AddOptions = 0;
  std::string ExtrBaseDir;
  ExtrOpts ExtrOptions = 0;
  SFXOpts SFXOptions = SFXCheckSize;
  std::vector<std::string> FSpecArgs;   // consumed by Add/Delete/Extract
  // The lines of FSpecArgs are full stored entry names ("\" or "/"
  // separators) that Delete and Extract compare exactly, case and "*"/"?"
  // included: rows chosen in a list. Otherwise they are specifications a
  // user typed, matched with wildcards and without regard to case. Cleared
  // with FSpecArgs by the operation that consumes them.
  bool ExactNames = false;
  bool Unattended = false;
  std::string Password;                 // only the first 255 characters are kept by SetPassword
  // With AddEncrypt: 0 the traditional encryption, 128, 192 or 256 AES with
  // keys of that many bits. Other values count as 0.
  int AddAesBits = 0;
  std::string SFXPath = "ZipSFX.bin";
  OvrOpts SFXOverWriteMode = OvrConfirm;
  std::string SFXCaption = "Self-extracting Archive";
  std::string SFXDefaultDir;
  std::string SFXCommandLine;
  std::string TempDir;
  int64_t KeepFreeOnDisk1 = 0;
  int64_t MaxVolumeSize = 0;
  int64_t MinFreeVolumeSize = 65536;
  bool ConfirmErase = true;
  CodePageOpts CodePage = cpAuto;
  // The code page this archive's names without the UTF-8 flag are read in:
  // 0 for Auto, else a dll::NameEncoding value (dll/common/NameEncoding.h).
  // Set it before ZipFilename (or list again); the libraries get it with
  // CodePage, so every command finds the names the listing shows.
  int32_t NameCodePage = 0;
  // CodePage and NameCodePage as the code page field of the command records.
  int32_t NameRuleValue() const { return (static_cast<int32_t>(CodePage) & 0xFF) | ((NameCodePage & 0xFF) << 8); }
  DeleteOpts HowToDelete = htdAllowUndo;

  // The archive. Setting it stores the name and runs List.
  const std::string& ZipFilename() const { return zipFilename_; }
  void SetZipFilename(const std::string& name);
  // Folder holding the engine libraries; one trailing separator is removed.
  const std::string& DLLDirectory() const { return dllDirectory_; }
  void SetDLLDirectory(const std::string& folder);
  void SetPassword(const std::string& password);
  static std::string VersionInfo() { return "1.52 M"; }

  // Events. Handlers may rely on the directory being complete when
  // OnDirUpdate fires, and on WriteBusy/ReadBusy being set during OnProgress.
  NotifyEvent OnDirUpdate;
  ProgressEvent OnProgress;
  MessageEvent OnMessage;

  // ---- Directory (valid until the next List) ----
  void List();
  int Count() const;  // 0 whenever ZipFilename is empty
  const std::vector<ZipDirEntry>& Entries() const { return entries_; }
  const std::string& ArchiveComment() const { return archiveComment_; }
  int64_t ArchiveStart() const { return archiveStart_; }
  int64_t DataEnd() const { return dataEnd_; }
  int64_t FileLength() const { return fileLength_; }
  int64_t CentralStart() const { return centralStart_; }
  bool OffsetMismatch() const { return offsetMismatch_; }
  bool MultiVolume() const { return multiVolume_; }
  int LastDisk() const { return lastDisk_; }
  int CurrentDisk() const { return currentDisk_; }
  const std::string& InFileName() const { return inFileName_; }
  const std::string& Drive() const { return drive_; }
  const std::string& VolumeName() const { return volumeName_; }
  // The self-extractor prefix size: ArchiveStart of a self-extracting file.
  int64_t SFXOffset() const { return archiveStart_; }
  // Total entries and total uncompressed/compressed bytes, 64-bit.
  int64_t TotalUncompressed() const;
  int64_t TotalCompressed() const;

  int ErrCode() const { return errCode_; }
  int64_t FullErrCode() const { return fullErrCode_; }
  const std::string& LastMessage() const { return lastMessage_; }

  // ---- Operations done by the engine libraries ----
  void Add();
  void Delete();
  void Extract();
  // Encrypts every file entry of the archive again with newPassword: AES
  // with keys of aesBits bits (128, 192, 256), else the traditional
  // encryption. oldPassword must open every entry that is encrypted now
  // (each is decoded and checked before anything is written); entries that
  // were not encrypted are encrypted too; folder entries stay as they are.
  // The compressed bytes are not touched, only their encryption. One
  // rewrite through a temporary file beside the archive: a wrong password,
  // a failure or Cancel leave it byte for byte as it was. SuccessCount is
  // the number of entries encrypted; the archive is listed again after a
  // change.
  void ChangePassword(const std::string& oldPassword, const std::string& newPassword, int aesBits);
  int SuccessCount() const { return successCount_; }
  bool Cancel = false;   // set by the caller while an operation runs
  bool WriteBusy() const { return writeBusy_; }
  bool ReadBusy() const { return readBusy_; }
  int64_t BatchSize() const { return batchSize_; }
  // The library's version, loading and unloading it when needed; 0 when it
  // cannot be loaded.
  int GetZipDllVersion();
  int GetUnzDllVersion();

  // Self-extracting conversion: name.zip -> name.exe beside it (stub from
  // SFXPath or the stub search), and back. Both answer 0 on success, -1 the
  // output could not be created, -2 a write failed, -3 the input could not
  // be read, -9 a check failed (reported). The new file is written beside
  // its target under a temporary name and replaces nothing until complete.
  int ConvertSFX();
  int ConvertZIP();
  // When SFXPath names no file, ConvertSFX looks for "ZipSFX.bin", then
  // "ru2001.bin", in: the current folder; the program's folders (beside the
  // executable, then ../lib/arkelin); /usr/lib/arkelin/ and
  // /usr/local/lib/arkelin/; DLLDirectory. Tests replace the executable's
  // folder and the system folders (empty exeFolder: the real places).
  static void SetStubPlacesForTests(const std::string& exeFolder, const std::vector<std::string>& systemFolders);
  // Rebuilds the current self-extracting archive with the stub `stubFile`
  // and the archive's own parameter block, the offsets moved by the change
  // in the prefix's length. Copies in blocks of 2,048 bytes and calls
  // keepGoing between them; false stops. 0 done (the archive is listed
  // again), 1 stopped, 2 not a self-extracting archive made here (no
  // parameter block before the ZIP data: nothing to rebuild), -1 output not
  // created, -2 write failed, -3 unreadable or damaged. A stop, a failure
  // and 2 leave the archive as it was.
  int RebuildSFX(const std::string& stubFile, const std::function<bool()>& keepGoing);
  // Multi-volume sets (ZipSpan.cpp). WriteSpan splits inFile into volumes
  // named after outFile (numbered files name001.zip ... on fixed and network
  // drives, one file per medium on removable ones); ReadSpan joins the set
  // that inFile belongs to (normally its last volume; the standard form
  // name.z01 ... name.zip is read too) into outFile, a file or a folder
  // (a temporary name there); outFile is set to the joined archive's name,
  // or emptied on failure. 0 success, -7 error (reported), -8 out of
  // memory, -9 other error.
  int WriteSpan(const std::string& inFile, const std::string& outFile);
  int ReadSpan(const std::string& inFile, std::string& outFile);
  // WriteSpan, in the standard split form when standardForm is set: the
  // volumes are name.z01, name.z02, ... and the last one is outFile itself.
  int WriteSpanForm(const std::string& inFile, const std::string& outFile, bool standardForm);

  // ---- Helpers shared by the operations ----
  void ReportMessage(int number, const std::string& extra);
  void HandleZipError(const EZipMaster& e);
  bool DiskPresent();
  int RemoveFile(const std::string& name, DeleteOpts how);
  static std::string AppendBackslash(const std::string& path);
  static std::string ToBackslashes(std::string name);
  // Stored name or comment bytes to UTF-8: bit 11 of flags means UTF-8;
  // otherwise CP437 is converted when the host/version/CodePage rule asks
  // for it, and bytes that are not valid UTF-8 are taken as CP437 anyway.
  std::string OemToAnsiName(const std::string& raw, int version, int host, uint16_t flags = 0) const;

  // Trampoline target of the engine libraries' callback (public for the C
  // callback only). Answers -1 to stop the library, 0 to go on.
  // text is the record's text buffer of capacity bytes; a password answer is
  // written into it.
  int HandleEngineCallback(int action, int64_t errorCode, int64_t size, char* text, size_t capacity);

 private:
  struct Input;
  struct Span;
  bool LocateEndRecord(bool raising);
  int ConvertSFXMode(bool createMode);
  bool FindStub();
  void OpenVolume(int n);
  void ListInner();
  std::string VolumeFileName(int n) const;
  void FireDirUpdate();
  void FireMessage(int code, const std::string& text);
  void FireProgress(ProgressType type, const std::string& name, int64_t size);
  // Runs a command of the zip library that rewrites the archive in place
  // (delete, the change of password): `run` gets the loaded library and
  // answers the count done; defined where the commands are.
  template <class Run>
  void RewriteInPlace(Run run);

  std::string zipFilename_;
  std::string dllDirectory_;
  std::vector<ZipDirEntry> entries_;
  std::string archiveComment_;
  int64_t archiveStart_ = 0;
  int64_t dataEnd_ = 0;
  int64_t fileLength_ = 0;
  int64_t centralStart_ = 0;
  bool offsetMismatch_ = false;
  bool multiVolume_ = false;
  int lastDisk_ = 0;
  int currentDisk_ = 0;
  std::string inFileName_;
  std::string baseVolumeName_;
  std::string drive_;
  std::string volumeName_;
  int errCode_ = 0;
  int64_t fullErrCode_ = 0;
  std::string lastMessage_;
  int successCount_ = 0;
  bool writeBusy_ = false;
  bool readBusy_ = false;
  int64_t batchSize_ = 0;
  std::unique_ptr<Input> in_;
  uint64_t recordedOffset_ = 0;  // the end record's directory offset, as stored
  bool zip64_ = false;   // a Zip64 end record was found
};

}  // namespace arkelin::engine::zip

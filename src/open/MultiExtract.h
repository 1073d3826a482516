// TMultiExtract, the work of the multiple file extraction window without the
// window: one pass over a list of (archive, folder) rows, each archive
// extracted completely into its folder by the pass's own ZIP engine and RAR
// reader, which live as long as this object and answer to its handlers only
// (the archive window's session is never touched).
//
// A row that fails (a missing file, a folder that cannot be made, a damaged
// archive, a wrong or missing password) is told to the user as it happens
// and the pass goes on with the next row; every row's outcome is kept for
// the report shown after the final count. Cancel stops the pass after the
// file being extracted: that file is completed, the rest of its archive and
// the rows after it are left alone and reported as not extracted.
//
// Messages go through the platform dialogs, progress through the events
// below, and pending messages run from every progress call (so the window
// repaints and its Cancel is seen). No Qt.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/rar/RARArc.h"
#include "engine/zip/ZipMstr.h"

namespace arkelin::open {

struct MfeRow {
  std::string archive;  // full path of an archive
  std::string folder;   // where to extract it
};

enum class MfeStatus {
  Extracted,   // every file of the archive was written
  Partly,      // handed to an engine, some files not written (reason says why)
  Failed,      // handed to an engine, nothing written
  NotFound,    // no such file
  NotArchive,  // neither .zip nor .rar
  NotStarted,  // the pass was cancelled before this row
};

struct MfeResult {
  std::string archive;
  MfeStatus status = MfeStatus::NotStarted;
  int files = 0;       // files written
  std::string reason;  // the engine's last words on a failure
};

// The progress bar as the window shows it.
struct MfeBar {
  long long min = 1, max = 10, pos = 1;
};

class TMultiExtract {
 public:
  TMultiExtract();
  ~TMultiExtract();
  TMultiExtract(const TMultiExtract&) = delete;
  TMultiExtract& operator=(const TMultiExtract&) = delete;

  // The pass's own components; the handlers are this object's.
  engine::zip::TZipMaster& ZipMaster1() { return *zip_; }
  engine::rar::TRAR& rar() { return *rar_; }

  // The archive being extracted (archive label) and the RAR entry being
  // extracted (file label).
  std::function<void(const std::string& archive)> OnArchive;
  std::function<void(const std::string& file)> OnFile;
  std::function<void(const MfeBar& bar)> OnBar;
  // Asks the password of an encrypted RAR entry (the window's field dialog);
  // unset, an input box of the platform dialogs asks.
  std::function<std::string()> AskPassword;

  // Runs the pass over rows in their order. Answers the count of the final
  // message: the rows whose archive existed and was handed to an engine,
  // whatever came of it.
  int Run(const std::vector<MfeRow>& rows);
  // From a handler or a pumped message while Run works.
  void Cancel();
  bool Running() const { return running_; }
  bool Cancelled() const { return cancelled_; }
  const std::vector<MfeResult>& Results() const { return results_; }

  // "<count> files extracted successfully"
  static std::string FinalMessage(int count);
  // One line per row: the archive's name and what became of it.
  static std::string Report(const std::vector<MfeResult>& results);

 private:
  void WireEvents();
  void ExtractZip(const MfeRow& row, MfeResult& result);
  void ExtractRar(const MfeRow& row, MfeResult& result);
  void Bar(long long min, long long max, long long pos);

  std::unique_ptr<engine::zip::TZipMaster> zip_;
  std::unique_ptr<engine::rar::TRAR> rar_;
  std::vector<MfeResult> results_;
  MfeBar bar_;
  bool running_ = false;
  bool cancelled_ = false;
  std::string lastZipError_;  // the last error the ZIP engine reported for the row
  std::string lastRarError_;
  int rarShift_ = 0;
  int rarFiles_ = 0;           // files of the RAR archive met so far
  std::string rarLastEntry_;
};

}  // namespace arkelin::open

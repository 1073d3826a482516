#include "open/MultiExtract.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>

#include "platform/Paths.h"
#include "platform/Platform.h"
#include "shared/U_Globalfunc.h"

namespace arkelin::open {

namespace pf = arkelin::platform;
namespace ez = arkelin::engine::zip;
namespace er = arkelin::engine::rar;

namespace {

void ErrorBox(const std::string& text) { pf::Dialogs().MessageBox(text, pf::MsgKind::Error, pf::BtnOK); }

bool IsFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The file name's part from its last "." on, lower case ("" without one).
std::string Extension(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  std::string e = path.substr(dot);
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

std::string NameOf(const ::RARHeaderDataEx& h) { return er::TRAR::EntryName(h); }

}  // namespace

TMultiExtract::TMultiExtract()
    : zip_(std::make_unique<ez::TZipMaster>()), rar_(std::make_unique<er::TRAR>()) {
  ez::TZipMaster& z = *zip_;
  z.Verbose = false;
  z.Trace = false;
  z.AddCompLevel = 9;
  z.AddOptions = 0;
  z.ExtrOptions = 0;
  z.SFXOptions = 0;
  z.Unattended = false;
  z.SetDLLDirectory(pf::EngineFolder());
  WireEvents();
}

TMultiExtract::~TMultiExtract() = default;

void TMultiExtract::Bar(long long min, long long max, long long pos) {
  bar_ = {min, max, pos};
  if (OnBar) OnBar(bar_);
}

void TMultiExtract::WireEvents() {
  zip_->OnProgress = [this](ez::TZipMaster& z, ez::ProgressType type, const std::string&, int64_t size) {
    switch (type) {
      case ez::ProgrNewFile: {
        // The file before this one is complete: a Cancel stops here.
        if (cancelled_) z.Cancel = true;
        const int64_t blocks = size / 32768;
        long long pos = 1;
        const long long max = blocks >= 2 ? std::min<int64_t>(blocks, INT_MAX) : 1;
        if (size < 32768) pos = std::min(pos + 1, max);
        Bar(1, max, pos);
        break;
      }
      case ez::ProgrUpdate:
        if (bar_.pos < bar_.max) Bar(bar_.min, bar_.max, bar_.pos + 1);
        break;
      case ez::ProgrEndOfBatch:
        Bar(1, 10, 1);
        break;
      default:
        break;
    }
    pf::Pump().ProcessMessages();
  };
  zip_->OnMessage = [this](ez::TZipMaster&, int code, const std::string& message) {
    if (!message.empty()) lastZipError_ = message;
    if (code > 0)
      pf::Dialogs().MessageBox("Error message from DLL: " + message, pf::MsgKind::Warning, pf::BtnOK);
  };

  er::TRAR& r = *rar_;
  r.OnExtracting = [this](er::TRAR& sender, const ::RARHeaderDataEx& h) {
    if (cancelled_) sender.Stop = true;  // after the file before this one
    // Files met (a password asked again announces the same entry twice).
    const std::string name = NameOf(h);
    if ((h.Flags & RHDF_DIRECTORY) != RHDF_DIRECTORY && name != rarLastEntry_ && !cancelled_) ++rarFiles_;
    rarLastEntry_ = name;
    if (OnFile) OnFile(name);
    const long long size = static_cast<long long>((static_cast<uint64_t>(h.UnpSizeHigh) << 32) | h.UnpSize);
    rarShift_ = 0;
    while ((size >> rarShift_) > INT_MAX) ++rarShift_;
    Bar(0, size >> rarShift_, 0);
    pf::Pump().ProcessMessages();
  };
  r.OnProcessData = [this](er::TRAR&, const unsigned char*, int, long long position) {
    Bar(bar_.min, bar_.max, std::min<long long>(position >> rarShift_, bar_.max));
    pf::Pump().ProcessMessages();
    return 1;  // the file being extracted is always finished
  };
  r.OnError = [this](er::TRAR&, int code) {
    lastRarError_ = er::TRAR::ErrorText(code);
    ErrorBox(lastRarError_);
  };
  r.OnReqPassword = [this](er::TRAR&, const ::RARHeaderDataEx&, std::string& password) {
    if (AskPassword) {
      password = AskPassword();
      return;
    }
    // Without a window: an input box for one field of at most 10
    // characters; a cancelled box gives the empty password.
    std::string answer;
    if (auto given = pf::Dialogs().InputBox("Password required", "Password:", "", true))
      answer = given->substr(0, 10);
    password = answer;
  };
  r.OnVolumeChange = [](er::TRAR&, const char* arcName, int mode) {
    if (mode == RAR_VOL_ASK)
      pf::Dialogs().MessageBox(std::string("Please Insert disk with ") + arcName, pf::MsgKind::Information,
                               pf::BtnOK);
    return 1;
  };
}

void TMultiExtract::Cancel() {
  if (running_) cancelled_ = true;
}

int TMultiExtract::Run(const std::vector<MfeRow>& rows) {
  if (running_) return 0;
  running_ = true;
  cancelled_ = false;
  results_.clear();
  int count = 0;
  for (const MfeRow& row : rows) {
    MfeResult result;
    result.archive = row.archive;
    if (cancelled_) {
      results_.push_back(result);
      continue;
    }
    if (!IsFile(row.archive)) {
      ErrorBox("File not found: " + row.archive);
      result.status = MfeStatus::NotFound;
      result.reason = "File not found";
      results_.push_back(result);
      continue;
    }
    // Made with the folders above it: a folder the engine can make anyway is
    // no failure to tell.
    std::error_code ec;
    if (!IsFolder(row.folder) && !(std::filesystem::create_directories(pf::ToFsPath(row.folder), ec) && !ec))
      ErrorBox("Couldn't create directory: " + row.folder);
    const std::string ext = Extension(row.archive);
    if (ext == ".rar") {
      ExtractRar(row, result);
      ++count;
    } else if (ext == ".zip") {
      ExtractZip(row, result);
      ++count;
    } else {
      ErrorBox("Not a valid ZIP & RAR file");
      result.status = MfeStatus::NotArchive;
      result.reason = "Not a valid ZIP & RAR file";
    }
    results_.push_back(result);
  }
  running_ = false;
  return count;
}

namespace {
// complete: every file of the archive was written and the engine reported
// no failure.
void Judge(MfeResult& result, int written, int total, bool complete, bool cancelled, const std::string& lastError) {
  result.files = written;
  if (complete) {
    result.status = MfeStatus::Extracted;
    return;
  }
  result.status = written > 0 ? MfeStatus::Partly : MfeStatus::Failed;
  if (cancelled)
    result.reason = "cancelled";
  else if (!lastError.empty())
    result.reason = lastError;
  else if (total == 0)
    result.reason = "no files in the archive";
  else
    result.reason = std::to_string(total - written) + " file(s) not extracted";
}
}  // namespace

void TMultiExtract::ExtractZip(const MfeRow& row, MfeResult& result) {
  if (OnArchive) OnArchive(row.archive);
  ez::TZipMaster& z = *zip_;
  lastZipError_.clear();
  int total = 0;
  try {
    z.SetZipFilename(row.archive);  // reads the directory
    for (const ez::ZipDirEntry& e : z.Entries())
      if (!e.FileName.empty() && e.FileName.back() != '\\' && e.FileName.back() != '/') ++total;
    z.ExtrBaseDir = row.folder;
    z.ExtrOptions |= ez::ExtrDirNames | ez::ExtrOverWrite;
    z.FSpecArgs.clear();
    z.Cancel = false;
    if (z.Count() > 0) z.Extract();
  } catch (...) {
    ErrorBox("Error while extracting: " + row.archive);
    lastZipError_ = "Error while extracting";
  }
  const int written = z.Count() > 0 ? z.SuccessCount() : 0;
  Judge(result, written, total, total > 0 && written >= total, cancelled_, lastZipError_);
  z.Cancel = false;
}

void TMultiExtract::ExtractRar(const MfeRow& row, MfeResult& result) {
  if (OnArchive) OnArchive(row.archive);
  er::TRAR& r = *rar_;
  lastRarError_.clear();
  rarFiles_ = 0;
  rarLastEntry_.clear();
  bool ok = false;
  try {
    r.ArchiveName = row.archive;
    r.TargetDir = row.folder;
    r.FilesToExtract.clear();
    r.SpecsToExtract.clear();
    r.ExtrOptions = er::RarExtractOptions{};
    r.Stop = false;
    ok = r.ExtractFiles();
  } catch (...) {
    ErrorBox("Error while extracting: " + row.archive);
    lastRarError_ = "Error while extracting";
  }
  const int total = rarFiles_;
  const int written = r.SuccessCount();
  Judge(result, written, total, ok && total > 0 && written >= total, cancelled_, lastRarError_);
  r.Stop = false;
}

std::string TMultiExtract::FinalMessage(int count) { return std::to_string(count) + " files extracted successfully"; }

std::string TMultiExtract::Report(const std::vector<MfeResult>& results) {
  std::string text;
  for (const MfeResult& r : results) {
    std::string line = r.archive.empty() ? std::string("(no name)") : r.archive;
    line += ": ";
    switch (r.status) {
      case MfeStatus::Extracted:
        line += std::to_string(r.files) + " file(s) extracted";
        break;
      case MfeStatus::Partly:
        line += std::to_string(r.files) + " file(s) extracted, " + r.reason;
        break;
      case MfeStatus::Failed:
        line += "not extracted: " + r.reason;
        break;
      case MfeStatus::NotFound:
      case MfeStatus::NotArchive:
        line += r.reason;
        break;
      case MfeStatus::NotStarted:
        line += "not extracted (cancelled)";
        break;
    }
    text += line + "\n";
  }
  if (!text.empty()) text.pop_back();
  return text;
}

}  // namespace arkelin::open

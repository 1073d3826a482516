// TZipMaster's operations done by the engine libraries: not bound yet.
#include "engine/zip/ZipMstr.h"

namespace arkelin::engine::zip {

namespace {
const char* kNotYet = "not available yet";
}

void TZipMaster::Add() { FSpecArgs.clear(); successCount_ = 0; ReportMessage(10101, std::string("\n") + kNotYet); }
void TZipMaster::Delete() { FSpecArgs.clear(); successCount_ = 0; ReportMessage(10101, std::string("\n") + kNotYet); }
void TZipMaster::Extract() { FSpecArgs.clear(); successCount_ = 0; ReportMessage(10501, std::string("\n") + kNotYet); }
int TZipMaster::GetZipDllVersion() { return 0; }
int TZipMaster::GetUnzDllVersion() { return 0; }
int TZipMaster::HandleEngineCallback(int, int64_t, int64_t, const char*) { return Cancel ? -1 : 0; }

int TZipMaster::ConvertSFX() {
  ReportMessage(10903, ": self-extracting conversion is not available yet");
  return -9;
}
int TZipMaster::ConvertZIP() {
  ReportMessage(10903, ": self-extracting conversion is not available yet");
  return -9;
}
int TZipMaster::WriteSpan(const std::string&, const std::string&) {
  ReportMessage(11024, "Writing multiple volumes is not available yet");
  return -9;
}
int TZipMaster::ReadSpan(const std::string&, std::string&) {
  ReportMessage(11024, "Joining multiple volumes is not available yet");
  return -9;
}

}  // namespace arkelin::engine::zip

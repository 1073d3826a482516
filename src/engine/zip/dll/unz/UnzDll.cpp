// The C entry points of libunzdll.so: UnzDllExec reads the unzip command
// record (the short layout for callers built for libraries below version
// 152, the long one from 152) and runs the extraction; GetUnzDllVersion
// reports the record version this library takes. No exception leaves the
// library: anything unexpected becomes a message and a result of 0.
#include <cstring>
#include <exception>
#include <string>

#include "engine/zip/ZipCommands_p.h"
#include "engine/zip/dll/unz/UnzExtractor.h"

using namespace arkelin::engine::zip::dll;

namespace {

void ReportFailure(const UnzipCommandHead* h, const char* text) {
  if (!h || !h->callback) return;
  EngineCallbackData d;
  std::memset(&d, 0, sizeof d);
  d.caller = h->caller;
  d.actionCode = kActionMessage;
  d.errorCode = kUnzErrArchive;
  std::strncpy(d.text, text, sizeof d.text - 1);
  h->callback(&d);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t GetUnzDllVersion() { return kUnzipRecordVersion; }

extern "C" __attribute__((visibility("default"))) int32_t UnzDllExec(UnzipCommandHead* h) {
  if (!h || !h->archiveName) return 0;
  try {
    UnzOptions o;
    o.archive = h->archiveName;
    if (h->password) o.password.assign(h->password, strnlen(h->password, 80));
    o.test = h->test != 0;
    o.update = h->update != 0;
    o.freshen = h->freshen != 0 && !o.update;
    o.dirNames = h->dirNames != 0;
    o.overwrite = h->overwrite != 0;
    o.verbose = h->verbose != 0 || h->traceEnabled != 0;
    o.exactNames = h->exactNames != 0;
    if (ValidRuleValue(h->codePage)) o.codePage = static_cast<CodePageRule>(h->codePage);
    if (h->extractDir) o.targetDir = h->extractDir;
    o.callback = h->callback;
    o.caller = h->caller;
    o.handle = h->handle;
    const int32_t argc = h->argc < 0 ? 0 : h->argc;
    if (h->version < kFirstLongUnzipVersion) {
      auto* rec = reinterpret_cast<UnzipCommandShort*>(h);
      for (int32_t i = 0; i < argc && i < kShortLayoutSpecRoom; ++i)
        if (rec->fileSpecs[i]) o.specs.emplace_back(rec->fileSpecs[i]);
    } else {
      auto* rec = reinterpret_cast<UnzipCommandLong*>(h);
      for (int32_t i = 0; i < argc && rec->fileSpecs; ++i)
        if (rec->fileSpecs[i].fileSpec) o.specs.emplace_back(rec->fileSpecs[i].fileSpec);
    }
    return RunUnzip(o);
  } catch (const std::bad_alloc&) {
    ReportFailure(h, "out of memory");
  } catch (const std::exception& e) {
    ReportFailure(h, e.what());
  } catch (...) {
    ReportFailure(h, "unexpected error");
  }
  return 0;
}

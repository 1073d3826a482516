// The entry points of libzipdll.so, with C linkage: the version the
// component uses to choose the command layout (the long one), and the
// execute call that adds, deletes or changes the password. No exception leaves the library; every
// failure ends as a message through the callback and a result of 0.
#include <new>
#include <string>

#include "engine/zip/ZipCommands_p.h"
#include "engine/zip/dll/zip/ZipRepassJob.h"
#include "engine/zip/dll/zip/ZipUpdateJob.h"

namespace zd = arkelin::engine::zip::zipdll;
namespace dll = arkelin::engine::zip::dll;

extern "C" __attribute__((visibility("default"))) int32_t GetZipDllVersion() { return dll::kZipRecordVersion; }

extern "C" __attribute__((visibility("default"))) int32_t ZipDllExec(dll::ZipCommandHead* head) {
  if (!head) return 0;
  zd::Reporter rep(head->callback, head->caller);
  try {
    zd::Command cmd;
    std::string why;
    if (!zd::DecodeCommand(head, cmd, why)) {
      rep.Message(zd::kMsgBadCommand, "Zip command refused: " + why);
      return 0;
    }
    if (cmd.changePassword) return zd::RunChangePassword(cmd, rep);
    if (cmd.specs.empty()) {
      rep.Message(zd::kMsgWarning, cmd.remove ? "Nothing to delete: no entries named" : "Nothing to do: no files named");
      return 0;
    }
    return cmd.remove ? zd::RunDelete(cmd, rep) : zd::RunAdd(cmd, rep);
  } catch (const std::bad_alloc&) {
    rep.Message(zd::kMsgNoMemory, "Out of memory; the archive is unchanged");
  } catch (...) {
    rep.Message(zd::kMsgNoMemory, "Unexpected failure; the archive is unchanged");
  }
  return 0;
}

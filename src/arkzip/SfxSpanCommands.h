// arkzip's self-extracting and volume commands: sfx, unsfx (and, as they
// come, split and join), over TZipMaster's conversions.
#pragma once

#include <string>
#include <vector>

namespace arkzip {

// True when `command` is one of these; `result` is then the exit code.
bool RunSfxSpanCommand(const std::vector<std::string>& args, int& result);

}  // namespace arkzip

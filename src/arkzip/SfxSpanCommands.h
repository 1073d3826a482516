// arkzip's self-extracting and volume commands over TZipMaster: sfx and
// unsfx (ConvertSFX / ConvertZIP), split (WriteSpan, numbered or standard
// form) and join (ReadSpan).
#pragma once

#include <string>
#include <vector>

namespace arkzip {

// True when `command` is one of these; `result` is then the exit code.
bool RunSfxSpanCommand(const std::vector<std::string>& args, int& result);

}  // namespace arkzip

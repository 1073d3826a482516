// The wildcard matcher for specifications a user types (file masks of the
// Add window, arkzip's arguments): "*" matches any run of characters,
// separators included, "?" exactly one character, and ASCII letters compare
// without regard to case. "*.*" matches every name, dotted or not, as it
// always did on DOS. Entries chosen from a list are never matched this way:
// they are compared exactly (SameEntryName in EntryPath.h).
#pragma once

#include <string_view>

namespace arkelin::engine::common {

bool WildcardMatch(std::string_view pattern, std::string_view text);

// Whether `s` holds "*" or "?".
bool HasWildcard(std::string_view s);

}  // namespace arkelin::engine::common

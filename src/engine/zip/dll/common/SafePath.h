// Rules that keep extraction inside its target folder. Entry names use "/"
// or "\" as separators (both count, so "..\x" is caught); the result is a
// relative "/"-separated path, or a refusal with the reason. The file
// system side (walking folders without following links, creating the
// final file with O_NOFOLLOW) lives with the extractor; these functions are
// pure string rules, shared by everything that turns names into paths.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace arkelin::engine::zip::dll {

// Splits an entry name into path components and checks each one. Refused:
// empty names, a NUL byte, absolute names ("/x", "\x", "//host/share"),
// a drive letter ("C:x", "C:\x", "C:/x"), any ".." component, components
// longer than 255 bytes. "." and empty components are dropped. A name
// that is only separators or dots gives an empty list and is refused.
bool SplitEntryName(std::string_view name, std::vector<std::string>& parts, std::string& reason);

// The same, joined with "/".
bool EntryNameToRelativePath(std::string_view name, std::string& relative, std::string& reason);

// Whether a symbolic link stored at the relative path `linkPath` (its
// components) with the link text `target` stays below the root when the
// text is resolved from the link's own folder, component by component
// (lexically; the extractor additionally makes sure no component walked
// before a ".." is itself a link). Absolute targets and targets that reach
// the root's parent are refused; the root itself counts as outside.
bool LinkStaysInside(const std::vector<std::string>& linkPath, std::string_view target);

// Case-insensitive (ASCII) match of `text` against a pattern with "*" (any
// run, separators included) and "?" (one character).
bool WildcardMatch(std::string_view pattern, std::string_view text);

}  // namespace arkelin::engine::zip::dll

// Entry names to relative paths: the one rule, for ZIP and RAR alike, that
// keeps what an archive names inside the folder it is extracted to. An
// entry name is text chosen by whoever made the archive; both "/" and "\"
// separate its components (so "..\x" is caught as well as "../x").
//
// Refused, with the reason: empty names and names that are only separators
// and dots; a NUL or other control byte (the name shown and the name
// written could differ, or a message could be forged); absolute names
// ("/x", "\x", "//host/share"); a drive prefix ("C:x", "C:\x", "C:/x"); any
// ".." component; a component longer than NAME_MAX (255 bytes); a path
// longer than PATH_MAX. "." and empty components are dropped.
//
// These are string rules only. Creating what a name describes without
// following links that are already on disk is ExtractRoot's part.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace arkelin::engine::common {

inline constexpr size_t kNameMax = 255;
inline constexpr size_t kPathMax = 4096;

bool SplitEntryName(std::string_view name, std::vector<std::string>& parts, std::string& reason);

// The same, joined with "/".
bool EntryNameToRelativePath(std::string_view name, std::string& relative, std::string& reason);

// The first `count` parts joined with "/" (all of them by default).
std::string JoinParts(const std::vector<std::string>& parts, size_t count = static_cast<size_t>(-1));

// Whether two stored names name the same entry: equal byte for byte, case
// and "*"/"?" included, with "/" and "\" counting as the same separator
// (directory listings show "\", archives store "/").
bool SameEntryName(std::string_view a, std::string_view b);

}  // namespace arkelin::engine::common

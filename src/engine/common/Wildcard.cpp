// Wildcard matching with one backtracking point: linear in practice, and
// never worse than pattern length times text length.
#include "engine/common/Wildcard.h"

namespace arkelin::engine::common {

namespace {
char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view text) {
  if (pattern == "*.*") return true;
  size_t p = 0, t = 0, starP = std::string_view::npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] != '*' && (pattern[p] == '?' || Lower(pattern[p]) == Lower(text[t]))) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (starP != std::string_view::npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool HasWildcard(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

}  // namespace arkelin::engine::common

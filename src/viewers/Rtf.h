// A small reader and writer of Rich Text Format, for the text editor.
//
// The model is deliberately small: paragraphs (with their alignment) made
// of runs of text that share one character format (bold, italic,
// underline, font family, size, colour). The reader understands the groups
// and control words of the public RTF specification that carry this:
// \par \line \tab, \b \i \ul \ulnone \plain \f \fs \cf, \pard \ql \qc \qr \qj,
// the font and colour tables, \uN with its \ucN fallback count, \'hh bytes
// in the document's or the font's code page, the character symbols (\~ \_
// \emdash \bullet ...), \bin data; it skips the destinations that hold no
// body text (style sheet, information group, pictures, headers, footnotes,
// field instructions, and any "\*" destination it does not know).
//
// Hostile input is bounded: groups nest at most kMaxDepth deep, input above
// kMaxInput bytes is refused, numbers are clamped, and \bin cannot skip past
// the end. The writer produces RTF 1 with an ANSI (1252) header, a font
// table of the families used, a colour table, and every character outside
// printable ASCII as \uN with "?" for readers without Unicode.
//
// Plain std C++ (iconv for code pages); no Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace arkelin::viewers::rtf {

// The character format of a run.
struct CharFormat {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  std::string font;                 // family name, "" for the document default
  int halfPoints = 24;              // size in half points (\fs), 24 = 12 pt
  std::optional<uint32_t> color;    // 0xRRGGBB, none = the automatic colour
  bool operator==(const CharFormat&) const = default;
};

struct Run {
  std::string text;   // UTF-8; "\t" for a tab, U+2028 for a line break (\line)
  CharFormat format;
};

enum class Align { Left, Center, Right, Justify };

struct Paragraph {
  std::vector<Run> runs;
  Align align = Align::Left;
  std::string Text() const;   // the runs' text joined
};

struct Document {
  std::vector<Paragraph> paragraphs;   // at least one after reading
  std::string defaultFont;             // the font of \deff, "" when none
  std::string PlainText() const;       // paragraphs joined with "\n"
};

// Input that is not RTF, or that breaks the limits.
class RtfError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr int kMaxDepth = 256;
inline constexpr size_t kMaxInput = size_t(256) << 20;

// True when the bytes start like an RTF file ("{\rtf", blanks before allowed).
bool LooksLikeRtf(std::string_view bytes);

// Reads an RTF document. Fails with RtfError when the bytes do not start
// with "{\rtf", nest too deeply or are too large. Unbalanced closing braces
// and a missing final brace are tolerated. A \par ends its paragraph; the
// text after the last one, when there is any, is one more paragraph.
Document Read(std::string_view bytes);

// Writes the document as RTF, every paragraph ended by \par. Consecutive
// runs of equal format are merged.
std::string Write(const Document& doc);

}  // namespace arkelin::viewers::rtf

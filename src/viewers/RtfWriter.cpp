// The RTF writer; see Rtf.h.
#include <map>

#include "engine/common/Utf8.h"
#include "viewers/Rtf.h"

namespace arkelin::viewers::rtf {

namespace {

// The code points of UTF-8 text; a broken sequence gives U+FFFD per byte.
std::vector<uint32_t> CodePoints(const std::string& s) {
  std::vector<uint32_t> out;
  for (size_t i = 0; i < s.size();) out.push_back(engine::common::NextUtf8(s, i));
  return out;
}

void AppendUnicode(std::string& out, uint32_t unit) {
  const int16_t signedUnit = static_cast<int16_t>(static_cast<uint16_t>(unit));
  out += "\\u" + std::to_string(signedUnit) + "?";
}

void AppendEscaped(std::string& out, const std::string& text) {
  for (uint32_t cp : CodePoints(text)) {
    if (cp == '\\' || cp == '{' || cp == '}') {
      out += '\\';
      out += static_cast<char>(cp);
    } else if (cp == '\t') {
      out += "\\tab ";
    } else if (cp == 0x2028 || cp == '\n') {
      out += "\\line ";
    } else if (cp >= 0x20 && cp < 0x7F) {
      out += static_cast<char>(cp);
    } else if (cp < 0x20 || cp == 0x7F) {
      // other control characters as code-page bytes, which read back as themselves
      static const char kHex[] = "0123456789abcdef";
      out += "\\'";
      out += kHex[cp >> 4];
      out += kHex[cp & 15];
    } else if (cp > 0xFFFF) {
      cp -= 0x10000;
      AppendUnicode(out, 0xD800 + (cp >> 10));
      AppendUnicode(out, 0xDC00 + (cp & 0x3FF));
    } else {
      AppendUnicode(out, cp);
    }
  }
}

// A name as the font table can hold it: no ";" (the entry's end), no
// control characters, no blanks at either end (a reader trims them).
std::string FontTableName(const std::string& font) {
  std::string name;
  for (char c : font)
    if (c != ';' && static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) name += c;
  while (!name.empty() && name.back() == ' ') name.pop_back();
  while (!name.empty() && name.front() == ' ') name.erase(name.begin());
  return name;
}

const char* AlignWord(Align a) {
  switch (a) {
    case Align::Center: return "\\qc";
    case Align::Right: return "\\qr";
    case Align::Justify: return "\\qj";
    case Align::Left: break;
  }
  return "";
}

}  // namespace

std::string Write(const Document& doc) {
  std::string defaultFont = FontTableName(doc.defaultFont);
  if (defaultFont.empty()) defaultFont = "Arial";
  // A run's font as the table will hold it; "" (and the default's own
  // name) is the default font, number 0.
  auto runFont = [&](const CharFormat& f) {
    const std::string n = FontTableName(f.font);
    return n == defaultFont ? std::string() : n;
  };
  // Fonts and colours in order of first use; font 0 is the default.
  std::vector<std::string> fonts{defaultFont};
  std::map<std::string, int> fontIndex{{defaultFont, 0}};
  std::vector<uint32_t> colors;
  std::map<uint32_t, int> colorIndex;
  for (const Paragraph& p : doc.paragraphs)
    for (const Run& r : p.runs) {
      const std::string font = runFont(r.format);
      if (!font.empty() && !fontIndex.count(font)) {
        fontIndex[font] = static_cast<int>(fonts.size());
        fonts.push_back(font);
      }
      if (r.format.color && !colorIndex.count(*r.format.color)) {
        colorIndex[*r.format.color] = static_cast<int>(colors.size()) + 1;
        colors.push_back(*r.format.color);
      }
    }

  std::string out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1{\\fonttbl";
  for (size_t i = 0; i < fonts.size(); ++i) {
    out += "{\\f" + std::to_string(i) + "\\fnil\\fcharset0 ";
    AppendEscaped(out, fonts[i]);
    out += ";}";
  }
  out += "}{\\colortbl ;";
  for (uint32_t c : colors)
    out += "\\red" + std::to_string((c >> 16) & 0xFF) + "\\green" + std::to_string((c >> 8) & 0xFF) + "\\blue" +
           std::to_string(c & 0xFF) + ";";
  out += "}\n";

  for (size_t pi = 0; pi < doc.paragraphs.size(); ++pi) {
    const Paragraph& p = doc.paragraphs[pi];
    out += "\\pard";
    out += AlignWord(p.align);
    // Merge neighbouring runs of one format.
    std::vector<Run> runs;
    for (Run r : p.runs) {
      if (r.text.empty()) continue;
      r.format.font = runFont(r.format);
      if (!runs.empty() && runs.back().format == r.format)
        runs.back().text += r.text;
      else
        runs.push_back(std::move(r));
    }
    for (const Run& r : runs) {
      const CharFormat& f = r.format;
      out += "{\\f" + std::to_string(f.font.empty() ? 0 : fontIndex[f.font]);
      out += "\\fs" + std::to_string(f.halfPoints);
      if (f.color) out += "\\cf" + std::to_string(colorIndex[*f.color]);
      if (f.bold) out += "\\b";
      if (f.italic) out += "\\i";
      if (f.underline) out += "\\ul";
      out += ' ';
      AppendEscaped(out, r.text);
      out += '}';
    }
    out += "\\par\n";   // every paragraph ends with its mark, the last one too
  }
  out += "}\n";
  return out;
}

}  // namespace arkelin::viewers::rtf

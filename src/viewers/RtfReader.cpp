// The RTF reader; see Rtf.h. One pass over the bytes: braces push and pop
// the group state, control words change it, text goes to the paragraph
// being built (or to the font or colour table, or nowhere in a skipped
// destination).
#include <iconv.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <memory>
#include <set>

#include "engine/common/Utf8.h"
#include "viewers/Rtf.h"

namespace arkelin::viewers::rtf {

namespace {

using engine::common::AppendUtf8;

// Windows-1252 differs from Latin-1 only in 0x80..0x9F.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2014, 0x2013, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

uint32_t Cp1252(uint8_t b) { return (b >= 0x80 && b < 0xA0) ? kCp1252High[b - 0x80] : b; }

// The code page of a font's \fcharset.
int CodePageOfCharset(int charset) {
  switch (charset) {
    case 0: return 1252;
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 255: return 437;
    default: return 0;   // the document's code page
  }
}

// Turns code-page bytes into UTF-8, through iconv for everything but 1252.
class Decoder {
 public:
  ~Decoder() {
    for (auto& [cp, cd] : open_)
      if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
  }
  void Decode(int codePage, const std::string& bytes, std::string& out) {
    if (bytes.empty()) return;
    iconv_t cd = codePage == 1252 ? reinterpret_cast<iconv_t>(-1) : Open(codePage);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      for (unsigned char b : bytes) AppendUtf8(out, Cp1252(b));
      return;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> in(bytes.begin(), bytes.end());
    char* ip = in.data();
    size_t il = in.size();
    std::vector<char> buf(bytes.size() * 4 + 16);
    while (il > 0) {
      char* op = buf.data();
      size_t ol = buf.size();
      const size_t r = iconv(cd, &ip, &il, &op, &ol);
      out.append(buf.data(), static_cast<size_t>(op - buf.data()));
      if (r == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        // An invalid or incomplete sequence: one replacement per byte.
        AppendUtf8(out, 0xFFFD);
        ++ip;
        --il;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
      }
    }
  }

 private:
  iconv_t Open(int codePage) {
    auto it = open_.find(codePage);
    if (it != open_.end()) return it->second;
    const std::string name = codePage == 10000 ? "MACINTOSH" : "CP" + std::to_string(codePage);
    iconv_t cd = iconv_open("UTF-8", name.c_str());
    open_[codePage] = cd;
    return cd;
  }
  std::map<int, iconv_t> open_;
};

// Destinations that hold no body text.
const std::set<std::string>& SkippedDestinations() {
  static const std::set<std::string> s = {
      "stylesheet", "info",       "pict",       "object",     "header",       "headerl",
      "headerr",    "headerf",    "footer",     "footerl",    "footerr",      "footerf",
      "footnote",   "annotation", "fldinst",    "listtable",  "listoverridetable",
      "revtbl",     "rsidtbl",    "xmlnstbl",   "themedata",  "colorschememapping",
      "latentstyles", "datastore", "pgdsctbl",  "filetbl",    "private",      "generator",
      "comment",    "atnid",      "atnauthor",  "bkmkstart",  "bkmkend",      "nonshppict",
      "shppict",    "txe",        "xe",         "tc",         "userprops",    "fchars",
      "lchars",     "pnseclvl",   "ftnsep",     "ftnsepc",    "ftncn",        "aftnsep",
      "aftnsepc",   "aftncn",     "mmathPr",    "pntxta",     "pntxtb",       "template",
      "keywords",   "author",     "operator",   "title",      "subject",      "doccomm",
      "company",    "category",   "buptim",     "creatim",    "revtim",       "printim",
      "shpinst",    "sp",         "sn",         "sv",         "objdata",      "objclass",
      "falt",       "panose",     "fontemb",    "fontfile",   "do",           "background",
  };
  return s;
}

uint32_t SymbolFor(const std::string& word) {
  static const std::map<std::string, uint32_t> m = {
      {"emdash", 0x2014},   {"endash", 0x2013},    {"bullet", 0x2022},    {"lquote", 0x2018},
      {"rquote", 0x2019},   {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", 0x2003},
      {"enspace", 0x2002},  {"qmspace", 0x2005},   {"zwj", 0x200D},       {"zwnj", 0x200C},
      {"ltrmark", 0x200E},  {"rtlmark", 0x200F},
  };
  auto it = m.find(word);
  return it == m.end() ? 0 : it->second;
}

enum class Dest { Body, Skip, FontTable, ColorTable };

struct Font {
  std::string name;
  int codePage = 0;   // 0: the document's
};

struct State {
  Dest dest = Dest::Body;
  CharFormat format;
  int font = -1;      // index in the font table, -1 before any \f
  Align align = Align::Left;
  int uc = 1;
};

class Reader {
 public:
  explicit Reader(std::string_view b) : b_(b) {}

  Document Run() {
    stack_.push_back(State{});
    size_t start = 0;
    while (start < b_.size() && (b_[start] == ' ' || b_[start] == '\t' || b_[start] == '\r' || b_[start] == '\n'))
      ++start;
    pos_ = start;
    bool begun = false;
    while (pos_ < b_.size()) {
      const char c = b_[pos_];
      if (c == '{') {
        ++pos_;
        Flush();
        skip_ = 0;
        if (stack_.size() > static_cast<size_t>(kMaxDepth)) throw RtfError("RTF groups nest too deeply");
        stack_.push_back(stack_.back());
        begun = true;
      } else if (c == '}') {
        ++pos_;
        Flush();
        skip_ = 0;
        EndGroup();
        if (stack_.size() == 1 && begun) break;   // the outermost group is done
      } else if (c == '\\') {
        ++pos_;
        ControlWord();
      } else if (c == '\r' || c == '\n') {
        ++pos_;
      } else {
        ++pos_;
        if (skip_ > 0) {
          --skip_;
          continue;
        }
        TextByte(static_cast<uint8_t>(c));
      }
    }
    Flush();
    // The \par of the last paragraph ends the document's text: an empty
    // paragraph after it is no paragraph of its own.
    if (!para_.runs.empty() || doc_.paragraphs.empty()) FinishParagraph(false);
    doc_.defaultFont = fonts_.count(deff_) ? fonts_[deff_].name : std::string();
    return std::move(doc_);
  }

 private:
  State& S() { return stack_.back(); }

  int CodePage() {
    if (S().font >= 0) {
      auto it = fonts_.find(S().font);
      if (it != fonts_.end() && it->second.codePage) return it->second.codePage;
    }
    return docCodePage_;
  }

  // ---- Text ----

  void TextByte(uint8_t b) {
    switch (S().dest) {
      case Dest::Body:
        if (highSurrogate_) {   // a high surrogate without its low half
          AppendUtf8(text_, 0xFFFD);
          highSurrogate_ = 0;
        }
        bytes_ += static_cast<char>(b);
        bytesPage_ = CodePage();
        break;
      case Dest::FontTable:
        if (b == ';') {
          EndFontEntry();
        } else {
          fontBytes_ += static_cast<char>(b);
        }
        break;
      case Dest::ColorTable:
        if (b == ';') {
          colors_.push_back(colorSeen_ ? std::optional<uint32_t>((red_ << 16) | (green_ << 8) | blue_)
                                       : std::nullopt);
          red_ = green_ = blue_ = 0;
          colorSeen_ = false;
        }
        break;
      case Dest::Skip:
        break;
    }
  }

  void Unicode(uint32_t cp) {
    if (S().dest == Dest::FontTable) {
      DecodeBytes();
      AppendUtf8(fontName_, cp);
      return;
    }
    if (S().dest != Dest::Body) return;
    DecodeBytes();
    if (highSurrogate_) {
      const uint32_t hi = highSurrogate_;
      highSurrogate_ = 0;
      if (cp >= 0xDC00 && cp <= 0xDFFF) {
        AppendUtf8(text_, 0x10000 + ((hi - 0xD800) << 10) + (cp - 0xDC00));
        return;
      }
      AppendUtf8(text_, 0xFFFD);
    }
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      highSurrogate_ = cp;
      return;
    }
    AppendUtf8(text_, cp);
  }

  void DecodeBytes() {
    if (!bytes_.empty()) {
      decoder_.Decode(bytesPage_, bytes_, text_);
      bytes_.clear();
    }
    if (!fontBytes_.empty()) {
      auto it = fonts_.find(fontEntry_);
      decoder_.Decode(it != fonts_.end() && it->second.codePage ? it->second.codePage : docCodePage_, fontBytes_,
                      fontName_);
      fontBytes_.clear();
    }
  }

  // Moves the pending text into a run of the format it was written in.
  // A high surrogate waits for its low half across control words (it may
  // come as the next \u), but not across a group's edge.
  void Flush(bool keepSurrogate = false) {
    DecodeBytes();
    if (highSurrogate_ && !keepSurrogate) {
      AppendUtf8(text_, 0xFFFD);
      highSurrogate_ = 0;
    }
    if (text_.empty()) return;
    para_.align = S().align;   // the paragraph takes the alignment its text was written in
    CharFormat f = S().format;
    f.font = (S().font < 0 || S().font == deff_ || !fonts_.count(S().font)) ? std::string() : fonts_[S().font].name;
    if (!para_.runs.empty() && para_.runs.back().format == f)
      para_.runs.back().text += text_;
    else
      para_.runs.push_back({text_, f});
    text_.clear();
  }

  // endedByPar: a \par ends it, with the alignment in force there; at the
  // end of the document the last paragraph keeps the one of its text.
  void FinishParagraph(bool endedByPar) {
    if (endedByPar) para_.align = S().align;
    doc_.paragraphs.push_back(std::move(para_));
    para_ = Paragraph{};
  }

  void EndFontEntry() {
    DecodeBytes();
    std::string name = fontName_;
    while (!name.empty() && name.back() == ' ') name.pop_back();
    while (!name.empty() && name.front() == ' ') name.erase(name.begin());
    if (fontEntry_ >= 0) fonts_[fontEntry_].name = name;
    fontName_.clear();
  }

  void EndGroup() {
    if (stack_.size() <= 1) return;   // an unbalanced "}" is ignored
    const Dest leaving = S().dest;
    if (leaving == Dest::FontTable && (!fontName_.empty() || !fontBytes_.empty())) EndFontEntry();
    stack_.pop_back();
  }

  // ---- Control words ----

  void ControlWord() {
    if (pos_ >= b_.size()) return;
    const char c = b_[pos_];
    if (!std::isalpha(static_cast<unsigned char>(c))) {
      ++pos_;
      ControlSymbol(c);
      return;
    }
    std::string word;
    while (pos_ < b_.size() && std::isalpha(static_cast<unsigned char>(b_[pos_]))) word += b_[pos_++];
    bool hasParam = false;
    bool negative = false;
    int64_t param = 0;
    if (pos_ < b_.size() && b_[pos_] == '-' && pos_ + 1 < b_.size() &&
        std::isdigit(static_cast<unsigned char>(b_[pos_ + 1]))) {
      negative = true;
      ++pos_;
    }
    while (pos_ < b_.size() && std::isdigit(static_cast<unsigned char>(b_[pos_]))) {
      hasParam = true;
      if (param < INT64_C(1) << 40) param = param * 10 + (b_[pos_] - '0');
      ++pos_;
    }
    if (negative) param = -param;
    param = std::clamp<int64_t>(param, INT_MIN, INT_MAX);
    if (pos_ < b_.size() && b_[pos_] == ' ') ++pos_;   // the delimiting blank belongs to the word

    if (word == "bin") {
      // Binary data: never text, and never a brace.
      const size_t n = static_cast<size_t>(std::max<int64_t>(0, param));
      pos_ += std::min(n, b_.size() - pos_);
      return;
    }
    if (skip_ > 0) {   // the fallback of a \u counts control words as characters
      --skip_;
      return;
    }
    Word(word, hasParam, static_cast<int>(param));
  }

  void ControlSymbol(char c) {
    if (c == '\'') {
      int v = 0, digits = 0;
      while (digits < 2 && pos_ < b_.size() && std::isxdigit(static_cast<unsigned char>(b_[pos_]))) {
        const char h = b_[pos_++];
        v = v * 16 + (std::isdigit(static_cast<unsigned char>(h)) ? h - '0' : (std::tolower(h) - 'a' + 10));
        ++digits;
      }
      if (skip_ > 0) {
        --skip_;
        return;
      }
      if (digits) TextByte(static_cast<uint8_t>(v));
      return;
    }
    if (c == '\r' || c == '\n') {   // a backslash before a line end is a \par
      if (skip_ > 0) {
        --skip_;
        return;
      }
      Word("par", false, 0);
      return;
    }
    if (skip_ > 0) {
      --skip_;
      return;
    }
    switch (c) {
      case '\\': case '{': case '}':
        TextByte(static_cast<uint8_t>(c));
        break;
      case '~': Unicode(0x00A0); break;
      case '_': Unicode(0x2011); break;
      case '-': break;   // an optional hyphen shows nothing
      case '*':
        Flush();
        S().dest = Dest::Skip;   // no "\*" destination holds body text we show
        break;
      case '|': case ':': break;
      default: break;
    }
  }

  void Word(const std::string& w, bool hasParam, int p) {
    Flush(true);
    State& s = S();
    if (s.dest == Dest::Skip) return;
    if (SkippedDestinations().count(w)) {
      s.dest = Dest::Skip;
      return;
    }
    if (w == "fonttbl") {
      s.dest = Dest::FontTable;
      return;
    }
    if (w == "colortbl") {
      s.dest = Dest::ColorTable;
      colorSeen_ = false;
      return;
    }
    if (s.dest == Dest::ColorTable) {
      const uint32_t v = static_cast<uint32_t>(std::clamp(p, 0, 255));
      if (w == "red") red_ = v, colorSeen_ = true;
      else if (w == "green") green_ = v, colorSeen_ = true;
      else if (w == "blue") blue_ = v, colorSeen_ = true;
      return;
    }
    if (s.dest == Dest::FontTable) {
      if (w == "f") {
        if (!fontName_.empty() || !fontBytes_.empty()) EndFontEntry();
        fontEntry_ = p;
        fonts_[p];
      } else if (w == "fcharset" && fontEntry_ >= 0) {
        fonts_[fontEntry_].codePage = CodePageOfCharset(p);
      } else if (w == "cpg" && fontEntry_ >= 0 && p > 0) {
        fonts_[fontEntry_].codePage = p;
      } else if (w == "u" && hasParam) {
        const uint32_t cp = static_cast<uint32_t>(p < 0 ? p + 65536 : p) & 0xFFFF;
        if (cp >= 0x20 && (cp < 0xD800 || cp > 0xDFFF)) Unicode(cp);
        skip_ = s.uc;
      } else if (w == "uc") {
        s.uc = std::clamp(p, 0, 16);
      }
      return;
    }
    // Document and body words.
    if (w == "ansicpg" && p > 0) docCodePage_ = p;
    else if (w == "ansi") docCodePage_ = 1252;
    else if (w == "mac") docCodePage_ = 10000;
    else if (w == "pc") docCodePage_ = 437;
    else if (w == "pca") docCodePage_ = 850;
    else if (w == "deff") deff_ = p;
    else if (w == "par" || w == "sect") {
      FinishParagraph(true);
    } else if (w == "pard") {
      s.align = Align::Left;
    } else if (w == "ql") s.align = Align::Left;
    else if (w == "qc") s.align = Align::Center;
    else if (w == "qr") s.align = Align::Right;
    else if (w == "qj") s.align = Align::Justify;
    else if (w == "plain") {
      s.format = CharFormat{};
      s.font = -1;
    } else if (w == "b") s.format.bold = !hasParam || p != 0;
    else if (w == "i") s.format.italic = !hasParam || p != 0;
    else if (w == "ulnone") s.format.underline = false;
    else if (w == "ul" || w == "uld" || w == "uldb" || w == "uldash" || w == "uldashd" || w == "uldashdd" ||
             w == "ulth" || w == "ulw" || w == "ulwave" || w == "ulhwave" || w == "ululdbwave" ||
             w == "ulthd" || w == "ulthdash" || w == "ulldash" || w == "ulthldash" || w == "ulthdashd" ||
             w == "ulthdashdd")
      s.format.underline = !hasParam || p != 0;
    else if (w == "f") s.font = p;
    else if (w == "fs") s.format.halfPoints = hasParam && p > 0 ? std::min(p, 3276) : 24;
    else if (w == "cf") {
      s.format.color = (p >= 0 && static_cast<size_t>(p) < colors_.size()) ? colors_[static_cast<size_t>(p)]
                                                                             : std::nullopt;
    } else if (w == "uc") s.uc = std::clamp(p, 0, 16);
    else if (w == "u") {
      if (!hasParam) return;
      const uint32_t cp = static_cast<uint32_t>(p < 0 ? p + 65536 : p) & 0xFFFFF;
      if (cp != 0) Unicode(cp);
      skip_ = s.uc;
    } else if (w == "tab") Unicode('\t');
    else if (w == "line") Unicode(0x2028);
    else if (const uint32_t sym = SymbolFor(w)) Unicode(sym);
  }

  std::string_view b_;
  size_t pos_ = 0;
  std::vector<State> stack_;
  Document doc_;
  Paragraph para_;
  std::string text_;      // decoded body text not yet in a run
  std::string bytes_;     // body code-page bytes not yet decoded
  int bytesPage_ = 1252;
  uint32_t highSurrogate_ = 0;
  int skip_ = 0;          // fallback characters of a \u still to skip
  int docCodePage_ = 1252;
  int deff_ = 0;
  std::map<int, Font> fonts_;
  int fontEntry_ = -1;
  std::string fontName_, fontBytes_;
  std::vector<std::optional<uint32_t>> colors_;
  uint32_t red_ = 0, green_ = 0, blue_ = 0;
  bool colorSeen_ = false;
  Decoder decoder_;
};

}  // namespace

std::string Paragraph::Text() const {
  std::string t;
  for (const Run& r : runs) t += r.text;
  return t;
}

std::string Document::PlainText() const {
  std::string t;
  for (size_t i = 0; i < paragraphs.size(); ++i) {
    if (i) t += '\n';
    t += paragraphs[i].Text();
  }
  return t;
}

bool LooksLikeRtf(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n')) ++i;
  return bytes.substr(i, 5) == "{\\rtf";
}

Document Read(std::string_view bytes) {
  if (bytes.size() > kMaxInput) throw RtfError("RTF file too large");
  if (!LooksLikeRtf(bytes)) throw RtfError("not an RTF file");
  return Reader(bytes).Run();
}

}  // namespace arkelin::viewers::rtf

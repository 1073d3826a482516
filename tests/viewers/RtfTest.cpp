// The RTF reader over documents written the way word processors write them
// (font and colour tables, skipped destinations, fields, code pages,
// Unicode escapes with fallbacks), the writer's output read back, and the
// limits on hostile input.
#include <gtest/gtest.h>

#include "viewers/Rtf.h"

using namespace arkelin::viewers::rtf;

namespace {

// The runs of a paragraph as "text|flags" strings: b i u, font, size, colour.
std::vector<std::string> Describe(const Paragraph& p) {
  std::vector<std::string> out;
  for (const Run& r : p.runs) {
    std::string d = r.text + "|";
    if (r.format.bold) d += "b";
    if (r.format.italic) d += "i";
    if (r.format.underline) d += "u";
    d += "|" + r.format.font + "|" + std::to_string(r.format.halfPoints);
    if (r.format.color) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "|#%06x", *r.format.color);
      d += buf;
    }
    out.push_back(d);
  }
  return out;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(RtfReader, AWordProcessorDocument) {
  const std::string rtf =
      "{\\rtf1\\ansi\\ansicpg1252\\deff0\\nouicompat\\deflang1033"
      "{\\fonttbl{\\f0\\fnil\\fcharset0 Calibri;}{\\f1\\fswiss\\fprq2\\fcharset0 Arial{\\*\\panose 020b0604020202020204};}"
      "{\\f2\\fmodern Courier New;}}\r\n"
      "{\\colortbl ;\\red255\\green0\\blue0;\\red0\\green0\\blue255;}\r\n"
      "{\\*\\generator Riched20 10.0.19041}{\\info{\\title Secret title}{\\author Someone}}"
      "{\\stylesheet{\\s0 Normal;}}\\viewkind4\\uc1 \r\n"
      "\\pard\\sa200\\sl276\\slmult1\\f0\\fs22 Plain \\b bold\\b0  \\i italic\\i0  \\ul under\\ulnone  "
      "{\\f1\\fs32\\cf1 big red}\\cf2  blue\\cf0\\par\r\n"
      "\\pard\\qc caf\\'e9 \\'80\\tab x\\line y\\~z\\emdash\\par\n"
      "\\f2 code \\{braces\\} \\\\slash{\\field{\\*\\fldinst HYPERLINK \"http://x\"}{\\fldrslt link}}\\par\n"
      "{\\pict\\wmetafile8\\picw10 0123456789abcdef}after pict"
      "{\\header page header}\\bin3 {}}x tail\\par\n"
      "}";
  const Document d = Read(rtf);
  ASSERT_EQ(d.paragraphs.size(), 4u);   // nothing after the last \\par
  EXPECT_EQ(d.defaultFont, "Calibri");
  EXPECT_EQ(Describe(d.paragraphs[0]),
            Strings({"Plain |||22", "bold|b||22", " |||22", "italic|i||22", " |||22", "under|u||22",
                     " |||22", "big red||Arial|32|#ff0000", " blue|||22|#0000ff"}));
  EXPECT_EQ(d.paragraphs[0].align, Align::Left);
  EXPECT_EQ(d.paragraphs[1].Text(), "caf\xc3\xa9 \xe2\x82\xac\tx\xe2\x80\xa8y\xc2\xa0z\xe2\x80\x94");
  EXPECT_EQ(d.paragraphs[1].align, Align::Center);
  EXPECT_EQ(d.paragraphs[2].Text(), "code {braces} \\slashlink");
  EXPECT_EQ(d.paragraphs[2].runs[0].format.font, "Courier New");
  // The picture, the header and the binary bytes (braces included) are not text.
  EXPECT_EQ(d.paragraphs[3].Text(), "after pictx tail");
  EXPECT_EQ(d.PlainText().find("Secret"), std::string::npos);
  EXPECT_EQ(d.PlainText().find("Normal"), std::string::npos);
}

TEST(RtfReader, UnicodeEscapesAndTheirFallbacks) {
  // \uN with one fallback character by default, \uc2 two, \uc0 none; a
  // \'hh fallback and a control word fallback count as one character each;
  // negative numbers and surrogate pairs.
  const Document d = Read(
      "{\\rtf1 a\\u8364?b\\uc2\\u233\\'65\\'65c\\uc0\\u228 d{\\uc1\\u8212\\emdash e}"
      "\\uc1\\u-10179?\\u-8704?f\\u-10179?g\\u65?}");
  EXPECT_EQ(d.paragraphs[0].Text(),
            "a\xe2\x82\xac"
            "b\xc3\xa9"
            "c\xc3\xa4"
            "d\xe2\x80\x94"
            "e\xf0\x9f\x98\x80"
            "f\xef\xbf\xbd"
            "gA");
}

TEST(RtfReader, CodePagesOfTheDocumentAndOfFonts) {
  EXPECT_EQ(Read("{\\rtf1\\ansi\\ansicpg1251 \\'cf\\'f0\\'e8}").paragraphs[0].Text(), "\xd0\x9f\xd1\x80\xd0\xb8");
  EXPECT_EQ(Read("{\\rtf1\\ansi{\\fonttbl{\\f0 Times;}{\\f1\\fcharset204 Cyr;}}\\f1\\'cf\\f0\\'e9}")
                .paragraphs[0]
                .Text(),
            "\xd0\x9f\xc3\xa9");
  // Double-byte: two \'hh make one character.
  EXPECT_EQ(Read("{\\rtf1\\ansi\\ansicpg932 \\'82\\'a0}").paragraphs[0].Text(), "\xe3\x81\x82");
  // A lone lead byte and an unknown code page do not stop the reading.
  EXPECT_EQ(Read("{\\rtf1\\ansicpg932 \\'82}").paragraphs[0].Text(), "\xef\xbf\xbd");
  EXPECT_EQ(Read("{\\rtf1\\ansicpg99999 \\'e9}").paragraphs[0].Text(), "\xc3\xa9");
  EXPECT_EQ(Read("{\\rtf1\\mac \\'8e}").paragraphs[0].Text(), "\xc3\xa9");
}

TEST(RtfWriter, WhatItWritesReadsBackTheSame) {
  Document d;
  d.defaultFont = "DejaVu Sans";
  CharFormat plain;
  CharFormat bold = plain;
  bold.bold = true;
  CharFormat fancy;
  fancy.italic = fancy.underline = true;
  fancy.font = "Liberation Mono";
  fancy.halfPoints = 30;
  fancy.color = 0x12ab34;
  CharFormat red = plain;
  red.color = 0xff0000;
  red.halfPoints = 17;
  Paragraph p1;
  p1.runs = {{"Hello ", plain}, {"bold", bold}, {" and {fancy} \\ text", fancy}};
  Paragraph p2;
  p2.align = Align::Right;
  p2.runs = {{"tab\there\xe2\x80\xa8line \xc3\xa9\xe2\x82\xac\xe4\xb8\xad\xf0\x9f\x98\x80 ", red}};
  Paragraph empty;
  Paragraph p4;
  p4.align = Align::Justify;
  p4.runs = {{"last", fancy}};
  d.paragraphs = {p1, p2, empty, p4};

  const std::string out = Write(d);
  EXPECT_EQ(out.rfind("{\\rtf1", 0), 0u);
  for (unsigned char c : out) EXPECT_LT(c, 0x80) << "the file is plain ASCII";
  const Document back = Read(out);
  ASSERT_EQ(back.paragraphs.size(), d.paragraphs.size());
  EXPECT_EQ(back.defaultFont, "DejaVu Sans");
  for (size_t i = 0; i < d.paragraphs.size(); ++i) {
    EXPECT_EQ(Describe(back.paragraphs[i]), Describe(d.paragraphs[i])) << "paragraph " << i;
    EXPECT_EQ(back.paragraphs[i].align, d.paragraphs[i].align) << "paragraph " << i;
  }
  // Neighbouring runs of one format become one; empty runs vanish.
  Document merged;
  Paragraph m;
  m.runs = {{"a", bold}, {"", plain}, {"b", bold}};
  merged.paragraphs = {m};
  const Document mb = Read(Write(merged));
  EXPECT_EQ(Describe(mb.paragraphs[0]), Strings({"ab|b||24"}));
  // A font name cannot carry the table's separator.
  Document semi;
  Paragraph s;
  CharFormat odd;
  odd.font = "Odd;Name";
  s.runs = {{"x", odd}};
  semi.paragraphs = {s};
  EXPECT_EQ(Read(Write(semi)).paragraphs[0].runs[0].format.font, "OddName");
}

TEST(RtfReader, LimitsAndBrokenInput) {
  EXPECT_THROW(Read("plain text"), RtfError);
  EXPECT_THROW(Read(""), RtfError);
  EXPECT_THROW(Read("{\\rt"), RtfError);
  EXPECT_TRUE(LooksLikeRtf("  \r\n{\\rtf1}"));
  EXPECT_FALSE(LooksLikeRtf("{rtf1}"));
  // Nesting: up to the limit is read, beyond it refused.
  std::string deep = "{\\rtf1 ";
  for (int i = 0; i < kMaxDepth - 2; ++i) deep += "{";
  deep += "x";
  for (int i = 0; i < kMaxDepth - 2; ++i) deep += "}";
  deep += "}";
  EXPECT_EQ(Read(deep).paragraphs[0].Text(), "x");
  std::string tooDeep = "{\\rtf1 ";
  for (int i = 0; i < kMaxDepth + 5; ++i) tooDeep += "{";
  EXPECT_THROW(Read(tooDeep), RtfError);
  // A missing final brace, extra closing braces, text after the end.
  EXPECT_EQ(Read("{\\rtf1 open").paragraphs[0].Text(), "open");
  EXPECT_EQ(Read("{\\rtf1 a}}}} ignored").PlainText(), "a");
  EXPECT_EQ(Read("{\\rtf1 {a}}}b}").PlainText(), "a");
  // Numbers are clamped; \bin cannot run past the end; a dangling backslash.
  const Document big = Read("{\\rtf1\\fs99999999999999999999 x\\fs-5 y\\cf4000000000 z}");
  EXPECT_EQ(big.paragraphs[0].runs[0].format.halfPoints, 3276);
  EXPECT_EQ(big.paragraphs[0].runs[1].format.halfPoints, 24);
  EXPECT_EQ(Read("{\\rtf1 a\\bin999999999 {}").PlainText(), "a");
  EXPECT_EQ(Read("{\\rtf1 a\\").PlainText(), "a");
  EXPECT_EQ(Read("{\\rtf1 a\\'4").PlainText(), "a\x04");
  EXPECT_EQ(Read("{\\rtf1 \\u").PlainText(), "");
  // An unknown "\*" destination is skipped, an unknown word is ignored.
  EXPECT_EQ(Read("{\\rtf1 a {\\*\\futurething b{c}}\\futureword d}").PlainText(), "a d");
}

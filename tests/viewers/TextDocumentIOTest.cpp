// Loading files into the editor's document and saving them back: plain text
// keeps its encoding, byte order mark and line ends byte for byte; RTF keeps
// its formatting through the document; what cannot be read as RTF shows as
// the text it is. Also the editor's two searches.
#include <gtest/gtest.h>

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include "GifTestSupport.h"
#include "viewers/TextDocumentIO.h"
#include "viewers/TextSearch.h"

using namespace arkelin::viewers;
using Kind = TextFileFormat::Kind;
using Enc = TextFileFormat::Encoding;

namespace {
struct Loaded {
  QTextDocument doc;
  TextFileFormat format;
  explicit Loaded(const QByteArray& bytes) {
    arkelin::viewers::testing::EnsureGuiApp();
    format = LoadTextBytes(bytes, doc);
  }
  QByteArray Save() { return SaveTextBytes(doc, format); }
  void Append(const QString& s) {
    QTextCursor c(&doc);
    c.movePosition(QTextCursor::End);
    c.insertText(s);
  }
};
}  // namespace

TEST(TextFiles, PlainTextComesBackByteForByte) {
  const QByteArray samples[] = {
      "line one\r\nline two\r\n\r\nlast line without end",   // CR LF
      "unix\nfile\n",                                         // LF, final line end
      "old mac\rfile\r",                                      // CR
      "\xEF\xBB\xBFwith mark \xC3\xA9\n",                     // UTF-8 with its mark
      "no line end at all",
      "",
      "tabs\tand\xC2\xA0no-break\xC2\xA0spaces\n",            // nothing turned into blanks
      "caf\xE9 na\xEFve\r\n",                                 // not UTF-8: Latin-1
  };
  for (const QByteArray& s : samples) {
    Loaded l(s);
    EXPECT_EQ(l.format.kind, Kind::Plain) << s.toStdString();
    EXPECT_EQ(l.Save(), s) << s.toStdString();
  }
  Loaded crlf(samples[0]);
  EXPECT_EQ(crlf.format.lineEnd, QByteArray("\r\n"));
  EXPECT_EQ(crlf.doc.blockCount(), 4);
  EXPECT_EQ(Loaded(samples[2]).format.lineEnd, QByteArray("\r"));
  EXPECT_TRUE(Loaded(samples[3]).format.byteOrderMark);
  Loaded latin(samples[7]);
  EXPECT_EQ(latin.format.encoding, Enc::Latin1);
  EXPECT_EQ(RawPlainText(latin.doc), QString::fromUtf8("caf\xC3\xA9 na\xC3\xAFve\n"));
}

TEST(TextFiles, EditedPlainTextKeepsItsFormOrSavesWhatLatin1CannotCarry) {
  Loaded crlf(QByteArray("a\r\nb"));
  crlf.Append(QStringLiteral("\nc"));
  EXPECT_EQ(crlf.Save(), QByteArray("a\r\nb\r\nc"));
  Loaded latin(QByteArray("caf\xE9\n"));
  latin.Append(QStringLiteral("\xE9t\xE9"));
  EXPECT_EQ(latin.Save(), QByteArray("caf\xE9\n\xE9t\xE9"));
  EXPECT_EQ(latin.format.encoding, Enc::Latin1);
  latin.Append(QString::fromUtf8(" \xE2\x82\xAC"));   // the euro sign is not Latin-1
  EXPECT_EQ(latin.Save(), QByteArray("caf\xC3\xA9\n\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"));
  EXPECT_EQ(latin.format.encoding, Enc::Utf8);
  // A line break typed inside a paragraph is a line end too.
  Loaded lf(QByteArray("x"));
  lf.Append(QString(QChar::LineSeparator) + QStringLiteral("y"));
  EXPECT_EQ(lf.Save(), QByteArray("x\ny"));
}

TEST(TextFiles, RtfShowsFormattedAndStaysRtf) {
  const QByteArray rtf =
      "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}{\\f1 Courier New;}}{\\colortbl;\\red200\\green0\\blue0;}"
      "\\pard plain {\\b bold} {\\i\\f1\\fs36\\cf1 fancy}\\par\\pard\\qc {\\ul centred}}";
  Loaded l(rtf);
  ASSERT_EQ(l.format.kind, Kind::Rtf);
  EXPECT_EQ(RawPlainText(l.doc), QStringLiteral("plain bold fancy\ncentred"));
  auto formatAt = [&](int pos) {
    QTextCursor c(&l.doc);
    c.setPosition(pos);
    c.setPosition(pos + 1, QTextCursor::KeepAnchor);
    return c.charFormat();
  };
  EXPECT_EQ(formatAt(7).fontWeight(), QFont::Bold);       // "bold"
  EXPECT_EQ(formatAt(0).fontWeight(), QFont::Normal);
  const QTextCharFormat fancy = formatAt(12);
  EXPECT_TRUE(fancy.fontItalic());
  EXPECT_EQ(fancy.fontFamilies().toStringList(), QStringList{"Courier New"});
  EXPECT_DOUBLE_EQ(fancy.fontPointSize(), 18.0);
  EXPECT_EQ(fancy.foreground().color(), QColor(200, 0, 0));
  EXPECT_TRUE(formatAt(18).fontUnderline());
  EXPECT_EQ(l.doc.lastBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);

  // Saved as RTF; loaded again, the same text in the same formats.
  const QByteArray saved = l.Save();
  EXPECT_TRUE(saved.startsWith("{\\rtf1"));
  Loaded again(saved);
  ASSERT_EQ(again.format.kind, Kind::Rtf);
  EXPECT_EQ(RawPlainText(again.doc), RawPlainText(l.doc));
  for (QTextBlock a = l.doc.begin(), b = again.doc.begin(); a.isValid() && b.isValid(); a = a.next(), b = b.next()) {
    EXPECT_EQ(a.blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              b.blockFormat().alignment() & Qt::AlignHorizontal_Mask);
    for (int i = 0; i < a.length() - 1; ++i) {
      QTextCursor ca(&l.doc), cb(&again.doc);
      ca.setPosition(a.position() + i + 1);
      cb.setPosition(b.position() + i + 1);
      const QTextCharFormat fa = ca.charFormat(), fb = cb.charFormat();
      EXPECT_EQ(fa.fontWeight(), fb.fontWeight()) << i;
      EXPECT_EQ(fa.fontItalic(), fb.fontItalic()) << i;
      EXPECT_EQ(fa.fontUnderline(), fb.fontUnderline()) << i;
      EXPECT_EQ(fa.foreground().color(), fb.foreground().color()) << i;
      EXPECT_EQ(fa.font().family(), fb.font().family()) << i;
      EXPECT_DOUBLE_EQ(fa.font().pointSizeF(), fb.font().pointSizeF()) << i;
    }
  }
}

TEST(TextFiles, WhatIsNotReadableAsRtfIsPlainText) {
  QByteArray deep = "{\\rtf1 ";
  for (int i = 0; i < 400; ++i) deep += '{';
  Loaded l(deep);
  EXPECT_EQ(l.format.kind, Kind::Plain);
  EXPECT_EQ(RawPlainText(l.doc), QString::fromLatin1(deep));
  EXPECT_EQ(l.Save(), deep);
  EXPECT_EQ(Loaded(QByteArray("{\\rtx not rtf}")).format.kind, Kind::Plain);
}

TEST(TextSearches, FindNextIsForwardOnlyWithItsOptions) {
  arkelin::viewers::testing::EnsureGuiApp();
  QTextDocument doc;
  doc.setPlainText(QStringLiteral("Alpha beta alphabet\nALPHA end"));
  EXPECT_EQ(FindForward(doc, 0, QStringLiteral("alpha"), false, false), 0);
  EXPECT_EQ(FindForward(doc, 1, QStringLiteral("alpha"), false, false), 11);
  EXPECT_EQ(FindForward(doc, 1, QStringLiteral("alpha"), true, false), 11);
  EXPECT_EQ(FindForward(doc, 0, QStringLiteral("alpha"), false, true), 0);
  EXPECT_EQ(FindForward(doc, 1, QStringLiteral("alpha"), false, true), 20);   // not inside "alphabet"
  EXPECT_EQ(FindForward(doc, 21, QStringLiteral("alpha"), false, false), -1); // no wrap to the start
  EXPECT_EQ(FindForward(doc, 0, QString(), false, false), -1);
  EXPECT_EQ(FindForward(doc, 500, QStringLiteral("a"), false, false), -1);
}

TEST(TextSearches, SearchMemoStartsAfterTheSelection) {
  arkelin::viewers::testing::EnsureGuiApp();
  QTextDocument doc;
  doc.setPlainText(QStringLiteral("aXa xA\nend"));
  EXPECT_EQ(SearchMemo(doc, 0, 0, QStringLiteral("xa"), false), 1);
  EXPECT_EQ(SearchMemo(doc, 1, 2, QStringLiteral("xa"), false), 4);   // from the selection's end
  EXPECT_EQ(SearchMemo(doc, 1, 2, QStringLiteral("xa"), true), -1);
  EXPECT_EQ(SearchMemo(doc, 0, 0, QStringLiteral("xA"), true), 4);
  EXPECT_EQ(SearchMemo(doc, 0, 0, QStringLiteral("end"), false), 7);     // a paragraph break is one character
  EXPECT_EQ(SearchMemo(doc, 0, 7, QStringLiteral("end"), false), 7);   // ends exactly at the end
  EXPECT_EQ(SearchMemo(doc, 0, 8, QStringLiteral("end"), false), -1);  // the rest is shorter
  EXPECT_EQ(SearchMemo(doc, 0, 0, QString(), false), -1);
  QTextDocument empty;
  EXPECT_EQ(SearchMemo(empty, 0, 0, QStringLiteral("a"), false), -1);
}

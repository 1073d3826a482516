#include "viewers/TextDocumentIO.h"

#include <QFont>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cmath>

namespace arkelin::viewers {

namespace {

QTextCharFormat CharFormatFor(const rtf::CharFormat& f) {
  QTextCharFormat c;
  c.setFontWeight(f.bold ? QFont::Bold : QFont::Normal);
  c.setFontItalic(f.italic);
  c.setFontUnderline(f.underline);
  if (!f.font.empty()) c.setFontFamilies(QStringList{QString::fromStdString(f.font)});
  c.setFontPointSize(f.halfPoints / 2.0);
  if (f.color) c.setForeground(QColor(QRgb(0xFF000000u | *f.color)));
  return c;
}

rtf::CharFormat FormatOf(const QTextCharFormat& c, const QFont& base) {
  rtf::CharFormat f;
  f.bold = c.fontWeight() >= QFont::DemiBold;
  f.italic = c.fontItalic();
  f.underline = c.fontUnderline();
  const QStringList families = c.fontFamilies().toStringList();
  if (!families.isEmpty() && !families.front().isEmpty() && families.front() != base.family())
    f.font = families.front().toStdString();
  const double pt = c.fontPointSize() > 0 ? c.fontPointSize() : base.pointSizeF();
  f.halfPoints = pt > 0 ? static_cast<int>(std::lround(pt * 2)) : 24;
  if (c.foreground().style() != Qt::NoBrush) f.color = c.foreground().color().rgb() & 0xFFFFFFu;
  return f;
}

Qt::Alignment AlignmentFor(rtf::Align a) {
  switch (a) {
    case rtf::Align::Center: return Qt::AlignHCenter;
    case rtf::Align::Right: return Qt::AlignRight;
    case rtf::Align::Justify: return Qt::AlignJustify;
    case rtf::Align::Left: break;
  }
  return Qt::AlignLeft;
}

rtf::Align AlignOf(Qt::Alignment a) {
  if (a & Qt::AlignHCenter) return rtf::Align::Center;
  if (a & Qt::AlignRight) return rtf::Align::Right;
  if (a & Qt::AlignJustify) return rtf::Align::Justify;
  return rtf::Align::Left;
}

// Characters that mark frames inside QTextDocument's raw text.
bool IsFrameMark(QChar c) { return c.unicode() == 0xFDD0 || c.unicode() == 0xFDD1; }

}  // namespace

void RtfToDocument(const rtf::Document& in, QTextDocument& out) {
  out.clear();
  QFont base = out.defaultFont();
  if (!in.defaultFont.empty()) base.setFamilies(QStringList{QString::fromStdString(in.defaultFont)});
  out.setDefaultFont(base);
  QTextCursor c(&out);
  bool first = true;
  for (const rtf::Paragraph& p : in.paragraphs) {
    QTextBlockFormat bf;
    bf.setAlignment(AlignmentFor(p.align));
    if (first)
      c.setBlockFormat(bf);
    else
      c.insertBlock(bf);
    first = false;
    for (const rtf::Run& r : p.runs) {
      // A run never holds a paragraph break; a stray one would split the
      // block, so it becomes a line break.
      QString text = QString::fromStdString(r.text);
      text.replace(u'\n', QChar::LineSeparator);
      text.replace(u'\r', QChar::LineSeparator);
      // Characters the document keeps for its own structure are not text.
      text.remove(QChar::ObjectReplacementCharacter);
      text.remove(QChar(0xFDD0));
      text.remove(QChar(0xFDD1));
      c.insertText(text, CharFormatFor(r.format));
    }
  }
}

rtf::Document DocumentToRtf(const QTextDocument& in) {
  rtf::Document d;
  const QFont base = in.defaultFont();
  d.defaultFont = base.family().toStdString();
  for (QTextBlock b = in.begin(); b.isValid(); b = b.next()) {
    rtf::Paragraph p;
    p.align = AlignOf(b.blockFormat().alignment());
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment fr = it.fragment();
      if (!fr.isValid()) continue;
      QString text = fr.text();
      text.remove(QChar::ObjectReplacementCharacter);
      if (text.isEmpty()) continue;
      p.runs.push_back({text.toStdString(), FormatOf(fr.charFormat(), base)});
    }
    d.paragraphs.push_back(std::move(p));
  }
  return d;
}

QString RawPlainText(const QTextDocument& doc) {
  QString t = doc.toRawText();
  QString out;
  out.reserve(t.size());
  for (QChar c : t) {
    if (c == QChar::ParagraphSeparator || c == QChar::LineSeparator)
      out += u'\n';
    else if (!IsFrameMark(c))
      out += c;
  }
  return out;
}

TextFileFormat LoadTextBytes(const QByteArray& bytes, QTextDocument& doc) {
  TextFileFormat f;
  const std::string_view view(bytes.constData(), static_cast<size_t>(bytes.size()));
  if (rtf::LooksLikeRtf(view)) {
    try {
      RtfToDocument(rtf::Read(view), doc);
      f.kind = TextFileFormat::Kind::Rtf;
      return f;
    } catch (const rtf::RtfError&) {
      // not readable as RTF: shown as the plain text it is
    }
  }
  f.kind = TextFileFormat::Kind::Plain;
  QByteArray body = bytes;
  f.byteOrderMark = body.startsWith("\xEF\xBB\xBF");
  if (f.byteOrderMark) body.remove(0, 3);
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
  QString text = utf8(body);
  if (utf8.hasError()) {
    f.encoding = TextFileFormat::Encoding::Latin1;
    f.byteOrderMark = false;
    text = QString::fromLatin1(bytes);
  } else {
    f.encoding = TextFileFormat::Encoding::Utf8;
  }
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'\n') {
      f.lineEnd = "\n";
      break;
    }
    if (text[i] == u'\r') {
      f.lineEnd = (i + 1 < text.size() && text[i + 1] == u'\n') ? "\r\n" : "\r";
      break;
    }
  }
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  text.replace(u'\r', u'\n');
  doc.setPlainText(text);
  return f;
}

QByteArray SaveTextBytes(const QTextDocument& doc, TextFileFormat& format) {
  if (format.kind == TextFileFormat::Kind::Rtf) return QByteArray::fromStdString(rtf::Write(DocumentToRtf(doc)));
  QString text = RawPlainText(doc);
  if (format.lineEnd != "\n") text.replace(u'\n', QString::fromLatin1(format.lineEnd));
  if (format.encoding == TextFileFormat::Encoding::Latin1) {
    bool fits = true;
    for (QChar c : text)
      if (c.unicode() > 0xFF) {
        fits = false;
        break;
      }
    if (fits) return text.toLatin1();
    format.encoding = TextFileFormat::Encoding::Utf8;
  }
  QByteArray out = format.byteOrderMark ? QByteArray("\xEF\xBB\xBF") : QByteArray();
  return out + text.toUtf8();
}

}  // namespace arkelin::viewers

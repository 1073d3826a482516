// Loading a text file into a QTextDocument and saving it back in the form it
// came in. A file that reads as RTF is shown formatted and saved as RTF; any
// other file is plain text, read as UTF-8 when it is valid UTF-8 (a byte
// order mark is kept) and as Latin-1 otherwise, and saved in that encoding
// with the line ends it had (CR LF, LF or CR, taken from its first line
// end). Qt Gui only; no widgets.
#pragma once

#include <QByteArray>
#include <QString>

#include "viewers/Rtf.h"

class QTextDocument;

namespace arkelin::viewers {

struct TextFileFormat {
  enum class Kind { Rtf, Plain };
  enum class Encoding { Utf8, Latin1 };
  Kind kind = Kind::Plain;
  Encoding encoding = Encoding::Utf8;
  bool byteOrderMark = false;
  QByteArray lineEnd = "\n";
};

// The RTF model into a document (replacing its content) and back.
void RtfToDocument(const rtf::Document& in, QTextDocument& out);
rtf::Document DocumentToRtf(const QTextDocument& in);

// Replaces the document's content with the file's bytes and answers the
// form they were in. RTF is tried first; bytes that do not read as RTF are
// plain text.
TextFileFormat LoadTextBytes(const QByteArray& bytes, QTextDocument& doc);
// The document in the given form. Plain text in Latin-1 that holds
// characters Latin-1 cannot carry is written as UTF-8 instead (and format
// says so afterwards), so that nothing typed is lost.
QByteArray SaveTextBytes(const QTextDocument& doc, TextFileFormat& format);

// The document's text with every paragraph and line break as "\n" and
// nothing else changed (no-break spaces stay).
QString RawPlainText(const QTextDocument& doc);

}  // namespace arkelin::viewers

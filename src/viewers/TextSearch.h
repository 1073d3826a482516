// The text editor's two searches over a QTextDocument, both forward only and
// never wrapping to the start. Positions are document positions (each
// paragraph break counts one), which are those of the editor's cursor.
#pragma once

#include <QString>

class QTextDocument;

namespace arkelin::viewers {

// Find Next: the first match of text at or after start, with the case and
// whole-word options; -1 when there is none (or text is empty).
int FindForward(const QTextDocument& doc, int start, const QString& text, bool matchCase, bool wholeWord);

// The Replace dialog's search: from the end of the selection (selStart +
// selLength), every candidate offset up to the last one where text still
// fits, comparing character by character, upper-cased unless matchCase;
// the first match wins. -1 when text or the document is empty, when the
// rest is shorter than text, or when nothing matches.
int SearchMemo(const QTextDocument& doc, int selStart, int selLength, const QString& text, bool matchCase);

}  // namespace arkelin::viewers

// Printing the editor's text: every line of the text, in order, as plain
// text in the given font, starting a new page when one is full. A line
// wider than the page is wrapped (at a word boundary where there is one)
// rather than cut off, so that nothing of the text is lost on paper.
#pragma once

#include <QFont>
#include <QString>

class QPrinter;

namespace arkelin::viewers {

// Answers the number of pages printed (0 when the printer could not start).
int PrintPlainText(QPrinter& printer, const QString& text, const QFont& font);

}  // namespace arkelin::viewers

#include "viewers/TextSearch.h"

#include <QTextCursor>
#include <QTextDocument>

namespace arkelin::viewers {

int FindForward(const QTextDocument& doc, int start, const QString& text, bool matchCase, bool wholeWord) {
  if (text.isEmpty()) return -1;
  QTextDocument::FindFlags flags;
  if (matchCase) flags |= QTextDocument::FindCaseSensitively;
  if (wholeWord) flags |= QTextDocument::FindWholeWords;
  const QTextCursor found = doc.find(text, start < 0 ? 0 : start, flags);
  return found.isNull() ? -1 : found.selectionStart();
}

int SearchMemo(const QTextDocument& doc, int selStart, int selLength, const QString& text, bool matchCase) {
  const QString all = doc.toRawText();
  if (text.isEmpty() || all.isEmpty()) return -1;
  const qsizetype length = all.size();
  const qsizetype n = text.size();
  const qsizetype start = qsizetype(selStart) + selLength;
  if (start < 0 || length - start - n < 0) return -1;
  // Character by character, so that the lengths stay as they are.
  QString wanted = text;
  if (!matchCase)
    for (QChar& c : wanted) c = c.toUpper();
  for (qsizetype at = start; at <= length - n; ++at) {
    qsizetype k = 0;
    for (; k < n; ++k) {
      const QChar c = matchCase ? all[at + k] : all[at + k].toUpper();
      if (c != wanted[k]) break;
    }
    if (k == n) return static_cast<int>(at);
  }
  return -1;
}

}  // namespace arkelin::viewers

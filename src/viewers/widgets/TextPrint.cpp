#include "viewers/widgets/TextPrint.h"

#include <QPainter>
#include <QPrinter>
#include <QTextLayout>

namespace arkelin::viewers {

int PrintPlainText(QPrinter& printer, const QString& text, const QFont& font) {
  QPainter p;
  if (!p.begin(&printer)) return 0;
  const QFont printed(font, p.device());
  p.setFont(printed);
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  const QRectF area(0, 0, page.width(), page.height());
  const QFontMetricsF fm(printed, p.device());
  const qreal lineHeight = fm.lineSpacing();
  int pages = 1;
  qreal y = 0;
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  const QStringList lines = text.split(u'\n');
  for (const QString& line : lines) {
    QTextLayout layout(line, printed, p.device());
    layout.setTextOption(option);
    layout.beginLayout();
    QList<QTextLine> parts;
    for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine()) {
      l.setLineWidth(area.width());
      parts << l;
    }
    layout.endLayout();
    if (parts.isEmpty()) parts << QTextLine();   // an empty line still takes its place
    for (int i = 0; i < parts.size(); ++i) {
      if (y + lineHeight > area.height() && y > 0) {
        printer.newPage();
        ++pages;
        y = 0;
      }
      if (parts[i].isValid()) {
        // Each part at the top of its own printed line.
        parts[i].draw(&p, QPointF(0, y - parts[i].y()));
      }
      y += lineHeight;
    }
  }
  p.end();
  return pages;
}

}  // namespace arkelin::viewers

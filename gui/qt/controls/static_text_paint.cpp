#include "gui/qt/controls/static_text_paint.h"

#include <QLabel>
#include <QPainter>

namespace kavlen {

void DrawStaticText(QPainter& painter, const QLabel& label, const QColor& colour) {
  const int margin = label.margin();
  const QRect area = label.contentsRect().adjusted(margin, margin, -margin, -margin);
  int flags = static_cast<int>(label.alignment());
  if (label.wordWrap()) flags |= Qt::TextWordWrap;
  painter.save();
  painter.setFont(label.font());
  painter.setPen(colour);
  painter.drawText(area, flags, label.text());
  painter.restore();
}

}  // namespace kavlen

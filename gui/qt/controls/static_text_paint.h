#pragma once
// Draws a label's text the way a static text control does, in a colour the
// caller chooses: the label's alignment, word wrap, margin and font.

#include <QColor>

class QLabel;
class QPainter;

namespace kavlen {

void DrawStaticText(QPainter& painter, const QLabel& label, const QColor& colour);

}  // namespace kavlen

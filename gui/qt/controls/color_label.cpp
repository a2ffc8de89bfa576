#include "gui/qt/controls/color_label.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPalette>

#include "gui/qt/controls/static_text_paint.h"

namespace kavlen {

CColorLabel::CColorLabel(QWidget* parent)
    : QLabel(parent),
      m_crBackground(ToColorRef(QGuiApplication::palette().color(QPalette::Button))),
      m_crText(RGB(0, 0, 0)) {
  m_brBackground = QBrush(ToQColor(m_crBackground));
}

CColorLabel::~CColorLabel() = default;

void CColorLabel::SetTextColor(COLORREF colour) {
  m_crText = colour;
  repaint();
}

void CColorLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), m_brBackground);
  drawFrame(&painter);
  DrawStaticText(painter, *this, ToQColor(m_crText));
}

}  // namespace kavlen

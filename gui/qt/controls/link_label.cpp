#include "gui/qt/controls/link_label.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include "gui/qt/controls/static_text_paint.h"
#include "gui/qt/ui_services.h"

namespace kavlen {

namespace {

// Where a tooltip appears relative to the pointer.
const QPoint kTipOffset(2, 16);

}  // namespace

CLinkLabel::CLinkLabel(UiServices* services, QWidget* parent)
    : QLabel(parent), m_pServices(services), m_pTip(new QLabel(this, Qt::ToolTip)) {
  QFont linkFont = font();
  linkFont.setUnderline(true);
  setFont(linkFont);
  setCursor(Qt::PointingHandCursor);
  setMouseTracking(true);
  // Tips show also while the dialog is not the active window.
  setAttribute(Qt::WA_AlwaysShowToolTips);

  m_pTip->setPalette(QToolTip::palette());
  m_pTip->setFont(QToolTip::font());
  m_pTip->setAutoFillBackground(true);
  m_pTip->setMargin(2);
  m_pTip->hide();
}

CLinkLabel::~CLinkLabel() = default;

void CLinkLabel::SetTipText(const QString& text) {
  if (!m_bTipEnabled) return;
  m_pTip->setText(text);
  m_pTip->adjustSize();
}

void CLinkLabel::SetTipBkColor(COLORREF colour) {
  QPalette palette = m_pTip->palette();
  palette.setColor(QPalette::Window, ToQColor(colour));
  m_pTip->setPalette(palette);
}

void CLinkLabel::SetTipTextColor(COLORREF colour) {
  QPalette palette = m_pTip->palette();
  palette.setColor(QPalette::WindowText, ToQColor(colour));
  m_pTip->setPalette(palette);
}

QString CLinkLabel::TipText() const { return m_pTip->text(); }
bool CLinkLabel::IsTipShown() const { return m_pTip->isVisible(); }
QColor CLinkLabel::TipBkColor() const { return m_pTip->palette().color(QPalette::Window); }
QColor CLinkLabel::TipTextColor() const {
  return m_pTip->palette().color(QPalette::WindowText);
}

COLORREF CLinkLabel::CurrentTextColor() const {
  if (m_bVisited) return m_crVisited;
  return m_bOver ? m_crHover : m_crLink;
}

void CLinkLabel::Click() {
  // A target nothing can open is not reported; the link still turns visited.
  if (m_pServices) m_pServices->OpenUrl(m_strTarget);
  m_bVisited = true;
  update();
}

void CLinkLabel::SetPointerOver(bool over) {
  m_bOver = over;
  if (!over) m_pTip->hide();
  repaint();
}

bool CLinkLabel::event(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    if (!m_pTip->text().isEmpty()) {
      m_pTip->move(static_cast<QHelpEvent*>(event)->globalPos() + kTipOffset);
      m_pTip->show();
    }
    return true;
  }
  if (event->type() == QEvent::MouseButtonPress) m_pTip->hide();
  return QLabel::event(event);
}

void CLinkLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  drawFrame(&painter);
  DrawStaticText(painter, *this, ToQColor(CurrentTextColor()));
}

void CLinkLabel::mouseMoveEvent(QMouseEvent* event) {
  QLabel::mouseMoveEvent(event);
  const bool inside = rect().contains(event->position().toPoint());
  if (!m_bOver && inside)
    SetPointerOver(true);
  else if (m_bOver && !inside)
    SetPointerOver(false);
}

void CLinkLabel::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  m_pTip->hide();
  if (m_bOver) SetPointerOver(false);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
    Click();
}

}  // namespace kavlen

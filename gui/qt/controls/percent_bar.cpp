#include "gui/qt/controls/percent_bar.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "gui/bar_math.h"
#include "gui/qt/controls/offscreen_dc.h"
#include "gui/qt/controls/percent_geometry.h"

namespace kavlen {

CPercentBar::CPercentBar(QWidget* parent, unsigned style, bool bordered)
    : QProgressBar(parent), m_nStyle(style) {
  setOrientation(IsVertical() ? Qt::Vertical : Qt::Horizontal);
  setTextVisible(false);
  const int border = bordered ? 1 : 0;
  setContentsMargins(border, border, border, border);
}

CPercentBar::~CPercentBar() = default;

LRESULT CPercentBar::SendMessage(unsigned message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      repaint();
      return 0;
    case WM_SIZE:
      m_nBarWidth = -1;
      return 0;
    case WM_SETTEXT:
      SetWindowText(lParam ? QString::fromLatin1(reinterpret_cast<const char*>(lParam))
                           : QString());
      return 1;
    case WM_GETTEXT:
      return OnGetText(wParam, reinterpret_cast<char*>(lParam));
    case PBM_SETRANGE:
      SetRange(static_cast<int>(LOWORD(static_cast<std::uintptr_t>(lParam))),
               static_cast<int>(HIWORD(static_cast<std::uintptr_t>(lParam))));
      return 0;
    case PBM_SETPOS:
      return SetPos(static_cast<int>(wParam));
    case PBM_DELTAPOS:
      return OffsetPos(static_cast<int>(wParam));
    case PBM_SETSTEP:
      return SetStep(static_cast<int>(wParam));
    case PBM_STEPIT:
      return StepIt();
    case PBM_SETRANGE32:
      SetRange(static_cast<int>(wParam), static_cast<int>(lParam));
      return 0;
    case PBM_GETRANGE: {
      if (lParam) {
        auto* range = reinterpret_cast<PBRANGE*>(lParam);
        range->iLow = m_nMin;
        range->iHigh = m_nMax;
      }
      return wParam ? m_nMin : m_nMax;
    }
    case PBM_GETPOS:
      return m_nPos;
    case PBM_SETBARCOLOR:
      return SetBarColor(static_cast<COLORREF>(lParam));
    case PBM_SETBKCOLOR:
      return SetBkColor(static_cast<COLORREF>(lParam));
    case PBM_SETCAPTIONCOLOR:
      return SetCaptionColor(static_cast<COLORREF>(lParam));
    case PBM_SHOWCAPTION:
      ShowCaption(wParam != 0);
      return 0;
    default:
      return 0;
  }
}

// Copies at most size - 1 characters and always terminates the buffer, so
// a caller that reads the result as a C string never runs past it.
LRESULT CPercentBar::OnGetText(WPARAM size, char* buffer) const {
  if (!buffer || size == 0) return 0;
  const QByteArray text = m_strCaption.toLatin1();
  const std::size_t count =
      std::min(static_cast<std::size_t>(size) - 1, static_cast<std::size_t>(text.size()));
  std::memcpy(buffer, text.constData(), count);
  buffer[count] = '\0';
  return static_cast<LRESULT>(count);
}

int CPercentBar::SetPos(int position) {
  const int previous = m_nPos;
  m_nPos = position;
  const int bar = BarExtent(m_nPos, m_nMin, m_nMax, ClientExtent());
  if (bar != m_nBarWidth) {
    const int drawn = m_nBarWidth;
    m_nBarWidth = bar;
    // Without a caption only the strip between the old and the new end of
    // the bar changes: painting just that keeps a long transfer from
    // pushing the whole bar to the screen once per block. Anything else
    // already marked for repainting is painted with it.
    if (drawn >= 0 && (!m_bShowCaption || IsVertical())) {
      repaint(ChangedStrip(drawn, bar));
    } else {
      repaint();
    }
  }
  return previous;
}

QRect CPercentBar::ChangedStrip(int from, int to) const {
  const QRect client = contentsRect();
  const int low = std::min(from, to);
  const int high = std::max(from, to);
  if (IsVertical())
    return QRect(client.left(), client.bottom() + 1 - high, client.width(), high - low) & client;
  return QRect(client.left() + low, client.top(), high - low, client.height()) & client;
}

int CPercentBar::OffsetPos(int increment) { return SetPos(WrappingAdd(m_nPos, increment)); }

int CPercentBar::SetStep(int step) {
  const int previous = m_nStep;
  m_nStep = step;
  return previous;
}

int CPercentBar::StepIt() { return SetPos(WrappingAdd(m_nPos, m_nStep)); }

void CPercentBar::SetRange(int minimum, int maximum) {
  m_nMin = minimum;
  m_nMax = maximum;
}

void CPercentBar::GetRange(int& minimum, int& maximum) const {
  minimum = m_nMin;
  maximum = m_nMax;
}

COLORREF CPercentBar::SetBarColor(COLORREF colour) {
  update();
  const COLORREF previous = m_crBar;
  m_crBar = colour;
  return previous;
}

COLORREF CPercentBar::SetBkColor(COLORREF colour) {
  update();
  const COLORREF previous = m_crBk;
  m_crBk = colour;
  return previous;
}

COLORREF CPercentBar::SetCaptionColor(COLORREF colour) {
  update();
  const COLORREF previous = m_crCaption;
  m_crCaption = colour;
  return previous;
}

void CPercentBar::ShowCaption(bool show) {
  if (show != m_bShowCaption) update();
  m_bShowCaption = show;
}

void CPercentBar::SetWindowText(const QString& text) {
  m_strWindowText = text;
  if (text != m_strCaption) {
    m_strCaption = text;
    update();
  }
}

void CPercentBar::resizeEvent(QResizeEvent* event) {
  QProgressBar::resizeEvent(event);
  m_nBarWidth = -1;
}

int CPercentBar::ClientExtent() const {
  const QRect client = contentsRect();
  return IsVertical() ? client.height() : client.width();
}

QColor CPercentBar::ResolvedBarColor() const {
  return m_crBar == CLR_DEFAULT ? palette().color(QPalette::Highlight) : ToQColor(m_crBar);
}

QColor CPercentBar::ResolvedBkColor() const {
  return m_crBk == CLR_DEFAULT ? palette().color(QPalette::Base) : ToQColor(m_crBk);
}

void CPercentBar::paintEvent(QPaintEvent* event) {
  QPainter screen(this);
  const QRect client = contentsRect();
  if (client != rect()) {
    screen.setPen(palette().color(QPalette::Shadow));
    screen.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  if (m_nMin >= m_nMax) return;

  const QColor bar = ResolvedBarColor();
  const QColor background = ResolvedBkColor();
  const double fraction = BarFraction(m_nPos, m_nMin, m_nMax);

  COffscreenDC dc(screen, *this, event->rect() & client);
  QPainter& painter = dc.Painter();
  painter.setFont(parentWidget() ? parentWidget()->font() : font());

  const BarSplit split =
      IsVertical() ? SplitVertical(client, TruncToInt(client.height() * fraction))
                   : SplitHorizontal(client, TruncToInt(client.width() * fraction));
  painter.fillRect(split.bar, bar);
  painter.fillRect(split.rest, background);

  if (m_bShowCaption && !IsVertical())
    DrawCaption(painter, client, split.bar, split.rest, bar, background, fraction);
}

void CPercentBar::DrawCaption(QPainter& painter, const QRect& client, const QRect& barPart,
                              const QRect& restPart, const QColor& bar,
                              const QColor& background, double fraction) {
  const QString caption = m_strCaption.isEmpty()
                              ? PercentCaption(TruncToInt(fraction * 100.0))
                              : m_strCaption;
  const int flags = Qt::AlignCenter | Qt::TextSingleLine;
  const bool custom = m_crCaption != CLR_DEFAULT;

  painter.save();
  painter.setClipRect(barPart);
  painter.setPen(custom ? ToQColor(m_crCaption) : background);
  painter.drawText(client, flags, caption);
  painter.setClipRect(restPart);
  painter.setPen(custom ? ToQColor(m_crCaption) : bar);
  painter.drawText(client, flags, caption);
  painter.restore();
}

}  // namespace kavlen

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
    default: {
      LRESULT result = 0;
      BarChange change = BarChange::Nothing;
      if (!AnswerBarMessage(m_state, message, wParam, lParam, result, change)) return 0;
      if (change == BarChange::Position) ShowPos();
      if (change == BarChange::Look) update();
      return result;
    }
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
  return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)));
}

// Repaints when the bar's length in pixels changed.
void CPercentBar::ShowPos() {
  const int bar = BarExtent(m_state.pos, m_state.min, m_state.max, ClientExtent());
  if (bar == m_nBarWidth) return;
  const int drawn = m_nBarWidth;
  m_nBarWidth = bar;
  // Without a caption only the strip between the old and the new end of
  // the bar changes: painting just that keeps a long transfer from
  // pushing the whole bar to the screen once per block. Anything else
  // already marked for repainting is painted with it.
  if (drawn >= 0 && (!m_state.showCaption || IsVertical())) {
    repaint(ChangedStrip(drawn, bar));
  } else {
    repaint();
  }
}

QRect CPercentBar::ChangedStrip(int from, int to) const {
  const QRect client = contentsRect();
  const int low = std::min(from, to);
  const int high = std::max(from, to);
  if (IsVertical())
    return QRect(client.left(), client.bottom() + 1 - high, client.width(), high - low) & client;
  return QRect(client.left() + low, client.top(), high - low, client.height()) & client;
}

int CPercentBar::OffsetPos(int increment) {
  return static_cast<int>(SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(increment)));
}

int CPercentBar::SetStep(int step) {
  return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step)));
}

int CPercentBar::StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }

void CPercentBar::SetRange(int minimum, int maximum) {
  SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
}

void CPercentBar::GetRange(int& minimum, int& maximum) const {
  minimum = m_state.min;
  maximum = m_state.max;
}

COLORREF CPercentBar::SetBarColor(COLORREF colour) {
  return static_cast<COLORREF>(SendMessage(PBM_SETBARCOLOR, 0, colour));
}

COLORREF CPercentBar::SetBkColor(COLORREF colour) {
  return static_cast<COLORREF>(SendMessage(PBM_SETBKCOLOR, 0, colour));
}

COLORREF CPercentBar::SetCaptionColor(COLORREF colour) {
  return static_cast<COLORREF>(SendMessage(PBM_SETCAPTIONCOLOR, 0, colour));
}

void CPercentBar::ShowCaption(bool show) { SendMessage(PBM_SHOWCAPTION, show ? 1 : 0); }

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
  return m_state.barColour == CLR_DEFAULT ? palette().color(QPalette::Highlight) : ToQColor(m_state.barColour);
}

QColor CPercentBar::ResolvedBkColor() const {
  return m_state.bkColour == CLR_DEFAULT ? palette().color(QPalette::Base) : ToQColor(m_state.bkColour);
}

void CPercentBar::paintEvent(QPaintEvent* event) {
  QPainter screen(this);
  const QRect client = contentsRect();
  if (client != rect()) {
    screen.setPen(palette().color(QPalette::Shadow));
    screen.drawRect(rect().adjusted(0, 0, -1, -1));
  }
  if (m_state.min >= m_state.max) return;

  const QColor bar = ResolvedBarColor();
  const QColor background = ResolvedBkColor();
  const double fraction = BarFraction(m_state.pos, m_state.min, m_state.max);

  COffscreenDC dc(screen, *this, event->rect() & client);
  QPainter& painter = dc.Painter();
  painter.setFont(parentWidget() ? parentWidget()->font() : font());

  const BarSplit split =
      IsVertical() ? SplitVertical(client, TruncToInt(client.height() * fraction))
                   : SplitHorizontal(client, TruncToInt(client.width() * fraction));
  painter.fillRect(split.bar, bar);
  painter.fillRect(split.rest, background);

  if (m_state.showCaption && !IsVertical())
    DrawCaption(painter, client, split.bar, split.rest, bar, background, fraction);
}

void CPercentBar::DrawCaption(QPainter& painter, const QRect& client, const QRect& barPart,
                              const QRect& restPart, const QColor& bar,
                              const QColor& background, double fraction) {
  const QString caption = m_strCaption.isEmpty()
                              ? PercentCaption(TruncToInt(fraction * 100.0))
                              : m_strCaption;
  const int flags = Qt::AlignCenter | Qt::TextSingleLine;
  const bool custom = m_state.captionColour != CLR_DEFAULT;

  painter.save();
  painter.setClipRect(barPart);
  painter.setPen(custom ? ToQColor(m_state.captionColour) : background);
  painter.drawText(client, flags, caption);
  painter.setClipRect(restPart);
  painter.setPen(custom ? ToQColor(m_state.captionColour) : bar);
  painter.drawText(client, flags, caption);
  painter.restore();
}

}  // namespace kavlen

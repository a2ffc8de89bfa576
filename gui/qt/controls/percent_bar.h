#pragma once
// The transfer progress bar: a solid bar in its own colour on its own
// background with an optional caption centred over it, the percentage or a
// text of the caller's choosing. Where the bar passes under the caption the
// caption swaps to the inverse colours, so it stays readable on both parts.
//
// The bar keeps its own range and position instead of QProgressBar's: the
// position is never clamped, and a position change repaints only when the
// bar grows or shrinks by at least one pixel.

#include <QProgressBar>
#include <QRect>
#include <QString>

#include "gui/bar_math.h"
#include "gui/qt/controls/colorref.h"
#include "gui/controls/control_messages.h"

namespace kavlen {

class CPercentBar : public QProgressBar {
 public:
  // `style` takes PBS_VERTICAL and PBS_SMOOTH; `bordered` draws a one-pixel
  // frame around the client area.
  explicit CPercentBar(QWidget* parent = nullptr, unsigned style = 0, bool bordered = false);
  ~CPercentBar() override;

  // The message entry: the codes, argument packing and results of the
  // progress messages (control_messages.h). Unknown codes return 0.
  LRESULT SendMessage(unsigned message, WPARAM wParam = 0, LPARAM lParam = 0);

  // Returns the previous position.
  int SetPos(int position);
  int GetPos() const { return m_state.pos; }
  int OffsetPos(int increment);
  int SetStep(int step);  // returns the previous step
  int StepIt();           // position + step, no wrap at the maximum
  void SetRange(int minimum, int maximum);  // no repaint
  void GetRange(int& minimum, int& maximum) const;

  // Each returns the previous colour. CLR_DEFAULT selects the system
  // highlight colour (bar), the window colour (background) or the contrast
  // colours (caption).
  COLORREF SetBarColor(COLORREF colour);
  COLORREF SetBkColor(COLORREF colour);
  COLORREF SetCaptionColor(COLORREF colour);
  void ShowCaption(bool show);

  // The window text; a non-empty text is shown instead of the percentage.
  void SetWindowText(const QString& text);
  QString GetWindowText() const { return m_strWindowText; }
  QString CaptionText() const { return m_strCaption; }

  bool IsVertical() const { return (m_nStyle & PBS_VERTICAL) != 0; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  LRESULT OnGetText(WPARAM size, char* buffer) const;
  void DrawCaption(QPainter& painter, const QRect& client, const QRect& barPart,
                   const QRect& restPart, const QColor& bar, const QColor& background,
                   double fraction);
  QColor ResolvedBarColor() const;
  QColor ResolvedBkColor() const;
  int ClientExtent() const;
  void ShowPos();
  // The client pixels between two bar lengths.
  QRect ChangedStrip(int from, int to) const;

  // Position, step, range, colours and the caption switch.
  BarState m_state;
  QString m_strCaption;
  int m_nBarWidth = -1;

  QString m_strWindowText;
  unsigned m_nStyle;
};

}  // namespace kavlen

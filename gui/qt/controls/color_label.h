#pragma once
// A static text whose text colour the program changes at run time. The
// background is the button-face colour read once at construction; the text
// is black until SetTextColor picks another colour.

#include <QBrush>
#include <QLabel>

#include "gui/qt/controls/colorref.h"

namespace kavlen {

class CColorLabel : public QLabel {
 public:
  explicit CColorLabel(QWidget* parent = nullptr);
  ~CColorLabel() override;

  // Stores the colour and repaints before returning, also when the colour
  // is the one already set, so a caller that keeps the thread busy
  // afterwards still shows the new state.
  void SetTextColor(COLORREF colour);

  COLORREF TextColor() const { return m_crText; }
  COLORREF BkColor() const { return m_crBackground; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QBrush m_brBackground;
  COLORREF m_crBackground;
  COLORREF m_crText;
};

}  // namespace kavlen

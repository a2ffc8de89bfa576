#pragma once
// A static text that works as a link: underlined, coloured by whether the
// pointer is over it and whether it has been followed, a pointing-hand
// cursor, an optional tooltip, and a click that hands the target to the
// desktop's URL handler.

#include <QLabel>
#include <QString>

#include "gui/qt/controls/colorref.h"

namespace kavlen {

class UiServices;

class CLinkLabel : public QLabel {
 public:
  // The one tool of the link's tooltip.
  static constexpr int kToolId = 1001;

  // `services` opens the target on a click; it may be null, in which case
  // a click only marks the link visited. It must outlive the label.
  explicit CLinkLabel(UiServices* services, QWidget* parent = nullptr);
  ~CLinkLabel() override;

  void SetTarget(const QString& target) { m_strTarget = target; }
  void EnableTip(bool enable) { m_bTipEnabled = enable; }
  // Does nothing unless the tip has been enabled.
  void SetTipText(const QString& text);
  void SetTipBkColor(COLORREF colour);
  void SetTipTextColor(COLORREF colour);
  // Colour changes show at the next repaint.
  void SetLinkColor(COLORREF colour) { m_crLink = colour; }
  void SetHoverColor(COLORREF colour) { m_crHover = colour; }
  void SetVisitedColor(COLORREF colour) { m_crVisited = colour; }

  QString Target() const { return m_strTarget; }
  QString TipText() const;
  QColor TipBkColor() const;
  QColor TipTextColor() const;
  bool IsTipShown() const;
  bool IsPointerOver() const { return m_bOver; }
  bool IsVisited() const { return m_bVisited; }
  // The colour the text is drawn in now.
  COLORREF CurrentTextColor() const;

  // What a click does: open the target, then show the link visited.
  void Click();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void SetPointerOver(bool over);

  UiServices* m_pServices;
  bool m_bTipEnabled = false;
  bool m_bOver = false;
  bool m_bVisited = false;
  QLabel* m_pTip;  // child pop-up, deleted with the label
  QString m_strTarget;
  COLORREF m_crHover = RGB(255, 0, 0);
  COLORREF m_crLink = RGB(0, 0, 255);
  COLORREF m_crVisited = RGB(5, 34, 143);
};

}  // namespace kavlen

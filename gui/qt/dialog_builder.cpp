#include "gui/qt/dialog_builder.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionComboBox>

#include <algorithm>

#include "gui/qt/controls/color_label.h"
#include "gui/qt/controls/link_label.h"
#include "gui/qt/controls/percent_bar.h"
#include "gui/resource_ids.h"
#include "gui/qt/ui_services.h"
#include "gui/window_styles.h"

namespace kavlen {

namespace {

Qt::Alignment StaticAlignment(unsigned style) {
  switch (style & SS_ALIGN_MASK) {
    case SS_CENTER:
      return Qt::AlignHCenter | Qt::AlignTop;
    case SS_RIGHT:
      return Qt::AlignRight | Qt::AlignTop;
    default:
      return Qt::AlignLeft | Qt::AlignTop;
  }
}

// Static texts wrap at word boundaries, as a plain static control does.
void SetUpLabel(QLabel& label, const ControlTemplate& c) {
  label.setText(QString::fromLatin1(c.caption));
  label.setAlignment(StaticAlignment(c.style));
  label.setWordWrap(true);
  if (c.exStyle & (WS_EX_STATICEDGE | WS_EX_CLIENTEDGE)) {
    label.setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label.setLineWidth((c.exStyle & WS_EX_CLIENTEDGE) ? 2 : 1);
  }
}

// A multi-line edit without the want-return style hands Enter to the
// dialog's default button, as a dialog's edit does, instead of breaking
// the line.
class EnterToDefaultButton : public QObject {
 public:
  explicit EnterToDefaultButton(QWidget& edit) : QObject(&edit) { edit.installEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    const QWidget* window = static_cast<QWidget*>(watched)->window();
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
      if (button->isDefault() && button->isEnabled()) {
        button->click();
        break;
      }
    }
    return true;
  }
};

QWidget* MakeEdit(const ControlTemplate& c, QWidget* parent) {
  if (!(c.style & ES_MULTILINE)) {
    auto* edit = new QLineEdit(QString::fromLatin1(c.caption), parent);
    return edit;
  }
  auto* edit = new QPlainTextEdit(QString::fromLatin1(c.caption), parent);
  if (c.style & ES_AUTOHSCROLL) edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  edit->setHorizontalScrollBarPolicy((c.style & WS_HSCROLL) ? Qt::ScrollBarAlwaysOn
                                                            : Qt::ScrollBarAlwaysOff);
  edit->setVerticalScrollBarPolicy((c.style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn
                                                          : Qt::ScrollBarAlwaysOff);
  edit->setTabChangesFocus(true);
  if (!(c.style & ES_WANTRETURN)) new EnterToDefaultButton(*edit);
  return edit;
}

QWidget* MakeCombo(const ControlTemplate& c, QWidget* parent) {
  auto* combo = new QComboBox(parent);
  combo->setEditable((c.style & CBS_DROPDOWN) != 0);
  for (const char* item : c.items) combo->addItem(QString::fromLatin1(item));
  if (c.style & CBS_SORT) {
    combo->model()->sort(0);
    combo->setInsertPolicy(QComboBox::InsertAlphabetically);
  }
  combo->setCurrentIndex(-1);
  return combo;
}

QWidget* MakeControl(const ControlTemplate& c, QWidget* parent, UiServices* services) {
  const QString caption = QString::fromLatin1(c.caption);
  switch (c.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
      auto* button = new QPushButton(caption, parent);
      button->setAutoDefault(false);
      button->setDefault(c.kind == ControlKind::DefPushButton);
      return button;
    }
    case ControlKind::AutoRadioButton:
      return new QRadioButton(caption, parent);
    case ControlKind::AutoCheckBox:
      return new QCheckBox(caption, parent);
    case ControlKind::GroupBox: {
      auto* frame = new QGroupBox(caption, parent);
      // Frames lie under the controls they surround and take no clicks.
      frame->setAttribute(Qt::WA_TransparentForMouseEvents);
      frame->setFocusPolicy(Qt::NoFocus);
      return frame;
    }
    case ControlKind::Static: {
      auto* label = new QLabel(parent);
      SetUpLabel(*label, c);
      return label;
    }
    case ControlKind::ColorLabel: {
      auto* label = new CColorLabel(parent);
      SetUpLabel(*label, c);
      return label;
    }
    case ControlKind::LinkLabel: {
      auto* label = new CLinkLabel(services, parent);
      SetUpLabel(*label, c);
      return label;
    }
    case ControlKind::Edit:
      return MakeEdit(c, parent);
    case ControlKind::ComboBox:
      return MakeCombo(c, parent);
    case ControlKind::PercentBar: {
      // The template's caption is not shown: the bar shows its percentage
      // until a caption is set on purpose.
      return new CPercentBar(parent, c.style & 0xFFu, (c.style & WS_BORDER) != 0);
    }
  }
  return nullptr;
}

// A drop-down combo box's template height includes its list; the box
// itself is as tall as its font needs.
QRect ControlGeometry(const ControlTemplate& c, QWidget& widget, DialogBaseUnits base) {
  QRect pixels = DialogUnitsToPixels(QRect(c.x, c.y, c.cx, c.cy), base);
  if (c.kind == ControlKind::ComboBox)
    pixels.setHeight(std::min(pixels.height(), widget.sizeHint().height()));
  return pixels;
}

// The edit field of an editable combo box: the box less its frame and
// arrow, less the margin the line edit keeps on either side of its text.
// The line edit is placed only when the box is first shown, so the room is
// taken from the style.
int ComboTextRoom(QComboBox& combo) {
  if (!combo.isEditable()) return 0;
  constexpr int kLineEditMargin = 2;
  QStyleOptionComboBox option;
  option.initFrom(&combo);
  option.editable = true;
  option.frame = combo.hasFrame();
  option.subControls = QStyle::SC_All;
  const QRect field =
      combo.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, &combo);
  return field.width() - 2 * kLineEditMargin;
}

// Room for a caption on one line; 0 when the caption may wrap or is not
// meant to show (a check box narrower than its own box).
int CaptionRoom(const ControlTemplate& c, QWidget& widget) {
  const QFontMetrics metrics(widget.font());
  switch (c.kind) {
    case ControlKind::Static:
    case ControlKind::ColorLabel:
    case ControlKind::LinkLabel:
      if (widget.height() >= 2 * metrics.height()) return 0;
      return widget.contentsRect().width();
    case ControlKind::AutoRadioButton:
    case ControlKind::AutoCheckBox: {
      const int box = widget.style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, &widget);
      const int gap = widget.style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, &widget);
      return widget.width() > box ? widget.width() - box - gap : 0;
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
      return widget.width() - 2 * widget.style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, &widget);
    case ControlKind::ComboBox:
      return ComboTextRoom(static_cast<QComboBox&>(widget));
    default:
      return 0;
  }
}

// What a control shows on one line: its caption, or a combo box's widest entry.
QString OneLineText(const ControlTemplate& c, QWidget& widget) {
  if (c.kind != ControlKind::ComboBox) {
    QString text = QString::fromLatin1(c.caption);
    text.remove(QLatin1Char('&'));
    return text;
  }
  const auto& combo = static_cast<QComboBox&>(widget);
  const QFontMetricsF metrics(combo.font());
  QString widest;
  for (int i = 0; i < combo.count(); ++i) {
    const QString item = combo.itemText(i);
    if (metrics.horizontalAdvance(item) > metrics.horizontalAdvance(widest)) widest = item;
  }
  return widest;
}

// A substitute face may be wider than the one the template was drawn for;
// a caption or entry that would be cut off gets a smaller size of the same
// face.
void FitCaption(const ControlTemplate& c, QWidget& widget) {
  const int room = CaptionRoom(c, widget);
  const QString text = OneLineText(c, widget);
  if (room <= 0 || text.isEmpty()) return;
  widget.setFont(FitFontToWidth(widget.font(), text, room));
}

void SetWindowFrame(QDialog& dialog, unsigned style) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
  if (style & WS_CAPTION) flags |= Qt::WindowTitleHint;
  if (style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  dialog.setWindowFlags(flags);
}

}  // namespace

void DialogControls::Add(int id, QWidget* widget) {
  m_inOrder.push_back(widget);
  if (id != IDC_STATIC) m_byId[id] = widget;
}

QWidget* DialogControls::Item(int id) const {
  const auto found = m_byId.find(id);
  return found == m_byId.end() ? nullptr : found->second;
}

QString DialogControls::GetDlgItemText(int id) const {
  QWidget* item = Item(id);
  if (auto* bar = dynamic_cast<CPercentBar*>(item)) return bar->GetWindowText();
  if (auto* label = dynamic_cast<QLabel*>(item)) return label->text();
  if (auto* button = dynamic_cast<QAbstractButton*>(item)) return button->text();
  if (auto* line = dynamic_cast<QLineEdit*>(item)) return line->text();
  if (auto* edit = dynamic_cast<QPlainTextEdit*>(item)) return edit->toPlainText();
  if (auto* combo = dynamic_cast<QComboBox*>(item)) return combo->currentText();
  if (auto* frame = dynamic_cast<QGroupBox*>(item)) return frame->title();
  return {};
}

void DialogControls::SetDlgItemText(int id, const QString& text) {
  QWidget* item = Item(id);
  if (auto* bar = dynamic_cast<CPercentBar*>(item)) return bar->SetWindowText(text);
  if (auto* label = dynamic_cast<QLabel*>(item)) return SetLabelText(*label, text);
  if (auto* button = dynamic_cast<QAbstractButton*>(item)) return button->setText(text);
  if (auto* line = dynamic_cast<QLineEdit*>(item)) return line->setText(text);
  if (auto* edit = dynamic_cast<QPlainTextEdit*>(item)) return edit->setPlainText(text);
  if (auto* combo = dynamic_cast<QComboBox*>(item)) return combo->setEditText(text);
  if (auto* frame = dynamic_cast<QGroupBox*>(item)) return frame->setTitle(text);
}

// A one-line label fits each new text as the template's captions are fitted:
// from the dialog's font, smaller only when the text would be cut off.
void DialogControls::SetLabelText(QLabel& label, const QString& text) {
  QWidget* dialog = label.parentWidget();
  if (dialog != nullptr && label.height() < 2 * QFontMetrics(dialog->font()).height()) {
    const QFont fitted = FitFontToWidth(dialog->font(), text, label.contentsRect().width());
    if (fitted != label.font()) label.setFont(fitted);
  }
  label.setText(text);
}

void DialogControls::CheckRadioButton(int first, int last, int check) {
  // An exclusive group refuses to clear its checked button, so the groups
  // step aside while the buttons are set.
  for (QButtonGroup* group : m_radioGroups) group->setExclusive(false);
  for (int id = first; id <= last; ++id)
    if (auto* radio = ItemAs<QRadioButton>(id)) radio->setChecked(id == check);
  for (QButtonGroup* group : m_radioGroups) group->setExclusive(true);
}

int DialogControls::GetCheckedRadioButton(int first, int last) const {
  for (int id = first; id <= last; ++id)
    if (auto* radio = ItemAs<QRadioButton>(id); radio && radio->isChecked()) return id;
  return 0;
}

bool DialogControls::IsDlgButtonChecked(int id) const {
  auto* button = ItemAs<QAbstractButton>(id);
  return button && button->isChecked();
}

void DialogControls::CheckDlgButton(int id, bool checked) {
  if (auto* button = ItemAs<QAbstractButton>(id)) button->setChecked(checked);
}

DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& tpl, UiServices* services) {
  DialogControls controls;
  dialog.setWindowTitle(QString::fromLatin1(tpl.title));
  SetWindowFrame(dialog, tpl.style);
  dialog.setFont(DialogFont(tpl.fontName, tpl.pointSize));
  controls.m_base = BaseUnitsFor(dialog.font());
  dialog.setFixedSize(DialogUnitsToPixels(QRect(0, 0, tpl.cx, tpl.cy), controls.m_base).size());

  QButtonGroup* radioGroup = nullptr;
  std::vector<QWidget*> frames;
  for (const ControlTemplate& c : tpl.controls) {
    QWidget* widget = MakeControl(c, &dialog, services);
    if (!widget) continue;
    widget->setGeometry(ControlGeometry(c, *widget, controls.m_base));
    widget->setEnabled(!(c.style & WS_DISABLED));
    FitCaption(c, *widget);
    if (c.kind == ControlKind::GroupBox) frames.push_back(widget);

    if (c.kind != ControlKind::AutoRadioButton) {
      radioGroup = nullptr;
    } else {
      if (!radioGroup || (c.style & WS_GROUP)) {
        radioGroup = new QButtonGroup(&dialog);
        controls.m_radioGroups.push_back(radioGroup);
      }
      radioGroup->addButton(static_cast<QRadioButton*>(widget));
    }

    if (c.id == IDOK)
      if (auto* button = dynamic_cast<QPushButton*>(widget))
        QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::accept);
    if (c.id == IDCANCEL)
      if (auto* button = dynamic_cast<QPushButton*>(widget))
        QObject::connect(button, &QPushButton::clicked, &dialog, &QDialog::reject);
    controls.Add(c.id, widget);
  }
  for (QWidget* frame : frames) frame->lower();
  return controls;
}

}  // namespace kavlen

#pragma once
// Creates the widgets of a dialog template on a QDialog, positioned in
// pixels converted from dialog units of the template's font, and keeps a
// lookup of the created controls by id.

#include <QString>

#include <map>
#include <vector>

#include "gui/dialog_template.h"
#include "gui/qt/dialog_units.h"

class QButtonGroup;
class QDialog;
class QLabel;
class QWidget;

namespace kavlen {

class UiServices;

class DialogControls {
 public:
  // The control with this id, or null; controls without an id (IDC_STATIC)
  // are reachable only through InTabOrder().
  QWidget* Item(int id) const;

  template <class T>
  T* ItemAs(int id) const {
    return dynamic_cast<T*>(Item(id));
  }

  const std::vector<QWidget*>& InTabOrder() const { return m_inOrder; }
  DialogBaseUnits BaseUnits() const { return m_base; }

  // The text of buttons, labels, edits, combo boxes and the progress bar's
  // window text. Unknown ids read as empty and are not written.
  QString GetDlgItemText(int id) const;
  void SetDlgItemText(int id, const QString& text);
  static void SetLabelText(QLabel& label, const QString& text);

  // Checks `check` and clears every other radio button first..last; a
  // `check` outside first..last clears them all.
  void CheckRadioButton(int first, int last, int check);
  // The checked radio button's id among first..last, or 0 when none is.
  int GetCheckedRadioButton(int first, int last) const;

  bool IsDlgButtonChecked(int id) const;
  void CheckDlgButton(int id, bool checked);

 private:
  friend DialogControls BuildDialog(QDialog&, const DialogTemplate&, UiServices*);
  void Add(int id, QWidget* widget);

  std::map<int, QWidget*> m_byId;
  std::vector<QWidget*> m_inOrder;
  std::vector<QButtonGroup*> m_radioGroups;
  DialogBaseUnits m_base{0, 0};
};

// Sets the dialog's title, font, frame and fixed size and creates its
// controls in tab order. Buttons IDOK and IDCANCEL accept and reject the
// dialog. `services` reaches link labels (may be null). The returned
// pointers live as long as the dialog.
DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& tpl, UiServices* services);

}  // namespace kavlen

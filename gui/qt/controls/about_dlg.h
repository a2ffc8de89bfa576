#pragma once
// The About box: version, maker, and two links, one to the maker's web
// site and one to the maker's e-mail address. Each opening creates both
// links afresh, so they always start unvisited.

#include <QDialog>

#include "gui/qt/dialog_builder.h"

namespace kavlen {

class CLinkLabel;
class UiServices;

class CAboutDlg : public QDialog {
 public:
  // `services` opens the links' targets and must outlive the dialog.
  explicit CAboutDlg(UiServices& services, QWidget* owner = nullptr);
  ~CAboutDlg() override;

  CLinkLabel& WebLink() const { return *m_pWebLink; }
  CLinkLabel& MailLink() const { return *m_pMailLink; }
  const DialogControls& Controls() const { return m_controls; }

 private:
  void OnInitDialog();

  DialogControls m_controls;
  CLinkLabel* m_pWebLink;
  CLinkLabel* m_pMailLink;
};

// What the main window's About button does: a fresh About box owned by
// `owner`, run modally, its result discarded.
void OnAbout(QWidget* owner, UiServices& services);

}  // namespace kavlen

#pragma once
// Every message box, file chooser and shell "open" of kavlen goes through
// this one interface, so that tests record them instead of blocking on a
// modal window. QtUiServices is the real one.

#include <QString>
#include <QStringList>

#include "gui/message_box_codes.h"

class QWidget;

namespace kavlen {

class UiServices {
 public:
  virtual ~UiServices() = default;

  // Modal message box owned by `owner`; returns the button pressed (IDOK...).
  virtual int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                         unsigned type) = 0;

  // File-open chooser; returns the chosen path or an empty string on cancel.
  // `filter` uses the Windows form: name|patterns|name|patterns||.
  virtual QString GetOpenFileName(QWidget* owner, const QString& caption,
                                  const QString& directory, const QString& filter) = 0;

  // Hands a target to the desktop to open, as the shell's "open" does: a
  // web address, a bare host name or a "mailto:" address. Returns false
  // when nothing could open it.
  virtual bool OpenUrl(const QString& target) = 0;
};

// The chooser's name filters for a Windows-form filter: each name keeps its
// text, followed by its patterns in brackets (the chooser hides them), and
// "*.*" becomes "*" where file names need no dot.
QStringList QtNameFilters(const QString& windowsFilter);

class QtUiServices : public UiServices {
 public:
  int MessageBox(QWidget* owner, const QString& text, const QString& caption,
                 unsigned type) override;
  QString GetOpenFileName(QWidget* owner, const QString& caption, const QString& directory,
                          const QString& filter) override;
  bool OpenUrl(const QString& target) override;
};

}  // namespace kavlen

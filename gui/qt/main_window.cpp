#include "gui/qt/main_window.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QIcon>
#include <QMetaObject>
#include <QPainter>
#include <QPixmap>

#include <utility>

#include "gui/qt/controls/about_dlg.h"
#include "gui/dialog_template.h"
#include "gui/qt/reset_dialog.h"
#include "gui/resource_ids.h"

namespace kavlen {

namespace {

// A chip on a board, in 16 colours, at the two sizes of the window icon.
QPixmap DrawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  const int unit = size / 8;
  painter.fillRect(0, size - 2 * unit, size, 2 * unit, QColor(0, 128, 0));
  painter.fillRect(unit, unit, size - 2 * unit, size - 4 * unit, QColor(0, 0, 128));
  painter.setPen(QColor(192, 192, 192));
  for (int x = 2 * unit; x < size - unit; x += 2 * unit) {
    painter.drawLine(x, size - 3 * unit, x, size - 2 * unit);
  }
  painter.fillRect(2 * unit, 2 * unit, unit, unit, QColor(255, 255, 0));
  return pixmap;
}

QIcon ProgramIcon() {
  QIcon icon;
  icon.addPixmap(DrawIcon(32));
  icon.addPixmap(DrawIcon(16));
  return icon;
}

}  // namespace

QtMainWindow::QtMainWindow(MainDlgServices services, UiServices& ui, QWidget* parent)
    : QDialog(parent),
      m_ui(ui),
      m_controls(BuildDialog(*this, MainDialogTemplate(), &ui)),
      m_host(*this, m_controls, &ui),
      m_logic(m_host, WithQtDialogs(std::move(services))) {
  setWindowIcon(ProgramIcon());
  m_host.onTimer = [this](int id) { m_logic.OnTimer(id); };
  // The host ends the dialog; the logic's destruction steps follow once
  // the handler that ended it has returned, as WM_DESTROY does.
  connect(this, &QDialog::finished, this, [this] { m_logic.OnDestroy(); }, Qt::QueuedConnection);
  ConnectControls();
  m_logic.OnInitDialog();
}

QtMainWindow::~QtMainWindow() { m_logic.OnDestroy(); }

MainDlgServices QtMainWindow::WithQtDialogs(MainDlgServices services) {
  if (!services.showAboutDialog) services.showAboutDialog = [this] { OnAbout(this, m_ui); };
  if (!services.showResetDialog) {
    services.showResetDialog = [this] {
      QtResetDialog dialog([this](const std::string& text) { m_logic.DebugOutput(text); }, this);
      dialog.exec();
    };
  }
  return services;
}

void QtMainWindow::ConnectControls() {
  for (const ControlTemplate& c : MainDialogTemplate().controls) {
    // IDOK and IDCANCEL reach accept() and reject() through the builder.
    if (c.id == IDOK || c.id == IDCANCEL || c.id == IDC_STATIC) continue;
    if (auto* button = m_controls.ItemAs<QAbstractButton>(c.id)) {
      const int id = c.id;
      connect(button, &QAbstractButton::clicked, this, [this, id] { m_logic.OnCommand(id); });
    }
  }
  // Only a choice from the list counts; typing in the edit field does not.
  if (auto* combo = m_controls.ItemAs<QComboBox>(IDC_DUMP_ADDRESS)) {
    connect(combo, &QComboBox::activated, this, [this] { m_logic.OnCommand(IDC_DUMP_ADDRESS); });
  }
}

void QtMainWindow::accept() { m_logic.OnCommand(IDOK); }

void QtMainWindow::reject() { m_logic.OnCommand(IDCANCEL); }

void QtMainWindow::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  // Queued, so that the first-paint check and its message boxes run once
  // this paint has finished drawing the window.
  QMetaObject::invokeMethod(this, [this] { m_logic.OnPaint(); }, Qt::QueuedConnection);
}

}  // namespace kavlen

// Shows kavlen's dialogs and controls without a device, to look at them:
//   kavlen-gallery             the main window's layout; its About button works
//   kavlen-gallery --grab DIR  writes main.png, about.png and reset.png to DIR

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPushButton>

#include <cstdio>

#include "gui/qt/controls/about_dlg.h"
#include "gui/qt/controls/color_label.h"
#include "gui/qt/controls/percent_bar.h"
#include "gui/qt/dialog_builder.h"
#include "gui/resource_ids.h"
#include "gui/qt/ui_services.h"

namespace {

using namespace kavlen;

// Sample contents, as the main window shows them in the middle of a run.
void FillMainSample(DialogControls& controls) {
  const struct {
    int id;
    COLORREF colour;
    const char* text;
  } labels[] = {
      {IDC_STATUS, RGB(0, 0, 255), "System Ready..."},
      {IDC_DEVICE_OS, RGB(0, 127, 0), "Kavlen II 1.2"},
      {IDC_DEVICE_INFO, RGB(96, 96, 96), "CHK: 0X1234 ,  4 MBytes"},
      {IDC_LENGTH, RGB(0, 255, 0), "524288"},
      {IDC_CHECKSUM, RGB(127, 0, 0), "0x03F2A811"},
      {IDC_ADDRESS, RGB(0, 0, 127), "0x000000"},
      {IDC_ORGINAL, RGB(0, 127, 0), "0x00"},
      {IDC_TARGET, RGB(255, 100, 100), "0x00"},
  };
  for (const auto& l : labels) {
    auto* label = controls.ItemAs<CColorLabel>(l.id);
    label->setText(QString::fromLatin1(l.text));
    label->SetTextColor(l.colour);
  }
  controls.SetDlgItemText(IDC_IMAGE_PATH, QStringLiteral("DownLoad Firmware Path"));
  controls.CheckRadioButton(IDC_ROM_64K, IDC_ROM_4096K, IDC_ROM_512K);
  controls.CheckDlgButton(IDC_VERIFY, true);
  controls.SetDlgItemText(IDC_DUMP_ADDRESS, QStringLiteral("0x04C000"));
  auto* bar = controls.ItemAs<CPercentBar>(IDC_PROGRESS);
  bar->SetBarColor(RGB(0, 0, 255));
  bar->SetBkColor(RGB(255, 255, 255));
  bar->SetRange(0, 32);
  bar->SetPos(15);
}

bool Grab(QWidget& widget, const QDir& dir, const char* name) {
  widget.show();
  QApplication::processEvents();
  const QString path = dir.filePath(QString::fromLatin1(name));
  const bool saved = widget.grab().save(path);
  std::printf("%s %s\n", saved ? "wrote" : "could not write", qPrintable(path));
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QtUiServices services;

  QDialog mainDialog;
  DialogControls controls = BuildDialog(mainDialog, MainDialogTemplate(), &services);
  FillMainSample(controls);
  QObject::connect(controls.ItemAs<QPushButton>(IDC_ABOUT), &QPushButton::clicked, &mainDialog,
                   [&] { OnAbout(&mainDialog, services); });

  const QStringList args = QApplication::arguments();
  const qsizetype grabAt = args.indexOf(QStringLiteral("--grab"));
  if (grabAt < 0) {
    mainDialog.exec();
    return 0;
  }
  if (grabAt + 1 >= args.size()) {
    std::fprintf(stderr, "usage: kavlen-gallery [--grab DIR]\n");
    return 2;
  }

  const QDir dir(args.at(grabAt + 1));
  CAboutDlg about(services, &mainDialog);
  QDialog reset(&mainDialog);
  BuildDialog(reset, ResetDialogTemplate(), nullptr);
  bool ok = Grab(mainDialog, dir, "main.png");
  ok = Grab(about, dir, "about.png") && ok;
  ok = Grab(reset, dir, "reset.png") && ok;
  return ok ? 0 : 1;
}

// kavlen.exe: the desktop program on Windows, one modal dialog.

#include <windows.h>
#include <commctrl.h>

#include "gui/win32/main_window.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  kavlen::win32::CMainWindow window;
  window.Run();
  return 0;
}

// kavlen-gui-driver KAVLEN.EXE: starts kavlen.exe, finds its window and
// checks it from outside as a user would see it: texts read with
// WM_GETTEXT, buttons clicked by id, pixels read back from the screen.
// Prints one line per failed check; exits 0 only when all passed.

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "gui/win32/color_label.h"
#include "gui/win32/dialog_calls.h"
#include "gui/win32/percent_bar.h"
#include "gui/win32/reflect.h"

namespace {

int g_failures = 0;

void Check(bool ok, const std::string& what) {
  if (ok) return;
  ++g_failures;
  std::printf("FAIL: %s\n", what.c_str());
}

std::string Text(HWND window, WPARAM size = 512) {
  std::vector<char> buffer(size + 1, '\x7f');
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(window, WM_GETTEXT, size, reinterpret_cast<LPARAM>(buffer.data()),
                           SMTO_ABORTIFHUNG, 5000, &length))
    return "<no answer>";
  return std::string(buffer.data(), strnlen(buffer.data(), size + 1));
}

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutA(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result);
  return static_cast<LRESULT>(result);
}

// A top-level window of process `pid` with this caption, waited for.
HWND WaitForWindow(DWORD pid, const char* caption, HANDLE process) {
  for (int tries = 0; tries < 600; ++tries) {
    for (HWND window = FindWindowExA(nullptr, nullptr, "#32770", caption); window;
         window = FindWindowExA(nullptr, window, "#32770", caption)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == pid && IsWindowVisible(window)) return window;
    }
    if (WaitForSingleObject(process, 100) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

COLORREF Pixel(HWND window, int x, int y) {
  POINT where{x, y};
  ClientToScreen(window, &where);
  HDC screen = GetDC(nullptr);
  const COLORREF colour = GetPixel(screen, where.x, where.y);
  ReleaseDC(nullptr, screen);
  return colour;
}

// Pixels of `colour` in the client rectangle part [left, right) x [top, bottom).
int CountColour(HWND window, COLORREF colour, int left, int top, int right, int bottom) {
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  HDC screen = GetDC(nullptr);
  int count = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x)
      if (GetPixel(screen, origin.x + x, origin.y + y) == colour) ++count;
  ReleaseDC(nullptr, screen);
  return count;
}

int CountColour(HWND window, COLORREF colour) {
  RECT client;
  GetClientRect(window, &client);
  return CountColour(window, colour, 0, 0, client.right, client.bottom);
}

std::string Hex(COLORREF colour) {
  char text[16];
  std::snprintf(text, sizeof text, "%06lX", static_cast<unsigned long>(colour));
  return text;
}

void Settle() { Sleep(300); }

// With KAVLEN_SHOTS set to a folder, the window as on screen goes to
// FOLDER/NAME.bmp (24 bits, for scripts/screenshots.sh).
void Shot(HWND window, const char* name) {
  char folder[MAX_PATH];
  if (!GetEnvironmentVariableA("KAVLEN_SHOTS", folder, sizeof folder)) return;
  RECT box;
  GetWindowRect(window, &box);
  const int width = box.right - box.left, height = box.bottom - box.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  const DWORD row = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<char> pixels(row * height);
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  const std::string path = std::string(folder) + "/" + name + ".bmp";
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info, sizeof info, 1, out);
    std::fwrite(pixels.data(), 1, pixels.size(), out);
    std::fclose(out);
  }
}

void CheckStartTexts(HWND main) {
  const struct {
    int id;
    const char* text;
  } rows[] = {
      {1014, "System Ready..."}, {1026, "0"},    {1027, "0x00000000"}, {1041, "0x000000"},
      {1042, "0x00"},            {1043, "0x00"}, {1001, "&Download"},  {1033, "Device OS:"},
      {1045, "0x000000"},        {1005, ""},
  };
  for (const auto& row : rows) {
    const std::string text = Text(GetDlgItem(main, row.id));
    Check(text == row.text, "control " + std::to_string(row.id) + " reads \"" + text +
                                "\", expected \"" + row.text + "\"");
  }
  Check(Send(GetDlgItem(main, 1045), CB_GETCOUNT) == 20, "the dump-address box holds 20 entries");
  for (int id = 1017; id <= 1023; ++id)
    Check(Send(GetDlgItem(main, id), BM_GETCHECK) == BST_UNCHECKED,
          "radio " + std::to_string(id) + " is clear at start");
  Check(!IsWindowEnabled(GetDlgItem(main, 1004)) && IsWindowEnabled(GetDlgItem(main, 1001)),
        "UpdateOS starts disabled and Download enabled");
}

void CheckStatusColours(HWND main) {
  HWND status = GetDlgItem(main, 1014);
  Check(CountColour(status, RGB(0, 0, 255)) > 10, "the status text is drawn in blue");
  Check(Pixel(status, 1, 1) == GetSysColor(COLOR_BTNFACE),
        "the status line's background is the button face, got " + Hex(Pixel(status, 1, 1)));
}

void CheckProgressBar(HWND main) {
  HWND bar = GetDlgItem(main, 1005);
  RECT client;
  GetClientRect(bar, &client);
  const int width = client.right;
  const COLORREF blue = RGB(0, 0, 255), white = RGB(255, 255, 255);

  Send(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 4));
  Check(Send(bar, PBM_SETPOS, 1) == 0, "PBM_SETPOS returns the previous position");
  Settle();
  const int end = width / 4;  // 1 of 0..4
  Check(Pixel(bar, 0, 1) == blue && Pixel(bar, end - 1, 1) == blue,
        "the bar is blue up to x=" + std::to_string(end - 1));
  Check(Pixel(bar, end, 1) == white && Pixel(bar, width - 1, 1) == white,
        "the rest is white from x=" + std::to_string(end) + ", got " + Hex(Pixel(bar, end, 1)));

  // At 50 % the bar ends in the middle of the caption: its left half is
  // drawn in white over the bar, its right half in blue over the rest.
  Send(bar, kavlen::win32::PBM_SHOWCAPTION, 1);
  Send(bar, PBM_SETPOS, 2);
  Settle();
  const int half = width / 2;
  Check(CountColour(bar, white, 0, 0, half, client.bottom) > 5,
        "the caption over the bar is drawn in the background colour");
  Check(CountColour(bar, blue, half, 0, width, client.bottom) > 5,
        "the caption over the rest is drawn in the bar colour");
  Shot(main, "kavlen-win32-main");

  const std::string caption = "Download Processing completed 50%";
  Send(bar, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(caption.c_str()));
  Check(Text(bar) == caption, "WM_GETTEXT gives the caption text");
  Check(Text(bar, 5) == "Down", "WM_GETTEXT into 5 bytes gives 4 characters, terminated");

  Send(bar, PBM_SETRANGE, 0, MAKELPARAM(4, 4));  // empty: nothing to divide by
  Send(bar, PBM_SETPOS, 3);
  Check(Send(bar, PBM_GETPOS) == 3, "an empty range stores the position");
  Send(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 4));
  Send(bar, PBM_SETPOS, 4);
  Send(bar, PBM_STEPIT);
  Check(Send(bar, PBM_GETPOS) == 5, "PBM_STEPIT at the maximum goes past it, no wrap");
  Send(bar, PBM_SETPOS, 0x7FFFFFFF);
  Send(bar, PBM_STEPIT);
  Check(Send(bar, PBM_GETPOS) == static_cast<LRESULT>(static_cast<int>(0x80000000u)),
        "a step past the int range wraps around");
  Send(bar, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(""));
  Send(bar, PBM_SETPOS, 0);
}

void CheckAboutBox(HWND main, DWORD pid, HANDLE process) {
  PostMessageA(GetDlgItem(main, 1006), BM_CLICK, 0, 0);
  HWND about = WaitForWindow(pid, "About this ...", process);
  Check(about != nullptr, "\"&ABOUT this\" opens \"About this ...\"");
  if (!about) return;
  Settle();
  HWND web = GetDlgItem(about, 1047);
  Check(Text(web) == "http://kavlen.example.org", "the web link's caption");
  Check(Text(GetDlgItem(about, 1048)) == "MailTo:kavlen@example.org", "the mail link's caption");
  Check(CountColour(web, RGB(64, 128, 255)) > 5, "the web link is drawn in its link colour");
  PostMessageA(web, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  Settle();
  Check(CountColour(web, RGB(255, 0, 0)) > 5, "the pointer over the link turns it red");
  Shot(about, "kavlen-win32-about");
  PostMessageA(web, WM_MOUSEMOVE, 0, MAKELPARAM(0xFFFB, 0xFFFB));  // (-5, -5): left
  Settle();
  Check(CountColour(web, RGB(64, 128, 255)) > 5, "the pointer leaving restores the link colour");
  // The shell cannot open it here (no browser in the test prefix): it must
  // show no message (which would block), and the link still turns visited.
  PostMessageA(web, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  PostMessageA(web, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  Sleep(1000);
  Check(CountColour(web, RGB(0, 13, 0)) > 5, "a clicked link shows the visited colour");
  PostMessageA(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
  for (int tries = 0; tries < 50 && IsWindow(about); ++tries) Sleep(100);
  Check(!IsWindow(about), "OK closes the About box");
}

// What the main window has no instance of, checked on controls of the
// driver's own: a vertical bar, and a label painting before its call returns.
LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  INT_PTR reflected = 0;
  if (kavlen::win32::ReflectToControl(message, wParam, lParam, reflected)) return reflected;
  return DefWindowProcA(window, message, wParam, lParam);
}

void CheckControlsInProcess() {
  WNDCLASSA host{};
  host.lpfnWndProc = HostProc;
  host.hInstance = GetModuleHandleA(nullptr);
  host.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  host.lpszClassName = "KavlenControlsHost";
  RegisterClassA(&host);
  HWND window = CreateWindowExA(0, host.lpszClassName, "controls", WS_POPUP | WS_VISIBLE, 500,
                                400, 200, 200, nullptr, nullptr, host.hInstance, nullptr);
  HWND barWindow = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE | PBS_VERTICAL,
                                   10, 10, 20, 100, window, nullptr, host.hInstance, nullptr);
  constexpr int kLabelId = 7;
  HWND labelWindow = CreateWindowExA(0, "Static", "WWWW", WS_CHILD | WS_VISIBLE, 50, 10, 100, 20,
                                     window, reinterpret_cast<HMENU>(kLabelId), host.hInstance,
                                     nullptr);
  UpdateWindow(window);
  const COLORREF blue = RGB(0, 0, 255), white = RGB(255, 255, 255);
  {
    kavlen::win32::CPercentBar bar;
    bar.Attach(barWindow);
    bar.SetBarColor(blue);
    bar.SetBkColor(white);
    SendMessageA(barWindow, PBM_SETRANGE, 0, MAKELPARAM(0, 4));
    SendMessageA(barWindow, PBM_SETPOS, 1, 0);  // paints before it returns
    Check(CountColour(barWindow, blue, 0, 75, 20, 100) == 20 * 25 &&
              CountColour(barWindow, white, 0, 0, 20, 75) == 20 * 75,
          "a vertical bar fills its bottom quarter and shows no caption");

    kavlen::win32::CColorLabel label;
    label.Attach(labelWindow);
    // As the window logic's host sets it; no message is pumped before the read.
    kavlen::win32::SetLabelTextColor(window, kLabelId, RGB(255, 0, 0));
    Check(CountColour(labelWindow, RGB(255, 0, 0)) > 10 &&
              Pixel(labelWindow, 99, 19) == GetSysColor(COLOR_BTNFACE),
          "a colour label repaints its text in the new colour before SetTextColor returns");
  }
  DestroyWindow(window);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::printf("usage: kavlen-gui-driver KAVLEN.EXE\n");
    return 2;
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string command = std::string("\"") + argv[1] + "\"";
  if (!CreateProcessA(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::printf("FAIL: cannot start %s (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  HWND main = WaitForWindow(process.dwProcessId, "USB Kavlen", process.hProcess);
  if (!main) {
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    std::printf("FAIL: no \"USB Kavlen\" window; kavlen.exe %s with status %lu\n",
                status == STILL_ACTIVE ? "still runs" : "ended", status);
    TerminateProcess(process.hProcess, 1);
    return 1;
  }
  Settle();
  CheckStartTexts(main);
  CheckStatusColours(main);
  CheckProgressBar(main);
  CheckAboutBox(main, process.dwProcessId, process.hProcess);

  PostMessageA(GetDlgItem(main, IDOK), BM_CLICK, 0, 0);
  const bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  Check(ended && status == 0, "\"&Exit\" ends kavlen.exe with status 0");
  if (!ended) TerminateProcess(process.hProcess, 1);
  CheckControlsInProcess();
  std::printf("%d check(s) failed\n", g_failures);
  return g_failures == 0 ? 0 : 1;
}

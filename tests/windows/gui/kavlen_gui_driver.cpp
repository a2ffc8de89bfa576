// kavlen-gui-driver SCENARIO KAVLEN.EXE: runs one scenario of the table
// below. It starts kavlen.exe, finds its window and checks it from outside
// as a user would see it: texts read with WM_GETTEXT, buttons clicked by id,
// pixels read back from the screen, kavlen.ini and the simulator's log and
// dump read after the program has ended. run-with-xvfb.sh provides the
// screen, the simulator (KAVLEN_DEVICE_DIR) and a scratch folder
// (KAVLEN_SCENARIO_DIR). Prints one line per failed check; exits 0 only
// when all passed.

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "gui/win32/color_label.h"
#include "gui/win32/dialog_calls.h"
#include "gui/win32/percent_bar.h"
#include "gui/win32/reflect.h"
#include "gui/win32/reset_window.h"
#include "tests/support/sim_log.h"
#include "tests/windows/driver/wine_driver_limits.h"

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

// Columns from the leftmost to the rightmost one that holds a pixel other
// than the button face, in [0, width) x [0, height) of the client area.
int InkSpan(HWND window, int width, int height) {
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  HDC screen = GetDC(nullptr);
  const COLORREF face = GetSysColor(COLOR_BTNFACE);
  int left = width, right = -1;
  for (int x = 0; x < width; ++x)
    for (int y = 0; y < height; ++y)
      if (GetPixel(screen, origin.x + x, origin.y + y) != face) {
        if (x < left) left = x;
        right = x;
        break;
      }
  ReleaseDC(nullptr, screen);
  return right < left ? 0 : right - left + 1;
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
      {1014, "Ready..."},        {1026, "0"},    {1027, "0x00000000"}, {1041, "0x000000"},
      {1042, "0x00"},            {1043, "0x00"}, {1001, "&Download"},  {1033, "Device OS:"},
      {1045, "0x000000"},        {1005, ""},
  };
  for (const auto& row : rows) {
    const std::string text = Text(GetDlgItem(main, row.id));
    Check(text == row.text, "control " + std::to_string(row.id) + " reads \"" + text +
                                "\", expected \"" + row.text + "\"");
  }
  Check(Send(GetDlgItem(main, 1045), CB_GETCOUNT) == 20, "the dump-address box holds 20 entries");
  // no settings file: 512 KBytes
  for (int id = 1017; id <= 1023; ++id)
    Check(Send(GetDlgItem(main, id), BM_GETCHECK) == (id == 1020 ? BST_CHECKED : BST_UNCHECKED),
          "radio " + std::to_string(id) + (id == 1020 ? " is checked" : " is clear"));
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
HFONT g_hostFont = nullptr;

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_GETFONT) return reinterpret_cast<LRESULT>(g_hostFont);
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
                                400, 300, 200, nullptr, nullptr, host.hInstance, nullptr);
  HWND barWindow = CreateWindowExA(0, PROGRESS_CLASSA, "", WS_CHILD | WS_VISIBLE | PBS_VERTICAL,
                                   10, 10, 20, 100, window, nullptr, host.hInstance, nullptr);
  constexpr int kLabelId = 7;
  HWND labelWindow = CreateWindowExA(0, "Static", "WWWW", WS_CHILD | WS_VISIBLE, 50, 10, 200, 20,
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
    SetWindowTextA(labelWindow, "");
    Check(CountColour(labelWindow, RGB(255, 0, 0)) == 0,
          "a colour label paints a new text before SetWindowText returns");

    // A text too wide for the label's one line gets a smaller size of the
    // dialog's face; a short one the dialog's font again.
    g_hostFont = CreateFontA(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, ANSI_CHARSET, 0, 0, 0, 0, "Tahoma");
    SendMessageA(labelWindow, WM_SETFONT, reinterpret_cast<WPARAM>(g_hostFont), FALSE);
    const char* fatal = "Fatal Error or Device is not Connected !!";
    const auto widthIn = [labelWindow](const char* text) {
      HDC dc = GetDC(labelWindow);
      HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(labelWindow, WM_GETFONT, 0, 0)));
      SIZE size{};
      GetTextExtentPoint32A(dc, text, lstrlenA(text), &size);
      SelectObject(dc, old);
      ReleaseDC(labelWindow, dc);
      return size.cx;
    };
    Check(widthIn(fatal) >= 200, "the long text is wider than the label in the dialog's font");
    SetWindowTextA(labelWindow, fatal);
    Check(widthIn(fatal) < 199, "a long text is fitted to the label, " + std::to_string(widthIn(fatal)) +
                                   " pixels wide in 200");
    SetWindowTextA(labelWindow, "Ready...");
    Check(SendMessageA(labelWindow, WM_GETFONT, 0, 0) == reinterpret_cast<LRESULT>(g_hostFont),
          "a short text is drawn in the dialog's font again");
  }
  DeleteObject(g_hostFont);
  g_hostFont = nullptr;
  DestroyWindow(window);
}


// "Reset Now !!!" run in this process through the same logic and host as in
// kavlen.exe: it closes by itself after 1200 ms, and OK closes it at once
// with its developer line.
void CheckResetDialogInProcess() {
  std::vector<std::string> debugLines;
  const auto record = [&debugLines](const std::string& line) { debugLines.push_back(line); };
  const DWORD opened = GetTickCount();
  const int result = kavlen::win32::ShowResetDialog(nullptr, record);
  const DWORD elapsed = GetTickCount() - opened;
  Check(result == IDOK && elapsed >= 1100 && elapsed < 5000,
        "the reset dialog closes itself with IDOK after 1200 ms, took " +
            std::to_string(elapsed) + " ms with result " + std::to_string(result));
  Check(debugLines.empty(), "closing by itself writes no developer line");

  // OK pressed as soon as the dialog is up.
  struct Presser {
    static void CALLBACK Press(HWND, UINT, UINT_PTR id, DWORD) {
      KillTimer(nullptr, id);
      if (HWND box = FindWindowA("#32770", "Reset Now !!!"))
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    }
  };
  SetTimer(nullptr, 0, 200, Presser::Press);
  const DWORD pressed = GetTickCount();
  const int okResult = kavlen::win32::ShowResetDialog(nullptr, record);
  Check(okResult == IDOK && GetTickCount() - pressed < 1100, "OK closes the reset dialog at once");
  Check(debugLines == std::vector<std::string>{" OK Exit !!\n\r"},
        "OK writes \" OK Exit !!\\n\\r\" to the debugger output");
}

// ---- scenarios against kavlen-sim -------------------------------------

std::string Env(const char* name) {
  char value[MAX_PATH] = "";
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string ScenarioDir() { return Env("KAVLEN_SCENARIO_DIR"); }

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// What the emulator was asked, from the simulator's log: tail commands by
// their code ("37"), head commands with an H ("H48"), the device OS load
// ("OS"), block writes and reads ("W", "R"); runs of one kind as "Wx4".
std::string CommandSequence() {
  std::vector<std::string> tokens;
  for (const std::string& line : Lines(ReadWholeFile(ScenarioDir() + "\\sim.log"))) {
    const std::string op = kavlen::test::SimLogField(line, "op");
    const std::string ioctl = kavlen::test::SimLogField(line, "ioctl");
    const std::string in = kavlen::test::SimLogField(line, "in");
    if (op == "write" || op == "read") tokens.push_back(op == "write" ? "W" : "R");
    else if (ioctl == "TAIL_SEND" && in.size() >= 114) tokens.push_back(in.substr(112, 2));
    else if (ioctl == "HEAD_SEND" && in.size() >= 2) tokens.push_back(std::string("H").append(in, 0, 2));
    else if (ioctl == "LOAD_DEVICE_OS") tokens.push_back("OS");
  }
  std::string sequence;
  for (std::size_t i = 0; i < tokens.size();) {
    std::size_t run = 1;
    while (i + run < tokens.size() && tokens[i + run] == tokens[i]) ++run;
    if (!sequence.empty()) sequence += ' ';
    sequence += tokens[i];
    if (run > 1) sequence.append(1, 'x').append(std::to_string(run));
    i += run;
  }
  return sequence;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// kavlen.exe copied into a folder of its own in the scenario folder, with
// a device OS file (any bytes do for the simulator) and, when given, a
// settings file; then started and its main window waited for.
struct Program {
  std::string dir;
  PROCESS_INFORMATION process{};
  HWND main = nullptr;

  std::string Ini() const { return ReadWholeFile(dir + "\\kavlen.ini"); }
};

// Starts the kavlen.exe in program.dir and waits for its main window.
bool Launch(Program& program) {
  const std::string exe = program.dir + "\\kavlen.exe";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  std::string command = "\"" + exe + "\"";
  if (!CreateProcessA(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      program.dir.c_str(), &startup, &program.process)) {
    Check(false, "cannot start " + exe + " (error " + std::to_string(GetLastError()) + ")");
    return false;
  }
  program.main = WaitForWindow(program.process.dwProcessId, "USB Kavlen", program.process.hProcess);
  if (program.main) return true;
  DWORD status = 0;
  GetExitCodeProcess(program.process.hProcess, &status);
  Check(false, std::string("no \"USB Kavlen\" window; kavlen.exe ") +
                   (status == STILL_ACTIVE ? "still runs" : "ended with status " + std::to_string(status)));
  TerminateProcess(program.process.hProcess, 1);
  CloseHandle(program.process.hProcess);
  CloseHandle(program.process.hThread);
  return false;
}

bool Start(Program& program, const std::string& exe, const std::string& ini) {
  program.dir = ScenarioDir() + "\\program";
  CreateDirectoryA(program.dir.c_str(), nullptr);
  if (!CopyFileA(exe.c_str(), (program.dir + "\\kavlen.exe").c_str(), FALSE) ||
      !WriteWholeFile(program.dir + "\\TPROMOS.USB", std::string(4096, '\x5A')) ||
      (!ini.empty() && !WriteWholeFile(program.dir + "\\kavlen.ini", ini))) {
    Check(false, "cannot set up " + program.dir);
    return false;
  }
  return Launch(program);
}

// Waits for the program's end; true when it ended with status 0.
bool Ended(Program& program, DWORD ms = 10000) {
  const bool ended = WaitForSingleObject(program.process.hProcess, ms) == WAIT_OBJECT_0;
  DWORD status = 1;
  GetExitCodeProcess(program.process.hProcess, &status);
  if (!ended) TerminateProcess(program.process.hProcess, 1);
  CloseHandle(program.process.hProcess);
  CloseHandle(program.process.hThread);
  return ended && status == 0;
}

void Exit(Program& program) {
  PostMessageA(GetDlgItem(program.main, IDOK), BM_CLICK, 0, 0);
  Check(Ended(program), "\"&Exit\" ends kavlen.exe with status 0");
}

// Polls the text of control `id` until it reads `expected`; the texts seen
// on the way are named when it never does.
bool WaitForText(HWND main, int id, const std::string& expected, DWORD ms = 8000) {
  std::vector<std::string> seen;
  for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(50)) {
    const std::string text = Text(GetDlgItem(main, id));
    if (text == expected) return true;
    if (seen.empty() || seen.back() != text) seen.push_back(text);
  }
  std::string texts;
  for (const std::string& text : seen) texts += " \"" + text + "\"";
  Check(false, "control " + std::to_string(id) + " never reads \"" + expected + "\"; seen" + texts);
  return false;
}

// The text of a message box (wine's and Windows' box keep it in 0xFFFF).
std::string BoxText(HWND box) { return Text(GetDlgItem(box, 0xFFFF)); }

// The radio button `id` clicked as an automatic radio button: it alone of
// its group marked, then its click told to the window.
void ClickRadio(HWND main, int id) {
  for (int other = 1017; other <= 1023; ++other)
    Send(GetDlgItem(main, other), BM_SETCHECK, other == id ? BST_CHECKED : BST_UNCHECKED);
  PostMessageA(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(main, id)));
}

// Waits for the self-closing reset confirmation; true when it appeared and
// went away by itself within a few seconds.
bool ResetDialogClosesByItself(Program& program) {
  HWND reset = WaitForWindow(program.process.dwProcessId, "Reset Now !!!", program.process.hProcess);
  if (!reset) {
    Check(false, "the \"Reset Now !!!\" dialog appears");
    return false;
  }
  Check(Text(GetDlgItem(reset, 1049)) == "Reset the target ...", "the reset dialog's text");
  Sleep(200);
  // Drawn whole on its one line (a smaller size of the dialog's face where
  // the face is wider than the template's): not wrapped after "Reset the".
  HWND text = GetDlgItem(reset, 1049);
  RECT box;
  GetClientRect(text, &box);
  const int span = InkSpan(text, box.right, box.bottom);
  Check(span * 4 >= box.right * 3, "the reset text spans " + std::to_string(span) + " of " +
                                       std::to_string(box.right) + " pixels: cut off");
  Shot(reset, "kavlen-win32-reset");
  const DWORD seen = GetTickCount();
  while (IsWindow(reset) && GetTickCount() - seen < 5000) Sleep(20);
  const DWORD open = GetTickCount() - seen;
  Check(!IsWindow(reset) && open < 1500,
        "the reset dialog closes by itself about 1200 ms after it opens (" + std::to_string(open) +
            " ms after it was seen)");
  return !IsWindow(reset);
}

std::string IniWith(const std::string& romSize, const std::string& verify, const std::string& path) {
  return "[VENDOR_COMMAND]\r\nTargetReset=1\r\nVerifyCheck=" + verify + "\r\nROMSize=" + romSize +
         "\r\n[DownLoadPath]\r\nPATH=" + path + "\r\n";
}

// A 1000-byte image whose byte k is (k * 7 + 3) & 0xFF.
std::string TestImage() {
  std::string image(1000, '\0');
  for (std::size_t k = 0; k < image.size(); ++k) image[k] = static_cast<char>((k * 7 + 3) & 0xFF);
  return image;
}

void CheckIniHas(const Program& program, const std::vector<std::string>& lines) {
  const std::vector<std::string> ini = Lines(program.Ini());
  for (const std::string& line : lines) {
    bool found = false;
    for (const std::string& have : ini) found = found || have == line;
    Check(found, "kavlen.ini has \"" + line + "\"; it reads:\n" + program.Ini());
  }
}

// ---- the table --------------------------------------------------------

// The window, its controls and the About box, once the start-up check of
// the device is over.
void WindowScenario(const std::string& exe) {
  Program program;
  if (!Start(program, exe, "")) return;
  WaitForText(program.main, 1014, "Ready...");
  Settle();
  CheckStartTexts(program.main);
  CheckStatusColours(program.main);
  CheckProgressBar(program.main);
  CheckAboutBox(program.main, program.process.dwProcessId, program.process.hProcess);
  Exit(program);
  CheckControlsInProcess();
  CheckResetDialogInProcess();
}

// A device whose OS already runs: the identification and the settings'
// defaults (no kavlen.ini: verify on, 512 KBytes), written back at exit.
void StartOsScenario(const std::string& exe) {
  Program program;
  if (!Start(program, exe, "")) return;
  WaitForText(program.main, 1014, "Ready...");
  Check(Send(GetDlgItem(program.main, 1020), BM_GETCHECK) == BST_CHECKED &&
            Send(GetDlgItem(program.main, 1036), BM_GETCHECK) == BST_CHECKED,
        "no settings file: 512 KBytes and verify");
  Check(!Text(GetDlgItem(program.main, 1034)).empty(), "the device's name and version are shown");
  Check(Text(GetDlgItem(program.main, 1015)) == "DownLoad Firmware Path", "the path field's default");
  Check(CommandSequence().find("OS") == std::string::npos, "no device OS is loaded: " + CommandSequence());
  Exit(program);
  CheckIniHas(program, {"TargetReset=1", "VerifyCheck=1", "ROMSize=512", "PATH=DownLoad Firmware Path"});
}

// A device in its boot code receives its OS at the first paint.
void StartBootScenario(const std::string& exe) {
  Program program;
  if (!Start(program, exe, "")) return;
  WaitForText(program.main, 1014, "Load Device OS Ready...");
  Check(Contains(CommandSequence(), "OS"), "the device OS is loaded: " + CommandSequence());
  Exit(program);
}

// No device: the stop box, then the program ends by itself, settings saved.
void NoDeviceScenario(const std::string& exe) {
  Program program;
  if (!Start(program, exe, "")) return;
  HWND box = WaitForWindow(program.process.dwProcessId, "kavlen", program.process.hProcess);
  Check(box != nullptr, "a message box captioned \"kavlen\" appears");
  if (box) {
    Check(BoxText(box) == "FATAL ERROR -- OPEN DEVICE Fail \n\n\r Program will be terminated !!",
          "the box reads \"" + BoxText(box) + "\"");
    Check(Text(GetDlgItem(program.main, 1014)) == "Device is not Connected !!",
          "the status line under the box");
    PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  }
  Check(Ended(program), "after OK the program ends by itself with status 0");
  CheckIniHas(program, {"TargetReset=1", "ROMSize=512"});
}

// A ROM size picked with its radio button is saved at exit.
void RomSizeScenario(const std::string& exe) {
  Program program;
  if (!Start(program, exe, IniWith("512", "0", "x")))
    return;
  WaitForText(program.main, 1014, "Ready...");
  ClickRadio(program.main, 1018);
  WaitForText(program.main, 1014, "Select 128K Bytes...");
  Exit(program);
  CheckIniHas(program, {"ROMSize=128", "VerifyCheck=0", "PATH=x"});
}

// Through the stand-in driver (run-with-xvfb.sh with KAVLEN_DRIVER_SETUP):
// the setup tool's Linux path, else "".
std::string DriverSetup() { return Env("KAVLEN_DRIVER_SETUP"); }

// The download stopped at the output pipe's open, as its message box says.
void PipeOpenFails(Program& program) {
  HWND box = WaitForWindow(program.process.dwProcessId, "kavlen", program.process.hProcess);
  Check(box != nullptr && BoxText(box) == "Open Out Pipe Error",
        "the download stops with \"Open Out Pipe Error\", got \"" + (box ? BoxText(box) : "") + "\"");
  if (box) PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  const std::string sequence = CommandSequence();
  Check(sequence.size() >= 5 && sequence.substr(sequence.size() - 5) == "37 35",
        "the download's commands end at the ready poll: " + sequence);
  Exit(program);
}

void DownloadScenario(const std::string& exe, bool corrupt) {
  const std::string image = TestImage();
  const std::string imagePath = ScenarioDir() + "\\image.bin";
  WriteWholeFile(imagePath, image);
  Program program;
  if (!Start(program, exe, IniWith("64", "1", imagePath)))
    return;
  WaitForText(program.main, 1014, "Ready...");
  PostMessageA(GetDlgItem(program.main, 1001), BM_CLICK, 0, 0);
  if (!DriverSetup().empty() && !kavlen::test::kDriverOpensPipes) return PipeOpenFails(program);
  ResetDialogClosesByItself(program);
  WaitForText(program.main, 1014, corrupt ? "Downlaod But Verify Fail !!" : "Download And Verify OK !!");
  Check(Text(GetDlgItem(program.main, 1026)) == "1000", "the length label");
  const std::vector<std::string> labels = {Text(GetDlgItem(program.main, 1041)),
                                           Text(GetDlgItem(program.main, 1042)),
                                           Text(GetDlgItem(program.main, 1043))};
  // byte 6699 lies in the fill: 0x00 sent, 0xFF read back
  const std::vector<std::string> expected =
      corrupt ? std::vector<std::string>{"0X1A2B", "0X0", "0XFF"}
              : std::vector<std::string>{"0X0", "0X0", "0X0"};
  Check(labels == expected, "the mismatch labels read " + labels[0] + " " + labels[1] + " " + labels[2]);
  // After the read-back the bar is empty, white, and shows no caption.
  HWND bar = GetDlgItem(program.main, 1005);
  RECT client;
  GetClientRect(bar, &client);
  const int area = client.right * client.bottom;
  Check(CountColour(bar, RGB(255, 255, 255)) == area,
        "after the transfer the progress bar is all white");
  if (!corrupt) Shot(program.main, "kavlen-win32-main");
  const std::string sequence = CommandSequence();
  const std::size_t download = sequence.find("37");
  Check(download != std::string::npos &&
            sequence.substr(download) == "37 35 Wx4 36 Rx4 81 62 61 60",
        "the download's commands: " + sequence);
  std::string sent = image + std::string(65536 - image.size(), '\0');
  Check(ReadWholeFile(ScenarioDir() + "\\dump.bin") == sent,
        "the emulator holds the image and its fill, 64 KB");
  Exit(program);
}

// Reset Target from its button: the dialog closes by itself.
void ResetScenario(const std::string& exe) {
  Program program;
  if (!Start(program, exe, "")) return;
  WaitForText(program.main, 1014, "Ready...");
  PostMessageA(GetDlgItem(program.main, 1009), BM_CLICK, 0, 0);
  ResetDialogClosesByItself(program);
  const std::string sequence = CommandSequence();
  Check(sequence.size() >= 5 && sequence.substr(sequence.size() - 5) == "61 60",
        "the reset's commands end the log: " + sequence);
  Exit(program);
}

// The emulator unplugged while the window is idle (its driver device
// removed): the next action that needs it reports the cable, and the
// program ends.
void UnpluggedScenario(const std::string& exe) {
  std::string setup = DriverSetup();
  if (setup.empty()) return Check(false, "unplugging needs the stand-in driver (KAVLEN_DRIVER_SETUP)");
  for (char& c : setup) c = c == '/' ? '\\' : c;
  Program program;
  if (!Start(program, exe, "")) return;
  WaitForText(program.main, 1014, "Ready...");
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION remover{};
  std::string command = "\"Z:" + setup + "\" remove 0";
  DWORD status = 1;
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &remover)) {
    WaitForSingleObject(remover.hProcess, 30000);
    GetExitCodeProcess(remover.hProcess, &status);
    CloseHandle(remover.hProcess);
    CloseHandle(remover.hThread);
  }
  Check(status == 0, "the device is removed (" + command + ": status " + std::to_string(status) + ")");
  PostMessageA(GetDlgItem(program.main, 1009), BM_CLICK, 0, 0);
  HWND box = WaitForWindow(program.process.dwProcessId, "kavlen", program.process.hProcess);
  Check(box != nullptr && BoxText(box) == "OPEN DEVICE Fail , Check the USB Cable !!",
        "Reset Target reports the cable, got \"" + (box ? BoxText(box) : "") + "\"");
  if (box) PostMessageA(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  Check(Ended(program), "after OK the program ends by itself with status 0");
}

// kavlen.exe where an installer put it (the path given, under Program
// Files), nothing laid beside it: a download typed into the path field,
// then its settings are in %APPDATA%\\kavlen\\kavlen.ini, made on first use.
// The image's name is not in the ANSI code page: typed into the field as
// UTF-16, it reaches the program, and its settings, as UTF-8.
void InstalledScenario(const std::string& exe) {
  const std::string image = TestImage();
  const std::wstring name = L"\\\u03A9mega-\u20AC.bin";
  const std::string dir = ScenarioDir();  // ASCII: a Z: path of mktemp's
  const std::wstring wideDir(dir.begin(), dir.end());
  const std::string imagePath = dir + "\\\xCE\xA9mega-\xE2\x82\xAC.bin";
  const HANDLE file = CreateFileW((wideDir + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  Check(file != INVALID_HANDLE_VALUE && WriteFile(file, image.data(), static_cast<DWORD>(image.size()), &written, nullptr),
        "cannot write the image");
  CloseHandle(file);
  const std::string ini = Env("APPDATA") + "\\kavlen\\kavlen.ini";
  Program program;
  program.dir = exe.substr(0, exe.find_last_of('\\'));
  Check(GetFileAttributesA(ini.c_str()) == INVALID_FILE_ATTRIBUTES, ini + " is there before the first start");
  if (!Launch(program)) return;
  WaitForText(program.main, 1014, "Ready...");
  SetWindowTextW(GetDlgItem(program.main, 1015), (wideDir + name).c_str());
  PostMessageA(GetDlgItem(program.main, 1001), BM_CLICK, 0, 0);
  ResetDialogClosesByItself(program);
  WaitForText(program.main, 1014, "Download And Verify OK !!");
  Check(ReadWholeFile(ScenarioDir() + "\\dump.bin").compare(0, image.size(), image) == 0,
        "the emulator holds the image");
  Exit(program);
  Check(Contains(ReadWholeFile(ini), "PATH=" + imagePath + "\r\n"), "the settings are in " + ini);
  Check(GetFileAttributesA((program.dir + "\\kavlen.ini").c_str()) == INVALID_FILE_ATTRIBUTES,
        "no kavlen.ini beside the installed program");
}

struct Scenario {
  const char* name;
  void (*run)(const std::string& exe);
};

// The simulator each row runs against is given in tests/windows/CMakeLists.txt.
const Scenario kScenarios[] = {
    {"window", WindowScenario},
    {"start_os", StartOsScenario},
    {"start_boot", StartBootScenario},
    {"no_device", NoDeviceScenario},
    {"rom_size_saved", RomSizeScenario},
    {"download_verify", [](const std::string& exe) { DownloadScenario(exe, false); }},
    {"verify_mismatch", [](const std::string& exe) { DownloadScenario(exe, true); }},
    {"reset_target", ResetScenario},
    {"unplugged", UnpluggedScenario},
    {"installed", InstalledScenario},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::printf("usage: kavlen-gui-driver SCENARIO KAVLEN.EXE\n");
    return 2;
  }
  for (const Scenario& scenario : kScenarios) {
    if (std::string(argv[1]) != scenario.name) continue;
    if (ScenarioDir().empty()) {
      std::printf("FAIL: no KAVLEN_SCENARIO_DIR (run it through run-with-xvfb.sh)\n");
      return 1;
    }
    scenario.run(argv[2]);
    std::printf("%s: %d check(s) failed\n", scenario.name, g_failures);
    return g_failures == 0 ? 0 : 1;
  }
  std::printf("FAIL: no scenario \"%s\"\n", argv[1]);
  return 2;
}

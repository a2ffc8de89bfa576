#include "gui/win32/dialog_init_data.h"

#include <cstdint>
#include <cstring>
#include <string>

namespace kavlen::win32 {

namespace {
// The data names "add a string to a combo box" by its 16-bit code.
constexpr std::uint16_t kAddStringCode = 0x0403;
}  // namespace

void ApplyDialogInitData(HWND dialog, int templateId) {
  HMODULE module = GetModuleHandleA(nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(templateId), MAKEINTRESOURCEA(240));
  if (!found) return;
  const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
  const std::size_t size = SizeofResource(module, found);
  std::size_t at = 0;
  // An entry is read only when it lies whole inside the resource.
  while (data && at + 8 <= size) {
    std::uint16_t id, message;
    std::uint32_t count;
    std::memcpy(&id, data + at, 2);
    if (id == 0) break;
    std::memcpy(&message, data + at + 2, 2);
    std::memcpy(&count, data + at + 4, 4);
    at += 8;
    if (count > size - at) break;
    const std::string text(reinterpret_cast<const char*>(data + at),
                           strnlen(reinterpret_cast<const char*>(data + at), count));
    if (message == kAddStringCode)
      SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    at += count;
  }
}

}  // namespace kavlen::win32

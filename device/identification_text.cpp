#include "device/identification_text.h"

#include <array>

#include "device/rom_capacity.h"
#include "device/str_printf.h"

namespace kavlen {

namespace {

constexpr std::array<const char*, 8> kConsoleCapacityTexts = {
    "  64 KBytes", " 128 KBytes", " 256 KBytes", " 512 KBytes",
    "   1 MBytes", "   2 MBytes", "   4 MBytes", "   8 MBytes"};
constexpr std::array<const char*, 8> kGuiCapacityTexts = {
    " 64 KBytes", " 128 KBytes", " 256 KBytes", " 512 KBytes",
    " 1 MBytes",  " 2 MBytes",   " 4 MBytes",   " 8 MBytes"};
constexpr const char* kUnknownCapacityText = " ??? MBytes";

unsigned Major(std::uint8_t version) { return version >> 4; }
unsigned Minor(std::uint8_t version) { return version & 0x0F; }

}  // namespace

std::string ConsoleNameText(std::uint8_t model) {
  std::string text = "Kavlen ";
  if (model == 1) text += "I";
  if (model == 2) text += "II";
  return text;
}

std::string ConsoleVersionNumberText(unsigned number) { return StrPrintf("0%u", number); }

std::string ConsoleCapacityText(std::uint8_t sizeCode) {
  return IsRomSizeCode(sizeCode) ? kConsoleCapacityTexts[sizeCode] : kUnknownCapacityText;
}

std::string ConsoleDeviceInfoLine(const BootStatus& status) {
  return StrPrintf("Device Info: %2s Ver: %s.%s \n", ConsoleNameText(status.model).c_str(),
                   ConsoleVersionNumberText(Major(status.version)).c_str(),
                   ConsoleVersionNumberText(Minor(status.version)).c_str());
}

std::string ConsoleChecksumLine(const DeviceInfo& info) {
  return StrPrintf("Device OS CheckSUM=0x%4X, Support ROM Size=%s \n",
                   static_cast<unsigned>(info.checksum), ConsoleCapacityText(info.sizeCode).c_str());
}

std::string GuiModelText(std::uint8_t model) { return model == 2 ? "II" : "I"; }

std::string GuiVersionText(std::uint8_t version) {
  return StrPrintf("%u.%u", Major(version), Minor(version));
}

std::string GuiCapacityText(std::uint8_t sizeCode) {
  return IsRomSizeCode(sizeCode) ? kGuiCapacityTexts[sizeCode] : kUnknownCapacityText;
}

std::string GuiBootCodeNameText(const BootStatus& status) {
  return StrPrintf("Kavlen %s Ver: %s", GuiModelText(status.model).c_str(),
                   GuiVersionText(status.version).c_str());
}

std::string GuiOsRunningNameText(const BootStatus& status) {
  return StrPrintf("Kavlen %s %s", GuiModelText(status.model).c_str(),
                   GuiVersionText(status.version).c_str());
}

std::string GuiChecksumText(std::uint16_t checksum) {
  return StrPrintf("0X%X", static_cast<unsigned>(checksum));
}

std::string GuiChecksumFieldText(const DeviceInfo& info) {
  return StrPrintf("CHK: %s , %s", GuiChecksumText(info.checksum).c_str(),
                   GuiCapacityText(info.sizeCode).c_str());
}

}  // namespace kavlen

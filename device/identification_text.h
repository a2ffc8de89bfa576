#pragma once
// The identification texts of both programs, as pure functions of the decoded
// replies. The console prints whole lines; the GUI places its texts in its
// own fields.

#include <cstdint>
#include <string>

#include "device/identification.h"

namespace kavlen {

// Console.
inline constexpr const char* kConsoleBootErrorLine = "Device Boot OS is Error!! \n";
std::string ConsoleNameText(std::uint8_t model);           // "Kavlen II"
std::string ConsoleVersionNumberText(unsigned number);     // 1 -> "01", 12 -> "012"
std::string ConsoleCapacityText(std::uint8_t sizeCode);    // "   1 MBytes"
std::string ConsoleDeviceInfoLine(const BootStatus& status);
std::string ConsoleChecksumLine(const DeviceInfo& info);

// GUI.
inline constexpr const char* kGuiUnknownDeviceName = "?????";
std::string GuiModelText(std::uint8_t model);              // "I" or "II"
std::string GuiVersionText(std::uint8_t version);          // 0x12 -> "1.2"
std::string GuiCapacityText(std::uint8_t sizeCode);        // " 1 MBytes"
std::string GuiBootCodeNameText(const BootStatus& status); // "Kavlen II Ver: 1.2"
std::string GuiOsRunningNameText(const BootStatus& status);// "Kavlen II 1.2"
std::string GuiChecksumText(std::uint16_t checksum);       // "0X1A2B"
std::string GuiChecksumFieldText(const DeviceInfo& info);  // "CHK: 0X1A2B ,  4 MBytes"

}  // namespace kavlen

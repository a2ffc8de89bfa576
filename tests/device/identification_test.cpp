#include "device/identification.h"

#include <gtest/gtest.h>

#include "device/identification_text.h"
#include "device/rom_capacity.h"
#include "tests/device/scripted_device.h"

namespace kavlen {
namespace {

using test::BlockFrom;
using test::RecordingSink;
using test::ScriptedDevice;

constexpr Handle kDevice = ScriptedDevice::kHandle;

TEST(DecodeBootStatus, StateCodeAndLoadNeedByStatusByte) {
  const struct {
    std::uint8_t reply0;
    int needsOsLoad;
    std::uint8_t state;
  } cases[] = {{0x00, 0, DEV_STATE_BOOT_ERROR}, {0x01, 1, DEV_STATE_OK},
               {0x2C, 0, DEV_STATE_OS_RUNNING}, {0x02, 0, DEV_STATE_BAD_REPLY},
               {0x48, 0, DEV_STATE_BAD_REPLY},  {0xFF, 0, DEV_STATE_BAD_REPLY}};
  for (const auto& c : cases) {
    const BootStatus status = DecodeBootStatus(BlockFrom({{0, c.reply0}, {2, 0x12}, {3, 2}}));
    EXPECT_EQ(status.needsOsLoad, c.needsOsLoad) << int(c.reply0);
    EXPECT_EQ(status.stateCode, c.state) << int(c.reply0);
    EXPECT_EQ(status.reply0, c.reply0);
    EXPECT_EQ(status.version, 0x12);
    EXPECT_EQ(status.model, 2);
  }
}

TEST(QueryBootStatus, FailedReceiveReadsTheRequestAsAnUnrecognisedReply) {
  ScriptedDevice device;
  CommandBlock block{};
  const BootStatus status = QueryBootStatus(device.api, kDevice, block);
  EXPECT_EQ(status.reply0, 0x48);
  EXPECT_EQ(status.stateCode, DEV_STATE_BAD_REPLY);
  EXPECT_EQ(device.CallsOf(IOCTL_HEAD_SEND)[0].in, test::Bytes(BlockFrom({{0, 0x48}, {1, 1}})));
}

TEST(QueryDeviceInfo, DecodesChecksumHighByteFirstAndTheMask) {
  ScriptedDevice device;
  device.reply = [](CommandBlock& b) {
    b[2] = 0x12;
    b[3] = 0x34;
    b[5] = 0x3F;
    return true;
  };
  CommandBlock block{};
  const DeviceInfo info = QueryDeviceInfo(device.api, kDevice, block);
  EXPECT_TRUE(info.received);
  EXPECT_EQ(info.checksum, 0x1234);
  EXPECT_EQ(info.mask, 0x3F);
  EXPECT_EQ(info.sizeCode, 6);
  EXPECT_EQ(device.CallsOf(IOCTL_HEAD_SEND)[0].in, test::Bytes(BlockFrom({{0, 0x51}, {1, 1}})));
}

TEST(QueryDeviceInfo, FailedReceiveDecodesNothing) {
  ScriptedDevice device;
  CommandBlock block{};
  EXPECT_FALSE(QueryDeviceInfo(device.api, kDevice, block).received);
}

TEST(CapacityTexts, BothColumnsForEveryMask) {
  const struct {
    std::uint8_t mask;
    const char* gui;
    const char* console;
  } cases[] = {{0, " 64 KBytes", "  64 KBytes"},    {1, " 128 KBytes", " 128 KBytes"},
               {3, " 256 KBytes", " 256 KBytes"},   {7, " 512 KBytes", " 512 KBytes"},
               {15, " 1 MBytes", "   1 MBytes"},    {31, " 2 MBytes", "   2 MBytes"},
               {63, " 4 MBytes", "   4 MBytes"},    {127, " 8 MBytes", "   8 MBytes"},
               {0x05, " ??? MBytes", " ??? MBytes"}, {0x80, " ??? MBytes", " ??? MBytes"},
               {0xFF, " ??? MBytes", " ??? MBytes"}, {2, " ??? MBytes", " ??? MBytes"}};
  for (const auto& c : cases) {
    const std::uint8_t code = SizeCodeFromMask(c.mask);
    EXPECT_EQ(GuiCapacityText(code), c.gui) << int(c.mask);
    EXPECT_EQ(ConsoleCapacityText(code), c.console) << int(c.mask);
  }
}

TEST(NameTexts, ModelAndVersionInBothForms) {
  const struct {
    std::uint8_t model;
    std::uint8_t version;
    const char* guiBoot;
    const char* guiOs;
    const char* consoleLine;
  } cases[] = {
      {2, 0x12, "Kavlen II Ver: 1.2", "Kavlen II 1.2", "Device Info: Kavlen II Ver: 01.02 \n"},
      {1, 0x12, "Kavlen I Ver: 1.2", "Kavlen I 1.2", "Device Info: Kavlen I Ver: 01.02 \n"},
      {0, 0x12, "Kavlen I Ver: 1.2", "Kavlen I 1.2", "Device Info: Kavlen  Ver: 01.02 \n"},
      {3, 0xC0, "Kavlen I Ver: 12.0", "Kavlen I 12.0", "Device Info: Kavlen  Ver: 012.00 \n"},
      {2, 0xFF, "Kavlen II Ver: 15.15", "Kavlen II 15.15",
       "Device Info: Kavlen II Ver: 015.015 \n"}};
  for (const auto& c : cases) {
    BootStatus status{0, DEV_STATE_OS_RUNNING, 0x2C, c.version, c.model};
    EXPECT_EQ(GuiBootCodeNameText(status), c.guiBoot);
    EXPECT_EQ(GuiOsRunningNameText(status), c.guiOs);
    EXPECT_EQ(ConsoleDeviceInfoLine(status), c.consoleLine);
  }
}

TEST(ChecksumTexts, BothForms) {
  const struct {
    std::uint16_t checksum;
    std::uint8_t mask;
    const char* guiField;
    const char* consoleLine;
  } cases[] = {
      {0x0000, 0, "CHK: 0X0 ,  64 KBytes",
       "Device OS CheckSUM=0x   0, Support ROM Size=  64 KBytes \n"},
      {0x1234, 63, "CHK: 0X1234 ,  4 MBytes",
       "Device OS CheckSUM=0x1234, Support ROM Size=   4 MBytes \n"},
      {0x00AB, 0x05, "CHK: 0XAB ,  ??? MBytes",
       "Device OS CheckSUM=0x  AB, Support ROM Size= ??? MBytes \n"},
      {0x1A2B, 127, "CHK: 0X1A2B ,  8 MBytes",
       "Device OS CheckSUM=0x1A2B, Support ROM Size=   8 MBytes \n"}};
  for (const auto& c : cases) {
    const DeviceInfo info{true, c.checksum, c.mask, SizeCodeFromMask(c.mask)};
    EXPECT_EQ(GuiChecksumFieldText(info), c.guiField);
    EXPECT_EQ(ConsoleChecksumLine(info), c.consoleLine);
  }
  EXPECT_EQ(GuiChecksumText(0xFFFF), "0XFFFF");
}

}  // namespace
}  // namespace kavlen

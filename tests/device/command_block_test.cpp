#include "device/command_block.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "tests/device/scripted_device.h"

namespace kavlen {
namespace {

using test::BlockFrom;

struct GoldenBlock {
  std::string name;
  std::function<void(CommandBlock&)> build;
  CommandBlock expected;
};

void PrintTo(const GoldenBlock& c, std::ostream* out) { *out << c.name; }

class CommandBlockGolden : public testing::TestWithParam<GoldenBlock> {};

TEST_P(CommandBlockGolden, WritesExactlyTheseBytesOverAnyPreviousContent) {
  CommandBlock block;
  block.fill(0xEE);  // a previous reply: every builder clears it first
  GetParam().build(block);
  EXPECT_EQ(block, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, CommandBlockGolden,
    testing::Values(
        GoldenBlock{"BootStatus", [](CommandBlock& b) { BuildHeadCommand(b, CMD_BOOT_STATUS); },
                    BlockFrom({{0, 0x48}, {1, 1}})},
        GoldenBlock{"QueryInfo", [](CommandBlock& b) { BuildHeadCommand(b, CMD_QUERY_INFO); },
                    BlockFrom({{0, 0x51}, {1, 1}})},
        GoldenBlock{"StartOs", [](CommandBlock& b) { BuildHeadCommand(b, CMD_START_OS); },
                    BlockFrom({{0, 0x69}, {1, 1}})},
        GoldenBlock{"Download4", [](CommandBlock& b) { BuildDownload(b, 4); },
                    BlockFrom({{56, 0x37}, {57, 1}, {60, 4}})},
        GoldenBlock{"Download256", [](CommandBlock& b) { BuildDownload(b, 256); },
                    BlockFrom({{56, 0x37}, {57, 1}, {60, 0x00}, {61, 0x01}})},
        GoldenBlock{"Download512", [](CommandBlock& b) { BuildDownload(b, 512); },
                    BlockFrom({{56, 0x37}, {57, 1}, {60, 0x00}, {61, 0x02}})},
        GoldenBlock{"Download1", [](CommandBlock& b) { BuildDownload(b, 1); },
                    BlockFrom({{56, 0x37}, {57, 1}, {60, 1}})},
        GoldenBlock{"Upload32", [](CommandBlock& b) { BuildUpload(b, 32); },
                    BlockFrom({{56, 0x36}, {57, 1}, {60, 32}})},
        GoldenBlock{"Upload0x1234", [](CommandBlock& b) { BuildUpload(b, 0x1234); },
                    BlockFrom({{56, 0x36}, {57, 1}, {60, 0x34}, {61, 0x12}})},
        GoldenBlock{"VerifyFailed",
                    [](CommandBlock& b) {
                      BuildVerifyResult(b, kVerifyFailedFirst, kVerifyFailedSecond);
                    },
                    BlockFrom({{56, 0x81}, {57, 0x10}, {58, 0x90}})},
        GoldenBlock{"VerifyPassed",
                    [](CommandBlock& b) {
                      BuildVerifyResult(b, kVerifyPassedFirst, kVerifyPassedSecond);
                    },
                    BlockFrom({{56, 0x81}, {57, 0x30}, {58, 0x02}})},
        GoldenBlock{"EndDownload", [](CommandBlock& b) { BuildTailCommand(b, CMD_END_DOWNLOAD); },
                    BlockFrom({{56, 0x62}, {57, 1}})},
        GoldenBlock{"ResetTarget", [](CommandBlock& b) { BuildTailCommand(b, CMD_RESET_TARGET); },
                    BlockFrom({{56, 0x61}, {57, 1}})},
        GoldenBlock{"AddrWrite", [](CommandBlock& b) { BuildAddrWrite(b, 0x1FC019, 0x9C); },
                    BlockFrom({{56, 0x70}, {57, 1}, {58, 0x1F}, {59, 0xC0}, {60, 0x19}, {61, 0x9C}})},
        GoldenBlock{"AddrWriteHighBitsDropped",
                    [](CommandBlock& b) { BuildAddrWrite(b, 0xAB123456, 0x00); },
                    BlockFrom({{56, 0x70}, {57, 1}, {58, 0x12}, {59, 0x34}, {60, 0x56}})},
        GoldenBlock{"AddrRead", [](CommandBlock& b) { BuildAddrRead(b, 0x1FC019); },
                    BlockFrom({{56, 0x73}, {57, 1}, {58, 0x1F}, {59, 0xC0}, {60, 0x19}})}),
    [](const testing::TestParamInfo<GoldenBlock>& info) { return info.param.name; });

TEST(PollBuilder, RewritesOnlyTheFourPollBytes) {
  CommandBlock block;
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(0x80 + i);
  CommandBlock expected = block;
  expected[0] = 0x35;
  expected[1] = 1;
  expected[56] = 0x35;
  expected[57] = 1;

  BuildPoll(block, CMD_READY_POLL);

  EXPECT_EQ(block, expected);
}

}  // namespace
}  // namespace kavlen

#include "device/command_block.h"

namespace kavlen {

namespace {
constexpr std::size_t kHeadCode = 0;
constexpr std::size_t kHeadFlag = 1;
constexpr std::size_t kTailCode = 56;
constexpr std::size_t kTailFlag = 57;
}  // namespace

void BuildHeadCommand(CommandBlock& block, std::uint8_t code) {
  block.fill(0);
  block[kHeadCode] = code;
  block[kHeadFlag] = 1;
}

void BuildTailCommand(CommandBlock& block, std::uint8_t code) {
  block.fill(0);
  block[kTailCode] = code;
  block[kTailFlag] = 1;
}

void BuildPoll(CommandBlock& block, std::uint8_t code) {
  block[kHeadCode] = code;
  block[kHeadFlag] = 1;
  block[kTailCode] = code;
  block[kTailFlag] = 1;
}

void PutBlockCount(CommandBlock& block, std::uint16_t blockCount) {
  block[60] = static_cast<std::uint8_t>(blockCount & 0xFF);
  block[61] = static_cast<std::uint8_t>(blockCount >> 8);
}

void PutAddress(CommandBlock& block, std::uint32_t address) {
  block[58] = static_cast<std::uint8_t>((address >> 16) & 0xFF);
  block[59] = static_cast<std::uint8_t>((address >> 8) & 0xFF);
  block[60] = static_cast<std::uint8_t>(address & 0xFF);
}

void BuildDownload(CommandBlock& block, std::uint16_t blockCount) {
  BuildTailCommand(block, CMD_DOWNLOAD);
  PutBlockCount(block, blockCount);
}

void BuildUpload(CommandBlock& block, std::uint16_t blockCount) {
  BuildTailCommand(block, CMD_UPLOAD);
  PutBlockCount(block, blockCount);
}

void BuildVerifyResult(CommandBlock& block, std::uint8_t first, std::uint8_t second) {
  BuildTailCommand(block, CMD_VERIFY_RESULT);
  block[kTailFlag] = first;
  block[58] = second;
}

void BuildAddrWrite(CommandBlock& block, std::uint32_t address, std::uint8_t data) {
  BuildTailCommand(block, CMD_ADDR_WRITE);
  PutAddress(block, address);
  block[61] = data;
}

void BuildAddrRead(CommandBlock& block, std::uint32_t address) {
  BuildTailCommand(block, CMD_ADDR_READ);
  PutAddress(block, address);
}

}  // namespace kavlen

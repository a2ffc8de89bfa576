#pragma once
// The 64-byte command block that carries one request to the emulator and its
// reply back, and the codes of the driver's control requests and commands.

#include <array>
#include <cstdint>

namespace kavlen {

inline constexpr std::size_t kCommandBlockSize = 64;
using CommandBlock = std::array<std::uint8_t, kCommandBlockSize>;

// Device control requests: METHOD_BUFFERED, FILE_DEVICE_UNKNOWN, FILE_WRITE_ACCESS.
inline constexpr std::uint32_t IOCTL_LOAD_DEVICE_OS = 0x22802C;
inline constexpr std::uint32_t IOCTL_HEAD_SEND = 0x228040;
inline constexpr std::uint32_t IOCTL_HEAD_RECEIVE = 0x228044;
inline constexpr std::uint32_t IOCTL_TAIL_SEND = 0x228048;
inline constexpr std::uint32_t IOCTL_TAIL_RECEIVE = 0x22804C;

// Head commands: code in byte 0, 1 in byte 1.
inline constexpr std::uint8_t CMD_BOOT_STATUS = 0x48;
inline constexpr std::uint8_t CMD_QUERY_INFO = 0x51;
inline constexpr std::uint8_t CMD_START_OS = 0x69;
// Tail commands: code in byte 56.
inline constexpr std::uint8_t CMD_DOWNLOAD = 0x37;
inline constexpr std::uint8_t CMD_READY_POLL = 0x35;
inline constexpr std::uint8_t CMD_UPLOAD = 0x36;
inline constexpr std::uint8_t CMD_VERIFY_RESULT = 0x81;
inline constexpr std::uint8_t CMD_END_DOWNLOAD = 0x62;
inline constexpr std::uint8_t CMD_RESET_TARGET = 0x61;
inline constexpr std::uint8_t CMD_RESET_POLL = 0x60;
inline constexpr std::uint8_t CMD_ADDR_WRITE = 0x70;
inline constexpr std::uint8_t CMD_ADDR_READ = 0x73;

// Byte 0 of the CMD_BOOT_STATUS reply.
inline constexpr std::uint8_t BOOT_STATUS_ERROR = 0x00;
inline constexpr std::uint8_t BOOT_STATUS_BOOT_CODE = 0x01;
inline constexpr std::uint8_t BOOT_STATUS_OS_RUNNING = 0x2C;

// Device state codes left by identification and device OS loading.
inline constexpr std::uint8_t DEV_STATE_OK = 0;
inline constexpr std::uint8_t DEV_STATE_OS_LOAD_FAILED = 128;
inline constexpr std::uint8_t DEV_STATE_OPEN_FAILED = 150;
inline constexpr std::uint8_t DEV_STATE_BAD_REPLY = 151;
inline constexpr std::uint8_t DEV_STATE_OS_RUNNING = 152;
inline constexpr std::uint8_t DEV_STATE_BOOT_ERROR = 153;

// Bulk pipes, opened as files below the interface path.
inline constexpr const char* kPipeOut = "PIPE01";  // host to emulator
inline constexpr const char* kPipeIn = "PIPE00";   // emulator to host
inline constexpr std::uint32_t kTransferBlockSize = 16384;

// Builders. Each one clears the block and writes the request bytes by index,
// except BuildPoll, which rewrites only bytes 0, 1, 56 and 57 so that a poll
// goes out on whatever the previous reply left in the block.
void BuildHeadCommand(CommandBlock& block, std::uint8_t code);
void BuildTailCommand(CommandBlock& block, std::uint8_t code);
void BuildPoll(CommandBlock& block, std::uint8_t code);
void BuildDownload(CommandBlock& block, std::uint16_t blockCount);
void BuildUpload(CommandBlock& block, std::uint16_t blockCount);
void BuildVerifyResult(CommandBlock& block, std::uint8_t first, std::uint8_t second);
void BuildAddrWrite(CommandBlock& block, std::uint32_t address, std::uint8_t data);
void BuildAddrRead(CommandBlock& block, std::uint32_t address);

// Argument fields of tail commands: block counts little-endian in bytes
// 60-61, addresses 24-bit big-endian in bytes 58-60.
void PutBlockCount(CommandBlock& block, std::uint16_t blockCount);
void PutAddress(CommandBlock& block, std::uint32_t address);

// Verify outcomes told to the device with CMD_VERIFY_RESULT.
inline constexpr std::uint8_t kVerifyFailedFirst = 0x10;
inline constexpr std::uint8_t kVerifyFailedSecond = 0x90;
inline constexpr std::uint8_t kVerifyPassedFirst = 0x30;
inline constexpr std::uint8_t kVerifyPassedSecond = 0x02;

}  // namespace kavlen

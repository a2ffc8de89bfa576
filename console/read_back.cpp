#include "console/read_back.h"

#include <vector>

#include "console/interrupt.h"
#include "console/read_back_file.h"
#include "console/run_sequence.h"
#include "console/transfer_wording.h"
#include "device/image_buffer.h"
#include "device/protocol.h"
#include "device/rom_capacity.h"
#include "device/str_printf.h"
#include "device/transfer_engine.h"

namespace kavlen::console {

namespace {

std::uint16_t BlocksToRead(std::uint8_t supportedCode) {
  const std::uint8_t code = IsRomSizeCode(supportedCode) ? supportedCode : kLargestTransferSizeCode;
  return static_cast<std::uint16_t>(kBlockCountTable[code]);
}

}  // namespace

int ReadEmulator(const ReadRequest& request, DeviceLink& link, RunEvents& events) {
  TraceSink& sink = link.sink();
  std::uint8_t supportedCode = kUnknownRomSizeCode;  // until the device says otherwise
  if (!PrepareDevice(link, supportedCode, events)) return kReadStopped;

  const std::uint16_t blocks = BlocksToRead(supportedCode);
  const std::uint32_t size = std::uint32_t{blocks} * kTransferBlockSize;
  sink.Print(" \n");
  sink.Print("Read Back FileName = " + request.fileName + " \n");
  if (request.format != ImageFormat::Binary && std::uint64_t{request.base} + size > 0x100000000ull) {
    sink.Print(StrPrintf("Base Address 0x%X leaves no room for %u Bytes ...\n", request.base, size));
    link.CloseDevice();
    return kReadStopped;
  }
  std::vector<std::uint8_t> data;
  try {
    data.resize(size);
  } catch (const std::bad_alloc&) {
    sink.Print("Allocate Read Buffer Fail! ...\n");
    link.CloseDevice();
    return kReadStopped;
  }
  ReadBackFile file(request);
  if (!file.ready()) {
    sink.Print("Open Output file Fail! ...\nPlease Check the Path ...\n");
    link.CloseDevice();
    return kReadStopped;
  }
  // From here on Ctrl-C, TERM and HUP end the read after the block in
  // flight, so that the file is left as it was and the lock is let go.
  CatchInterrupts();

  ConsoleWording wording(sink, &events);
  const TransferResult read = TransferEngine(link, wording, &wording.cancel).Read(data.data(), blocks);
  if (read.fault == TransferFault::PipeFailed) sink.Print("\nOpen In Read Pipe Error... Fail!\n");
  if (read.status != TransferStatus::Ok) return kReadFailed;

  if (!file.Write(data)) {
    sink.Print("Write Output file Fail! ...\n");
    return kReadFailed;
  }
  sink.Print(StrPrintf("Read File size = %u Bytes, CheckSum = 0x%X\n", size,
                       static_cast<unsigned>(ImageChecksum(data.data(), size))));
  return kReadOk;
}

}  // namespace kavlen::console

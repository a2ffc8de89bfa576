#include "console/verify.h"

#include "console/transfer_wording.h"
#include "device/str_printf.h"
#include "device/transfer_engine.h"

namespace kavlen::console {

ReadBack ReadAndCompare(DriverApi& api, Handle pipe, const std::uint8_t* image,
                        std::uint16_t blockCount, TraceSink& sink) {
  ConsoleWording wording(sink);
  const ReadOutcome read = ReadPipeBlocks(api, pipe, {TransferStage::Verify, blockCount, nullptr, image},
                                          wording, &wording.cancel);
  ReadBack result;
  result.complete = read.run.end == BlockEnd::Done;
  if (read.mismatch) {
    result.first = Difference{read.mismatch->offset, read.mismatch->expected, read.mismatch->found};
  }
  return result;
}

namespace {

VerifyOutcome Worded(const TransferResult& verify, TraceSink& sink, RunEvents& events) {
  events.OnCompared(verify);
  switch (verify.fault) {
    case TransferFault::None:
      sink.Print("Verify OK !!\n");
      return VerifyOutcome::Passed;
    case TransferFault::Mismatch: {
      const Mismatch& d = *verify.mismatch;
      sink.Print(StrPrintf("Error at 0x%X --> Orginal= 0x%X ; Target= 0x%X \n", d.offset,
                           unsigned{d.expected}, unsigned{d.found}));
      return VerifyOutcome::Mismatch;
    }
    case TransferFault::OpenFailed:
      // Without the upload request the device has nothing to send back.
      sink.Print("Verify Fail in Open Device, the Image is not verified !!\n");
      return VerifyOutcome::Incomplete;
    default:
      return VerifyOutcome::Incomplete;
  }
}

}  // namespace

VerifyOutcome VerifyImage(DeviceLink& link, const ImageBuffer& buffer, std::uint16_t blockCount,
                          RunEvents& events) {
  ConsoleWording wording(link.sink(), &events);
  const TransferResult verify =
      TransferEngine(link, wording, &wording.cancel).Verify(buffer.data(), blockCount);
  return Worded(verify, link.sink(), events);
}

VerifyOutcome CompareImage(DeviceLink& link, const ImageBuffer& buffer, std::uint16_t blockCount,
                           RunEvents& events) {
  ConsoleWording wording(link.sink(), &events);
  TransferResult compared = TransferEngine(link, wording, &wording.cancel)
                                .ReadBack({TransferStage::Verify, blockCount, nullptr, buffer.data()});
  if (compared.mismatch) compared.fault = TransferFault::Mismatch;
  if (compared.fault == TransferFault::PipeFailed) link.sink().Print("\nOpen In Read Pipe Error... Fail!\n");
  return Worded(compared, link.sink(), events);
}

}  // namespace kavlen::console

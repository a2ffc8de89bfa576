#include "console/verify.h"

#include <cstring>
#include <memory>
#include <new>

#include "console/interrupt.h"
#include "device/protocol.h"
#include "device/str_printf.h"

namespace kavlen::console {

namespace {

std::optional<Difference> FirstDifference(const std::uint8_t* image, const std::uint8_t* read,
                                          std::uint32_t offset) {
  if (std::memcmp(image + offset, read, kTransferBlockSize) == 0) return std::nullopt;
  std::uint32_t i = 0;
  while (image[offset + i] == read[i]) ++i;
  return Difference{offset + i, image[offset + i], read[i]};
}

}  // namespace

ReadBack ReadAndCompare(DriverApi& api, Handle pipe, const std::uint8_t* image,
                        std::uint16_t blockCount, TraceSink& sink) {
  ReadBack result;
  std::unique_ptr<std::uint8_t[]> readBlock(new (std::nothrow) std::uint8_t[kTransferBlockSize]);
  if (readBlock == nullptr) {
    sink.Print("\nAllocate Read Block Fail! ...\n");
    return result;
  }
  for (std::uint32_t k = 0; k < blockCount; ++k) {
    std::uint32_t got = 0;
    const bool ok = api.ReadFile(pipe, readBlock.get(), kTransferBlockSize, &got);
    if (!ok || got != kTransferBlockSize) {
      sink.Print(StrPrintf("\nRead Block %u Fail! ...\n", k));
      return result;
    }
    if (!result.first) result.first = FirstDifference(image, readBlock.get(), k * kTransferBlockSize);
    sink.Print(".");
    if (InterruptRequested() && k + 1 < blockCount) {
      sink.Print(StrPrintf("\nInterrupted after block %u ...\n", k));
      return result;
    }
  }
  result.complete = true;
  return result;
}

VerifyOutcome VerifyImage(DeviceLink& link, const ImageBuffer& buffer, std::uint16_t blockCount) {
  DriverApi& api = link.api();
  CommandBlock& block = link.block();
  TraceSink& sink = link.sink();

  // Without the upload request the device has nothing to send back.
  if (link.OpenDevice() == kInvalidHandle) {
    sink.Print("Verify Fail in Open Device, the Image is not verified !!\n");
    return VerifyOutcome::Incomplete;
  }
  BuildUpload(block, blockCount);
  TailExchange(api, link.device(), block);
  link.CloseDevice();

  const Handle pipe = link.OpenPipe(kPipeIn);
  if (pipe == kInvalidHandle) return VerifyOutcome::Incomplete;
  sink.Print("Verify .");
  const ReadBack readBack = ReadAndCompare(api, pipe, buffer.data(), blockCount, sink);
  api.CloseHandle(pipe);
  if (readBack.complete) sink.Print("Done ! \n");

  // A read-back cut short proves nothing unless it already found a difference.
  if (!readBack.complete && !readBack.first) return VerifyOutcome::Incomplete;
  if (link.OpenDevice() == kInvalidHandle) return VerifyOutcome::Incomplete;
  VerifyOutcome outcome = VerifyOutcome::Passed;
  if (readBack.first) {
    const Difference& d = *readBack.first;
    SendVerifyResult(api, link.device(), block, kVerifyFailedFirst, kVerifyFailedSecond);
    sink.Print(StrPrintf("Error at 0x%X --> Orginal= 0x%X ; Target= 0x%X \n", d.offset,
                         unsigned{d.original}, unsigned{d.target}));
    outcome = VerifyOutcome::Mismatch;
  } else {
    SendVerifyResult(api, link.device(), block, kVerifyPassedFirst, kVerifyPassedSecond);
    sink.Print("Verify OK !!\n");
  }
  link.CloseDevice();
  return outcome;
}

}  // namespace kavlen::console

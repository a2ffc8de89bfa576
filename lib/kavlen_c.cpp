// The C interface: each call maps its arguments onto the library's C++ and
// turns every exception into a status, so that none crosses into C.

#include <cstring>
#include <exception>
#if defined(__GLIBC__) || defined(__linux__)
#include <cxxabi.h>
#define KAVLEN_HAS_FORCED_UNWIND 1
#endif
#include <new>
#include <string>

#include "include/kavlen/kavlen.h"
#include "kavlen_version.h"
#include "lib/library_emulator.h"
#include "lib/library_image.h"
#include "lib/library_log.h"
#include "platform/driver_api.h"

struct kv_emulator {
  kavlen::lib::LogSink sink;
  kavlen::lib::Emulator emulator{kavlen::SystemDriver(), sink};
};

namespace {

using kavlen::lib::Emulator;

// The message of the last failure of a call without a handle.
thread_local std::string threadError;

kv_status ThreadFail(kv_status status, std::string message) {
  threadError = std::move(message);
  return status;
}

// Runs body; an exception becomes `failed` with its message where
// kv_last_error finds it.
template <typename Body>
kv_status Guarded(kv_status failed, std::string& error, Body body) {
  try {
    return body();
#ifdef KAVLEN_HAS_FORCED_UNWIND
  } catch (abi::__forced_unwind&) {
    throw;  // a thread's exit or cancellation unwinding through the call
#endif
  } catch (const std::bad_alloc&) {
    error = "out of memory";
  } catch (const std::exception& e) {
    error = e.what();
  } catch (...) {
    error = "internal error";
  }
  return failed;
}

kavlen::lib::Progress ProgressOf(kv_progress cb, void* user) { return {cb, user}; }

}  // namespace

extern "C" {

const char* kv_version(void) { return KAVLEN_VERSION; }

int kv_api_version(void) { return KV_API_VERSION; }

int kv_list(kv_device_info* out, int max) {
  int count = 0;
  Guarded(KV_NO_DEVICE, threadError, [&] {
    kavlen::lib::LogSink sink;
    const auto found = kavlen::lib::SurveyEmulators(kavlen::SystemDriver(), sink);
    for (std::size_t k = 0; out != nullptr && k < found.size() && static_cast<int>(k) < max; ++k) {
      out[k] = found[k];
    }
    count = static_cast<int>(found.size());
    return KV_OK;
  });
  return count;
}

kv_status kv_open(const char* selector, uint32_t lock_wait_ms, kv_emulator** out) {
  if (out == nullptr) return ThreadFail(KV_BAD_ARGUMENT, "no place for the handle");
  *out = nullptr;
  return Guarded(KV_NO_DEVICE, threadError, [&] {
    auto* emu = new kv_emulator;
    const kv_status status = emu->emulator.Open(selector, std::chrono::milliseconds(lock_wait_ms));
    if (status != KV_OK) {
      threadError = emu->emulator.error();
      delete emu;
      return status;
    }
    threadError.clear();
    *out = emu;
    return KV_OK;
  });
}

kv_status kv_prepare(kv_emulator* emu, const char* device_os_path, kv_device_info* out) {
  if (emu == nullptr) return ThreadFail(KV_BAD_ARGUMENT, "no emulator handle");
  return Guarded(KV_PREPARE_FAILED, emu->emulator.errorText(), [&] {
    return emu->emulator.Prepare(device_os_path != nullptr ? device_os_path : "", out);
  });
}

kv_status kv_image_load(const char* path, const char* format, int64_t base, int fill, kv_image** out) {
  if (path == nullptr || out == nullptr) return ThreadFail(KV_BAD_ARGUMENT, "no path or no place for the image");
  *out = nullptr;
  return Guarded(KV_BAD_IMAGE, threadError, [&] {
    kavlen::lib::ImageLoad loaded = kavlen::lib::LoadImage(path, format, base, fill);
    threadError = loaded.error;
    if (loaded.status == KV_OK) *out = new kv_image(std::move(*loaded.image));
    return loaded.status;
  });
}

kv_status kv_image_from_bytes(const void* data, size_t length, int fill, kv_image** out) {
  if (out == nullptr) return ThreadFail(KV_BAD_ARGUMENT, "no place for the image");
  *out = nullptr;
  return Guarded(KV_BAD_IMAGE, threadError, [&] {
    kavlen::lib::ImageLoad loaded =
        kavlen::lib::ImageFromBytes(static_cast<const std::uint8_t*>(data), length, fill);
    threadError = loaded.error;
    if (loaded.status == KV_OK) *out = new kv_image(std::move(*loaded.image));
    return loaded.status;
  });
}

kv_status kv_image_info(const kv_image* image, uint32_t* length, uint32_t* checksum, uint32_t* base) {
  if (image == nullptr) return ThreadFail(KV_BAD_ARGUMENT, "no image");
  if (length != nullptr) *length = image->length;
  if (checksum != nullptr) *checksum = image->checksum;
  if (base != nullptr) *base = image->base;
  return KV_OK;
}

void kv_image_free(kv_image* image) { delete image; }

kv_status kv_download(kv_emulator* emu, const kv_image* image, int verify, kv_progress cb, void* user) {
  if (emu == nullptr || image == nullptr) return ThreadFail(KV_BAD_ARGUMENT, "no emulator handle or no image");
  return Guarded(KV_DOWNLOAD_FAILED, emu->emulator.errorText(),
                 [&] { return emu->emulator.Download(*image, verify != 0, ProgressOf(cb, user)); });
}

kv_status kv_verify(kv_emulator* emu, const kv_image* image, kv_progress cb, void* user) {
  if (emu == nullptr || image == nullptr) return ThreadFail(KV_BAD_ARGUMENT, "no emulator handle or no image");
  return Guarded(KV_VERIFY_FAILED, emu->emulator.errorText(),
                 [&] { return emu->emulator.Verify(*image, ProgressOf(cb, user)); });
}

kv_status kv_read(kv_emulator* emu, void* buffer, size_t length, kv_progress cb, void* user) {
  if (emu == nullptr || (buffer == nullptr && length > 0)) {
    return ThreadFail(KV_BAD_ARGUMENT, "no emulator handle or no buffer");
  }
  return Guarded(KV_VERIFY_FAILED, emu->emulator.errorText(), [&] {
    return emu->emulator.Read(static_cast<std::uint8_t*>(buffer), length, ProgressOf(cb, user));
  });
}

kv_status kv_reset_target(kv_emulator* emu) {
  if (emu == nullptr) return ThreadFail(KV_BAD_ARGUMENT, "no emulator handle");
  return Guarded(KV_RESET_FAILED, emu->emulator.errorText(), [&] { return emu->emulator.ResetTarget(); });
}

void kv_cancel(kv_emulator* emu) {
  if (emu != nullptr) emu->emulator.Cancel();
}

void kv_close(kv_emulator* emu) { delete emu; }

kv_status kv_mismatch(const kv_emulator* emu, kv_mismatch_info* out) {
  if (emu == nullptr || out == nullptr) return ThreadFail(KV_BAD_ARGUMENT, "no emulator handle or no place");
  const auto& first = emu->emulator.mismatch();
  if (!first) return ThreadFail(KV_BAD_ARGUMENT, "the last compare found no difference");
  out->offset = first->offset;
  out->expected = first->expected;
  out->found = first->found;
  out->count = first->count;
  return KV_OK;
}

const char* kv_last_error(const kv_emulator* emu) {
  return emu != nullptr ? emu->emulator.error().c_str() : threadError.c_str();
}

const char* kv_status_text(kv_status status) {
  switch (status) {
    case KV_OK: return "done";
    case KV_PREPARE_FAILED: return "the device OS does not run";
    case KV_DOWNLOAD_FAILED: return "the download failed";
    case KV_VERIFY_FAILED: return "the verify failed";
    case KV_RESET_FAILED: return "the target reset failed";
    case KV_NO_DEVICE: return "no emulator attached";
    case KV_BUSY: return "the emulator is in use by another program";
    case KV_BAD_IMAGE: return "the image cannot be used";
    case KV_CANCELLED: return "cancelled";
    case KV_BAD_ARGUMENT: return "bad argument";
  }
  return "unknown status";
}

void kv_set_log(kv_log cb, void* user) { kavlen::lib::SetLog(cb, user); }

}  // extern "C"

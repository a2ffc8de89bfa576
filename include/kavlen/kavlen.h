/* kavlen.h: the C interface of libkavlen, the USB ROM emulator's host
 * library for test rigs, CI jobs and scripts. C99; every call is safe to
 * make from C, C++ or a foreign-function interface.
 *
 * One kv_emulator is one attached emulator, held against other programs
 * from kv_open to kv_close. Between calls nothing but that hold stays open,
 * so one handle may live as long as a rig likes. A handle is used by one
 * thread at a time; kv_cancel is the exception (any thread, or a signal
 * handler).
 *
 * Every call that can fail returns a kv_status; kv_last_error gives the
 * message of the last failure. Memory the library hands out is freed by
 * the library (kv_image_free, kv_close). */
#ifndef KAVLEN_KAVLEN_H
#define KAVLEN_KAVLEN_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && defined(KAVLEN_BUILDING_LIBRARY)
#define KV_API __declspec(dllexport)
#elif defined(_WIN32)
#define KV_API __declspec(dllimport)
#else
#define KV_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The version of this interface; kv_api_version() returns it. */
#define KV_API_VERSION 1

/* 0 to 4 are also ukavlen's exit statuses for the same outcomes. */
typedef enum kv_status {
  KV_OK = 0,
  KV_PREPARE_FAILED = 1,  /* the device OS does not run and could not be made to run */
  KV_DOWNLOAD_FAILED = 2, /* the image did not reach the emulator whole */
  KV_VERIFY_FAILED = 3,   /* a byte differs, or the read-back was cut short */
  KV_RESET_FAILED = 4,    /* the end of download or the target reset failed */
  KV_NO_DEVICE = 5,       /* no such emulator attached, or it cannot be opened */
  KV_BUSY = 6,            /* another program held the emulator for the whole wait */
  KV_BAD_IMAGE = 7,       /* the image file cannot be read or is malformed */
  KV_CANCELLED = 8,       /* kv_cancel stopped the transfer */
  KV_BAD_ARGUMENT = 9     /* a null pointer, an unknown name or a value out of range */
} kv_status;

/* What runs on an emulator, as kv_list and kv_prepare found it. */
typedef enum kv_device_state {
  KV_STATE_OS_RUNNING = 0, /* the device OS runs: images can go in */
  KV_STATE_BOOT_CODE = 1,  /* only the boot code runs: kv_prepare loads the device OS */
  KV_STATE_BOOT_ERROR = 2, /* the boot code reports an error, or an unknown status */
  KV_STATE_IN_USE = 3,     /* another program holds it (kv_list only) */
  KV_STATE_UNOPENABLE = 4  /* it is attached but cannot be opened (kv_list only) */
} kv_device_state;

#define KV_PATH_MAX 1024

typedef struct kv_device_info {
  int number;           /* in kv_list order, from 1 */
  char path[KV_PATH_MAX]; /* device interface path, a selector for kv_open */
  int state;            /* a kv_device_state */
  int model;            /* model byte of the boot status */
  char version[8];      /* boot code version, "1.2" */
  uint32_t capacity;    /* supported capacity in bytes; 0 while unknown */
  uint16_t os_checksum; /* device OS checksum, with the device OS running */
  int os_loaded;        /* kv_prepare: 1 when it loaded the device OS */
} kv_device_info;

typedef struct kv_mismatch_info {
  uint32_t offset;  /* of the first differing byte, from the image's start */
  uint8_t expected; /* the image's byte there */
  uint8_t found;    /* the emulator's byte there */
  uint32_t count;   /* differing bytes in the blocks compared */
} kv_mismatch_info;

typedef enum kv_stage {
  KV_STAGE_DOWNLOAD = 1,
  KV_STAGE_VERIFY = 2,
  KV_STAGE_READ = 3
} kv_stage;

/* Called with done 0 when a stage's blocks begin, then after each block;
 * done never goes backwards within a stage and ends at total. Runs on the
 * calling thread. */
typedef void (*kv_progress)(kv_stage stage, uint32_t done, uint32_t total, void* user);
/* One trace line of the device layer, ending in a line feed or not. */
typedef void (*kv_log)(const char* line, void* user);

typedef struct kv_emulator kv_emulator;
typedef struct kv_image kv_image;

KV_API const char* kv_version(void);
KV_API int kv_api_version(void);

/* Fills up to max entries (out may be NULL when max is 0) with the attached
 * emulators in enumeration order, asking each one not held by another
 * program what runs; returns how many are attached. */
KV_API int kv_list(kv_device_info* out, int max);

/* selector NULL: the last emulator found; "N": number N of kv_list; else a
 * device path. Waits up to lock_wait_ms while another program holds it. */
KV_API kv_status kv_open(const char* selector, uint32_t lock_wait_ms, kv_emulator** out);
/* Loads the device OS when only the boot code runs (device_os_path NULL:
 * TPROMOS.USB beside the program, in the shared data folder, then in the
 * user's configuration folder), then identifies the device. out may be NULL. */
KV_API kv_status kv_prepare(kv_emulator* emu, const char* device_os_path, kv_device_info* out);

/* format NULL (by the file's extension), "bin", "ihex" or "srec"; base -1
 * for the lowest record address rounded down to the ROM size; fill 0 (0x00)
 * or 1 (0xFF) up to the image's ROM size, 2 none. A malformed file gives
 * KV_BAD_IMAGE with "file:line: what" in kv_last_error(NULL). */
KV_API kv_status kv_image_load(const char* path, const char* format, int64_t base, int fill,
                               kv_image** out);
KV_API kv_status kv_image_from_bytes(const void* data, size_t length, int fill, kv_image** out);
/* Any of the outputs may be NULL. */
KV_API kv_status kv_image_info(const kv_image* image, uint32_t* length, uint32_t* checksum,
                               uint32_t* base);
KV_API void kv_image_free(kv_image* image);

/* Downloads the image's ROM size in 16 KB blocks, with verify a read-back
 * compare; prepares the device first unless kv_prepare did. */
KV_API kv_status kv_download(kv_emulator* emu, const kv_image* image, int verify, kv_progress cb,
                             void* user);
/* Reads the image's ROM size back and compares it; KV_VERIFY_FAILED with
 * kv_mismatch set when a byte differs. */
KV_API kv_status kv_verify(kv_emulator* emu, const kv_image* image, kv_progress cb, void* user);
/* Reads the first length bytes of the emulator's memory (at most 4 MB). */
KV_API kv_status kv_read(kv_emulator* emu, void* buffer, size_t length, kv_progress cb, void* user);
/* The end of the download, then the target reset and its poll. */
KV_API kv_status kv_reset_target(kv_emulator* emu);
/* Stops the transfer under way after the block in flight; safe from any
 * thread and from a signal handler. */
KV_API void kv_cancel(kv_emulator* emu);
KV_API void kv_close(kv_emulator* emu);

/* After KV_VERIFY_FAILED from a compare: the first difference. */
KV_API kv_status kv_mismatch(const kv_emulator* emu, kv_mismatch_info* out);

/* The last failure's message on emu; with NULL, the calling thread's last
 * failure of a call without a handle (kv_open, kv_image_load, ...). Valid
 * until the next call on the same handle or thread; "" after success. */
KV_API const char* kv_last_error(const kv_emulator* emu);
KV_API const char* kv_status_text(kv_status status);
/* Every trace line of every handle goes to cb (NULL: nowhere). */
KV_API void kv_set_log(kv_log cb, void* user);

#ifdef __cplusplus
}
#endif

#endif /* KAVLEN_KAVLEN_H */

/* kavlen_c_scenarios SCENARIO: one scenario of the C interface against the
 * simulator run-c-scenarios.sh started (or none). Prints a line per failed
 * check and exits 1 when any failed. Built for Linux and for Windows. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "kavlen/kavlen.h"

static int failures = 0;

#define CHECK(cond) check((cond), #cond, __LINE__)
static void check(int ok, const char* what, int line) {
  if (!ok) {
    printf("line %d: failed: %s\n", line, what);
    failures++;
  }
}
static void check_text(const char* got, const char* want, int line) {
  if (strcmp(got, want) != 0) {
    printf("line %d: \"%s\" instead of \"%s\"\n", line, got, want);
    failures++;
  }
}
#define CHECK_TEXT(got, want) check_text((got), (want), __LINE__)

static unsigned char pattern(uint32_t i) { return (unsigned char)(i * 7u + i / 251u); }

static kv_image* pattern_image(size_t length, int fill) {
  unsigned char* bytes = malloc(length);
  kv_image* image = NULL;
  for (size_t i = 0; i < length; i++) bytes[i] = pattern((uint32_t)i);
  CHECK(kv_image_from_bytes(bytes, length, fill, &image) == KV_OK);
  free(bytes);
  return image;
}

/* flags between threads, under a mutex (C99 has no atomics) */
static pthread_mutex_t flag_mutex = PTHREAD_MUTEX_INITIALIZER;
static void set_flag(int* flag, int value) {
  pthread_mutex_lock(&flag_mutex);
  *flag = value;
  pthread_mutex_unlock(&flag_mutex);
}
static int get_flag(int* flag) {
  pthread_mutex_lock(&flag_mutex);
  const int value = *flag;
  pthread_mutex_unlock(&flag_mutex);
  return value;
}

static double now_ms(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}
static void sleep_ms(int ms) {
  struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
  nanosleep(&t, NULL);
}

/* progress: never backwards within a stage, ends at its total */
struct progress { int stage; uint32_t done, total, calls, backwards; };
static void on_progress(kv_stage stage, uint32_t done, uint32_t total, void* user) {
  struct progress* p = user;
  if ((int)stage == p->stage && done < p->done) p->backwards++;
  p->stage = (int)stage, p->done = done, p->total = total, p->calls++;
}

static kv_emulator* open_prepared(kv_device_info* info) {
  kv_emulator* emu = NULL;
  CHECK(kv_open(NULL, 1000, &emu) == KV_OK);
  if (emu != NULL) CHECK(kv_prepare(emu, NULL, info) == KV_OK);
  return emu;
}

static void download(void) {
  kv_device_info listed[2], info;
  CHECK(kv_list(listed, 2) == 1);
  CHECK(listed[0].number == 1 && listed[0].state == KV_STATE_OS_RUNNING && listed[0].capacity == 4194304);
  kv_emulator* emu = open_prepared(&info);
  if (emu == NULL) return;
  CHECK(info.os_loaded == 0 && info.model == 2 && info.capacity == 4194304);
  CHECK_TEXT(info.version, "1.2");
  CHECK_TEXT(info.path, listed[0].path);

  kv_image* image = pattern_image(100000, 1);
  uint32_t length = 0, checksum = 0;
  CHECK(kv_image_info(image, &length, &checksum, NULL) == KV_OK && length == 100000);
  uint32_t sum = 0;
  for (uint32_t i = 0; i < 100000; i++) sum += pattern(i);
  CHECK(checksum == sum);

  for (int verify = 0; verify <= 1; verify++) {
    struct progress p = {0, 0, 0, 0, 0};
    CHECK(kv_download(emu, image, verify, on_progress, &p) == KV_OK);
    CHECK(p.backwards == 0 && p.done == 8 && p.total == 8);
    CHECK(p.stage == (verify ? KV_STAGE_VERIFY : KV_STAGE_DOWNLOAD));
    CHECK(p.calls == (verify ? 18u : 9u));
  }
  static unsigned char back[131072];
  CHECK(kv_read(emu, back, sizeof back, NULL, NULL) == KV_OK);
  int same = 1;
  for (uint32_t i = 0; i < sizeof back; i++) same &= back[i] == (i < 100000 ? pattern(i) : 0xFF);
  CHECK(same);
  CHECK(kv_verify(emu, image, NULL, NULL) == KV_OK);
  CHECK(kv_reset_target(emu) == KV_OK);
  kv_image_free(image);
  kv_close(emu);
}

static void corrupt(void) {
  kv_emulator* emu = open_prepared(NULL);
  if (emu == NULL) return;
  kv_image* image = pattern_image(65536, 0);
  kv_mismatch_info first;
  CHECK(kv_mismatch(emu, &first) == KV_BAD_ARGUMENT);
  CHECK(kv_download(emu, image, 1, NULL, NULL) == KV_VERIFY_FAILED);
  CHECK(kv_mismatch(emu, &first) == KV_OK);
  CHECK(first.offset == 0x4123 && first.expected == pattern(0x4123) &&
        first.found == (unsigned char)~pattern(0x4123) && first.count == 1);
  CHECK_TEXT(kv_last_error(emu), "verify failed at 0x4123: image 0x37, emulator 0xC8; differing bytes: 1");
  kv_image_free(image);
  kv_close(emu);
}

static int holding = 0;
static void* hold_for_a_second(void* unused) {
  kv_emulator* holder = NULL;
  (void)unused;
  CHECK(kv_open("1", 0, &holder) == KV_OK);
  set_flag(&holding, 1);
  sleep_ms(1000);
  kv_close(holder);
  return NULL;
}

/* another thread's handle, then one of the same thread: both hold */
static void busy(void) {
  kv_emulator* first = NULL;
  kv_emulator* second = (kv_emulator*)&failures;
  pthread_t thread;
  pthread_create(&thread, NULL, hold_for_a_second, NULL);
  while (!get_flag(&holding)) sleep_ms(1);
  const double start = now_ms();
  CHECK(kv_open(NULL, 300, &second) == KV_BUSY && second == NULL);
  CHECK(now_ms() - start >= 290);
  CHECK(strstr(kv_last_error(NULL), "is in use by another program (waited 300 ms)") != NULL);
  /* the hold ends with the holder's kv_close */
  CHECK(kv_open(NULL, 5000, &first) == KV_OK);
  pthread_join(thread, NULL);
  CHECK(kv_open(NULL, 100, &second) == KV_BUSY);
  kv_close(first);
}

static void no_device(void) {
  kv_emulator* emu = NULL;
  CHECK(kv_list(NULL, 0) == 0);
  CHECK(kv_open(NULL, 0, &emu) == KV_NO_DEVICE && emu == NULL);
  CHECK_TEXT(kv_last_error(NULL), "no emulator attached");
  CHECK_TEXT(kv_status_text(KV_NO_DEVICE), "no emulator attached");
}

static void bad_hex(void) {
  FILE* f = fopen("bad.hex", "wb");
  fputs(":0400000001020304F2\n:04001000010203\n:00000001FF\n", f);
  fclose(f);
  kv_image* image = (kv_image*)&failures;
  CHECK(kv_image_load("bad.hex", NULL, -1, 0, &image) == KV_BAD_IMAGE && image == NULL);
  CHECK_TEXT(kv_last_error(NULL), "bad.hex:2: short record: 4 data bytes announced, 2 present");
  CHECK(kv_image_load("bad.hex", "elf", -1, 0, &image) == KV_BAD_ARGUMENT);
  CHECK(kv_image_load("bad.hex", "bin", -1, 0, &image) == KV_OK);
  uint32_t length = 0;
  CHECK(kv_image_info(image, &length, NULL, NULL) == KV_OK && length == 48);
  kv_image_free(image);
}

static void boot(void) {
  kv_device_info listed, info;
  CHECK(kv_list(&listed, 1) == 1 && listed.state == KV_STATE_BOOT_CODE && listed.capacity == 0);
  kv_emulator* emu = open_prepared(&info);
  if (emu == NULL) return;
  CHECK(info.os_loaded == 1 && info.state == KV_STATE_OS_RUNNING && info.capacity == 4194304);
  CHECK(kv_prepare(emu, NULL, &info) == KV_OK && info.os_loaded == 0);
  kv_close(emu);
}

struct cancel_run { kv_emulator* emu; int stage; };
static void wait_for_cancel(kv_stage stage, uint32_t done, uint32_t total, void* user) {
  struct cancel_run* run = user;
  (void)stage, (void)total;
  if (done != 2) return;
  set_flag(&run->stage, 1);
  while (get_flag(&run->stage) != 2) sleep_ms(1);
}
static void* cancel_mid_download(void* user) {
  struct cancel_run* run = user;
  while (get_flag(&run->stage) != 1) sleep_ms(1);
  kv_cancel(run->emu);
  set_flag(&run->stage, 2);
  return NULL;
}

static void cancel(void) {
  struct cancel_run run = {open_prepared(NULL), 0};
  if (run.emu == NULL) return;
  kv_image* image = pattern_image(4194304, 0);
  pthread_t thread;
  pthread_create(&thread, NULL, cancel_mid_download, &run);
  CHECK(kv_download(run.emu, image, 1, wait_for_cancel, &run) == KV_CANCELLED);
  pthread_join(thread, NULL);
  CHECK_TEXT(kv_last_error(run.emu), "cancelled after 2 of 256 blocks");
  /* nothing was left open: the next download runs whole */
  CHECK(kv_download(run.emu, image, 0, NULL, NULL) == KV_OK);
  /* a cancel between calls stops no later transfer */
  kv_cancel(run.emu);
  CHECK(kv_download(run.emu, image, 0, NULL, NULL) == KV_OK);
  kv_image_free(image);
  kv_close(run.emu);
}

/* a cancel that no lock orders with the transfer: only kv_cancel's own
 * store reaches the blocks, which the callback slows to 10 ms each */
static void signal_then_dawdle(kv_stage stage, uint32_t done, uint32_t total, void* user) {
  struct cancel_run* run = user;
  (void)stage, (void)total;
  if (done == 2) set_flag(&run->stage, 1);
  if (done >= 2) sleep_ms(10);
}
static void* cancel_when_signalled(void* user) {
  struct cancel_run* run = user;
  while (get_flag(&run->stage) != 1) sleep_ms(1);
  kv_cancel(run->emu);
  return NULL;
}

static void cancel_unordered(void) {
  struct cancel_run run = {open_prepared(NULL), 0};
  if (run.emu == NULL) return;
  kv_image* image = pattern_image(4194304, 0);
  pthread_t thread;
  pthread_create(&thread, NULL, cancel_when_signalled, &run);
  CHECK(kv_download(run.emu, image, 0, signal_then_dawdle, &run) == KV_CANCELLED);
  pthread_join(thread, NULL);
  unsigned done = 0;
  CHECK(sscanf(kv_last_error(run.emu), "cancelled after %u of 256 blocks", &done) == 1);
  CHECK(done >= 2 && done < 256);
  kv_image_free(image);
  kv_close(run.emu);
}

static char logged[2048];
static void on_log(const char* line, void* user) {
  (void)user;
  strncat(logged, line, sizeof logged - strlen(logged) - 1);
}

/* an emulator that refuses to be opened: the trace line goes to the log */
static void refused(void) {
  kv_device_info listed;
  kv_emulator* emu = NULL;
  char expected[KV_PATH_MAX + 32];
  CHECK(kv_list(&listed, 1) == 1 && listed.state == KV_STATE_UNOPENABLE);
  CHECK(kv_open(NULL, 0, &emu) == KV_OK);
  kv_set_log(on_log, NULL);
  CHECK(kv_prepare(emu, NULL, NULL) == KV_NO_DEVICE);
  kv_set_log(NULL, NULL);
  CHECK_TEXT(kv_last_error(emu), "the emulator cannot be opened");
  snprintf(expected, sizeof expected, "FAILED to open %s\n", listed.path);
  CHECK_TEXT(logged, expected);
  kv_close(emu);
}

int main(int argc, char** argv) {
  static const struct { const char* name; void (*run)(void); } scenarios[] = {
      {"download", download}, {"corrupt", corrupt}, {"busy", busy},     {"no_device", no_device},
      {"bad_hex", bad_hex},   {"boot", boot},       {"cancel", cancel}, {"cancel_unordered", cancel_unordered},
      {"refused", refused}};
  CHECK(kv_api_version() == 1);
  for (size_t k = 0; argc == 2 && k < sizeof scenarios / sizeof scenarios[0]; k++) {
    if (strcmp(argv[1], scenarios[k].name) == 0) {
      scenarios[k].run();
      printf("%s: %d failed\n", argv[1], failures);
      return failures == 0 ? 0 : 1;
    }
  }
  fprintf(stderr, "usage: kavlen_c_scenarios SCENARIO\n");
  return 2;
}

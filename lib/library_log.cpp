#include "lib/library_log.h"

#include <mutex>
#include <string>

namespace kavlen::lib {

namespace {

std::mutex logMutex;
kv_log logCallback = nullptr;
void* logUser = nullptr;

}  // namespace

void SetLog(kv_log callback, void* user) {
  const std::lock_guard<std::mutex> hold(logMutex);
  logCallback = callback;
  logUser = user;
}

void LogSink::Print(std::string_view text) {
  kv_log callback;
  void* user;
  {
    const std::lock_guard<std::mutex> hold(logMutex);
    callback = logCallback;
    user = logUser;
  }
  if (callback != nullptr) callback(std::string(text).c_str(), user);
}

}  // namespace kavlen::lib

#pragma once
// A main window wired to fakes for the action tests: a scripted emulator
// behind FakeDriverApi, settings in memory, recorded message boxes, debugger
// lines and sleeps, and a counted reset confirmation instead of the real one.

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "device/command_block.h"
#include "gui/controls/color_label.h"
#include "gui/main_dlg.h"
#include "gui/settings_file.h"
#include "tests/gui/recording_ui_services.h"
#include "tests/support/fake_driver_api.h"
#include "tests/support/recording_sink.h"

namespace kavlen::test {

class MemorySettings : public SettingsFile {
 public:
  std::uint32_t GetInt(const std::string&, const std::string&, std::int32_t defaultValue,
                       const std::string&) override {
    return static_cast<std::uint32_t>(defaultValue);
  }
  std::string GetString(const std::string&, const std::string&, const std::string& defaultValue,
                        std::uint32_t, const std::string&) override {
    return defaultValue;
  }
  void WriteString(const std::string& section, const std::string& key, const std::string& value,
                   const std::string&) override {
    written[section + "/" + key] = value;
  }
  std::map<std::string, std::string> written;
};

// One emulator on the fake bus. Every SEND's block is kept; every RECEIVE is
// answered by `reply` (the block as the SEND left it; by default it is
// echoed). Handles are counted so a test can check that at most one is open
// at any moment and none is left open.
class FakeEmulator {
 public:
  static constexpr const char* kPath = "\\\\?\\usb#vid_0000&pid_0000#emu0";

  FakeDriverApi api;
  bool attached = true;
  bool outPipeOpens = true;
  std::function<void(CommandBlock&)> reply;
  int failReceiveOf = -1;  // tail command whose RECEIVE fails

  std::vector<CommandBlock> sends;     // blocks of every SEND, in order
  std::vector<std::string> opens;      // paths of every successful open
  std::vector<std::vector<std::uint8_t>> pipeWrites;
  int openNow = 0;
  int mostOpen = 0;

  FakeEmulator() {
    api.enumInterfaces = [this](DevInfoSet, const Guid&, std::uint32_t index, DeviceInterfaceData*) {
      if (index == 0 && attached) return true;
      api.lastError = kErrorNoMoreItems;
      return false;
    };
    api.getDetail = [this](DevInfoSet, DeviceInterfaceData*, void* detail, std::uint32_t size,
                           std::uint32_t* required) {
      const std::string path(kPath);
      const auto need = static_cast<std::uint32_t>(4 + path.size() + 1);
      if (required != nullptr) *required = need;
      if (detail == nullptr || size < need) {
        api.lastError = kErrorInsufficientBuffer;
        return false;
      }
      std::copy(path.c_str(), path.c_str() + path.size() + 1, static_cast<char*>(detail) + 4);
      return true;
    };
    api.createFile = [this](const std::string& path, std::uint32_t, std::uint32_t, std::uint32_t,
                            std::uint32_t) -> Handle {
      const bool isDevice = path == kPath;
      const bool isOutPipe = path == std::string(kPath) + "\\" + kPipeOut;
      if (!attached || !(isDevice || (isOutPipe && outPipeOpens))) {
        api.lastError = kErrorFileNotFound;
        return kInvalidHandle;
      }
      opens.push_back(path);
      mostOpen = std::max(mostOpen, ++openNow);
      const Handle handle = nextHandle_++;
      (isDevice ? deviceHandles_ : pipeHandles_).insert(handle);
      return handle;
    };
    api.closeHandle = [this](Handle handle) {
      if (deviceHandles_.erase(handle) + pipeHandles_.erase(handle) == 0) return false;
      --openNow;
      return true;
    };
    api.ioctl = [this](Handle handle, std::uint32_t code, void* in, std::uint32_t inLen, void* out,
                       std::uint32_t outLen, std::uint32_t* returned) {
      if (deviceHandles_.count(handle) == 0 || inLen != kCommandBlockSize || outLen != kCommandBlockSize) {
        api.lastError = kErrorInvalidHandle;
        return false;
      }
      CommandBlock block;
      std::copy_n(static_cast<const std::uint8_t*>(in), block.size(), block.begin());
      if (returned != nullptr) *returned = outLen;
      if (code == IOCTL_HEAD_SEND || code == IOCTL_TAIL_SEND) {
        sends.push_back(block);
        return true;
      }
      if (block[56] == failReceiveOf) {
        api.lastError = kErrorGenFailure;
        return false;
      }
      if (reply) reply(block);
      std::copy(block.begin(), block.end(), static_cast<std::uint8_t*>(out));
      return true;
    };
    api.writeFile = [this](Handle handle, const void* data, std::uint32_t length, std::uint32_t* written) {
      if (pipeHandles_.count(handle) == 0) return false;
      const auto* bytes = static_cast<const std::uint8_t*>(data);
      pipeWrites.emplace_back(bytes, bytes + length);
      *written = length;
      return true;
    };
  }

  // Tail command codes (byte 56) of the SENDs, in order.
  std::vector<std::uint8_t> TailCodes() const {
    std::vector<std::uint8_t> codes;
    for (const CommandBlock& block : sends) codes.push_back(block[56]);
    return codes;
  }

 private:
  Handle nextHandle_ = 100;
  std::set<Handle> deviceHandles_;
  std::set<Handle> pipeHandles_;
};

// The window and everything it was handed.
struct WindowRig {
  explicit WindowRig(DriverApi& driver) {
    MainDlgServices services(driver, sink, settings, ui, "/opt/kavlen");
    services.title = QStringLiteral("USB Kavlen");
    services.debugOutput = [this](const std::string& text) { debugLines.push_back(text); };
    services.sleep = [this](int milliseconds) {
      sleeps.push_back(milliseconds);
      statusAtSleep.push_back(window->m_status->text());
      colourAtSleep.push_back(window->m_status->TextColor());
    };
    services.postQuit = [this] { ++quitRequests; };
    services.startTimer = [](int, int) { return true; };
    services.showResetDialog = [this](QWidget* owner) {
      ++resetDialogs;
      resetDialogOwner = owner;
    };
    window = std::make_unique<CMainDlg>(std::move(services));
  }

  RecordingSink sink;
  MemorySettings settings;
  RecordingUiServices ui;
  std::vector<std::string> debugLines;
  std::vector<int> sleeps;
  std::vector<QString> statusAtSleep;  // the status line while each wait runs
  std::vector<COLORREF> colourAtSleep;
  int quitRequests = 0;
  int resetDialogs = 0;
  QWidget* resetDialogOwner = nullptr;
  std::unique_ptr<CMainDlg> window;
};

}  // namespace kavlen::test

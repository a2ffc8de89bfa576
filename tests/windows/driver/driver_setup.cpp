// kavlen-driver-setup: installs the stand-in driver (kavlensim.sys) in a
// wine prefix and plugs simulated emulators in and out through it.
//
//   kavlen-driver-setup services COUNT DRIVER.SYS
//       one kernel service per device slot, kavlensim0 .. kavlensim<COUNT-1>
//   kavlen-driver-setup add SLOT ENDPOINT.TCP
//       plugs in the device of that slot, served by one kavlen-sim whose
//       "<name>.tcp" file is given (a Windows path), and prints the device
//       interface path once the programs can enumerate it
//   kavlen-driver-setup remove SLOT
//       unplugs the device of that slot (nothing if it is not there)
//
// A device is a root-enumerated device ROOT\KAVLENSIM\<slot, 4 digits> made
// through the setup service; its slot's service is started after it and
// stopped after its removal, so a device's driver always reads its endpoint
// afresh. Slots enumerate in their order.

#include <windows.h>
#include <setupapi.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr int kMaxSlots = 16;
constexpr DWORD kWaitMs = 20000;
constexpr DWORD kPollMs = 20;

// {89BB4816-3E22-4979-8B14-0538FDA9687D}: the emulator's device interface class.
const GUID kInterfaceClass = {0x89BB4816, 0x3E22, 0x4979,
                              {0x8B, 0x14, 0x05, 0x38, 0xFD, 0xA9, 0x68, 0x7D}};
// The setup class "System" the devices are made in.
const GUID kSystemClass = {0x4D36E97D, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

int Fail(const std::string& what) {
  // on standard output, which wine-run.sh passes on (it drops wine's standard error)
  std::printf("kavlen-driver-setup: %s (error %lu)\n", what.c_str(), GetLastError());
  return 1;
}

std::string ServiceName(int slot) { return "kavlensim" + std::to_string(slot); }

std::string InstanceId(int slot) {
  char id[32];
  std::snprintf(id, sizeof id, "ROOT\\KAVLENSIM\\%04d", slot);
  return id;
}

bool ParseSlot(const char* text, int* slot) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || value < 0 || value >= kMaxSlots) return false;
  *slot = static_cast<int>(value);
  return true;
}

class ServiceManager {
 public:
  ServiceManager() : handle_(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)) {}
  ~ServiceManager() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  SC_HANDLE get() const { return handle_; }

 private:
  SC_HANDLE handle_;
};

bool WaitForState(SC_HANDLE service, DWORD state) {
  SERVICE_STATUS status{};
  for (DWORD waited = 0; waited < kWaitMs; waited += kPollMs) {
    if (!QueryServiceStatus(service, &status)) return false;
    if (status.dwCurrentState == state) return true;
    Sleep(kPollMs);
  }
  return false;
}

int CreateServices(int count, const char* driverPath) {
  ServiceManager manager;
  if (manager.get() == nullptr) return Fail("cannot open the service manager");
  const std::string image = std::string("\\??\\") + driverPath;
  for (int slot = 0; slot < count; ++slot) {
    const std::string name = ServiceName(slot);
    SC_HANDLE service = CreateServiceA(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START,
                                       SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);
    if (service == nullptr) return Fail("cannot create the service " + name);
    CloseServiceHandle(service);
  }
  return 0;
}

bool SetEndpoint(int slot, const char* endpoint) {
  const std::string key =
      "System\\CurrentControlSet\\Services\\" + ServiceName(slot) + "\\Parameters";
  HKEY parameters = nullptr;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                      &parameters, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const LONG set = RegSetValueExA(parameters, "Endpoint", 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(endpoint),
                                  static_cast<DWORD>(std::strlen(endpoint) + 1));
  RegCloseKey(parameters);
  return set == ERROR_SUCCESS;
}

// Removes the slot's device if it is there, then stops its service.
int Remove(int slot) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (set == INVALID_HANDLE_VALUE) return Fail("cannot make a device information set");
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  if (SetupDiOpenDeviceInfoA(set, InstanceId(slot).c_str(), nullptr, 0, &device) &&
      !SetupDiCallClassInstaller(DIF_REMOVE, set, &device)) {
    SetupDiDestroyDeviceInfoList(set);
    return Fail("cannot remove " + InstanceId(slot));
  }
  SetupDiDestroyDeviceInfoList(set);

  ServiceManager manager;
  SC_HANDLE service = manager.get() != nullptr
                          ? OpenServiceA(manager.get(), ServiceName(slot).c_str(), SERVICE_ALL_ACCESS)
                          : nullptr;
  if (service == nullptr) return Fail("no service " + ServiceName(slot));
  SERVICE_STATUS status{};
  bool stopped = QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED;
  if (!stopped) {
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    stopped = WaitForState(service, SERVICE_STOPPED);
  }
  CloseServiceHandle(service);
  return stopped ? 0 : Fail("the service " + ServiceName(slot) + " does not stop");
}

// The path of the slot's interface once it is present; "" until then.
std::string InterfacePath(int slot) {
  std::string path;
  HDEVINFO set = SetupDiGetClassDevsA(&kInterfaceClass, nullptr, nullptr,
                                      DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set == INVALID_HANDLE_VALUE) return path;
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD index = 0; path.empty() && SetupDiEnumDeviceInterfaces(set, nullptr, &kInterfaceClass, index, &data);
       ++index) {
    DWORD size = 0;
    SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
    if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
    std::string buffer(size, '\0');
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.data());
    detail->cbSize = sizeof *detail;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    char id[200];  // MAX_DEVICE_ID_LEN
    if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, &device) &&
        SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id, nullptr) &&
        lstrcmpiA(id, InstanceId(slot).c_str()) == 0) {
      path = detail->DevicePath;
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return path;
}

int Add(int slot, const char* endpoint) {
  if (Remove(slot) != 0) return 1;
  if (!SetEndpoint(slot, endpoint)) return Fail("cannot set the endpoint of " + ServiceName(slot));

  HDEVINFO set = SetupDiCreateDeviceInfoList(&kSystemClass, nullptr);
  if (set == INVALID_HANDLE_VALUE) return Fail("cannot make a device information set");
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  static const char kHardwareId[] = "ROOT\\KAVLENSIM\0";
  const std::string service = ServiceName(slot);
  const bool made =
      SetupDiCreateDeviceInfoA(set, InstanceId(slot).c_str(), &kSystemClass, "Simulated ROM emulator",
                               nullptr, 0, &device) &&
      SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                        reinterpret_cast<const BYTE*>(kHardwareId), sizeof kHardwareId) &&
      SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device) &&
      SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE,
                                        reinterpret_cast<const BYTE*>(service.c_str()),
                                        static_cast<DWORD>(service.size() + 1));
  SetupDiDestroyDeviceInfoList(set);
  if (!made) return Fail("cannot make the device " + InstanceId(slot));

  ServiceManager manager;
  SC_HANDLE handle = manager.get() != nullptr
                         ? OpenServiceA(manager.get(), service.c_str(), SERVICE_ALL_ACCESS)
                         : nullptr;
  if (handle == nullptr) return Fail("no service " + service + " (run services first)");
  const bool started = StartServiceA(handle, 0, nullptr) && WaitForState(handle, SERVICE_RUNNING);
  CloseServiceHandle(handle);
  if (!started) return Fail("cannot start " + service);

  for (DWORD waited = 0; waited < kWaitMs; waited += kPollMs) {
    const std::string path = InterfacePath(slot);
    if (!path.empty()) {
      std::printf("%s\n", path.c_str());
      return 0;
    }
    Sleep(kPollMs);
  }
  SetLastError(0);
  return Fail("the interface of " + InstanceId(slot) + " does not appear");
}

int Usage() {
  std::fprintf(stderr,
               "usage: kavlen-driver-setup services COUNT DRIVER.SYS\n"
               "       kavlen-driver-setup add SLOT ENDPOINT.TCP\n"
               "       kavlen-driver-setup remove SLOT\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int slot = 0;
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "services" && argc == 4) {
    int count = 0;
    if (!ParseSlot(argv[2], &count) || count == 0) return Usage();
    return CreateServices(count, argv[3]);
  }
  if (command == "add" && argc == 4 && ParseSlot(argv[2], &slot)) return Add(slot, argv[3]);
  if (command == "remove" && argc == 3 && ParseSlot(argv[2], &slot)) return Remove(slot);
  return Usage();
}

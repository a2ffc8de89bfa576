#include "tests/sim/sim_rig.h"

#include <cstring>
#include <vector>

namespace kavlen::test {

std::vector<std::string> SimRig::Enumerate() {
  std::vector<std::string> paths;
  const DevInfoSet set = api().SetupDiGetClassDevsA(kDeviceInterfaceGuid, 0x12);
  for (std::uint32_t index = 0;; ++index) {
    DeviceInterfaceData data{};
    data.cbSize = sizeof data;
    if (!api().SetupDiEnumDeviceInterfaces(set, kDeviceInterfaceGuid, index, &data)) {
      EXPECT_EQ(api().GetLastError(), kErrorNoMoreItems);
      break;
    }
    std::uint32_t need = 0;
    api().SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &need);
    std::vector<char> detail(need);
    std::memcpy(detail.data(), &kInterfaceDetailFixedSize, 4);
    EXPECT_TRUE(api().SetupDiGetDeviceInterfaceDetailA(set, &data, detail.data(), need, nullptr));
    paths.emplace_back(detail.data() + 4);
  }
  api().SetupDiDestroyDeviceInfoList(set);
  return paths;
}

Handle SimRig::Open(const std::string& pipe) {
  std::string path = sim().socketPath();
  if (!pipe.empty()) path += "\\" + pipe;
  return api().CreateFileA(path.c_str(), kGenericRead | kGenericWrite, 3,
                           pipe.empty() ? kCreateNew : kOpenExisting, 0);
}

bool SimRig::Exchange(Handle handle, bool head, CommandBlock& block) {
  std::uint32_t returned = 0;
  api().DeviceIoControl(handle, head ? IOCTL_HEAD_SEND : IOCTL_TAIL_SEND, block.data(), 64,
                        block.data(), 64, &returned);
  return api().DeviceIoControl(handle, head ? IOCTL_HEAD_RECEIVE : IOCTL_TAIL_RECEIVE,
                               block.data(), 64, block.data(), 64, &returned);
}

}  // namespace kavlen::test

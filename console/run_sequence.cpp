#include "console/run_sequence.h"

namespace kavlen::console {

int RunSequence(const ConsoleSettings&, DeviceLink&) {
  // TODO(run sequence): open the device, check its boot status and load the
  // device OS, then download, verify and reset. Until the device commands
  // exist an accepted command line ends here.
  return 0;
}

}  // namespace kavlen::console

#pragma once
// Where attached emulators show up on a POSIX machine: one Unix socket per
// emulator in <root>/<interface class GUID>/, and a "<name>.tcp" file beside
// it when the simulator also listens on TCP. The simulator creates them, the
// driver backend enumerates them.

#include <string>

namespace kavlen {

// $KAVLEN_DEVICE_DIR, else $XDG_RUNTIME_DIR/kavlen, else /tmp/kavlen-<uid>.
std::string DeviceRootDir();

// <root>/{89BB4816-3E22-4979-8B14-0538FDA9687D}
std::string DeviceClassDir(const std::string& root);

// True when dir is a directory owned by this user that no one else may write
// to; a folder anyone could fill with sockets must not be trusted.
bool IsPrivateDir(const std::string& dir);

}  // namespace kavlen

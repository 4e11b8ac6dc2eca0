// zelt20-install --map N=DEVICE: gives a device a COM number by storing
// com<N>=DEVICE in section [devices] of the settings file (every other key
// and section kept); an empty DEVICE removes the key. POSIX only: on Windows
// the system names its COM ports.
#pragma once

#include <cstdint>
#include <string>

#include "core/checked.h"

namespace zelt20 {

struct ComMappingRequest {
  std::uint32_t number = 0;
  std::string device;  // empty: remove the mapping
};

// Refuses a device that is not a serial port (or pseudo-terminal). A
// relative device path is stored as an absolute one. The value is one line
// that says what was done; a refusal says in one line why not.
Checked<std::string> StoreComMapping(const ComMappingRequest& request, const std::string& settings_file,
                                 const std::string& sysfs_root = "/sys");

}  // namespace zelt20

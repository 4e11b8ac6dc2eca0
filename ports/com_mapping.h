// zelt20-install --map N=DEVICE: gives a device a COM number by storing
// com<N>=DEVICE in section [devices] of the settings file (every other key
// and section kept); an empty DEVICE removes the key. POSIX only: on Windows
// the system names its COM ports.
#pragma once

#include <cstdint>
#include <string>

namespace zelt20 {

struct ComMappingRequest {
  std::uint32_t number = 0;
  std::string device;  // empty: remove the mapping
};

struct ComMappingResult {
  bool done = false;
  std::string message;  // what was done, or why not; one line
};

// Refuses a device that is not a serial port (or pseudo-terminal). A
// relative device path is stored as an absolute one.
ComMappingResult StoreComMapping(const ComMappingRequest& request, const std::string& settings_file,
                                 const std::string& sysfs_root = "/sys");

}  // namespace zelt20

// The config.ini reader: whatever the file holds, reading a key returns at
// most the value limit and never fails.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  static const std::string path = "/tmp/zelt20-settings-fuzz-" + std::to_string(getpid()) + ".ini";
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(bytes, 1, size, file);
  std::fclose(file);
  for (const char* key : {"com", "COM", "com7"}) {
    if (zelt20::ReadSetting(path, "port", key).size() > zelt20::kSettingValueLimit) std::abort();
  }
  zelt20::ReadSetting(path, "devices", "com1");
  return 0;
}

// Which device a COM port name stands for on POSIX.
#if !defined(_WIN32)
#include "link/port_path.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace zelt20 {
namespace {

using test::ScopedEnv;
using test::TempDir;

struct ResolveCase {
  const char* path;
  std::optional<std::string> environment;  // ZELT20_COM7; none: unset
  const char* settings;                    // config.ini; null: no settings file
  std::optional<std::string> device;       // none: the path names no device
  ComSource source = ComSource::kDefault;  // for COM7 paths
};

// The order of the three places, the plain number, and names that stand
// for no device.
TEST(PortPath, ResolvesInTheOrderEnvironmentSettingsDefault) {
  const char* const kMapped = "[port]\ncom=7\n[Devices]\nCOM7 = /dev/ttyUSB3\n";
  const std::vector<ResolveCase> cases = {
      {"\\\\.\\COM7", "/dev/pts/77", kMapped, "/dev/pts/77", ComSource::kEnvironment},
      {"\\\\.\\COM007", "/dev/pts/77", nullptr, "/dev/pts/77", ComSource::kEnvironment},
      {"\\\\.\\COM7", "", kMapped, "/dev/ttyUSB3", ComSource::kSettingsFile},
      {"\\\\.\\COM0007", std::nullopt, kMapped, "/dev/ttyUSB3", ComSource::kSettingsFile},
      {"\\\\.\\COM7", std::nullopt, "[devices]\ncom7=\ncom8=/dev/ttyUSB0\n", "/dev/ttyS6"},
      {"\\\\.\\COM7", std::nullopt, "", "/dev/ttyS6"},
      {"\\\\.\\COM7", std::nullopt, nullptr, "/dev/ttyS6"},
      {"\\\\.\\COM1", std::nullopt, nullptr, "/dev/ttyS0"},
      {"\\\\.\\COM255", std::nullopt, nullptr, "/dev/ttyS254"},
      {"/dev/ttyUSB0", "/dev/pts/77", kMapped, "/dev/ttyUSB0"},
      {"COM7", "/dev/pts/77", kMapped, "COM7"},
      {"\\\\.\\COM", std::nullopt, nullptr, std::nullopt},
      {"\\\\.\\COM0", std::nullopt, nullptr, std::nullopt},
      {"\\\\.\\COM000", std::nullopt, nullptr, std::nullopt},
      {"\\\\.\\COM7x", std::nullopt, nullptr, std::nullopt},
      {"\\\\.\\COM 7", std::nullopt, nullptr, std::nullopt},
      {"\\\\.\\COM-7", std::nullopt, nullptr, std::nullopt},
      {"\\\\.\\COM99999999999", std::nullopt, nullptr, std::nullopt},
  };
  for (const ResolveCase& c : cases) {
    SCOPED_TRACE(c.path);
    TempDir dir;
    std::optional<std::string> settings;
    if (c.settings != nullptr) {
      settings = dir.File("config.ini");
      TempDir::Write(*settings, c.settings);
    }
    ScopedEnv com7("ZELT20_COM7", c.environment);
    ScopedEnv com1("ZELT20_COM1", std::nullopt);
    ScopedEnv com255("ZELT20_COM255", std::nullopt);
    EXPECT_EQ(ResolvePortPath(c.path, settings), c.device);
    const std::optional<std::uint32_t> number = ComNumberOfPath(c.path);
    EXPECT_EQ(number.has_value(), c.device && std::string_view(c.path).starts_with(kComPathPrefix));
    if (number && *number == 7) {
      const ComDevice com = DeviceForCom(*number, settings);
      EXPECT_EQ(com.device, c.device);
      EXPECT_EQ(com.source, c.source);
    }
  }
}

}  // namespace
}  // namespace zelt20
#endif

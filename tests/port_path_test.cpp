// Which device a port text stands for on POSIX.
#if !defined(_WIN32)
#include "link/port_path.h"

#include <gtest/gtest.h>

#include <vector>

#include "ports/port_resolver.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace zelt20 {
namespace {

using test::ScopedEnv;
using test::TempDir;

struct ResolveCase {
  const char* text;
  std::optional<std::string> environment;  // ZELT20_COM7; none: unset
  const char* settings;                    // config.ini; null: no settings file
  std::optional<std::string> device;       // none: the text names no port
  ComSource source = ComSource::kDefault;  // for COM7
};

// The order of the three places, the plain number, and texts that name no
// port.
TEST(PortPath, ResolvesInTheOrderEnvironmentSettingsDefault) {
  const char* const kMapped = "[port]\ncom=7\n[Devices]\nCOM7 = /dev/ttyUSB3\n";
  const std::vector<ResolveCase> cases = {
      {"7", "/dev/pts/77", kMapped, "/dev/pts/77", ComSource::kEnvironment},
      {"007", "/dev/pts/77", nullptr, "/dev/pts/77", ComSource::kEnvironment},
      {"7", "", kMapped, "/dev/ttyUSB3", ComSource::kSettingsFile},
      {"0007", std::nullopt, kMapped, "/dev/ttyUSB3", ComSource::kSettingsFile},
      {"7", std::nullopt, "[devices]\ncom7=\ncom8=/dev/ttyUSB0\n", "/dev/ttyS6"},
      {"7", std::nullopt, "", "/dev/ttyS6"},
      {"7", std::nullopt, nullptr, "/dev/ttyS6"},
      {"1", "/dev/pts/77", kMapped, "/dev/ttyS0"},
      {"255", std::nullopt, nullptr, "/dev/ttyS254"},
      {"COM7", "/dev/pts/77", kMapped, std::nullopt},
      {"", std::nullopt, nullptr, std::nullopt},
      {"0", std::nullopt, nullptr, std::nullopt},
      {"000", std::nullopt, nullptr, std::nullopt},
      {"7x", std::nullopt, nullptr, std::nullopt},
      {" 7", std::nullopt, nullptr, std::nullopt},
      {"-7", std::nullopt, nullptr, std::nullopt},
      {"256", std::nullopt, nullptr, std::nullopt},
      {"99999999999", std::nullopt, nullptr, std::nullopt},
  };
  for (const ResolveCase& c : cases) {
    SCOPED_TRACE(c.text);
    TempDir dir;
    std::optional<std::string> settings;
    if (c.settings != nullptr) {
      settings = dir.File("config.ini");
      TempDir::Write(*settings, c.settings);
    }
    ScopedEnv com7("ZELT20_COM7", c.environment);
    ScopedEnv com1("ZELT20_COM1", std::nullopt);
    ScopedEnv com255("ZELT20_COM255", std::nullopt);
    const std::optional<std::uint32_t> number = ComNumberOfText(c.text);
    ASSERT_EQ(number.has_value(), c.device.has_value());
    if (!number) continue;
    const ComDevice com = SystemPortResolver(settings)({*number, "\\\\.\\COM" + std::string(c.text)});
    EXPECT_EQ(com.device, c.device);
    if (*number == 7) {
      EXPECT_EQ(com.source, c.source);
    }
  }
}

}  // namespace
}  // namespace zelt20
#endif

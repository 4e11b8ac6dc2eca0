#if !defined(_WIN32)
#include "link/port_path.h"

#include <gtest/gtest.h>

#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace zelt20 {
namespace {

using test::ScopedEnv;
using test::TempDir;

TEST(PortPath, EnvironmentNamesTheDeviceByThePlainNumber) {
  ScopedEnv com7("ZELT20_COM7", "/dev/pts/77");
  EXPECT_EQ(ResolvePortPath("\\\\.\\COM007", std::nullopt), "/dev/pts/77");
  EXPECT_EQ(ResolvePortPath("\\\\.\\COM7", std::nullopt), "/dev/pts/77");
}

TEST(PortPath, SettingsFileWhenTheEnvironmentHasNone) {
  TempDir dir;
  const std::string settings = dir.File("config.ini");
  TempDir::Write(settings, "[port]\ncom=12\n[Devices]\nCOM12 = /dev/ttyUSB3\n");
  {
    ScopedEnv empty("ZELT20_COM12", "");
    EXPECT_EQ(ResolvePortPath("\\\\.\\COM12", settings), "/dev/ttyUSB3");
  }
  ScopedEnv set("ZELT20_COM12", "/dev/pts/5");
  EXPECT_EQ(ResolvePortPath("\\\\.\\COM12", settings), "/dev/pts/5");
}

TEST(PortPath, DefaultIsTheSerialPortCountedFromZero) {
  TempDir dir;
  ScopedEnv com1("ZELT20_COM1", std::nullopt);
  ScopedEnv com3("ZELT20_COM3", std::nullopt);
  EXPECT_EQ(ResolvePortPath("\\\\.\\COM1", std::nullopt), "/dev/ttyS0");
  EXPECT_EQ(ResolvePortPath("\\\\.\\COM03", dir.File("config.ini")), "/dev/ttyS2");
}

TEST(PortPath, OtherPathsAreUsedAsTheyAre) {
  EXPECT_EQ(ResolvePortPath("/dev/ttyUSB0", std::nullopt), "/dev/ttyUSB0");
  EXPECT_EQ(ResolvePortPath("COM3", std::nullopt), "COM3");
}

TEST(PortPath, NoPortNumberNamesNoDevice) {
  for (const char* path : {"\\\\.\\COM", "\\\\.\\COM0", "\\\\.\\COM000", "\\\\.\\COM1x",
                           "\\\\.\\COM 1", "\\\\.\\COM-1", "\\\\.\\COM99999999999"}) {
    EXPECT_EQ(ResolvePortPath(path, std::nullopt), std::nullopt) << path;
  }
}

}  // namespace
}  // namespace zelt20
#endif

#include "core/settings_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace zelt20 {
namespace {

using test::TempDir;

TEST(SettingsFile, MissingFileSectionOrKeyReadsEmpty) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  EXPECT_EQ(ReadSetting(file, "port", "com"), "");
  TempDir::Write(file, "[other]\ncom=5\n[port]\nbaud=9600\n");
  EXPECT_EQ(ReadSetting(file, "port", "com"), "");
  EXPECT_EQ(ReadSetting(file, "devices", "com"), "");
}

TEST(SettingsFile, NamesIgnoreCaseAndBlanksAroundNamesAndValues) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  TempDir::Write(file, "; remembered port\r\n[ PORT ]\r\n  Com  =  7  \r\nname=\"a b\"\r\n");
  EXPECT_EQ(ReadSetting(file, "port", "COM"), "7");
  EXPECT_EQ(ReadSetting(file, " Port", "com "), "7");
  EXPECT_EQ(ReadSetting(file, "port", "name"), "a b");
}

TEST(SettingsFile, ValueIsCutTo199Characters) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  TempDir::Write(file, "[port]\ncom=" + std::string(250, '9') + "\n");
  EXPECT_EQ(ReadSetting(file, "port", "com"), std::string(kSettingValueLimit, '9'));
}

TEST(SettingsFile, WriteCreatesFileSectionAndKey) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  ASSERT_TRUE(WriteSetting(file, "port", "com", "0"));
  EXPECT_EQ(ReadSetting(file, "port", "com"), "0");
  ASSERT_TRUE(WriteSetting(file, "PORT", "Com", "12"));
  EXPECT_EQ(ReadSetting(file, "port", "com"), "12");
#if !defined(_WIN32)
  EXPECT_EQ(TempDir::Read(file), "[port]\ncom=12\n");
#endif
}

TEST(SettingsFile, WriteFailsWhereNoFileCanBe) {
  TempDir dir;
  EXPECT_FALSE(WriteSetting(dir.File("missing/config.ini"), "port", "com", "7"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

#if !defined(_WIN32)
// The Windows profile calls rewrite the whole file in their own layout; on
// POSIX only the changed line differs.
TEST(SettingsFile, WriteKeepsEveryOtherByte) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  const std::string head = "; hand-written\r\n[devices]\r\n com7 = /dev/ttyUSB0 \r\n\r\n[Port]\r\n";
  const std::string tail = "other =  x\r\n\r\n[more]\r\ncom=1";
  TempDir::Write(file, head + "COM = 7\r\n" + tail);

  ASSERT_TRUE(WriteSetting(file, "port", "com", " 12 "));
  EXPECT_EQ(TempDir::Read(file), head + "COM = 12\r\n" + tail);

  ASSERT_TRUE(WriteSetting(file, "devices", "com8", "/dev/ttyACM0"));
  ASSERT_TRUE(WriteSetting(file, "more", "baud", "19200"));
  ASSERT_TRUE(WriteSetting(file, "last", "key", "v"));
  EXPECT_EQ(TempDir::Read(file),
            "; hand-written\r\n[devices]\r\n com7 = /dev/ttyUSB0 \r\ncom8=/dev/ttyACM0\r\n\r\n"
            "[Port]\r\nCOM = 12\r\nother =  x\r\n\r\n[more]\r\ncom=1\r\nbaud=19200\r\n"
            "[last]\r\nkey=v\r\n");
}

TEST(SettingsFile, WriteRefusesTextThatWouldBreakTheLines) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  TempDir::Write(file, "[port]\ncom=7\n");
  EXPECT_FALSE(WriteSetting(file, "port", "com", "1\n[devices]"));
  EXPECT_FALSE(WriteSetting(file, "port]", "com", "1"));
  EXPECT_FALSE(WriteSetting(file, "port", "com=", "1"));
  EXPECT_EQ(TempDir::Read(file), "[port]\ncom=7\n");
}

TEST(SettingsFile, PathIsBesideTheExecutable) {
  const std::optional<std::string> path = SettingsPath();
  ASSERT_TRUE(path);
  EXPECT_EQ(std::filesystem::path(*path),
            std::filesystem::read_symlink("/proc/self/exe").parent_path() / "config.ini");
}
#endif

}  // namespace
}  // namespace zelt20

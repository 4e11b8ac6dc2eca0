// config.ini through the Windows profile calls: what the portable settings
// tests cannot say about them (the layout they write, other keys kept), and
// the settings path beside an executable whose path is near 256 bytes.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "tests/support/temp_dir.h"
#include "core/settings_file.h"

namespace zelt20 {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(ProfileSettings, WriteCreatesTheUsualLayout) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  ASSERT_TRUE(WriteSetting(file, "port", "com", "0"));
  EXPECT_EQ(TempDir::Read(file), "[port]\r\ncom=0\r\n");
}

TEST(ProfileSettings, WriteReplacesOneValueAndKeepsEveryOtherKey) {
  TempDir dir;
  const std::string file = dir.File("config.ini");
  TempDir::Write(file,
                 "; hand-written\r\n[devices]\r\ncom7=/dev/ttyUSB0\r\n\r\n[Port]\r\nCOM=7\r\n"
                 "other=x\r\n[more]\r\ncom=1\r\n");
  ASSERT_TRUE(WriteSetting(file, "port", "com", "12"));
  ASSERT_TRUE(WriteSetting(file, "last", "key", "v"));

  EXPECT_EQ(ReadSetting(file, "port", "com"), "12");
  EXPECT_EQ(ReadSetting(file, "port", "other"), "x");
  EXPECT_EQ(ReadSetting(file, "devices", "com7"), "/dev/ttyUSB0");
  EXPECT_EQ(ReadSetting(file, "more", "com"), "1");
  EXPECT_EQ(ReadSetting(file, "last", "key"), "v");
}

// The probe program copied to a folder whose path makes its full file name
// exactly `module_length` characters long, under the name `file_name`.
class ProbeCopy {
 public:
  ProbeCopy(std::size_t module_length, const std::string& file_name) {
    fs::path folder = LongPath(dir_.Path());
    const std::size_t base_length = (folder / file_name).string().size();
    if (module_length < base_length + 2) throw std::runtime_error("temporary folder too long");
    // Pad with folders (a backslash and at most 200 characters each) until
    // the name has the length; no folder is left to fill a single character.
    for (std::size_t missing = module_length - base_length; missing > 0;) {
      std::size_t part = std::min<std::size_t>(200, missing - 1);
      if (missing - (part + 1) == 1) --part;
      folder /= std::string(part, 'd');
      missing -= part + 1;
    }
    fs::create_directories(folder);
    program_ = folder / file_name;
    fs::copy_file(ProbeProgram(), program_);
  }

  std::string Program() const { return program_.string(); }
  fs::path SettingsFile() const { return program_.parent_path() / "config.ini"; }

  // Runs the copy to its end; its exit code, or none when it did not start.
  std::optional<DWORD> Run() const {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::string command = "probe";
    if (!CreateProcessA(Program().c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process)) {
      return std::nullopt;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 0;
    GetExitCodeProcess(process.hProcess, &exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exit_code;
  }

 private:
  // The temporary folder without short (8.3) names, as the system reports
  // a program's file name.
  static fs::path LongPath(const fs::path& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetLongPathNameW(path.c_str(), buffer, MAX_PATH);
    return length > 0 && length < MAX_PATH ? fs::path(buffer) : path;
  }

  // The probe is built beside this test program.
  static fs::path ProbeProgram() {
    wchar_t buffer[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return fs::path(buffer).parent_path() / "settings_path_probe.exe";
  }

  TempDir dir_;
  fs::path program_;
};

TEST(SettingsPath, IsWrittenWhileTheProgramNameAndTheSettingsPathFit) {
  // A long program name: the settings path is shorter than the name.
  const ProbeCopy long_name(255, std::string(40, 'n') + ".exe");
  ASSERT_EQ(long_name.Program().size(), 255u);
  EXPECT_EQ(long_name.Run(), 0u);
  EXPECT_EQ(ReadSetting(long_name.SettingsFile().string(), "port", "com"), "7");

  // A short program name: "config.ini" makes the settings path 255 long.
  const ProbeCopy short_name(250, "p.exe");
  EXPECT_EQ(short_name.Run(), 0u);
  ASSERT_EQ(short_name.SettingsFile().string().size(), 255u);
  EXPECT_EQ(ReadSetting(short_name.SettingsFile().string(), "port", "com"), "7");
}

TEST(SettingsPath, IsSkippedWhenTheProgramNameOrTheSettingsPathDoesNotFit) {
  const ProbeCopy long_name(256, std::string(40, 'n') + ".exe");
  ASSERT_EQ(long_name.Program().size(), 256u);
  EXPECT_EQ(long_name.Run(), 0u);
  EXPECT_FALSE(fs::exists(long_name.SettingsFile()));

  const ProbeCopy short_name(251, "p.exe");
  EXPECT_EQ(short_name.Run(), 0u);
  ASSERT_EQ(short_name.SettingsFile().string().size(), 256u);
  EXPECT_FALSE(fs::exists(short_name.SettingsFile()));
}

}  // namespace
}  // namespace zelt20

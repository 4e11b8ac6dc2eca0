// The remembered port, the port box's start, the command-line port and the
// port text handed to a run, at their edges; the window tests go through the
// usual cases.
#include "ui/port_setting.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <string_view>
#include <utility>

#include "tests/support/temp_dir.h"
#include "core/settings_file.h"

namespace zelt20 {
namespace {

namespace fs = std::filesystem;

TEST(LeadingInteger, ReadsTheNumberAtTheStartLikeAtoi) {
  EXPECT_EQ(LeadingInteger("7"), 7);
  EXPECT_EQ(LeadingInteger(" \t\r\n\v\f 12"), 12);
  EXPECT_EQ(LeadingInteger("+8"), 8);
  EXPECT_EQ(LeadingInteger("-2"), -2);
  EXPECT_EQ(LeadingInteger("12abc"), 12);
  EXPECT_EQ(LeadingInteger("007"), 7);
  EXPECT_EQ(LeadingInteger("1 2"), 1);
  EXPECT_EQ(LeadingInteger("abc"), 0);
  EXPECT_EQ(LeadingInteger(""), 0);
  EXPECT_EQ(LeadingInteger("-"), 0);
  EXPECT_EQ(LeadingInteger("+ 5"), 0);
  EXPECT_EQ(LeadingInteger("x5"), 0);
}

TEST(LeadingInteger, SaturatesInsteadOfOverflowing) {
  EXPECT_EQ(LeadingInteger("2147483647"), INT_MAX);
  EXPECT_EQ(LeadingInteger("-2147483648"), INT_MIN);
  EXPECT_EQ(LeadingInteger("4294967303"), INT_MAX);  // 2^32 + 7 must not wrap to 7
  EXPECT_EQ(LeadingInteger(std::string(300, '9')), INT_MAX);
  EXPECT_EQ(LeadingInteger("-" + std::string(300, '9')), INT_MIN);
}

class RememberedPortTest : public ::testing::Test {
 protected:
  void WriteFile(const std::string& text) const { test::TempDir::Write(path_, text); }

  test::TempDir folder_;
  std::string path_ = folder_.File("config.ini");
};

TEST_F(RememberedPortTest, OnlyTheFirst199CharactersOfTheValueCount) {
  WriteFile("[port]\r\ncom=" + std::string(198, '0') + "7\r\n");
  EXPECT_EQ(ReadRememberedPort(path_), 7);
  WriteFile("[port]\r\ncom=" + std::string(199, '0') + "7\r\n");
  EXPECT_EQ(ReadRememberedPort(path_), 0);
}

TEST_F(RememberedPortTest, FailedWriteAndUnknownPathPassSilently) {
  StoreRememberedPort(folder_.File("missing folder/config.ini"), 7);
  EXPECT_FALSE(fs::exists(folder_.Path() / "missing folder"));
  StoreRememberedPort(std::nullopt, 7);
  EXPECT_EQ(ReadRememberedPort(std::nullopt), 0);
}

// The Windows profile calls take no path beyond MAX_PATH; there the
// settings path is at most 255 characters or skipped.
#if !defined(_WIN32)
TEST_F(RememberedPortTest, PathsBeyond256CharactersWork) {
  fs::path deep = folder_.Path();
  for (int level = 0; level < 10; ++level) {
    deep /= "a_folder_with_a_long_name_" + std::to_string(level);
  }
  fs::create_directories(deep);
  const std::string path = (deep / "config.ini").string();
  ASSERT_GT(path.size(), 300u);
  StoreRememberedPort(path, 42);
  EXPECT_EQ(ReadRememberedPort(path), 42);
}
#endif

TEST(PortBox, NoPortOrOneOutsideTheListShowsOne) {
  for (int remembered : {0, 256, 300, -2, INT_MAX, INT_MIN}) {
    const PortBoxStart start = StartPortBox(remembered, "");
    EXPECT_EQ(start.selected_position, -1) << remembered;
    EXPECT_EQ(start.shown_text, "1") << remembered;
    EXPECT_FALSE(start.locked);
  }
}

TEST(CommandLinePort, ArgumentsAreJoinedWithSingleBlanks) {
  EXPECT_EQ(CommandLinePort({}), "");
  EXPECT_EQ(CommandLinePort({""}), "");
  EXPECT_EQ(CommandLinePort({"5"}), "5");
  EXPECT_EQ(CommandLinePort({"COM", "5"}), "COM 5");
  EXPECT_EQ(CommandLinePort({"5 "}), "5 ");
  EXPECT_EQ(CommandLinePort({"", "5"}), " 5");
}

// The text after the program's name on a Windows command line, by the rule
// of the platform's start-up code: a quoted name ends at the next quote
// (there is no escaping), any other name at the first blank or control
// character; the blanks after the name go, the rest stays as it is.
TEST(CommandLinePort, WindowsCommandLineAfterTheProgramName) {
  const std::pair<std::wstring_view, std::wstring_view> cases[] = {
      {L"zelt20-installer.exe", L""},
      {L"zelt20-installer.exe ", L""},
      {L"zelt20-installer.exe 5", L"5"},
      {L"zelt20-installer.exe 5 ", L"5 "},
      {L"zelt20-installer.exe \t 7  x ", L"7  x "},
      {L"zelt20-installer.exe \"5 \"", L"\"5 \""},
      {L"\"C:\\Program Files\\zelt20-installer.exe\" 12", L"12"},
      {L"\"C:\\a b\\x.exe\"12", L"12"},
      {L"\"C:\\no end quote 5", L""},
      {L"C:\\a\"b c\".exe 3", L"c\".exe 3"},
      {L"x.exe\x01" L"5", L"5"},
      {L"", L""},
  };
  for (const auto& [command_line, port] : cases) {
    EXPECT_EQ(TextAfterProgramName(command_line), port)
        << std::string(command_line.begin(), command_line.end());
  }
}

TEST(PortTextBuffer, KeepsAtMost79CharactersAndTheTerminator) {
  PortText port;
  EXPECT_STREQ(port.CString(), "");
  port.Assign("007");
  EXPECT_STREQ(port.CString(), "007");
  const std::string exact(79, '1');
  port.Assign(exact);
  EXPECT_EQ(std::string(port.CString()), exact);
  port.Assign(std::string(500, '2'));
  EXPECT_EQ(std::string(port.CString()), std::string(79, '2'));
  port.Assign("9");
  EXPECT_STREQ(port.CString(), "9");
}

}  // namespace
}  // namespace zelt20

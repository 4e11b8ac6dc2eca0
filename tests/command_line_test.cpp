// The console installer's command line: the command it asks for, or the
// one problem that makes it wrong.
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelt20 {
namespace {

ParsedCommandLine Parse(const std::vector<std::string_view>& args) {
  return ParseCommandLine(args);
}

TEST(CommandLine, WrongOnesNameTheirOneProblem) {
  const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
      {{}, "missing PORT"},
      {{"--yes"}, "missing PORT"},
      {{"--yess", "3"}, "unknown option --yess"},
      {{"3", "-y"}, "unknown option -y"},
      {{"-5"}, "unknown option -5"},
      {{"3", "4"}, "one PORT only, not 3 and 4"},
      {{"--map"}, "--map needs N=DEVICE"},
      {{"--map", "0=/dev/ttyUSB0"},
       "--map 0=/dev/ttyUSB0: not N=DEVICE with N a COM number 1 to 255"},
      {{"--map=256=/dev/ttyUSB0"},
       "--map 256=/dev/ttyUSB0: not N=DEVICE with N a COM number 1 to 255"},
      {{"--map", "/dev/ttyUSB0"}, "--map /dev/ttyUSB0: not N=DEVICE with N a COM number 1 to 255"},
      {{"--map", "x5=/dev/ttyUSB0"},
       "--map x5=/dev/ttyUSB0: not N=DEVICE with N a COM number 1 to 255"},
      {{"--map", "5=a", "--map", "6=b"}, "--map given twice"},
      {{"--list-ports", "--map", "5="}, "--list-ports and --map exclude each other"},
      {{"--list-ports", "3"}, "--list-ports takes no PORT"},
      {{"3", "--map", "5=/dev/ttyUSB0"}, "--map takes no PORT"},
  };
  for (const auto& [args, problem] : cases) {
    const ParsedCommandLine parsed = Parse(args);
    EXPECT_FALSE(parsed.command) << problem;
    EXPECT_EQ(parsed.problem, problem);
  }
}

TEST(CommandLine, CommandsAndTheirArguments) {
  const auto install = Parse({"--yes", "007"});
  ASSERT_TRUE(install.command);
  const auto& run = std::get<InstallOnPort>(*install.command);
  EXPECT_EQ(run.port_text, "007");
  EXPECT_TRUE(run.assume_yes);
  // A lone dash and an empty text are port texts, for the run to refuse.
  EXPECT_EQ(std::get<InstallOnPort>(*Parse({"-"}).command).port_text, "-");
  EXPECT_FALSE(std::get<InstallOnPort>(*Parse({""}).command).assume_yes);

  const auto map = Parse({"--map", "005=/dev/serial/by-id/usb-X=Y"});
  ASSERT_TRUE(map.command);
  EXPECT_EQ(std::get<MapComNumber>(*map.command).number, 5u);
  EXPECT_EQ(std::get<MapComNumber>(*map.command).device, "/dev/serial/by-id/usb-X=Y");
  EXPECT_EQ(std::get<MapComNumber>(*Parse({"--map=255="}).command).device, "");

  EXPECT_TRUE(std::holds_alternative<ListPorts>(*Parse({"--list-ports"}).command));
  // Help comes first, whatever follows it.
  EXPECT_TRUE(std::holds_alternative<ShowHelp>(*Parse({"3", "--help", "--yess"}).command));
}

}  // namespace
}  // namespace zelt20

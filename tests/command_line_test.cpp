// The console installer's command line: the command it asks for, or the
// one problem that makes it wrong.
#include "cli/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zelt20 {
namespace {

Checked<ConsoleCommand> Parse(const std::vector<std::string_view>& args) {
  return ParseCommandLine(args);
}

TEST(CommandLine, WrongOnesNameTheirOneProblem) {
  const std::vector<std::pair<std::vector<std::string_view>, std::string>> cases = {
      {{}, "missing PORT"},
      {{"--yes"}, "missing PORT"},
      {{"--yess", "3"}, "unknown option --yess"},
      {{"3", "-y"}, "unknown option -y"},
      {{"-5"}, "unknown option -5"},
      {{"3", "4", "3"}, "PORT 3 given twice"},
      {{"3", "x", "003"}, "3 and 003 are both COM3"},
      {{"3", "--no-records", "4"}, "several PORTs take no --no-records"},
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
      {{"--records"}, "--records needs DIR"},
      {{"--records=", "3"}, "--records needs DIR"},
      {{"--records", "/r", "--no-records", "3"}, "--records and --no-records exclude each other"},
      {{"--history", "3"}, "--history takes no PORT"},
      {{"--history", "--no-records"}, "--history takes no --no-records"},
      {{"--history", "--list-ports"}, "--history and --list-ports exclude each other"},
      {{"--list-ports", "--records", "/r"}, "--list-ports takes no --records"},
      {{"--last", "5", "3"}, "--last goes with --history"},
      {{"--wide", "3"}, "--wide goes with --history"},
      {{"--sync", "3"}, "--sync takes no PORT"},
      {{"--history", "--fleet"}, "--history and --fleet exclude each other"},
      {{"--fleet", "--records", "/r"}, "--fleet takes no --records"},
      {{"--release", "2.3:56"}, "--release and --failed go with --fleet"},
      {{"--station", "5", "3"}, "--station goes with --history or --fleet"},
      {{"--fleet", "--failed", "--station", "5"}, "--release, --station and --failed exclude each other"},
      {{"--history", "--last", "0"}, "--last needs N, a count of 1 or more"},
      {{"--history", "--last=x"}, "--last needs N, a count of 1 or more"},
      {{"--history", "--station"}, "--station needs SERIAL, the station's serial number in digits"},
      {{"--history", "--station", "A42"},
       "--station needs SERIAL, the station's serial number in digits"},
  };
  for (const auto& [args, problem] : cases) {
    const Checked<ConsoleCommand> parsed = Parse(args);
    EXPECT_FALSE(parsed) << problem;
    EXPECT_EQ(parsed.Reason(), problem);
  }
}

TEST(CommandLine, CommandsAndTheirArguments) {
  const auto install = Parse({"--yes", "007"});
  ASSERT_TRUE(install);
  const auto& run = std::get<InstallOnPorts>(*install);
  EXPECT_EQ(run.port_texts, std::vector<std::string>{"007"});
  EXPECT_TRUE(run.assume_yes);
  // A lone dash and an empty text are port texts, for the run to refuse,
  // and so are texts that are no port twice.
  EXPECT_EQ(std::get<InstallOnPorts>(*Parse({"-"})).port_texts, std::vector<std::string>{"-"});
  EXPECT_FALSE(std::get<InstallOnPorts>(*Parse({""})).assume_yes);
  EXPECT_EQ(std::get<InstallOnPorts>(*Parse({"3", "x", "4", "x", "--yes"})).port_texts,
            (std::vector<std::string>{"3", "x", "4", "x"}));

  const auto map = Parse({"--map", "005=/dev/serial/by-id/usb-X=Y"});
  ASSERT_TRUE(map);
  EXPECT_EQ(std::get<MapComNumber>(*map).number, 5u);
  EXPECT_EQ(std::get<MapComNumber>(*map).device, "/dev/serial/by-id/usb-X=Y");
  EXPECT_EQ(std::get<MapComNumber>(*Parse({"--map=255="})).device, "");

  EXPECT_TRUE(std::holds_alternative<ListPorts>(*Parse({"--list-ports"})));

  const auto recorded = std::get<InstallOnPorts>(*Parse({"--records=/var/r", "5"}));
  EXPECT_EQ(recorded.records_folder, "/var/r");
  EXPECT_FALSE(recorded.no_records);
  EXPECT_TRUE(std::get<InstallOnPorts>(*Parse({"5", "--no-records"})).no_records);
  const auto history = std::get<ShowHistory>(*Parse({"--history", "--station", "00042", "--last=3",
                                                      "--records", "/var/r"}));
  EXPECT_EQ(history.last, 3);
  EXPECT_EQ(history.station, 42u);
  EXPECT_EQ(history.records_folder, "/var/r");
  EXPECT_EQ(std::get<ShowHistory>(*Parse({"--history"})).last, 20);
  EXPECT_FALSE(std::get<ShowHistory>(*Parse({"--history"})).wide);
  EXPECT_TRUE(std::get<ShowHistory>(*Parse({"--wide", "--history"})).wide);
  // Help comes first, whatever follows it.
  EXPECT_TRUE(std::holds_alternative<ShowHelp>(*Parse({"3", "--help", "--yess"})));
}

TEST(CommandLine, PortsThatStandForOneDeviceAreRefused) {
  // COM1 and COM3 are one adapter; COM2 another.
  const DeviceOfPort device_of = [](const ComPort& port) {
    return port.number == 2 ? std::string("/dev/ttyUSB1") : std::string("/dev/ttyUSB0");
  };
  const struct {
    std::vector<std::string> ports;
    std::string problem;  // empty: accepted
  } rows[] = {
      {{"1", "2"}, ""},
      {{"2", "x", "1"}, ""},
      {{"2", "1", "3"}, "1 and 3 are both /dev/ttyUSB0"},
      {{"03", "2", "1"}, "03 and 1 are both /dev/ttyUSB0"},
  };
  for (const auto& row : rows) {
    const Checked<> checked = CheckDistinctDevices(row.ports, device_of);
    EXPECT_EQ(static_cast<bool>(checked), row.problem.empty()) << row.problem;
    EXPECT_EQ(checked.Reason(), row.problem);
  }
}

}  // namespace
}  // namespace zelt20

// The serial ports of the machine: which nodes count as ports, the listing
// of --list-ports on a made-up enumeration, and the map command on a
// settings file of the test's own.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/settings_file.h"
#include "ports/com_mapping.h"
#include "ports/port_listing.h"
#include "ports/serial_node.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace zelt20 {
namespace {

using test::FakeSysfs;
using test::PtyPair;
using test::ScopedEnv;
using test::TempDir;

// No ZELT20_COM<n> of the machine running the test gets in the way.
class NoComVariables {
 public:
  NoComVariables() {
    for (std::uint32_t n = 1; n <= kHighestComNumber; ++n) {
      unset_.push_back(std::make_unique<ScopedEnv>("ZELT20_COM" + std::to_string(n), std::nullopt));
    }
  }

 private:
  std::vector<std::unique_ptr<ScopedEnv>> unset_;
};

// Character devices that every machine has, standing in for serial ports in
// a sysfs of the test's own.
struct Nodes {
  Nodes() {
    sysfs.Add("/dev/null", {.uart_type = 4});   // a UART that answers
    sysfs.Add("/dev/zero", {.uart_type = 0});   // a port node without a UART
    sysfs.Add("/dev/urandom", {});              // a USB adapter: no port type
    sysfs.Add("/dev/full", {.device = false});  // a virtual console
    sysfs.Add("/dev/random", {.tty = false});   // no terminal at all
    TempDir::Write(dir.File("plain"), "x");
  }
  FakeSysfs sysfs;
  TempDir dir;
  PtyPair pty;
};

TEST(SerialNode, KindsTellPortsFromOtherNodes) {
  Nodes nodes;
  const std::vector<std::pair<std::string, NodeKind>> cases = {
      {"/dev/null", NodeKind::kSerialPort},
      {"/dev/urandom", NodeKind::kSerialPort},
      {"/dev/zero", NodeKind::kNoUart},
      {"/dev/full", NodeKind::kNotSerialPort},
      {"/dev/random", NodeKind::kNotSerialPort},
      {nodes.pty.SlavePath(), NodeKind::kPseudoTerminal},
      {nodes.dir.File("plain"), NodeKind::kNotCharacterDevice},
      {nodes.dir.File("absent"), NodeKind::kMissing},
  };
  for (const auto& [node, kind] : cases) {
    EXPECT_EQ(ClassifyNode(node, nodes.sysfs.Root()), kind) << node;
    EXPECT_EQ(CarriesALine(kind),
              kind == NodeKind::kSerialPort || kind == NodeKind::kPseudoTerminal);
  }
}

TEST(SerialNode, StableNamesByTheDeviceTheyLeadTo) {
  TempDir by_id;
  std::filesystem::create_symlink("/dev/null", by_id.File("usb-Maker_Adapter_A1-if00-port0"));
  std::filesystem::create_symlink(by_id.File("nowhere"), by_id.File("usb-Gone-if00-port0"));
  const auto names = StableNames(by_id.Path().string());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names.at("/dev/null"), by_id.File("usb-Maker_Adapter_A1-if00-port0"));
  EXPECT_TRUE(StableNames(by_id.File("missing")).empty());
}

PortInfo NativePort(const std::string& device) {
  return {device, "", std::filesystem::path(device).filename().string(), std::nullopt};
}

PortInfo UsbAdapter() {
  return {"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0",
          "FT232R USB UART", UsbIdentity{0x0403, 0x6001, "FTDI", "FT232R USB UART", "A6008isP"}};
}

struct ListingCase {
  const char* name;
  std::vector<PortInfo> ports;
  const char* devices_section;  // [devices] of config.ini
  bool com3_to_pty;             // ZELT20_COM3 names the pseudo-terminal
  std::string expected;         // FILE: the settings file; PTY: the pseudo-terminal
};

// The text with each mark replaced by its value.
std::string Filled(std::string text,
                   const std::vector<std::pair<std::string, std::string>>& marks) {
  for (const auto& [mark, value] : marks) {
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
      text.replace(at, mark.size(), value);
      at += value.size();
    }
  }
  return text;
}

// One case's surroundings: no ZELT20_COM<n> of the machine, the nodes, and
// a folder for config.ini.
struct Scene {
  std::string Fill(const std::string& text) const {
    return Filled(
        text, {{"FILE", file}, {"PTY", nodes.pty.SlavePath()}, {"DIR", nodes.dir.Path().string()}});
  }

  NoComVariables clean;
  Nodes nodes;
  TempDir settings;
  const std::string file = settings.File("config.ini");
};

TEST(PortListing, ShowsEachPortWithTheComNumbersThatStandForIt) {
  const std::vector<ListingCase> cases = {
      {"nothing", {}, "", false, "No serial ports found.\n"},
      {"mappings only",
       {},
       "com9=/dev/ttyUSB9\n",
       true,
       "No serial ports found.\n"
       "COM numbers mapped to other devices:\n"
       "COM3  PTY (ZELT20_COM3)\n"
       "COM9  /dev/ttyUSB9 (com9 in [devices] of FILE), not present\n"},
      {"default and stable name",
       {NativePort("/dev/ttyS0"), UsbAdapter()},
       "com5 = /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0\n",
       false,
       "Serial ports:\n"
       "/dev/ttyS0  COM1\n"
       "/dev/ttyUSB0  COM5 (com5 in [devices] of FILE)\n"
       "    stable name: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0\n"
       "    USB 0403:6001, maker FTDI, product FT232R USB UART, serial number A6008isP\n"},
      {"a mapping takes a default away; two numbers for one port",
       {NativePort("/dev/ttyS0"), UsbAdapter(), {"/dev/ttyACM0", "", "Modem", std::nullopt}},
       "com1=/dev/ttyUSB0\ncom2=/dev/ttyUSB0\n",
       false,
       "Serial ports:\n"
       "/dev/ttyS0  no COM number\n"
       "/dev/ttyUSB0  COM1 (com1 in [devices] of FILE), COM2 (com2 in [devices] of FILE)\n"
       "    stable name: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A6008isP-if00-port0\n"
       "    USB 0403:6001, maker FTDI, product FT232R USB UART, serial number A6008isP\n"
       "/dev/ttyACM0  no COM number\n"
       "    Modem\n"
       "A port without a COM number gets one with: zelt20-install --map N=DEVICE\n"},
      {"the environment goes first",
       {NativePort("/dev/ttyS2")},
       "com3=/dev/ttyUSB3\n",
       true,
       "Serial ports:\n"
       "/dev/ttyS2  no COM number\n"
       "COM numbers mapped to other devices:\n"
       "COM3  PTY (ZELT20_COM3)\n"
       "A port without a COM number gets one with: zelt20-install --map N=DEVICE\n"},
  };
  for (const ListingCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Scene scene;
    TempDir::Write(scene.file, std::string("[port]\ncom=3\n[devices]\n") + c.devices_section);
    std::optional<ScopedEnv> com3;
    if (c.com3_to_pty) com3.emplace("ZELT20_COM3", scene.nodes.pty.SlavePath());
    EXPECT_EQ(FormatPortListing(c.ports, scene.file), scene.Fill(c.expected));
  }
}

struct MapCase {
  const char* name;
  std::uint32_t number;
  std::string device;  // PTY: the pseudo-terminal; DIR: the nodes' folder
  const char* before;  // null: no file
  bool done;
  std::string message;  // FILE: the settings file
  const char* after;    // null: no file
};

TEST(MapCommand, StoresOrRemovesOneKeyAndRefusesWhatIsNoSerialPort) {
  const char* const kOther = "; the port\r\n[port]\r\ncom=7\r\n";
  const std::vector<MapCase> cases = {
      {"new section", 5, "/dev/null", kOther, true, "COM5 is /dev/null (stored in FILE)",
       "; the port\r\n[port]\r\ncom=7\r\n[devices]\r\ncom5=/dev/null\r\n"},
      {"new file", 12, "/dev/urandom", nullptr, true, "COM12 is /dev/urandom (stored in FILE)",
       "[devices]\ncom12=/dev/urandom\n"},
      {"replaced, the rest kept", 5, "PTY",
       "[Devices]\nCOM5 = /dev/ttyUSB9\ncom6=/dev/x\n[port]\ncom=5\n", true,
       "COM5 is PTY (stored in FILE)", "[Devices]\nCOM5 = PTY\ncom6=/dev/x\n[port]\ncom=5\n"},
      {"removed", 5, "", "[port]\ncom=7\n[devices]\ncom5=/dev/ttyUSB9\ncom6=/dev/x\n", true,
       "COM5 is /dev/ttyS4 (com5 removed from FILE)", "[port]\ncom=7\n[devices]\ncom6=/dev/x\n"},
      {"nothing to remove", 5, "", nullptr, true, "COM5 is /dev/ttyS4 (com5 removed from FILE)",
       nullptr},
      {"no UART", 5, "/dev/zero", kOther, false,
       "/dev/zero is a serial port node with no UART behind it", kOther},
      {"console", 5, "/dev/full", kOther, false, "/dev/full is not a serial port", kOther},
      {"other device", 5, "/dev/random", kOther, false, "/dev/random is not a serial port", kOther},
      {"plain file", 5, "DIR/plain", kOther, false,
       "DIR/plain is not a device, so not a serial port", kOther},
      {"missing", 5, "/dev/ttyUSB77", nullptr, false, "/dev/ttyUSB77 does not exist", nullptr},
  };
  for (const MapCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Scene scene;
    if (c.before != nullptr) TempDir::Write(scene.file, c.before);
    const Checked<std::string> stored =
        StoreComMapping({c.number, scene.Fill(c.device)}, scene.file, scene.nodes.sysfs.Root());
    EXPECT_EQ(static_cast<bool>(stored), c.done);
    EXPECT_EQ(stored ? *stored : stored.Reason(), scene.Fill(c.message));
    EXPECT_EQ(std::filesystem::exists(scene.file), c.after != nullptr);
    if (c.after != nullptr) {
      EXPECT_EQ(TempDir::Read(scene.file), scene.Fill(c.after));
    }
  }
}

TEST(MapCommand, SaysWhenTheEnvironmentStillGoesFirst) {
  const Scene scene;
  ScopedEnv com4("ZELT20_COM4", "/dev/pts/99");
  EXPECT_EQ(*StoreComMapping({4, "/dev/null"}, scene.file, scene.nodes.sysfs.Root()),
            scene.Fill("COM4 is /dev/pts/99 while ZELT20_COM4 is set, which goes before FILE "
                       "(stored in FILE)"));
  EXPECT_EQ(ReadSetting(scene.file, "devices", "com4"), "/dev/null");
}

TEST(UserSettings, FolderFromXdgConfigHomeElseHome) {
  struct Case {
    const char* xdg;
    const char* home;
    std::optional<std::string> path;
  };
  const std::vector<Case> cases = {
      {"/home/op/cfg", "/home/op", "/home/op/cfg/zelt20/config.ini"},
      {nullptr, "/home/op", "/home/op/.config/zelt20/config.ini"},
      {"", "/home/op", "/home/op/.config/zelt20/config.ini"},
      {"relative/cfg", "/home/op", "/home/op/.config/zelt20/config.ini"},
      {"/etc/xdg-op", nullptr, "/etc/xdg-op/zelt20/config.ini"},
      {nullptr, nullptr, std::nullopt},
      {nullptr, "", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UserSettingsPath(c.xdg, c.home), c.path)
        << (c.xdg ? c.xdg : "(unset)") << " " << (c.home ? c.home : "(unset)");
  }
}

}  // namespace
}  // namespace zelt20
#endif

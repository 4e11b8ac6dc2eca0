// Why a port could not be opened: the reason for each system error, on
// made-up facts of the machine, and the permission reason as a user outside
// the device's group really meets it.
#if !defined(_WIN32)
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "link/serial_device.h"
#include "ports/open_failure.h"
#include "tests/support/pty_pair.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace zelt20 {
namespace {

using test::TempDir;

struct Facts {
  std::vector<PortInfo> ports;
  std::optional<DeviceAccess> access;
  std::optional<std::string> holder;
};

class FakeFacts final : public MachineFacts {
 public:
  explicit FakeFacts(Facts facts) : facts_(std::move(facts)) {}
  std::vector<PortInfo> PresentPorts() const override { return facts_.ports; }
  std::optional<DeviceAccess> Access(const std::string&) const override { return facts_.access; }
  std::optional<std::string> Holder(const std::string&) const override { return facts_.holder; }

 private:
  Facts facts_;
};

constexpr unsigned kCharacterDevice = 0020000;

DeviceAccess Access(unsigned permissions, bool process_in_group, bool user_in_group) {
  return {"root", "dialout", kCharacterDevice | permissions, "op", process_in_group, user_in_group};
}

struct ReasonCase {
  const char* name;
  int error;
  Facts facts;
  std::string reason;
};

TEST(OpenFailureReason, NamesTheSystemsReasonAndTheRemedy) {
  const std::vector<PortInfo> two_ports = {{"/dev/ttyS0", "", "ttyS0", std::nullopt},
                                           {"/dev/ttyUSB0", "", "", std::nullopt}};
  const std::vector<ReasonCase> cases = {
      {"absent, no ports",
       ENOENT,
       {},
       "/dev/ttyS6 does not exist, and no serial port is present (is the adapter plugged in?)"},
      {"absent, two ports",
       ENOENT,
       {two_ports, {}, {}},
       "/dev/ttyS6 does not exist; serial ports present: /dev/ttyS0 (COM1), /dev/ttyUSB0 (no COM "
       "number)"},
      {"no hardware",
       ENXIO,
       {two_ports, {}, {}},
       "no device answers at /dev/ttyS6; serial ports present: /dev/ttyS0 (COM1), /dev/ttyUSB0 (no "
       "COM number)"},
      {"unplugged",
       ENODEV,
       {},
       "no device answers at /dev/ttyS6, and no serial port is present (is the adapter plugged "
       "in?)"},
      {"outside the group",
       EACCES,
       {{}, Access(0660, false, false), {}},
       "permission denied on /dev/ttyS6: it is open to group dialout, and user op is not in it; "
       "join it with `sudo usermod -aG dialout op`, then log out and in again"},
      {"joined, not logged in again",
       EACCES,
       {{}, Access(0660, false, true), {}},
       "permission denied on /dev/ttyS6: user op was added to group dialout after this login; "
       "log out and in again (or start a shell with `newgrp dialout`)"},
      {"owner only",
       EACCES,
       {{}, Access(0600, false, false), {}},
       "permission denied on /dev/ttyS6 (crw------- root:dialout): only root may open it; ask the "
       "administrator to open it to a group you are in"},
      {"in the group all the same",
       EPERM,
       {{}, Access(0660, true, true), {}},
       "permission denied on /dev/ttyS6 (crw-rw---- root:dialout)"},
      {"node gone meanwhile", EACCES, {}, "permission denied on /dev/ttyS6"},
      {"busy, holder known",
       EBUSY,
       {{}, {}, "minicom (process 4242)"},
       "another program holds /dev/ttyS6, minicom (process 4242): close it and try again"},
      {"locked", EWOULDBLOCK, {}, "another program holds /dev/ttyS6: close it and try again"},
      {"no terminal", ENOTTY, {}, "/dev/ttyS6 is not a serial port"},
      {"anything else", EIO, {}, "/dev/ttyS6: Input/output error"},
  };
  test::ScopedEnv com1("ZELT20_COM1", std::nullopt);
  for (const ReasonCase& c : cases) {
    EXPECT_EQ(OpenFailureReason({"/dev/ttyS6", c.error}, FakeFacts(c.facts), std::nullopt),
              c.reason)
        << c.name;
  }
}

// Reads what the child wrote until it closes the pipe.
std::string ReadAll(int fd) {
  std::string text;
  char chunk[512];
  ssize_t n = 0;
  while ((n = ::read(fd, chunk, sizeof chunk)) > 0) text.append(chunk, static_cast<std::size_t>(n));
  return text;
}

// Makes a character device node root:dialout 0660 with the device number
// of one of the devices, the first that root can open through it. (A pty
// opens only through its own devpts, so /dev/null stands in where needed:
// the permission check comes before any driver.)
bool MakeDialoutNode(const std::string& node, const std::vector<std::string>& devices,
                     gid_t dialout) {
  for (const std::string& device : devices) {
    struct stat line {};
    if (::stat(device.c_str(), &line) != 0) continue;
    ::unlink(node.c_str());
    if (::mknod(node.c_str(), S_IFCHR | 0660, line.st_rdev) != 0 ||
        ::chown(node.c_str(), 0, dialout) != 0 || ::chmod(node.c_str(), 0660) != 0) {
      return false;
    }
    const int works = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (works >= 0) {
      ::close(works);
      return true;
    }
  }
  return false;
}

// The installer's own device opens such a node in a process that runs as
// nobody.
TEST(OpenFailureReason, UserOutsideTheGroupIsToldToJoinIt) {
  const group* dialout = ::getgrnam("dialout");
  if (::geteuid() != 0 || dialout == nullptr) GTEST_SKIP() << "needs root and a dialout group";
  test::PtyPair pty;
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0755);
  const std::string node = dir.File("ttyZELT");
  if (!MakeDialoutNode(node, {pty.SlavePath(), "/dev/null"}, dialout->gr_gid)) {
    GTEST_SKIP() << "cannot make a device node that opens here";
  }

  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::close(pipe_ends[0]);
    constexpr uid_t kNobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) _exit(2);
    const auto device = MakePlatformSerialDevice();
    if (device->Open(node) || !device->LastOpenFailure()) _exit(3);
    const std::string reason =
        OpenFailureReason(*device->LastOpenFailure(), *MakeSystemFacts(), std::nullopt);
    const bool sent =
        ::write(pipe_ends[1], reason.data(), reason.size()) == static_cast<ssize_t>(reason.size());
    _exit(sent ? 0 : 4);
  }
  ::close(pipe_ends[1]);
  const std::string reason = ReadAll(pipe_ends[0]);
  ::close(pipe_ends[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(reason, "permission denied on " + node +
                        ": it is open to group dialout, and user nobody is not in it; join it with "
                        "`sudo usermod -aG dialout nobody`, then log out and in again");
}

}  // namespace
}  // namespace zelt20
#endif

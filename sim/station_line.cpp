#include "sim/station_line.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zelt20::sim {
namespace {

// errno is read before any cleanup call can change it.
Refusal Failure(const std::string& what) { return {what + ": " + std::strerror(errno)}; }

bool MakeRaw(int fd, bool set_speed) {
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return false;
  ::cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (set_speed && (::cfsetispeed(&settings, B19200) != 0 || ::cfsetospeed(&settings, B19200) != 0)) {
    return false;
  }
  return ::tcsetattr(fd, TCSANOW, &settings) == 0;
}

}  // namespace

StationLine::StationLine(StationLine&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), installer_path_(std::move(other.installer_path_)) {}

StationLine& StationLine::operator=(StationLine&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    installer_path_ = std::move(other.installer_path_);
  }
  return *this;
}

StationLine::~StationLine() {
  if (fd_ >= 0) ::close(fd_);
}

Checked<StationLine> OpenPseudoTerminal() {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return Failure("cannot open a pseudo-terminal");
  char name[128];
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0 ||
      ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
    const Refusal failure = Failure("cannot set up the pseudo-terminal");
    ::close(master);
    return failure;
  }
  StationLine line(master, name);  // closes the master on the failures below
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) return Failure(std::string("cannot open ") + name);
  if (!MakeRaw(slave, false)) {
    const Refusal failure = Failure(std::string("cannot make ") + name + " raw");
    ::close(slave);
    return failure;
  }
  ::close(slave);
  return line;
}

Checked<StationLine> OpenSerialDevice(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Failure("cannot open " + path);
  StationLine line(fd, path);
  if (!MakeRaw(fd, true)) return Failure("cannot configure " + path);
  return line;
}

}  // namespace zelt20::sim

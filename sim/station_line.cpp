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
std::string Failure(const std::string& what) { return what + ": " + std::strerror(errno); }

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

std::optional<StationLine> OpenPseudoTerminal(std::string& error) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    error = Failure("cannot open a pseudo-terminal");
    return std::nullopt;
  }
  char name[128];
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 || ::ptsname_r(master, name, sizeof name) != 0 ||
      ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
    error = Failure("cannot set up the pseudo-terminal");
    ::close(master);
    return std::nullopt;
  }
  StationLine line(master, name);  // closes the master on the failures below
  const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    error = Failure(std::string("cannot open ") + name);
    return std::nullopt;
  }
  const bool raw = MakeRaw(slave, false);
  if (!raw) error = Failure(std::string("cannot make ") + name + " raw");
  ::close(slave);
  if (!raw) return std::nullopt;
  return line;
}

std::optional<StationLine> OpenSerialDevice(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = Failure("cannot open " + path);
    return std::nullopt;
  }
  StationLine line(fd, path);
  if (!MakeRaw(fd, true)) {
    error = Failure("cannot configure " + path);
    return std::nullopt;
  }
  return line;
}

}  // namespace zelt20::sim

// A pseudo-terminal pair as a serial line for tests and benchmarks: the
// installer's port opens the slave by its path, the test plays the station
// on the master. The slave is made raw at once (a new pty is cooked and
// would translate and echo). Header-only, so that benchmarks can use it too.
#pragma once

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace zelt20::test {

class PtyPair {
 public:
  PtyPair() {
    char name[256] = {};
    if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
      throw std::system_error(errno, std::generic_category(), "openpty");
    }
    slave_path_ = name;
    termios settings{};
    ::tcgetattr(slave_, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(slave_, TCSANOW, &settings);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;
  ~PtyPair() {
    CloseMaster();
    ::close(slave_);
  }

  const std::string& SlavePath() const { return slave_path_; }
  // The test's own descriptor of the slave, for looking at its settings.
  int Slave() const { return slave_; }
  int Master() const { return master_; }

  // The station sends: all bytes, at once.
  void Send(const std::vector<std::uint8_t>& bytes) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = ::write(master_, bytes.data() + sent, bytes.size() - sent);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) throw std::system_error(errno, std::generic_category(), "write to pty master");
      sent += static_cast<std::size_t>(n);
    }
  }

  // What the station receives: up to count bytes, waiting at most
  // timeout_ms for each next byte.
  std::vector<std::uint8_t> Receive(std::size_t count, int timeout_ms) const {
    std::vector<std::uint8_t> bytes(count);
    std::size_t got = 0;
    while (got < count) {
      pollfd watch{master_, POLLIN, 0};
      if (::poll(&watch, 1, timeout_ms) <= 0) break;
      const ssize_t n = ::read(master_, bytes.data() + got, count - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return bytes;
  }

  // The station side goes away: the port sees a hang-up.
  void CloseMaster() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

}  // namespace zelt20::test

// The station's end of the serial line: the master side of a new
// pseudo-terminal, whose slave the installer opens as its COM port, or a
// real serial device. Plain POSIX, raw, non-blocking.
#pragma once

#include <string>

#include "core/checked.h"

namespace zelt20::sim {

class StationLine {
 public:
  StationLine() = default;
  StationLine(int fd, std::string installer_path) : fd_(fd), installer_path_(std::move(installer_path)) {}
  StationLine(StationLine&& other) noexcept;
  StationLine& operator=(StationLine&& other) noexcept;
  StationLine(const StationLine&) = delete;
  StationLine& operator=(const StationLine&) = delete;
  ~StationLine();

  int Fd() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  // The device the installer is to open: the pty slave, or the device itself.
  const std::string& InstallerPath() const { return installer_path_; }

 private:
  int fd_ = -1;
  std::string installer_path_;
};

// A new pseudo-terminal. Its slave is made raw at once (a new pty is cooked:
// it would translate line ends and echo) and closed again; the settings stay
// with the pty for the installer's open.
Checked<StationLine> OpenPseudoTerminal();

// A serial device, raw at 19200 baud 8N1, modem lines ignored.
Checked<StationLine> OpenSerialDevice(const std::string& path);

}  // namespace zelt20::sim

// A pipe whose ends no child process inherits: how a signal handler or
// another thread wakes a thread that polls.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace zelt20 {

struct PosixPipe {
  int read_end = -1;
  int write_end = -1;

  PosixPipe() {
    int ends[2];
    if (::pipe(ends) != 0) throw std::runtime_error("no pipe");
    read_end = ends[0];
    write_end = ends[1];
    ::fcntl(read_end, F_SETFD, FD_CLOEXEC);
    ::fcntl(write_end, F_SETFD, FD_CLOEXEC);
  }
  PosixPipe(const PosixPipe&) = delete;
  PosixPipe& operator=(const PosixPipe&) = delete;
  ~PosixPipe() {
    ::close(read_end);
    ::close(write_end);
  }

  void Put(char byte) const {
    while (::write(write_end, &byte, 1) < 0 && errno == EINTR) {
    }
  }
};

}  // namespace zelt20

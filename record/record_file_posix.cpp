#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "record/record_file.h"

namespace zelt20 {
namespace {

int Descriptor(std::intptr_t handle) { return static_cast<int>(handle); }

// Interrupted calls are tried again.
template <typename Call>
auto Retried(Call call) {
  auto result = call();
  while (result == -1 && errno == EINTR) result = call();
  return result;
}


}  // namespace

Refusal RecordFile::FileFailure(std::string_view what, const std::filesystem::path& path) {
  const int error = errno;
  return Refusal{std::string(what) + " " + PathText(path) + ": " +
                 std::system_category().message(error)};
}

Checked<RecordFile> RecordFile::CreateExclusive(const std::filesystem::path& path) {
  const int fd = Retried([&] {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0644);
  });
  if (fd < 0) return FileFailure("cannot create", path);
  return RecordFile(fd, path);
}

Checked<RecordFile> RecordFile::OpenForAppend(const std::filesystem::path& path) {
  const int fd =
      Retried([&] { return ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0644); });
  if (fd < 0) return FileFailure("cannot open", path);
  return RecordFile(fd, path);
}

Checked<RecordFile> RecordFile::OpenForReading(const std::filesystem::path& path) {
  const int fd = Retried([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0) return FileFailure("cannot read", path);
  return RecordFile(fd, path);
}

void RecordFile::Close() {
  if (handle_ != kClosed) ::close(Descriptor(handle_));
  handle_ = kClosed;
}

RecordFile::LockTry RecordFile::TryLock(bool exclusive) {
  const int operation = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  if (Retried([&] { return ::flock(Descriptor(handle_), operation); }) == 0) return LockTry::kTaken;
  return errno == EWOULDBLOCK ? LockTry::kBusy : LockTry::kFailed;
}

Checked<> RecordFile::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written =
        Retried([&] { return ::write(Descriptor(handle_), bytes.data(), bytes.size()); });
    if (written < 0) return Failed("cannot write");
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  if (::fdatasync(Descriptor(handle_)) != 0) return Failed("cannot write");
  return Accepted{};
}

Checked<bool> RecordFile::EndsAtLineStart() {
  struct stat status {};
  if (::fstat(Descriptor(handle_), &status) != 0) return Failed("cannot read");
  if (status.st_size == 0) return true;
  char last = 0;
  if (Retried([&] { return ::pread(Descriptor(handle_), &last, 1, status.st_size - 1); }) != 1) {
    return Failed("cannot read");
  }
  return last == '\n';
}

Checked<std::string> RecordFile::ReadAll() {
  std::string content;
  char block[65536];
  for (;;) {
    const ssize_t got = Retried([&] { return ::read(Descriptor(handle_), block, sizeof block); });
    if (got < 0) return Failed("cannot read");
    if (got == 0) return content;
    content.append(block, static_cast<std::size_t>(got));
  }
}

}  // namespace zelt20

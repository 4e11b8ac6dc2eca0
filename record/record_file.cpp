#include "record/record_file.h"

#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

namespace zelt20 {

std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

RecordFile::RecordFile(RecordFile&& other) noexcept
    : handle_(std::exchange(other.handle_, kClosed)), path_(std::move(other.path_)) {}

RecordFile& RecordFile::operator=(RecordFile&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = std::exchange(other.handle_, kClosed);
    path_ = std::move(other.path_);
  }
  return *this;
}

RecordFile::~RecordFile() { Close(); }

Checked<RecordFile> RecordFile::CreateNew(const std::filesystem::path& folder, const std::string& stem,
                                          const std::string& extension) {
  // Enough for every run one operator can start in one second.
  constexpr int kNamesTried = 100;
  for (int number = 1; number <= kNamesTried; ++number) {
    const std::string suffix = number == 1 ? "" : "_" + std::to_string(number);
    const std::filesystem::path path = folder / (stem + suffix + extension);
    Checked<RecordFile> file = CreateExclusive(path);
    std::error_code ignored;
    if (file || !std::filesystem::exists(std::filesystem::symlink_status(path, ignored))) return file;
  }
  return Refusal{"cannot create " + PathText(folder / (stem + extension)) + ": " +
                 std::to_string(kNamesTried) + " files by that name exist"};
}

Checked<> RecordFile::Lock(bool exclusive) {
  constexpr auto kLockWait = std::chrono::seconds(2);
  constexpr auto kTryAgainAfter = std::chrono::milliseconds(5);
  const auto deadline = std::chrono::steady_clock::now() + kLockWait;
  for (;;) {
    switch (TryLock(exclusive)) {
      case LockTry::kTaken: return Accepted{};
      case LockTry::kFailed: return Failed("cannot lock");
      case LockTry::kBusy: break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return Refusal{PathText(path_) + " stays locked by another program"};
    }
    std::this_thread::sleep_for(kTryAgainAfter);
  }
}

}  // namespace zelt20

// The files a run leaves behind, as the system keeps them: files that only
// grow, each write going whole to the end and then to the disk, locked
// against other installers' writers and readers. Every failure comes back
// as the system's reason in words, never as an exception.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/checked.h"

namespace zelt20 {

// A path as UTF-8 text, for messages and records, on every platform.
std::string PathText(const std::filesystem::path& path);

class RecordFile {
 public:
  // A new file in `folder` named stem + extension, or stem_2 + extension,
  // stem_3 ... when that name is taken: never an existing file.
  static Checked<RecordFile> CreateNew(const std::filesystem::path& folder, const std::string& stem,
                                       const std::string& extension);
  // The file for appending (and reading its end), made when missing.
  static Checked<RecordFile> OpenForAppend(const std::filesystem::path& path);
  // The file for reading only.
  static Checked<RecordFile> OpenForReading(const std::filesystem::path& path);

  RecordFile(RecordFile&& other) noexcept;
  RecordFile& operator=(RecordFile&& other) noexcept;
  RecordFile(const RecordFile&) = delete;
  RecordFile& operator=(const RecordFile&) = delete;
  ~RecordFile();

  const std::filesystem::path& Path() const { return path_; }

  // Holds the whole file, for this descriptor alone, until the file is
  // closed: shared for readers, exclusive for a writer. Waits for it a
  // little (a writer holds it for one write), then gives up: a file that
  // another program keeps locked must not hold up a run.
  Checked<> Lock(bool exclusive);
  // All bytes at the end of the file, in one write when the system takes
  // them at once, then flushed to the disk.
  Checked<> Append(std::string_view bytes);
  // Whether the file is empty or its last byte ends a line.
  Checked<bool> EndsAtLineStart();
  Checked<std::string> ReadAll();

 private:
  using Handle = std::intptr_t;  // a descriptor, or a Windows handle
  static constexpr Handle kClosed = -1;

  RecordFile(Handle handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}
  // Fails when anything exists by that name.
  static Checked<RecordFile> CreateExclusive(const std::filesystem::path& path);
  enum class LockTry { kTaken, kBusy, kFailed };
  LockTry TryLock(bool exclusive);
  void Close();
  // With the system's last error, taken first.
  Refusal Failed(std::string_view what) const { return FileFailure(what, path_); }
  static Refusal FileFailure(std::string_view what, const std::filesystem::path& path);

  Handle handle_ = kClosed;
  std::filesystem::path path_;
};

}  // namespace zelt20

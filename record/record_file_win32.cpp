#include <windows.h>

#include <system_error>

#include "record/record_file.h"

namespace zelt20 {
namespace {

HANDLE Native(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t Kept(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// Others may read a record file while it is written (an editor showing a
// run's log), and other installers append to the same records; the locks
// keep their writes apart.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

Refusal RecordFile::FileFailure(std::string_view what, const std::filesystem::path& path) {
  const DWORD error = GetLastError();
  return Refusal{std::string(what) + " " + PathText(path) + ": " +
                 std::system_category().message(static_cast<int>(error))};
}

Checked<RecordFile> RecordFile::CreateExclusive(const std::filesystem::path& path) {
  // Append data only: every write goes to the end of the file.
  const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileFailure("cannot create", path);
  return RecordFile(Kept(file), path);
}

Checked<RecordFile> RecordFile::OpenForAppend(const std::filesystem::path& path) {
  const HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | GENERIC_READ | SYNCHRONIZE,
                                  kShareAll, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileFailure("cannot open", path);
  return RecordFile(Kept(file), path);
}

Checked<RecordFile> RecordFile::OpenForReading(const std::filesystem::path& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FileFailure("cannot read", path);
  return RecordFile(Kept(file), path);
}

void RecordFile::Close() {
  if (handle_ != kClosed) CloseHandle(Native(handle_));
  handle_ = kClosed;
}

RecordFile::LockTry RecordFile::TryLock(bool exclusive) {
  // From offset 0, as far as a lock reaches: the whole file.
  OVERLAPPED whole{};
  const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
  if (LockFileEx(Native(handle_), flags, 0, MAXDWORD, MAXDWORD, &whole)) return LockTry::kTaken;
  return GetLastError() == ERROR_LOCK_VIOLATION ? LockTry::kBusy : LockTry::kFailed;
}

Checked<> RecordFile::Append(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(Native(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                   nullptr)) {
      return Failed("cannot write");
    }
    bytes.remove_prefix(written);
  }
  if (!FlushFileBuffers(Native(handle_))) return Failed("cannot write");
  return Accepted{};
}

Checked<bool> RecordFile::EndsAtLineStart() {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(Native(handle_), &size)) return Failed("cannot read");
  if (size.QuadPart == 0) return true;
  OVERLAPPED at_last{};
  const ULONGLONG last = static_cast<ULONGLONG>(size.QuadPart - 1);
  at_last.Offset = static_cast<DWORD>(last);
  at_last.OffsetHigh = static_cast<DWORD>(last >> 32);
  char byte = 0;
  DWORD got = 0;
  if (!ReadFile(Native(handle_), &byte, 1, &got, &at_last) || got != 1) return Failed("cannot read");
  return byte == '\n';
}

Checked<std::string> RecordFile::ReadAll() {
  std::string content;
  char block[65536];
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(Native(handle_), block, sizeof block, &got, nullptr)) return Failed("cannot read");
    if (got == 0) return content;
    content.append(block, got);
  }
}

}  // namespace zelt20

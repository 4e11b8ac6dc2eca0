#include <windows.h>

#include <string>

#include "record/this_machine.h"

namespace zelt20 {
namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size,
                      nullptr, nullptr);
  return utf8;
}

}  // namespace

std::string HostName() {
  wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
  return GetComputerNameW(name, &size) ? Utf8(std::wstring(name, size)) : std::string();
}

std::string UserName() {
  // A user name is at most 256 characters (UNLEN).
  wchar_t name[257] = {};
  DWORD size = 257;
  // The size counts the terminating zero.
  return GetUserNameW(name, &size) && size > 0 ? Utf8(std::wstring(name, size - 1)) : std::string();
}

std::optional<std::filesystem::path> DefaultRecordsFolder() {
  std::wstring module(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, module.data(), static_cast<DWORD>(module.size()));
    if (length == 0) return std::nullopt;
    if (length < module.size()) {
      module.resize(length);
      break;
    }
    module.resize(module.size() * 2);
  }
  return std::filesystem::path(module).parent_path() / L"records";
}

}  // namespace zelt20

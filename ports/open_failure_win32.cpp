// The reasons on Windows, by the system's error code.
#include <windows.h>

#include "ports/open_failure.h"

namespace zelt20 {
namespace {

class SystemFacts final : public MachineFacts {
 public:
  std::vector<PortInfo> PresentPorts() const override { return SystemPorts(); }
  std::optional<DeviceAccess> Access(const std::string&) const override { return std::nullopt; }
  std::optional<std::string> Holder(const std::string&) const override { return std::nullopt; }
};

std::string SystemMessage(DWORD error) {
  char text[512] = {};
  const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                      nullptr, error, 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() &&
         (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) {
    message.pop_back();
  }
  return message.empty() ? "system error " + std::to_string(error) : message;
}

}  // namespace

std::unique_ptr<MachineFacts> MakeSystemFacts() { return std::make_unique<SystemFacts>(); }

std::string OpenFailureReason(const DeviceFailure& failure, const MachineFacts& facts,
                              const std::optional<std::string>& settings_file) {
  const std::string& device = failure.device;
  const auto error = static_cast<DWORD>(failure.error);
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
    return device + " does not exist" + PortsPresentText(facts, settings_file);
  }
  // A COM port is open to one program at a time.
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) {
    return "another program holds " + device + ": close it and try again";
  }
  return device + ": " + SystemMessage(error);
}

}  // namespace zelt20

// Port text validation: a text is accepted only as a port number 1 to 255
// whose path lines fit the message buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "install/installation.h"

namespace {

class NullSink final : public zelt20::LogSink {
 public:
  void AppendLog(const char*) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(bytes), size);
  NullSink sink;
  zelt20::MessageLog log(sink);
  const auto port = zelt20::PortFromText(text.c_str(), log);
  if (!port) return 0;
  const std::string accepted = text.c_str();  // up to the first zero
  if (accepted.empty() || accepted.find_first_not_of("0123456789") != std::string::npos) std::abort();
  const long value = std::strtol(accepted.c_str(), nullptr, 10);
  if (value < 1 || value > 255 || port->path != "\\\\.\\COM" + accepted) std::abort();
  return 0;
}

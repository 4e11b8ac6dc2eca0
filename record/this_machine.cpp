#include "record/this_machine.h"

#include "ports/port_listing.h"

namespace zelt20 {

RecordFacts ThisMachine(FrontEnd front_end) {
  return {.front_end = front_end,
          .host = HostName(),
          .user = UserName(),
  // A command line is UTF-8 on POSIX systems; on Windows the console's
  // arguments come in the ANSI code page, taken as Windows-1251 like the
  // window's text.
#if defined(_WIN32)
          .port_text_is_utf8 = false,
#else
          .port_text_is_utf8 = front_end == FrontEnd::kConsole,
#endif
          .usb_identity = [](const std::string& device) -> std::optional<UsbIdentity> {
            const std::optional<PortInfo> port = PortNamedBy(device, SystemPorts());
            return port ? port->usb : std::nullopt;
          }};
}

}  // namespace zelt20

#include "ui/port_tooltip.h"

#include "ports/open_failure.h"
#include "ports/port_listing.h"

namespace zelt20 {

std::string PortBoxTooltip(std::string_view port_text,
                           const std::optional<std::string>& settings_file) {
  const std::optional<std::uint32_t> number = ComNumberOfText(port_text);
  if (!number) return "";
  const ComLink link{*number, DeviceForCom(*number, settings_file)};
  const std::string source = ComSourceText(link, settings_file);
  return "COM" + std::to_string(*number) + " is " + link.mapping.device +
         (source.empty() ? "" : " (" + source + ")");
}

std::string PortFailureTooltip(const DeviceFailure& failure,
                               const std::optional<std::string>& settings_file) {
  return OpenFailureReason(failure, *MakeSystemFacts(), settings_file);
}

}  // namespace zelt20

// The station link of one run: the port, the packet layer and the command
// exchange, wired to the run's log and stop flag.
#pragma once

#include <cstdint>
#include <string>

#include "link/exchange.h"
#include "link/packet.h"
#include "link/port.h"
#include "link/serial_device.h"
#include "core/message_log.h"
#include "core/run_context.h"

namespace zelt20 {

class StationLink {
 public:
  StationLink(SerialDevice& device, RunContext& run)
      : log_(run), port_(device, log_), packets_(port_, log_), exchange_(port_, packets_, log_, run) {}

  MessageLog& Log() { return log_; }

  // See StationPort and CommandExchange.
  LinkResult OpenPort(const char* path, const std::string& device) {
    return port_.OpenPort(path, device);
  }
  LinkResult SetReadTimeouts(std::uint32_t t) { return port_.SetReadTimeouts(t); }
  ExchangeOutcome ExchangeCommand(std::uint16_t command, std::uint16_t selector,
                                  std::size_t payload_length, ReplyBuffer& buffer) {
    return exchange_.ExchangeCommand(command, selector, payload_length, buffer);
  }
  // Drops what the station has sent: one read of up to a frame.
  void DrainPort() {
    std::uint8_t drain[kFrameSize];
    port_.ReadPort(drain, sizeof drain);
  }
  void ClosePort() { port_.ClosePort(); }

 private:
  MessageLog log_;
  StationPort port_;
  PacketLink packets_;
  CommandExchange exchange_;
};

}  // namespace zelt20

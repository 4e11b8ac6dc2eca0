// The station link of one run: the port, the packet layer and the command
// exchange, wired to the run's log and stop flag.
#pragma once

#include "link/exchange.h"
#include "link/packet.h"
#include "link/port.h"
#include "link/serial_device.h"
#include "core/message_log.h"
#include "core/run_context.h"

namespace zelt20 {

struct StationLink {
  StationLink(SerialDevice& device, RunContext& run)
      : log(run), port(device, log), packets(port, log), exchange(port, packets, log, run) {}

  MessageLog log;
  StationPort port;
  PacketLink packets;
  CommandExchange exchange;
};

}  // namespace zelt20

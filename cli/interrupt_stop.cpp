#include "cli/interrupt_stop.h"

#include <utility>

namespace zelt20 {

std::function<void(int count)> StopOnInterrupt(std::function<void()> stop_all,
                                               std::function<void(std::string_view line)> tell) {
  return [stop_all = std::move(stop_all), tell = std::move(tell)](int count) {
    if (count == 1) {
      stop_all();
    } else {
      tell("zelt20-install: stopping: a run in a wait ends at its next request, up to a "
           "minute from now, and closes its port first\n");
    }
  };
}

}  // namespace zelt20

#include "cli/stop_on_end.h"

#include <utility>

namespace zelt20 {

std::function<void(const EndRequest& request)> StopOnEnd(RunsToEnd runs) {
  return [runs = std::move(runs)](const EndRequest& request) {
    if (request.count == 1 || request.deadline) {
      runs.stop_all(request.cause);
    } else {
      runs.tell("zelt20-install: stopping: a run in a wait ends at its next request, up to a "
                "minute from now, and closes its port first\n");
    }
    if (request.deadline) runs.keep_records_by(*request.deadline);
  };
}

}  // namespace zelt20

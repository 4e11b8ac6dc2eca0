// The cost of one LogText::Append, without any front end watching: at an
// empty log (a plain copy) and at a full 64,004-byte log, where every
// append first drops the oldest line by moving the whole text.
#pragma once

namespace zelt20::bench {

struct AppendCost {
  double empty_log_ns = 0;  // median ns per append
  double full_log_ns = 0;
};

AppendCost MeasureLogAppendCost();

}  // namespace zelt20::bench

// The cost of one LogText::Append, without any front end watching: at an
// empty log (a plain copy) and at a full 64,004-byte log, where every
// append first drops the oldest line by moving the whole text. And the
// cost of the same line in a run's log file: one write, flushed to the
// disk.
#pragma once

namespace zelt20::bench {

struct AppendCost {
  double empty_log_ns = 0;  // median ns per append
  double full_log_ns = 0;
  double log_file_median_us = 0;  // per LogFile::AppendLog, in a temporary folder
  double log_file_worst_us = 0;
};

AppendCost MeasureLogAppendCost();

}  // namespace zelt20::bench

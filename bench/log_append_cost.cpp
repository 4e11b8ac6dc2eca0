#include "bench/log_append_cost.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "core/cp1251.h"
#include "core/log_text.h"
#include "record/log_file.h"
#include "tests/support/temp_dir.h"

namespace zelt20::bench {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A line as the block transfer logs it, 30 bytes.
const char* const kLine = "Сегмент загружен: адрес E800\r\n"_cp1251;

// Appends are timed in batches, since one append is close to the clock's
// own cost; the median batch damps interruptions.
constexpr int kAppendsPerBatch = 64;
constexpr int kBatches = 2001;

template <typename Prepare>
double MedianNsPerAppend(LogText& log, Prepare prepare) {
  std::vector<double> per_append;
  per_append.reserve(kBatches);
  for (int batch = 0; batch < kBatches; ++batch) {
    prepare();
    const auto start = SteadyClock::now();
    for (int i = 0; i < kAppendsPerBatch; ++i) log.Append(kLine);
    const std::chrono::duration<double, std::nano> spent = SteadyClock::now() - start;
    per_append.push_back(spent.count() / kAppendsPerBatch);
  }
  const auto middle = per_append.begin() + kBatches / 2;
  std::nth_element(per_append.begin(), middle, per_append.end());
  return *middle;
}

// Each append to the file is timed on its own: it waits for the disk.
constexpr int kFileAppends = 301;

void MeasureLogFile(AppendCost& cost) {
  const test::TempDir folder;
  Checked<LogFile> file = LogFile::Create(folder.Path(), LocalTimeOf(std::chrono::system_clock::now()), "1");
  if (!file) return;
  std::vector<double> per_append;
  for (int i = 0; i < kFileAppends; ++i) {
    const auto start = SteadyClock::now();
    file->AppendLog(kLine);
    per_append.push_back(std::chrono::duration<double, std::micro>(SteadyClock::now() - start).count());
  }
  const auto middle = per_append.begin() + kFileAppends / 2;
  std::nth_element(per_append.begin(), middle, per_append.end());
  cost.log_file_median_us = *middle;
  cost.log_file_worst_us = *std::max_element(per_append.begin(), per_append.end());
}

}  // namespace

AppendCost MeasureLogAppendCost() {
  const auto log = std::make_unique<LogText>();
  AppendCost cost;
  // Each batch starts from an empty log and ends at 64 lines (1,920 bytes).
  cost.empty_log_ns = MedianNsPerAppend(*log, [&] { log->Clear(); });
  // Filled past its capacity once; from then on it stays full, each append
  // dropping the oldest line.
  const std::size_t line_length = std::strlen(kLine);
  for (std::size_t appended = 0; appended <= LogText::kMaxLength; appended += line_length) {
    log->Append(kLine);
  }
  cost.full_log_ns = MedianNsPerAppend(*log, [] {});
  MeasureLogFile(cost);
  return cost;
}

}  // namespace zelt20::bench

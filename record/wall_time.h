// Wall-clock times as the records write them: local time with its offset
// from UTC, in ISO 8601, and the stamp that names a run's log file.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace zelt20 {

using WallTime = std::chrono::system_clock::time_point;

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
  int utc_offset_minutes = 0;  // east of UTC
};

// The time in this machine's time zone at that moment.
LocalTime LocalTimeOf(WallTime time);

// "2026-12-09T15:30:12.345+01:00"
std::string Iso8601(const LocalTime& time);
// The instant such a text names, whatever its offset; none for a text of
// another shape.
std::optional<WallTime> InstantOfIso8601(std::string_view text);
// "2026-12-09_153012"
std::string NameStamp(const LocalTime& time);

}  // namespace zelt20

#include "record/wall_time.h"

#include <cstdio>
#include <ctime>

namespace zelt20 {
namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const long long year_of_era = year - era * 400;
  const int shifted_month = month + (month > 2 ? -3 : 9);
  const long long day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
  const long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

long long SecondsAsIfUtc(const std::tm& time) {
  return DaysFromCivil(time.tm_year + 1900LL, time.tm_mon + 1, time.tm_mday) * 86400 +
         time.tm_hour * 3600LL + time.tm_min * 60LL + time.tm_sec;
}

struct Calendar {
  std::tm local{};
  std::tm utc{};
};

Calendar CalendarOf(std::time_t seconds) {
  Calendar calendar;
#if defined(_WIN32)
  localtime_s(&calendar.local, &seconds);
  gmtime_s(&calendar.utc, &seconds);
#else
  localtime_r(&seconds, &calendar.local);
  gmtime_r(&seconds, &calendar.utc);
#endif
  return calendar;
}

// Where Iso8601 puts a digit ('9'), the offset's sign ('+') and its other
// characters.
constexpr std::string_view kIso8601Shape = "9999-99-99T99:99:99.999+99:99";

bool HasIso8601Shape(std::string_view text) {
  if (text.size() != kIso8601Shape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char shape = kIso8601Shape[i];
    const char c = text[i];
    const bool fits = shape == '9'   ? c >= '0' && c <= '9'
                      : shape == '+' ? c == '+' || c == '-'
                                     : c == shape;
    if (!fits) return false;
  }
  return true;
}

// The digits text[at, at + count) as a number.
int NumberAt(std::string_view text, std::size_t at, std::size_t count) {
  int number = 0;
  for (const char digit : text.substr(at, count)) number = number * 10 + (digit - '0');
  return number;
}

}  // namespace

LocalTime LocalTimeOf(WallTime time) {
  const auto since_epoch = time.time_since_epoch();
  const auto whole_seconds = std::chrono::floor<std::chrono::seconds>(since_epoch);
  const Calendar calendar = CalendarOf(static_cast<std::time_t>(whole_seconds.count()));
  const std::tm& local = calendar.local;
  return {.year = local.tm_year + 1900,
          .month = local.tm_mon + 1,
          .day = local.tm_mday,
          .hour = local.tm_hour,
          .minute = local.tm_min,
          .second = local.tm_sec,
          .millisecond = static_cast<int>(
              std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch - whole_seconds).count()),
          .utc_offset_minutes =
              static_cast<int>((SecondsAsIfUtc(local) - SecondsAsIfUtc(calendar.utc)) / 60)};
}

std::string Iso8601(const LocalTime& time) {
  const int offset = time.utc_offset_minutes < 0 ? -time.utc_offset_minutes : time.utc_offset_minutes;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d", time.year,
                time.month, time.day, time.hour, time.minute, time.second, time.millisecond,
                time.utc_offset_minutes < 0 ? '-' : '+', offset / 60, offset % 60);
  return text;
}

std::optional<WallTime> InstantOfIso8601(std::string_view text) {
  if (!HasIso8601Shape(text)) return std::nullopt;
  // Places as in kIso8601Shape.
  const long long offset_minutes =
      (text[23] == '-' ? -1 : 1) * (NumberAt(text, 24, 2) * 60LL + NumberAt(text, 27, 2));
  const long long seconds_as_if_utc =
      DaysFromCivil(NumberAt(text, 0, 4), NumberAt(text, 5, 2), NumberAt(text, 8, 2)) * 86400 +
      NumberAt(text, 11, 2) * 3600LL + NumberAt(text, 14, 2) * 60LL + NumberAt(text, 17, 2);
  return WallTime{} + std::chrono::seconds(seconds_as_if_utc - offset_minutes * 60) +
         std::chrono::milliseconds(NumberAt(text, 20, 3));
}

std::string NameStamp(const LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d_%02d%02d%02d", time.year, time.month, time.day,
                time.hour, time.minute, time.second);
  return text;
}

}  // namespace zelt20

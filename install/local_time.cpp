#include <ctime>

#include "install/installation.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zelt20 {

CalendarTime LocalTimeNow() {
#ifdef _WIN32
  SYSTEMTIME now;
  GetLocalTime(&now);
  return {now.wYear,   now.wMonth,  now.wDayOfWeek, now.wDay,
          now.wHour,   now.wMinute, now.wSecond,    now.wMilliseconds};
#else
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  const auto field = [](long value) { return static_cast<std::uint16_t>(value); };
  return {field(local.tm_year + 1900), field(local.tm_mon + 1), field(local.tm_wday),
          field(local.tm_mday),        field(local.tm_hour),    field(local.tm_min),
          field(local.tm_sec),         field(now.tv_nsec / 1000000)};
#endif
}

}  // namespace zelt20

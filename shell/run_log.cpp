#include "shell/run_log.h"

#include <cstdio>

void format_run_log_header(const std::tm& local_time, char* out, std::size_t size) {
  std::tm adjusted = local_time;
  const char* suffix = adjusted.tm_hour < 12 ? "AM" : "PM";
  if (adjusted.tm_hour > 12) adjusted.tm_hour -= 12;
  if (adjusted.tm_hour == 0) adjusted.tm_hour = 12;
  // asctime's text, built by hand: asctime itself overflows on odd years.
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const int day = adjusted.tm_wday >= 0 && adjusted.tm_wday < 7 ? adjusted.tm_wday : 0;
  const int month = adjusted.tm_mon >= 0 && adjusted.tm_mon < 12 ? adjusted.tm_mon : 0;
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%.3s %.3s%3d %.2d:%.2d:%.2d", kDays[day], kMonths[month],
                adjusted.tm_mday % 100, adjusted.tm_hour % 100, adjusted.tm_min % 100,
                adjusted.tm_sec % 100);
  std::snprintf(out, size, "Morvane last run %.19s %s\n\nInitiating...\n", stamp, suffix);
}

bool write_run_log_header(const char* path, const std::tm& local_time) {
  std::FILE* file = std::fopen(path, "w");
  if (!file) return false;
  char header[128];
  format_run_log_header(local_time, header, sizeof header);
  std::fputs(header, file);
  std::fclose(file);
  return true;
}

bool write_run_log_footer(const char* path) {
  std::FILE* file = std::fopen(path, "a");
  if (!file) return false;
  std::fputs("Morvane successfully shut down...\n", file);
  std::fclose(file);
  return true;
}

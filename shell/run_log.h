// The run log, log.txt: a header at start and a footer after a clean exit.
#pragma once

#include <cstddef>
#include <ctime>

inline constexpr const char* kRunLogName = "log.txt";

// Formats the two header lines ("Morvane last run ..." and "Initiating...")
// for a broken-down local time, with the 12-hour adjustment.
void format_run_log_header(const std::tm& local_time, char* out, std::size_t size);

// Creates the log anew with its header; false when it cannot be created.
bool write_run_log_header(const char* path, const std::tm& local_time);
// Appends the footer; false when the log cannot be reopened.
bool write_run_log_footer(const char* path);

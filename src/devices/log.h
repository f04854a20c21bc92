// The device libraries' logger: one printf-style line to the system log. The diagnostic's
// console output never goes through here.
#pragma once

#include <cstdarg>

namespace kmb {

// Longest text of one message buffer, terminator included.
inline constexpr int LOG_BUFFER_SIZE = 4096;

void log_msg(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));
// As log_msg, with ": " and the text of errno (as it was on entry) appended.
void log_msg_errno(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));
void log_vmsg(int with_errno, int priority, const char* format, va_list args) __attribute__((format(printf, 3, 0)));
void log_open(const char* ident, int option, int facility);
void log_close();

} // namespace kmb

#include "devices/log.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "os/os.h"

namespace kmb {

void log_vmsg(int with_errno, int priority, const char* format, va_list args)
{
    const int saved_errno = errno; // before anything below can change it
    char line[LOG_BUFFER_SIZE];
    int written = std::vsnprintf(line, sizeof line, format, args);
    size_t len = written < 0 ? 0 : std::strlen(line);
    if (written < 0) {
        line[0] = '\0';
    }
    if (with_errno != 0 && len < sizeof line) {
        std::snprintf(line + len, sizeof line - len, ": %s", std::strerror(saved_errno));
        len = std::strlen(line);
    }
    // Every line ends in exactly one added newline; a message too long for the buffer gives
    // up its last character for it.
    if (len > LOG_BUFFER_SIZE - 2) {
        line[LOG_BUFFER_SIZE - 2] = '\n';
        line[LOG_BUFFER_SIZE - 1] = '\0';
    } else {
        line[len] = '\n';
        line[len + 1] = '\0';
    }
    os::syslog(priority, line);
    errno = saved_errno; // callers report their own failure with perror after logging it
}

void log_msg(int priority, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    log_vmsg(0, priority, format, args);
    va_end(args);
}

void log_msg_errno(int priority, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    log_vmsg(1, priority, format, args);
    va_end(args);
}

void log_open(const char* ident, int option, int facility) { os::openlog(ident, option, facility); }

void log_close() { os::closelog(); }

} // namespace kmb

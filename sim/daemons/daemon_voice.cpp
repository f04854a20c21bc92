#include "sim/daemons/daemon_voice.h"

#include <cstdarg>
#include <cstdio>
#include <syslog.h>

#include "devices/log.h"

namespace kmb {

namespace {

const char* g_name = "daemon";

} // namespace

void daemon_voice_open(const char* name)
{
    g_name = name;
    log_open(name, LOG_PID, LOG_DAEMON);
}

void daemon_say(int priority, const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    log_msg(priority, "%s", line);
    std::fprintf(stderr, "%s: %s\n", g_name, line);
    std::fflush(stderr);
}

} // namespace kmb

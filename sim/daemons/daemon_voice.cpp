#include "sim/daemons/daemon_voice.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <syslog.h>

#include "devices/log.h"
#include "sim/daemons/pid_file.h"

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

bool daemon_start(const char* name, int key, const char* pid_file)
{
    daemon_voice_open(name);
    const pid_t holder = pid_file_claim(pid_file);
    if (holder > 0) {
        daemon_say(LOG_ERR, "queue %d is served by process %d already (%s); not started", key,
                   static_cast<int>(holder), pid_file);
    } else if (holder < 0) {
        daemon_say(LOG_ERR, "cannot write %s: %s; not started", pid_file, std::strerror(errno));
    }
    return holder == 0;
}

} // namespace kmb

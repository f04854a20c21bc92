#include "sim/kernel/syslog_sink.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <ctime>
#include <syslog.h>

#include "sim/core/clock.h"
#include "sim/core/host_complaint.h"

namespace kmb::sim {

namespace {

// The memory copy is for tests and short runs; a soak must not grow without bound.
constexpr std::size_t kKeptEntries = 10'000;

} // namespace

void SysLogSink::open(const char* ident, int, int) { ident_ = ident != nullptr ? ident : "kmbdiag"; }

void SysLogSink::close() { ident_ = "kmbdiag"; }

void SysLogSink::write(int priority, const char* message)
{
    const std::string text = message != nullptr ? message : "";
    if (entries_.size() < kKeptEntries) {
        entries_.push_back(Entry{priority, text});
    }
    const time_t now = clock_.epoch();
    struct tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    std::string line = std::string(stamp) + " kmb " + ident_ + ": <" + std::to_string(LOG_PRI(priority)) + "> " + text;
    if (text.empty() || text.back() != '\n') {
        line += '\n';
    }
    // A log that cannot be written loses the line, as syslogd would; the operator hears of it
    // once, on standard error.
    // Never a wait at the open: a named pipe that nobody reads refuses at once (ENXIO). The
    // state's own log must be a regular file; the operator's --syslog may be a device.
    int fd = ::open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | (follow_links_ ? 0 : O_NOFOLLOW),
                    0644);
    int why_not = errno;
    struct stat st{};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || (!S_ISREG(st.st_mode) && (!follow_links_ || S_ISFIFO(st.st_mode))))) {
        ::close(fd);
        complain_once("syslog", "cannot write the card's syslog to '" + file_.string() +
                                    "': it is not a regular file; its lines are lost");
        return;
    }
    if (fd >= 0) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    }
    errno = why_not;
    bool written = fd >= 0;
    std::size_t done = 0;
    while (written && done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        written = n > 0;
        done += written ? static_cast<std::size_t>(n) : 0;
    }
    const int why = errno;
    if (fd >= 0 && ::close(fd) != 0 && written) {
        written = false;
    }
    if (!written) {
        complain_once("syslog", "cannot write the card's syslog to '" + file_.string() + "': " +
                                    std::strerror(why != 0 ? why : EIO) + "; its lines are lost");
    }
}

} // namespace kmb::sim

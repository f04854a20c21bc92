#include "sim/syslog_sink.h"

#include <cstdio>
#include <ctime>
#include <syslog.h>

#include "sim/clock.h"

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
    FILE* out = std::fopen(file_.c_str(), "a");
    if (out == nullptr) {
        return; // a log that cannot be written loses the line, as syslogd would
    }
    const time_t now = clock_.epoch();
    struct tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    std::fprintf(out, "%s kmb %s: <%d> %s", stamp, ident_.c_str(), LOG_PRI(priority), text.c_str());
    if (text.empty() || text.back() != '\n') {
        std::fputc('\n', out);
    }
    std::fclose(out);
}

} // namespace kmb::sim

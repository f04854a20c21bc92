#include "fuzz/support/scripted_operator.h"

#include "shell/input.h"
#include "shell/options.h"

namespace kmb::fuzz {

namespace {

bool is_reset_test(int32_t selection) { return selection >= 13 && selection <= 15; }

} // namespace

ScriptedOperator::ScriptedOperator(sim::Card& card, sim::SimOs& sim, int64_t budget_us)
    : card_(card), sim_(sim), deadline_us_(card.clock().now_us() + budget_us), previous_(os::install(this))
{
}

ScriptedOperator::~ScriptedOperator() { os::install(previous_); }

bool ScriptedOperator::over_budget() const { return card_.clock().now_us() > deadline_us_; }

void ScriptedOperator::waited()
{
    if (over_budget()) {
        diag_options.interrupted = 1;
    }
}

char* ScriptedOperator::read_line(char* buf, int size)
{
    if (over_budget()) {
        diag_options.interrupted = 1;
        return nullptr;
    }
    char* line = sim_.read_line(buf, size);
    if (line == nullptr) {
        return nullptr;
    }
    if (diag_options.loop != 0) {
        diag_options.interrupted = 1;
    }
    // The ESS count prompt is the one read while an ESS sequence runs; there 13 is a count.
    const bool menu_choice = (diag_options.mode & MODE_ESS) == 0;
    if (menu_choice && size >= 3 && is_reset_test(parse_number(buf))) {
        buf[0] = '0';
        buf[1] = '\n';
        buf[2] = '\0';
    }
    return line;
}

int ScriptedOperator::open(const char* path, int flags, mode_t mode) { return sim_.open(path, flags, mode); }
int ScriptedOperator::close(int fd) { return sim_.close(fd); }

ssize_t ScriptedOperator::read(int fd, void* buf, size_t count)
{
    const ssize_t n = sim_.read(fd, buf, count);
    waited();
    return n;
}

ssize_t ScriptedOperator::write(int fd, const void* buf, size_t count)
{
    const ssize_t n = sim_.write(fd, buf, count);
    waited();
    return n;
}

int ScriptedOperator::ioctl(int fd, unsigned long request, unsigned long arg)
{
    const int rc = sim_.ioctl(fd, request, arg);
    waited();
    return rc;
}

int ScriptedOperator::fcntl(int fd, int cmd, long arg) { return sim_.fcntl(fd, cmd, arg); }
FILE* ScriptedOperator::fopen(const char* path, const char* mode) { return sim_.fopen(path, mode); }
int ScriptedOperator::fclose(FILE* stream) { return sim_.fclose(stream); }
int ScriptedOperator::tcgetattr(int fd, struct termios* attr) { return sim_.tcgetattr(fd, attr); }
int ScriptedOperator::tcsetattr(int fd, int action, const struct termios* attr)
{
    return sim_.tcsetattr(fd, action, attr);
}
int ScriptedOperator::tcflush(int fd, int queue) { return sim_.tcflush(fd, queue); }

int ScriptedOperator::system(const char* command)
{
    const int rc = sim_.system(command);
    waited();
    return rc;
}

int ScriptedOperator::sigaction(int sig, const struct sigaction* act, struct sigaction* old)
{
    return sim_.sigaction(sig, act, old);
}

time_t ScriptedOperator::time(time_t* out) { return sim_.time(out); }

unsigned ScriptedOperator::sleep(unsigned seconds)
{
    const unsigned left = sim_.sleep(seconds);
    waited();
    return left;
}

int ScriptedOperator::usleep(useconds_t usec)
{
    const int rc = sim_.usleep(usec);
    waited();
    return rc;
}

void ScriptedOperator::openlog(const char* ident, int option, int facility) { sim_.openlog(ident, option, facility); }
void ScriptedOperator::closelog() { sim_.closelog(); }
void ScriptedOperator::syslog(int priority, const char* message) { sim_.syslog(priority, message); }

} // namespace kmb::fuzz

#include "fuzz/support/scripted_operator.h"

#include <string>

#include "diag/options.h"
#include "fuzz/support/fuzz_card.h"
#include "sim/card/installed_card.h"

namespace kmb::fuzz {

namespace {

// Card time an input may use before the operator stops it: some thirty comprehensive passes.
constexpr int64_t kBudgetUs = 120'000'000;

// The saved copies too: a session that ended inside the test menu must not leak them.
void reset_options()
{
    set_default_options();
    diag_options.loop_saved = 0;
    diag_options.stop_on_error_saved = 0;
}

} // namespace

ScriptedOperator::ScriptedOperator(sim::Card& card, sim::SimOs& sim, int64_t budget_us)
    : ForwardingOs(sim), card_(card), deadline_us_(card.clock().now_us() + budget_us), previous_(os::install(this))
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
    char* line = next().read_line(buf, size);
    if (line == nullptr) {
        return nullptr;
    }
    if (diag_options.loop != 0) {
        diag_options.interrupted = 1;
    }
    return line;
}

ssize_t ScriptedOperator::read(int fd, void* buf, size_t count)
{
    const ssize_t n = next().read(fd, buf, count);
    waited();
    return n;
}

ssize_t ScriptedOperator::write(int fd, const void* buf, size_t count)
{
    const ssize_t n = next().write(fd, buf, count);
    waited();
    return n;
}

int ScriptedOperator::ioctl(int fd, unsigned long request, unsigned long arg)
{
    const int rc = next().ioctl(fd, request, arg);
    waited();
    return rc;
}

int ScriptedOperator::system(const char* command)
{
    const int rc = next().system(command);
    waited();
    return rc;
}

unsigned ScriptedOperator::sleep(unsigned seconds)
{
    const unsigned left = next().sleep(seconds);
    waited();
    return left;
}

int ScriptedOperator::usleep(useconds_t usec)
{
    const int rc = next().usleep(usec);
    waited();
    return rc;
}

void run_operator_session(const uint8_t* data, std::size_t size, void (*session)())
{
    if (size == 0) {
        return;
    }
    std::size_t used = 0;
    FuzzCard card(faults_from_header(data, size, used));
    card.os().set_console_input(std::string(reinterpret_cast<const char*>(data + used), size - used));
    ScriptedOperator person(card.card(), card.os(), kBudgetUs);
    reset_options();
    // A reset test does its work by taking the card down, as it would for the operator.
    sim::run_until_reset([session] {
        session();
        return 0;
    });
    reset_options();
}

} // namespace kmb::fuzz

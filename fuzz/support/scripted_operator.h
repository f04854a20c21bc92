// The operator at the fixture's console while a fuzzer does the typing. Every call of the
// diagnostic passes through to the simulated card; the operator only reads the console and,
// like a person at the fixture, presses Ctrl-C so that no run goes on for ever. The
// diagnostic loops by design until Ctrl-C (loop on with no count, ESS with a count of two
// thousand million passes), so an input that asks for that is not a hang of the program, and
// a fuzzer that let it run would stop finding anything. The rules:
//
// 1. A line read while looping is on comes with a Ctrl-C: the looped run makes exactly one
//    pass. Only a pending Ctrl-C can end such a loop at all.
// 2. Once the card's clock has run `budget` past the start of the input, every wait of the
//    program brings a Ctrl-C and the console reads as ended: long ESS runs and counted runs
//    stop after the pass in progress, and the menus are left as at the end of input.
// 3. A reset test that resets the card ends the input's session where the card went down, as
//    the operator's session would end; the next input is a new card.
//
// So every piece of the menus, options and runner is reached, and an input's work is bounded
// by its length and the budget.
#pragma once

#include <cstddef>
#include <cstdint>

#include "os/forwarding_os.h"
#include "sim/card/card.h"
#include "sim/card/sim_os.h"

namespace kmb::fuzz {

class ScriptedOperator final : public os::ForwardingOs {
public:
    // Installs itself in front of `sim` for its lifetime.
    ScriptedOperator(sim::Card& card, sim::SimOs& sim, int64_t budget_us);
    ~ScriptedOperator() override;
    ScriptedOperator(const ScriptedOperator&) = delete;
    ScriptedOperator& operator=(const ScriptedOperator&) = delete;

    // The calls that let card time pass, and the console.
    ssize_t read(int fd, void* buf, size_t count) override;
    ssize_t write(int fd, const void* buf, size_t count) override;
    int ioctl(int fd, unsigned long request, unsigned long arg) override;
    int system(const char* command) override;
    unsigned sleep(unsigned seconds) override;
    int usleep(useconds_t usec) override;
    char* read_line(char* buf, int size) override;

private:
    bool over_budget() const;
    // After every call that lets card time pass.
    void waited();

    sim::Card& card_;
    int64_t deadline_us_;
    os::Os* previous_;
};

// One fuzz input as an operator's session: the first byte picks the card's faults (bit i: the
// i-th fault of the catalogue), the rest is typed at the console of a freshly booted card while
// `session` runs, with the settings at their defaults before and after.
void run_operator_session(const uint8_t* data, std::size_t size, void (*session)());

} // namespace kmb::fuzz

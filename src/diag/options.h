// The diagnostic's settings and the small machinery every menu and test shares: the settings
// record, the test contract and runner, Ctrl-C, the yes/no words and the progress spinner.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>

namespace kmb {

inline constexpr int32_t MODE_FACTORY = 1;
inline constexpr int32_t MODE_MANUFACTURING = 2;
inline constexpr int32_t MODE_ESS = 4;

struct DiagOptions {
    int32_t loop;                // 1: repeat the selected test
    int32_t loop_saved;          // loop while the KMB test menu runs
    int32_t stop_on_error;       // 1: a failed pass ends the repetition
    int32_t stop_on_error_saved; // stop_on_error while the KMB test menu runs
    int32_t count;               // passes left for the comprehensive run; 0: no limit
    int32_t mode;                // MODE_* bits
    volatile std::sig_atomic_t interrupted; // set by Ctrl-C: stop repeating
};
static_assert(sizeof(std::sig_atomic_t) == sizeof(int32_t));
// Seven 32-bit signed fields and nothing between them, on the card and on a workstation alike.
static_assert(sizeof(DiagOptions) == 7 * sizeof(int32_t) && offsetof(DiagOptions, mode) == 5 * sizeof(int32_t));

extern DiagOptions diag_options;

// A test: no arguments, 0 when it passed, nonzero when it failed; it prints its own result.
using TestFunc = int (*)();

// Runs `test` once, or repeatedly by loop, stop_on_error and Ctrl-C; returns the last result.
int run_test(TestFunc test);

void sigint_handler(int signal_number);
// Installs sigint_handler for SIGINT; a console read it interrupts is resumed.
void install_sigint_handler();

// 1 for yes ("y...", "on..."), 2 for no ("n...", "off..."), 0 for neither; any case.
int parse_yes_no(const char* text);
// "[Enabled] " or "[Disabled] ".
void print_enabled(int32_t flag);
void save_options();
void restore_options();
// The defaults of start-up: loop off, stop-on-error on, no count, no modes, no Ctrl-C, and
// the spinner at its first step.
void set_default_options();

// One step of the progress spinner: | / - \, each followed by a backspace.
void spinner_step();

} // namespace kmb

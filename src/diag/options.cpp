#include "diag/options.h"

#include <cstdio>
#include <strings.h>

#include "os/os.h"

namespace kmb {

DiagOptions diag_options;

namespace {

int spinner_phase = 0;

} // namespace

int run_test(TestFunc test)
{
    int result;
    do {
        result = test();
        if (result != 0 && diag_options.stop_on_error == 1) {
            break;
        }
    } while (diag_options.loop == 1 && diag_options.interrupted == 0);
    diag_options.interrupted = 0;
    return result;
}

void sigint_handler(int)
{
    diag_options.interrupted = 1;
}

void install_sigint_handler()
{
    struct sigaction action{};
    action.sa_handler = sigint_handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    os::sigaction(SIGINT, &action, nullptr);
}

int parse_yes_no(const char* text)
{
    if (strncasecmp(text, "y", 1) == 0 || strncasecmp(text, "on", 2) == 0) {
        return 1;
    }
    if (strncasecmp(text, "n", 1) == 0 || strncasecmp(text, "off", 3) == 0) {
        return 2;
    }
    return 0;
}

void print_enabled(int32_t flag) { std::printf(flag != 0 ? "[Enabled] " : "[Disabled] "); }

void save_options()
{
    diag_options.loop_saved = diag_options.loop;
    diag_options.stop_on_error_saved = diag_options.stop_on_error;
}

void restore_options()
{
    diag_options.stop_on_error = diag_options.stop_on_error_saved;
    diag_options.loop = diag_options.loop_saved;
}

void set_default_options()
{
    diag_options.loop = 0;
    diag_options.stop_on_error = 1;
    diag_options.count = 0;
    diag_options.mode = 0;
    diag_options.interrupted = 0;
    spinner_phase = 0;
}

void spinner_step()
{
    static const char* const kSteps[] = {"|\b", "/\b", "-\b", "\\\b"};
    spinner_phase = (spinner_phase + 1) % 4;
    std::fputs(kSteps[spinner_phase], stdout);
    std::fflush(stdout);
}

} // namespace kmb

// kmbdiag-sim: the diagnostic on a simulated card in its test fixture.
#include <csignal>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>
#include <unistd.h>

#include "menu/kmb_main.h"
#include "sim/app/command_line.h"
#include "sim/app/run_outputs.h"
#include "sim/card/installed_card.h"
#include "sim/console/console_line.h"
#include "sim/core/config.h"
#include "sim/core/standard_descriptors.h"

int main(int argc, char** argv)
{
    // Before anything is opened: a closed standard output must not become the state's lock.
    if (!kmb::sim::hold_standard_descriptors()) {
        return 2; // nowhere to say so
    }
    kmb::sim::SimConfig config;
    const int status = kmb::sim::parse_command_line(argc, argv, config, stdout, stderr);
    if (status >= 0) {
        return status;
    }
    // The card starts its diagnostic with Ctrl-C at its default, whatever the desk left
    // ignored (a job in a script's background has it ignored): a Ctrl-C before the
    // diagnostic's handler ends the run, as on the card.
    std::signal(SIGINT, SIG_DFL);
    std::error_code ec;
    std::filesystem::create_directories(config.state_dir, ec);
    if (ec) {
        std::fprintf(stderr, "kmbdiag-sim: cannot create the state folder '%s': %s\n", config.state_dir.c_str(),
                     ec.message().c_str());
        return 2;
    }
    try {
        kmb::sim::RunOutputs outputs(config); // the trace, waveform, report and console log asked for
        kmb::sim::InstalledCard installed(config, kmb::sim::InstalledCard::Lock::StateFolder);
        kmb::sim::Card& card = installed.card();
        outputs.attach(card);
        kmb::sim::SimOs& os = installed.os();
        // The program prints to the card's console line, which paces it in card time.
        kmb::sim::ConsoleLine line(card.clock(), STDOUT_FILENO, config.console_baud);
        FILE* const host_stdout = stdout;
        if (line.stream() != nullptr) {
            std::fflush(stdout);
            stdout = line.stream();
            os.attach_console_line(&line);
            line.on_write([&os] { os.check_hang_up(); });
            line.on_output([&](const char* data, size_t size) { outputs.console(card.clock().now_us(), data, size); });
        }
        os.watch_for_hang_up(true);
        const int result = kmb::sim::run_until_reset([&] { return kmb::kmb_main(argc, argv); });
        std::fflush(stdout);
        stdout = host_stdout;
        // What the card could not tell: routing state or sockets the program left behind.
        if (const std::string left = card.network().leftovers(); !left.empty()) {
            std::fprintf(stderr, "kmbdiag-sim: the program left behind:\n%s", left.c_str());
        }
        return outputs.finish(card, result, stderr) ? result : 2;
    } catch (const std::exception& e) {
        // The card could not be built from its state folder (held by another simulator, a
        // file where a folder belongs, a damaged environment, no space left): say so and end,
        // leaving the stored state as it is.
        std::fprintf(stderr, "kmbdiag-sim: %s\n", e.what());
        return 2;
    }
}

// kmbdiag-sim: the diagnostic on a simulated KMB card in its test fixture.
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "os/os.h"
#include "shell/kmb_main.h"
#include "sim/card.h"
#include "sim/command_line.h"
#include "sim/sim_os.h"

int main(int argc, char** argv)
{
    kmb::sim::SimConfig config;
    const int status = kmb::sim::parse_command_line(argc, argv, config, stdout, stderr);
    if (status >= 0) {
        return status;
    }
    std::error_code ec;
    std::filesystem::create_directories(config.state_dir, ec);
    if (ec) {
        std::fprintf(stderr, "kmbdiag-sim: cannot create the state folder %s: %s\n", config.state_dir.c_str(),
                     ec.message().c_str());
        return 2;
    }
    kmb::sim::Card card(config);
    kmb::sim::SimOs os(card);
    kmb::os::install(&os);
    const int result = kmb::kmb_main(argc, argv);
    std::fflush(stdout);
    kmb::os::install(nullptr);
    return result;
}

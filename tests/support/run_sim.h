// Runs kmbdiag-sim as the operator would, with a scripted console: what it printed on each
// stream and how it ended. On a cross build the simulator runs under the build's emulator.
#pragma once

#include <string>
#include <vector>

namespace kmb::test {

struct SimRun {
    std::string out;
    std::string err;
    int exit_status = -1; // -1 when it did not exit normally
};

// `args` follow the program name; the card clock starts at kTestEpoch unless they say
// otherwise, and local time is UTC.
SimRun run_sim(const std::vector<std::string>& args, const std::string& input);
// The same for another of the build's programs (a daemon, the daemons' client).
SimRun run_program(const std::string& program, const std::vector<std::string>& args, const std::string& input);

} // namespace kmb::test

// Runs kmbdiag-sim as the operator would, with a scripted console: what it printed on each
// stream and how it ended. On a cross build the simulator runs under the build's emulator.
#pragma once

#include <string>
#include <vector>

namespace kmb::test {

// The words that start one of the build's programs with its arguments, under the build's
// emulator on a cross build, as execvp takes them.
class Command {
public:
    Command(const std::string& program, const std::vector<std::string>& args);
    Command(const Command&) = delete;
    Command& operator=(const Command&) = delete;
    char* const* argv() const { return argv_.data(); }

private:
    std::vector<std::string> words_;
    std::vector<char*> argv_;
};

struct SimRun {
    std::string out;
    std::string err;
    int exit_status = -1; // -1 when it did not exit normally
    bool timed_out = false; // killed at the wall limit
};

// How the script's input ends. A script that is all sent and closed is an operator who has hung
// up: every looped test then ends after its pass. One held open until the program ends is an
// operator who typed ahead and is still at the line (a script that ends with its own exit).
enum class InputEnd { Close, HoldUntilExit };

// The simulator's arguments for a card kept in `state`, at speed 0 from the tests' epoch, then `more`.
std::vector<std::string> card_args(const std::string& state, std::vector<std::string> more = {});

// `args` follow the program name; the card clock starts at kTestEpoch unless they say
// otherwise, and local time is UTC. `closed` lists standard descriptors (0 to 2) that the
// simulator starts without (`>&-`).
// `wall_limit_s` above 0 kills a simulator still running after that many wall seconds.
SimRun run_sim(const std::vector<std::string>& args, const std::string& input, InputEnd end = InputEnd::Close,
               const std::vector<int>& closed = {}, double wall_limit_s = 0);
// The same for another of the build's programs (a daemon, the daemons' client).
SimRun run_program(const std::string& program, const std::vector<std::string>& args, const std::string& input,
                   InputEnd end = InputEnd::Close, const std::vector<int>& closed = {}, double wall_limit_s = 0);

} // namespace kmb::test

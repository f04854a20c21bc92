// Network namespaces of this machine's real kernel for the Ethernet tests: in a namespace of its
// own, eth0 is one end of a veth pair with the card's address, and the other end, in a second
// namespace, is the loopback cable: a tc ingress filter that sends every frame straight back
// out. Each test's namespaces are made and used in a child process, so that the test process
// stays where it was; whatever the child does, it ends and its namespaces go with it.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kmb::test {

inline constexpr const char* kOwn = "192.0.2.20";
inline constexpr const char* kPeer = "192.0.2.28";

// What a child found, by name; the harness adds "skip" (why the namespaces could not be made),
// "crash" (how a child that did not end well ended) and "left" (a namespace still held).
using Report = std::map<std::string, std::string>;

// A shell command's output and errors; its exit status in `status` (-1 when it did not run).
std::string output_of(const std::string& command, int* status = nullptr);
// Runs the commands in turn: "" when all succeed, else the one that failed and what it printed.
std::string run_commands(const std::vector<std::string>& commands);

// eth0 and its cable, in the calling process's namespace and a child's.
class NetnsCable {
public:
    // "" when it stands, else why it could not be made.
    std::string set_up();
    // The cable in (every frame comes back) or pulled.
    std::string reflect(bool on);
    pid_t cable() const { return cable_; }
    void tear_down();

private:
    bool fork_cable();
    pid_t cable_ = -1;
};

// Runs `body` in a child in namespaces of its own and gives back what it reported. A child
// that hangs is killed after `deadline_s` seconds of real time; the child and its cable end
// with this process.
Report in_namespaces(const std::function<void(NetnsCable&, Report&)>& body, int deadline_s = 300);

// Whatever the run did, nothing it made outlives it.
#define SKIP_WHEN_UNAVAILABLE(report)                                                                                  \
    EXPECT_EQ((report).count("left"), 0u) << (report).at("left");                                                     \
    if ((report).count("skip") != 0) {                                                                                 \
        GTEST_SKIP() << (report).at("skip");                                                                           \
    }                                                                                                                  \
    ASSERT_EQ((report).count("crash"), 0u) << (report).at("crash")

} // namespace kmb::test

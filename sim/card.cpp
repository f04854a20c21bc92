#include "sim/card.h"

#include <cerrno>
#include <csignal>

#include "sim/i2c_dev_node.h"

namespace kmb::sim {

namespace {

Faults faults_of(const SimConfig& config)
{
    Faults faults;
    for (Fault f : config.faults) {
        faults.enable(f);
    }
    return faults;
}

std::filesystem::path syslog_path_of(const SimConfig& config)
{
    if (!config.syslog_path.empty()) {
        return config.syslog_path;
    }
    return std::filesystem::path(config.state_dir) / "syslog";
}

} // namespace

Card::Card(const SimConfig& config)
    : clock_(config.start_time, config.speed),
      faults_(faults_of(config)),
      fs_(std::filesystem::path(config.state_dir) / "fs"),
      env_(std::filesystem::path(config.state_dir) / "fw_env"),
      syslog_(syslog_path_of(config), clock_),
      bus_(clock_, trace_),
      fixture_(bus_, faults_),
      shell_(fs_, env_, trace_)
{
    // Power on: the volatile file systems come up empty, and the fixture announces itself
    // with its marker unless the card is not in one.
    fs_.boot(!faults_.act(Fault::NoFixture));
    for (const auto& [name, value] : config.env) {
        env_.set(name, value);
    }
    env_.save();
    for (double seconds : config.sigint_at) {
        clock_.after(static_cast<int64_t>(seconds * 1e6), [] { std::raise(SIGINT); }, true);
    }
}

std::unique_ptr<OpenFile> Card::open(const std::string& path, int flags, mode_t mode)
{
    trace_.note("open " + path);
    if (path == "/dev/i2c/0") {
        if (faults_.act(Fault::I2cBusAbsent)) {
            errno = ENOENT;
            return nullptr;
        }
        return std::make_unique<I2cDevNode>(path, bus_);
    }
    if (path == "/dev/agentdrv") {
        if (faults_.act(Fault::AgentdrvAbsent)) {
            errno = ENOENT;
            return nullptr;
        }
        return agent_driver_.open(path);
    }
    return fs_.open(path, flags, mode);
}

} // namespace kmb::sim

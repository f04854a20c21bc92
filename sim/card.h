// The simulated KMB card in its test fixture: everything that stands behind SimOs.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>

#include "sim/agent_driver.h"
#include "sim/boot_env.h"
#include "sim/card_fs.h"
#include "sim/clock.h"
#include "sim/config.h"
#include "sim/faults.h"
#include "sim/fixture.h"
#include "sim/i2c_bus.h"
#include "sim/open_file.h"
#include "sim/shell.h"
#include "sim/syslog_sink.h"
#include "sim/trace.h"

namespace kmb::sim {

class Card {
public:
    // Boots the card from the state folder `config.state_dir` (created when missing).
    explicit Card(const SimConfig& config);

    // Opens a card path as the card's kernel would: a device node or a file of its file
    // system. Returns nullptr with errno set when it cannot be opened.
    std::unique_ptr<OpenFile> open(const std::string& path, int flags, mode_t mode);

    // The host path that holds a card path's file, for the stdio streams.
    std::filesystem::path host_path(const std::string& card_path) const { return fs_.host_path(card_path); }

    VirtualClock& clock() { return clock_; }
    Faults& faults() { return faults_; }
    Trace& trace() { return trace_; }
    CardFs& fs() { return fs_; }
    BootEnv& env() { return env_; }
    SysLogSink& syslog() { return syslog_; }
    I2cBus& i2c() { return bus_; }
    Fixture& fixture() { return fixture_; }
    AgentDriver& agent_driver() { return agent_driver_; }
    Shell& shell() { return shell_; }

private:
    VirtualClock clock_;
    Faults faults_;
    Trace trace_;
    CardFs fs_;
    BootEnv env_;
    SysLogSink syslog_;
    I2cBus bus_;
    Fixture fixture_;
    AgentDriver agent_driver_;
    Shell shell_;
};

} // namespace kmb::sim

// The simulated KMB card in its test fixture: everything that stands behind SimOs.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "sim/card/fixture.h"
#include "sim/chips/cpld.h"
#include "sim/chips/ecc.h"
#include "sim/chips/host_agent.h"
#include "sim/chips/i2c_bus.h"
#include "sim/chips/lm77.h"
#include "sim/chips/ram.h"
#include "sim/chips/reset_logic.h"
#include "sim/chips/serial_loopback.h"
#include "sim/chips/watchdog.h"
#include "sim/core/clock.h"
#include "sim/core/config.h"
#include "sim/core/faults.h"
#include "sim/core/i2c_faults.h"
#include "sim/core/open_file.h"
#include "sim/core/trace.h"
#include "sim/kernel/agentdrv.h"
#include "sim/kernel/interrupts.h"
#include "sim/kernel/kernel_modules.h"
#include "sim/kernel/net/network.h"
#include "sim/kernel/syslog_sink.h"
#include "sim/kernel/tty/serial_port.h"
#include "sim/storage/card_fs.h"
#include "sim/userland/boot_env.h"
#include "sim/userland/shell.h"

namespace kmb::sim {

class Card {
public:
    // Boots the card from the state folder `config.state_dir` (created when missing).
    explicit Card(const SimConfig& config);
    // The fixture's counter agent keeps its registers in the state folder.
    ~Card();
    Card(const Card&) = delete;
    Card& operator=(const Card&) = delete;

    // The card resets: the CPLD keeps `reason` for the next start, the fixture keeps the
    // counter agent, the clock halts and the console goes quiet. A device calls this from
    // wherever its timer runs, which may be deep inside the C library's printf; the program
    // ends at its next call into the card (throw_if_reset), where unwinding is safe.
    void reset(uint8_t reason);
    // Throws CardReset once the card has reset. Called by SimOs on the way into the card.
    void throw_if_reset() const;

    // Opens a card path as the card's kernel would: a device node, a kernel file or a file
    // of its file system. Returns nullptr with errno set when it cannot be opened.
    std::unique_ptr<OpenFile> open(const std::string& path, int flags, mode_t mode);

    // A device node of the card: the model that owns it answers every open of `path`
    // (nullptr with errno set when the node is missing or refuses the open).
    using NodeOpener = std::function<std::unique_ptr<OpenFile>(const std::string& path, int flags)>;
    void add_node(const std::string& path, NodeOpener opener);

    // A kernel file (/proc/...): its text is made afresh at every open, as procfs does;
    // nullopt when the kernel does not publish it.
    using KernelText = std::function<std::optional<std::string>()>;
    void add_kernel_file(const std::string& path, KernelText text);
    bool is_kernel_file(const std::string& path) const { return kernel_files_.count(path) != 0; }
    // The text of a kernel file for a stdio stream; nullopt with errno set when there is none.
    std::optional<std::string> kernel_text(const std::string& path);

    // A socket of the card's network stack; nullptr with errno set when it cannot be had.
    using SocketOpener = std::function<std::unique_ptr<OpenFile>(int domain, int type, int protocol)>;
    void set_socket_opener(SocketOpener opener) { socket_opener_ = std::move(opener); }
    std::unique_ptr<OpenFile> socket(int domain, int type, int protocol);

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
    Lm77& lm77() { return lm77_; }
    InterruptLines& interrupts() { return interrupts_; }
    AgentDriver& agent_driver() { return agent_driver_; }
    HostAgent& host_agent() { return host_agent_; }
    Shell& shell() { return shell_; }
    Network& network() { return network_; }
    // The user the card's programs and daemons run as.
    const std::string& login_name() const { return login_name_; }
    SerialPort& serial_port() { return serial_port_; }
    CardRam& ram() { return ram_; }
    Cpld& cpld() { return cpld_; }
    KernelModules& modules() { return modules_; }
    // The Ctrl-Cs of --sigint-at still to come: a script that times its Ctrl-C keeps its loop
    // running until then, even when its input has already ended.
    int scripted_sigints_pending() const { return sigints_pending_; }

private:
    static constexpr uint8_t kReasonWatchdog = 0x80;
    // The constructor's steps, in the order it takes them.
    // Power on (not for a process that joins a card already up): the volatile file systems
    // come up, then the boot loader takes the command line's --env settings.
    void power_on(const std::vector<std::pair<std::string, std::string>>& env);
    // Throws std::runtime_error for a setting the boot loader refuses.
    void set_boot_env(const std::vector<std::pair<std::string, std::string>>& env);
    void wire_network();
    void wire_i2c_bus();
    void wire_interrupt_lines();
    void add_device_nodes();
    void restore_fixture();
    void load_modules();
    void wire_memory();
    // The Ctrl-Cs of --sigint-at, at these card seconds after the start.
    void schedule_sigints(const std::vector<double>& card_seconds);
    void keep_counter_agent();
    // The LM77's die follows --temp-profile: set now, and again each time it reaches another
    // half degree. The environment never pulls the card's clock.
    void follow_temperature_profile();
    // The trace hears of the lines from here on, and of where they stand now.
    void trace_wires();

    VirtualClock clock_;
    Trace trace_;
    Faults faults_;
    CardFs fs_;
    BootEnv env_;
    SysLogSink syslog_;
    I2cFaultLayer bus_faults_;
    I2cBus bus_;
    Fixture fixture_;
    Lm77 lm77_;
    InterruptLines interrupts_;
    AgentDriver agent_driver_;
    HostAgent host_agent_;
    Shell shell_;
    Network network_;
    SerialLoopback serial_loopback_;
    SerialPort serial_port_;
    CardRam ram_;
    EccStatus ecc_;
    KernelModules modules_;
    Cpld cpld_;
    Watchdog watchdog_;
    ResetLogic reset_logic_;
    std::filesystem::path counter_agent_file_;
    std::map<std::string, NodeOpener> nodes_;
    std::map<std::string, KernelText> kernel_files_;
    SocketOpener socket_opener_;
    std::string login_name_ = "root";
    int sigints_pending_ = 0;
    std::vector<TemperaturePoint> temperature_profile_;
};

} // namespace kmb::sim

#include "sim/card/card.h"

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>

#include "sim/core/card_reset.h"
#include "sim/core/host_complaint.h"
#include "sim/core/temperature_profile.h"
#include "sim/core/text_file.h"
#include "sim/core/wiring.h"
#include "sim/kernel/i2c_dev_node.h"
#include "sim/storage/state_bytes.h"
#include "sim/storage/syslog_target.h"
#include "sim/userland/iptables.h"

namespace kmb::sim {

namespace {

Faults faults_of(const SimConfig& config, const VirtualClock& clock, Trace& trace)
{
    Faults faults;
    faults.attach(&clock, &trace);
    for (Fault f : config.faults) {
        faults.enable(f);
    }
    for (const TimedFault& timed : config.timed_faults) {
        faults.enable(timed.fault, timed.window);
    }
    return faults;
}

std::optional<uint32_t> eth_address_of(const SimConfig& config)
{
    in_addr a{};
    if (inet_pton(AF_INET, config.eth_ip.c_str(), &a) != 1) {
        return std::nullopt;
    }
    return ntohl(a.s_addr);
}

std::filesystem::path syslog_path_of(const SimConfig& config)
{
    check_syslog_target(config.state_dir, config.syslog_path); // throws naming what is wrong
    if (!config.syslog_path.empty()) {
        return config.syslog_path;
    }
    return std::filesystem::path(config.state_dir) / "syslog";
}

} // namespace

Card::Card(const SimConfig& config)
    : clock_(config.start_time, config.speed),
      faults_(faults_of(config, clock_, trace_)),
      fs_(std::filesystem::path(config.state_dir) / "fs"),
      env_(std::filesystem::path(config.state_dir) / "fw_env"),
      syslog_(syslog_path_of(config), clock_, !config.syslog_path.empty()),
      bus_faults_(faults_, bus_fault_rules()),
      bus_(clock_, trace_, &bus_faults_),
      fixture_(bus_, faults_),
      lm77_(config.temperature_half_degrees),
      interrupts_(faults_),
      agent_driver_(interrupts_, faults_),
      host_agent_(config.valdor_agent ? HostAgent::Platform::Valdor : HostAgent::Platform::Tamber, faults_, clock_),
      shell_(fs_, env_, trace_),
      network_(clock_, faults_, trace_, eth_address_of(config), kFallbackMac),
      serial_loopback_(faults_),
      serial_port_(clock_, serial_loopback_, trace_),
      ram_(config.ram_mib, faults_),
      ecc_(faults_),
      cpld_(std::filesystem::path(config.state_dir) / "cpld", faults_, config.cpld_reason),
      watchdog_(clock_, faults_, [this] { reset(kReasonWatchdog); }),
      reset_logic_(clock_, faults_, [this](uint8_t reason) { reset(reason); }),
      counter_agent_file_(std::filesystem::path(config.state_dir) / "counter_agent"),
      temperature_profile_(config.temperature_profile)
{
    trace_.set_clock(&clock_);
    // A daemon that starts on a card already up finds it as it is.
    if (!config.join_running) {
        power_on(config.env);
    }
    wire_network();
    wire_i2c_bus();
    add_device_nodes();
    restore_fixture();
    load_modules();
    wire_memory();
    schedule_sigints(config.sigint_at);
    trace_wires();
    follow_temperature_profile();
}

void Card::follow_temperature_profile()
{
    if (temperature_profile_.empty()) {
        return;
    }
    const int64_t now = clock_.now_us();
    const int half_degrees = profile_half_degrees(temperature_profile_, now);
    lm77_.set_temperature_half_degrees(half_degrees);
    if (trace_.enabled()) {
        char line[48];
        std::snprintf(line, sizeof line, "temperature %d.%d", half_degrees / 2, (half_degrees % 2 != 0) ? 5 : 0);
        if (half_degrees < 0 && half_degrees > -2) {
            std::snprintf(line, sizeof line, "temperature -0.5");
        }
        trace_.note(line);
    }
    const int64_t next = profile_next_change_us(temperature_profile_, now);
    if (next > now) {
        clock_.after(next - now, [this] { follow_temperature_profile(); }, true);
    }
}

void Card::trace_wires()
{
    fixture_.set_trace(&trace_);
    interrupts_.set_trace(&trace_);
    agent_driver_.set_trace(&trace_);
    trace_.wire(Wire::WatchdogFed, 1);
    trace_.wire(Wire::CardResetN, 1);
}

void Card::power_on(const std::vector<std::pair<std::string, std::string>>& env)
{
    // The volatile file systems come up empty, and the fixture announces itself with its
    // marker unless the card is not in one.
    fs_.boot(!faults_.act(Fault::NoFixture));
    fs_.set_full("/mnt/logs", [this] { return faults_.act(Fault::LogsFull); });
    set_boot_env(env);
}

void Card::set_boot_env(const std::vector<std::pair<std::string, std::string>>& env)
{
    for (const auto& [name, value] : env) {
        if (const char* why = env_.refusal(name, value)) {
            throw std::runtime_error("--env " + name + "=" + value.substr(0, 40) + (value.size() > 40 ? "..." : "") +
                                     ": the variable " + why);
        }
        env_.set(name, value);
    }
    if (!env.empty() && !env_.save()) {
        complain_once("env", "cannot keep the boot loader's environment in '" + env_.file().string() +
                                 "': " + std::strerror(errno) + "; the --env settings last for this run only");
    }
}

void Card::wire_network()
{
    // The driver takes its MAC address from the boot loader.
    network_.eth0().set_mac(parse_mac(env_.get("ethaddr").value_or("")).value_or(kFallbackMac));
    set_socket_opener([this](int domain, int type, int protocol) { return network_.socket(domain, type, protocol); });
    // The card's iptables command edits the kernel's nat table; a card built without the
    // packet filter has no command to run.
    shell_.add_program("/usr/sbin/iptables", [this](const ProgramArgs& args, ShellStreams& io) -> std::optional<int> {
        if (faults_.act(Fault::IptablesAbsent)) {
            return std::nullopt;
        }
        return run_iptables(args, io, network_.nat());
    });
}

void Card::wire_i2c_bus()
{
    bus_.attach(wiring::kLm77Address, &lm77_);
    wire_interrupt_lines();
    bus_.attach(wiring::kHostAgentAddress, &host_agent_);
    agent_driver_.set_agent_request([this] { return host_agent_.interrupt(); });
}

void Card::add_device_nodes()
{
    add_node("/dev/i2c/0", [this](const std::string& path, int) -> std::unique_ptr<OpenFile> {
        if (faults_.act(Fault::I2cBusAbsent)) {
            errno = ENOENT;
            return nullptr;
        }
        return std::make_unique<I2cDevNode>(path, bus_, trace_);
    });
    add_node("/dev/agentdrv", [this](const std::string& path, int) -> std::unique_ptr<OpenFile> {
        if (faults_.act(Fault::AgentdrvAbsent)) {
            errno = ENOENT;
            return nullptr;
        }
        return agent_driver_.open(path);
    });
    add_node("/dev/tts/0", [this](const std::string& path, int flags) -> std::unique_ptr<OpenFile> {
        if (faults_.act(Fault::SerialAbsent)) {
            errno = ENOENT;
            return nullptr;
        }
        return serial_port_.open(path, flags);
    });
    add_node("/dev/mem", [this](const std::string& path, int flags) -> std::unique_ptr<OpenFile> {
        if (faults_.act(Fault::DevMemAbsent)) {
            errno = ENOENT;
            return nullptr;
        }
        return cpld_.open_mem(path, flags);
    });
}

void Card::restore_fixture()
{
    // The counter agent keeps its registers across a reset; its reset lines start the reset logic.
    if (const auto kept = load_state_bytes(counter_agent_file_, 3, "the fixture's counter agent")) {
        fixture_.restore_counter_agent({(*kept)[0], (*kept)[1], (*kept)[2]});
    }
    reset_logic_.power_on(fixture_.reset_lines());
    fixture_.set_reset_lines_changed([this](uint8_t lines) { reset_logic_.lines_changed(lines); });
}

void Card::load_modules()
{
    modules_.load(kWatchdogModule, [this] {
        trace_.wire(Wire::WatchdogFed, 0);
        watchdog_.module_unloaded();
    });
    shell_.set_modules(&modules_);
}

void Card::wire_memory()
{
    add_kernel_file(kEccFile, [this] { return ecc_.record(); });
    ram_.set_block_events([this](void* block, size_t size) { ecc_.block_handed_out(block, size); },
                          [this](void* block, size_t size) { ecc_.block_returned(block, size); });
    // The memory's work takes the card's time, as the card's SDRAM would.
    ram_.set_time_spent([this](int64_t us) { clock_.advance(us); });
}

void Card::schedule_sigints(const std::vector<double>& card_seconds)
{
    for (double seconds : card_seconds) {
        ++sigints_pending_;
        clock_.after(static_cast<int64_t>(seconds * 1e6), [this, seconds] {
            --sigints_pending_;
            // Before the program has its handler a Ctrl-C ends it, as on the card; the
            // operator of a script is told why the run stopped there.
            struct sigaction current{};
            if (::sigaction(SIGINT, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
                char when[32];
                std::snprintf(when, sizeof when, "%g", seconds);
                complain_once("early-sigint", std::string("the Ctrl-C of --sigint-at ") + when +
                                                  " came before the diagnostic had its handler: the run ends there, "
                                                  "as it would on the card");
            }
            std::raise(SIGINT);
        }, true);
    }
}

Card::~Card()
{
    if (!clock_.halted()) {
        keep_counter_agent(); // a reset has kept it already
    }
}

void Card::keep_counter_agent()
{
    const Pca9557::Registers r = fixture_.counter_agent().registers();
    if (!save_state_bytes(counter_agent_file_, {r.output, r.polarity, r.config})) {
        complain_once("counter_agent", "cannot keep the fixture's counter agent in '" + counter_agent_file_.string() +
                                           "': " + std::strerror(errno));
    }
}

void Card::reset(uint8_t reason)
{
    if (clock_.halted()) {
        return; // down already: a second source has nothing left to reset
    }
    if (!cpld_.reset_for(reason)) {
        complain_once("cpld", "cannot keep the CPLD's reset reason in the state folder: " +
                                  std::string(std::strerror(errno)));
    }
    keep_counter_agent();
    if (trace_.enabled()) {
        char line[32];
        std::snprintf(line, sizeof line, "card reset 0x%02x", reason);
        trace_.note(line);
    }
    trace_.wire(Wire::CardResetN, 0);
    clock_.halt();
}

void Card::throw_if_reset() const
{
    if (clock_.halted()) {
        throw CardReset{cpld_.reason()};
    }
}

void Card::wire_interrupt_lines()
{
    // The expander's pins drive the host agent's lines on the fixture; the LM77's two outputs
    // are the card's own. Each source tells its level as it changes.
    fixture_.set_agent_line_changed([this](int line, bool high) { interrupts_.set_source(line, !high); });
    lm77_.set_outputs_changed([this](bool int_low, bool crit_low) {
        interrupts_.set_source(wiring::kLm77IntLine, int_low);
        interrupts_.set_source(wiring::kLm77CritLine, crit_low);
    });
    for (int line : {wiring::kAgentIrqLine, wiring::kAgentIirqLine}) {
        interrupts_.set_source(line, !fixture_.agent_line_high(line));
    }
    interrupts_.set_source(wiring::kLm77IntLine, lm77_.int_low());
    interrupts_.set_source(wiring::kLm77CritLine, lm77_.crit_low());
    add_kernel_file("/proc/interrupts", [this] { return std::optional<std::string>(interrupts_.proc_interrupts(clock_.now_us())); });
}

std::unique_ptr<OpenFile> Card::open(const std::string& path, int flags, mode_t mode)
{
    trace_.note("open " + path);
    if (const auto node = nodes_.find(path); node != nodes_.end()) {
        return node->second(path, flags);
    }
    if (kernel_files_.count(path) != 0) {
        std::optional<std::string> text = kernel_text(path);
        if (!text) {
            return nullptr;
        }
        if ((flags & O_ACCMODE) != O_RDONLY) {
            errno = EACCES; // the card's kernel files are read only
            return nullptr;
        }
        return std::make_unique<TextFile>(path, std::move(*text));
    }
    return fs_.open(path, flags, mode);
}

void Card::add_node(const std::string& path, NodeOpener opener) { nodes_[path] = std::move(opener); }

void Card::add_kernel_file(const std::string& path, KernelText text) { kernel_files_[path] = std::move(text); }

std::optional<std::string> Card::kernel_text(const std::string& path)
{
    const auto file = kernel_files_.find(path);
    std::optional<std::string> text;
    if (file != kernel_files_.end()) {
        text = file->second();
    }
    if (!text) {
        errno = ENOENT;
    }
    return text;
}

std::unique_ptr<OpenFile> Card::socket(int domain, int type, int protocol)
{
    trace_.note("socket " + std::to_string(domain) + " " + std::to_string(type) + " " + std::to_string(protocol));
    if (!socket_opener_) {
        errno = EAFNOSUPPORT; // a card without its network stack
        return nullptr;
    }
    return socket_opener_(domain, type, protocol);
}

} // namespace kmb::sim

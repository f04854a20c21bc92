#include "sim/chips/host_agent.h"

#include <cstdio>

#include "sim/core/clock.h"

namespace kmb::sim {

namespace {

// The agent firmware's commands and how many parameter bytes each takes.
const std::map<uint8_t, int>& command_set()
{
    static const std::map<uint8_t, int> set = {
        {0x00, 0}, {0x01, 0}, {0x02, 1}, {0x03, 1}, {0x04, 0}, {0x05, 0}, {0x10, 1},
        {0x13, 0}, {0x14, 0}, {0x16, 0}, {0x17, 0}, {0x18, 0}, {0x19, 2}, {0x1A, 2},
        {0x1B, 2}, {0x1C, 0}, {0x2C, 0}, {0x2E, 0}, {0x2F, 0}, {0x30, 0}, {0x31, 1},
    };
    return set;
}

// Command status bytes.
constexpr uint8_t kDone = 0;
constexpr uint8_t kIllegal = 2;
constexpr uint8_t kCommandByteError = 3;
constexpr uint8_t kParameterByteError = 4;

constexpr uint8_t kRdCmdStat = 0x2E;
constexpr uint8_t kRdFifo = 0x30;

// Kind 01 of an entry: the agent's answer to dump_state.
constexpr uint16_t kDumpEntry = 0x1000;

constexpr uint8_t kPowerCycle = 0x04;
// A slow firmware loads an answer this long after its command; a healthy one at once.
constexpr int64_t kSlowAnswerUs = 500'000;
// A slow firmware's power cycle, longer than the 5 or 6 s that the card waits after it.
constexpr int64_t kSlowPowerCycleUs = 6'500'000;

struct Identity {
    uint8_t agent_id;
    uint8_t revision;
    uint8_t fifo_depth;
    uint8_t ring_depth;
    uint8_t supplies_byte; // bit 7 is the redundant-supplies strap, the rest the count
    std::vector<uint16_t> high_signals; // asserted on a healthy host
    uint8_t info_regs[2];
};

const Identity& identity(HostAgent::Platform platform)
{
    static const Identity tamber{0x99, 0x23, 0x10, 0x40, 0x82,
                                 {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E,
                                  0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x19, 0x1A},
                                 {0x41, 0x02}};
    static const Identity valdor{0x86, 0x31, 0x20, 0x80, 0x02,
                                 {0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37,
                                  0x38, 0x3E, 0x3F, 0x40},
                                 {0x00, 0x00}};
    return platform == HostAgent::Platform::Valdor ? valdor : tamber;
}

bool complements(uint8_t a, uint8_t b) { return (a ^ b) == 0xFF; }

} // namespace

HostAgent::HostAgent(Platform platform, Faults& faults, const VirtualClock& clock)
    : platform_(platform), faults_(faults), clock_(clock)
{
    for (uint16_t id : identity(platform).high_signals) {
        signals_[id] = true;
    }
}

int HostAgent::executed(uint8_t code) const
{
    const auto it = executed_.find(code);
    return it != executed_.end() ? it->second : 0;
}

void HostAgent::set_signal(uint16_t id, bool asserted)
{
    id &= 0x0FFF;
    if (signals_[id] == asserted) {
        return;
    }
    signals_[id] = asserted;
    push_event(static_cast<uint16_t>((asserted ? 0x8000 : 0) | id));
}

void HostAgent::push_event(uint16_t rec) { fifo_.push_back(rec); }

bool HostAgent::busy(bool reading)
{
    const int64_t now = clock_.now_us();
    if (now < sequenced_us_ && faults_.act(Fault::AgentSlowPowerCycle)) {
        return true;
    }
    return reading && now < answer_ready_us_ && faults_.act(Fault::AgentReadSlow);
}

bool HostAgent::i2c_write(const uint8_t* data, std::size_t count)
{
    if (busy(false)) {
        return false;
    }
    answer_ready_us_ = clock_.now_us() + kSlowAnswerUs;
    reading_fifo_ = false;
    response_.clear();
    if (count < 2 || count % 2 != 0 || count > 6) {
        status_ = kParameterByteError;
        return true; // the agent takes the bytes; it cannot make a command of them
    }
    if (!complements(data[0], data[1])) {
        status_ = kCommandByteError;
        return true;
    }
    const uint8_t code = data[0];
    const auto known = command_set().find(code);
    if (known == command_set().end() || refused_.count(code) != 0) {
        status_ = kIllegal;
        return true;
    }
    std::vector<uint8_t> params;
    for (std::size_t i = 2; i + 1 < count; i += 2) {
        if (!complements(data[i], data[i + 1])) {
            status_ = kParameterByteError;
            return true;
        }
        params.push_back(data[i]);
    }
    if (static_cast<int>(params.size()) != known->second) {
        status_ = kParameterByteError;
        return true;
    }
    ++executed_[code];
    execute(code, params);
    return true;
}

void HostAgent::respond(std::vector<uint8_t> data) { response_ = std::move(data); }

void HostAgent::execute(uint8_t code, const std::vector<uint8_t>& p)
{
    const Identity& me = identity(platform_);
    const uint8_t last_status = status_;
    status_ = kDone;
    const uint16_t param16 = p.size() == 2 ? static_cast<uint16_t>(p[0] << 8 | p[1]) : (p.empty() ? 0 : p[0]);
    switch (code) {
    case 0x00:
        powered_ = true;
        break;
    case 0x01:
        powered_ = false;
        break;
    case 0x02:
    case 0x03:
        if (param16 < kSupplies) {
            supplies_[param16] = code == 0x02;
        } else {
            status_ = kParameterByteError;
        }
        break;
    case kPowerCycle:
        powered_ = true;
        sequenced_us_ = clock_.now_us() + kSlowPowerCycleUs;
        break;
    case 0x05: {
        std::vector<uint8_t> states;
        for (int i = 0; i < (me.supplies_byte & 0x7F); ++i) {
            states.push_back(i < kSupplies && supplies_[i] ? 1 : 0);
        }
        respond(states);
        break;
    }
    case 0x10:
        if (param16 < 16 || param16 > 18) {
            status_ = kParameterByteError;
        }
        break;
    case 0x13:
        respond({0x00}); // running its primary image
        break;
    case 0x14:
        nmi_source_ |= 0x04; // raised by the KMB card
        break;
    case 0x16:
        respond({0x01, me.agent_id, me.revision, me.fifo_depth, me.ring_depth, me.supplies_byte});
        break;
    case 0x17:
    case 0x18:
        sensors_enabled_ = code == 0x17;
        break;
    case 0x19:
    case 0x1A:
        break;
    case 0x1B: {
        const auto it = signals_.find(param16 & 0x0FFF);
        respond({static_cast<uint8_t>(it != signals_.end() && it->second ? 1 : 0)});
        break;
    }
    case 0x1C:
        for (const auto& [id, high] : signals_) {
            push_event(static_cast<uint16_t>((high ? 0x8000 : 0) | kDumpEntry | id));
        }
        break;
    case 0x2C:
        respond({nmi_source_});
        break;
    case kRdCmdStat:
        status_ = last_status;
        respond({last_status});
        break;
    case 0x2F:
        respond({static_cast<uint8_t>(powered_ ? 0x05 : 0x00)});
        break;
    case kRdFifo:
        status_ = last_status;
        reading_fifo_ = true;
        break;
    case 0x31:
        respond({param16 < 2 ? me.info_regs[param16] : static_cast<uint8_t>(0)});
        break;
    default:
        break;
    }
}

bool HostAgent::i2c_read(uint8_t* data, std::size_t count)
{
    if (busy(true)) {
        return false;
    }
    // Where the agent has nothing to send, the bus's pull-ups read as 0xFF.
    for (std::size_t i = 0; i < count; ++i) {
        data[i] = 0xFF;
    }
    if (reading_fifo_) {
        for (std::size_t i = 0; i + 4 <= count; i += 4) {
            if (fifo_.empty()) {
                break;
            }
            const uint16_t rec = fifo_.front();
            fifo_.pop_front();
            if (fifo_.empty() && faults_.act(Fault::AgentFifoStuck)) {
                stuck_interrupt_ = true; // the request line fails to drop with the last entry
            }
            data[i] = static_cast<uint8_t>(rec >> 8);
            data[i + 1] = static_cast<uint8_t>(~data[i]);
            data[i + 2] = static_cast<uint8_t>(rec);
            data[i + 3] = static_cast<uint8_t>(~data[i + 2]);
        }
        return true;
    }
    for (std::size_t i = 0; i < response_.size() && 2 * i + 1 < count; ++i) {
        data[2 * i] = response_[i];
        data[2 * i + 1] = static_cast<uint8_t>(~response_[i]);
    }
    if (!response_.empty() && count >= 2 && faults_.act(Fault::AgentBadComplement)) {
        data[1] ^= 0x01; // a flipped bit on the wire
    }
    return true;
}

} // namespace kmb::sim

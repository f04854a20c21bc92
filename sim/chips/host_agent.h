// The host board's agent microcontroller at 0x57 as the card meets it on I2C: every byte of a
// command and of a response travels with its one's complement; a command sets the command
// status that rd_cmd_stat reads back; signal changes queue 4-byte entries in its event FIFO,
// and it holds its interrupt request while the FIFO holds any. Its firmware is busy at times
// (loading an answer, sequencing the host's supplies after power_cycle); a busy agent does not
// acknowledge its address, and the card tries again.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <vector>

#include "sim/chips/i2c_bus.h"
#include "sim/core/faults.h"

namespace kmb::sim {

class VirtualClock;

class HostAgent final : public I2cDevice {
public:
    enum class Platform { Tamber, Valdor };

    HostAgent(Platform platform, Faults& faults, const VirtualClock& clock);

    bool i2c_write(const uint8_t* data, std::size_t count) override;
    bool i2c_read(uint8_t* data, std::size_t count) override;

    // The agent's interrupt request, as the card's agent driver sees it.
    bool interrupt() const { return !fifo_.empty() || stuck_interrupt_; }

    // The fixture's controls. A signal that changes queues its entry (bit 15: asserted).
    void set_signal(uint16_t id, bool asserted);
    // Queues a raw 16-bit entry as the agent's firmware would.
    void push_event(uint16_t rec);
    // The agent's firmware lacks `code`: it answers "illegal command" for it.
    void refuse(uint8_t code) { refused_.insert(code); }

    // What the agent did, for tests.
    const Platform& platform() const { return platform_; }
    int executed(uint8_t code) const;
    bool host_powered() const { return powered_; }
    bool supply_on(int index) const { return index >= 0 && index < kSupplies && supplies_[index]; }
    bool sensors_enabled() const { return sensors_enabled_; }
    std::size_t fifo_entries() const { return fifo_.size(); }
    uint8_t cmd_status() const { return status_; }

private:
    static constexpr int kSupplies = 2;
    void execute(uint8_t code, const std::vector<uint8_t>& params);
    void respond(std::vector<uint8_t> data);
    // Whether the firmware is too busy to acknowledge a transfer now.
    bool busy(bool reading);

    Platform platform_;
    Faults& faults_;
    const VirtualClock& clock_;
    int64_t answer_ready_us_ = 0; // when the answer to the last command can be read
    int64_t sequenced_us_ = 0;    // when the supplies are through the last power cycle
    std::map<uint16_t, bool> signals_;
    std::deque<uint16_t> fifo_;
    std::vector<uint8_t> response_; // data bytes, without complements
    bool reading_fifo_ = false;
    bool stuck_interrupt_ = false;
    uint8_t status_ = 0;
    bool powered_ = true;
    bool supplies_[kSupplies] = {true, true};
    bool sensors_enabled_ = false;
    uint8_t nmi_source_ = 0;
    std::set<uint8_t> refused_;
    std::map<uint8_t, int> executed_;
};

} // namespace kmb::sim

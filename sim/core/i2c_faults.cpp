#include "sim/core/i2c_faults.h"

#include "sim/core/wiring.h"

namespace kmb::sim {

const std::vector<BusFault>& bus_fault_rules()
{
    static const std::vector<BusFault> rules = {
        {Fault::IoxAbsent, wiring::kIoExpanderAddress, BusFault::Absent},
        {Fault::Lm77Absent, wiring::kLm77Address, BusFault::Absent},
        {Fault::IoxNack, wiring::kIoExpanderAddress, BusFault::RefusesAll},
        {Fault::CounterAgentAbsent, wiring::kCounterAgentAddress, BusFault::Absent},
        {Fault::CounterAgentNack, wiring::kCounterAgentAddress, BusFault::RefusesReads},
        {Fault::AgentAbsent, wiring::kHostAgentAddress, BusFault::Absent},
        {Fault::AgentWriteFails, wiring::kHostAgentAddress, BusFault::RefusesWrites},
    };
    return rules;
}

I2cFaultLayer::I2cFaultLayer(Faults& faults, std::vector<BusFault> rules) : faults_(faults)
{
    for (const BusFault& rule : rules) {
        if (faults_.enabled(rule.fault)) {
            rules_.push_back(rule);
        }
    }
    spent_.assign(rules_.size(), false);
}

bool I2cFaultLayer::acknowledges(uint16_t address)
{
    for (const BusFault& rule : rules_) {
        if (rule.address == address && rule.kind == BusFault::Absent && faults_.act(rule.fault)) {
            return false;
        }
    }
    return true;
}

bool I2cFaultLayer::passes(uint16_t address, bool reading)
{
    for (std::size_t i = 0; i < rules_.size(); ++i) {
        const BusFault& rule = rules_[i];
        if (rule.address != address || spent_[i]) {
            continue;
        }
        const bool refused = rule.kind == BusFault::Absent || rule.kind == BusFault::RefusesAll ||
                             (rule.kind == BusFault::RefusesReads && reading) ||
                             (rule.kind == BusFault::RefusesWrites && !reading);
        if (refused && faults_.act(rule.fault)) {
            spent_[i] = rule.once;
            return false;
        }
    }
    return true;
}

} // namespace kmb::sim

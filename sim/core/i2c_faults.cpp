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
        // The host agent's faults that the agent daemon's tries ride out, or run out of.
        {Fault::AgentReadRefused, wiring::kHostAgentAddress, BusFault::RefusesReads},
        {Fault::AgentBusRecovers, wiring::kHostAgentAddress, BusFault::RefusesAll, 3},
        {Fault::Lm77ReadFails, wiring::kLm77Address, BusFault::RefusesReads},
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
    refused_.assign(rules_.size(), 0);
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
        if (rule.address != address || (rule.refusals > 0 && refused_[i] >= rule.refusals)) {
            continue;
        }
        const bool refused = rule.kind == BusFault::Absent || rule.kind == BusFault::RefusesAll ||
                             (rule.kind == BusFault::RefusesReads && reading) ||
                             (rule.kind == BusFault::RefusesWrites && !reading);
        // Outside its window of card time the fault does not act and the transfer passes.
        if (refused && faults_.act(rule.fault)) {
            refused_[i] += rule.refusals > 0 ? 1 : 0; // a rule for always counts nothing
            return false;
        }
    }
    return true;
}

} // namespace kmb::sim

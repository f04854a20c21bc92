#include "sim/kernel/net/nat_table.h"

#include <cerrno>

#include "sim/kernel/net/eth0.h"

namespace kmb::sim {

namespace {

const char* const kNatChains[] = {"PREROUTING", "INPUT", "OUTPUT", "POSTROUTING"};

// The targets are bound to the hooks where the address they rewrite is still open.
bool target_fits_hook(const NatRule& rule)
{
    if (rule.snat) {
        return rule.chain == "POSTROUTING" || rule.chain == "INPUT";
    }
    return rule.chain == "PREROUTING" || rule.chain == "OUTPUT";
}

} // namespace

bool NatTable::has_chain(const std::string& name)
{
    for (const char* c : kNatChains) {
        if (name == c) {
            return true;
        }
    }
    return false;
}

int NatTable::append(const NatRule& rule)
{
    if (!target_fits_hook(rule)) {
        return EINVAL;
    }
    rules_.push_back(rule);
    return 0;
}

int NatTable::remove(const NatRule& rule)
{
    if (!target_fits_hook(rule)) {
        return EINVAL;
    }
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (*it == rule) {
            rules_.erase(it);
            return 0;
        }
    }
    return ENOENT;
}

std::optional<uint32_t> NatTable::translate(const std::string& chain, bool source, uint32_t address) const
{
    for (const NatRule& r : rules_) {
        if (r.chain == chain && r.match_source == source && r.match == address) {
            return r.to;
        }
    }
    return std::nullopt;
}

std::string NatTable::listing() const
{
    std::string text;
    for (const char* c : kNatChains) {
        text += std::string("-P ") + c + " ACCEPT\n";
    }
    for (const NatRule& r : rules_) {
        text += "-A " + r.chain + (r.match_source ? " -s " : " -d ") + dotted(r.match) + "/32 -j " +
                (r.snat ? "SNAT --to-source " : "DNAT --to-destination ") + dotted(r.to) + "\n";
    }
    return text;
}

} // namespace kmb::sim

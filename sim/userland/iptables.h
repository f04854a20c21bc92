// The nat table of the card's packet filter, and the iptables command that edits it. The
// command takes the rule forms the diagnostic runs (append or delete one DNAT or SNAT rule
// that matches one address) and lists the table with -S; anything else it refuses as iptables
// does, with its message and status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/userland/shell_programs.h"

namespace kmb::sim {

struct NatRule {
    std::string chain;   // PREROUTING, OUTPUT or POSTROUTING
    bool match_source;   // -s (else -d)
    uint32_t match;      // host byte order
    bool snat;           // -j SNAT --to-source (else -j DNAT --to-destination)
    uint32_t to;

    bool operator==(const NatRule&) const = default;
};

class NatTable {
public:
    const std::vector<NatRule>& rules() const { return rules_; }
    void append(const NatRule& rule) { rules_.push_back(rule); }
    // Removes the first rule equal to `rule`; false when there is none.
    bool remove(const NatRule& rule);

    // Where a packet goes after the chain's first matching rule (nullopt: no rule matched).
    std::optional<uint32_t> output_destination(uint32_t dst) const { return translate("OUTPUT", false, dst); }
    std::optional<uint32_t> prerouting_destination(uint32_t dst) const
    {
        return translate("PREROUTING", false, dst);
    }
    std::optional<uint32_t> postrouting_source(uint32_t src) const { return translate("POSTROUTING", true, src); }

    // The rules as `iptables -t nat -S` prints them.
    std::string listing() const;

private:
    std::optional<uint32_t> translate(const std::string& chain, bool source, uint32_t address) const;
    std::vector<NatRule> rules_;
};

// Runs `iptables` with `args` (its name first) on `table`; returns its exit status.
int run_iptables(const ProgramArgs& args, ShellStreams& io, NatTable& table);

} // namespace kmb::sim

// The nat table of the card's packet filter: its built-in chains, the DNAT and SNAT rules that
// match one address, and where the kernel sends a packet after them. The kernel refuses a rule
// as Linux does: a target on a hook where the address it rewrites is already settled is EINVAL,
// a rule to delete that is not there ENOENT.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
    // Whether the table has a built-in chain of that name.
    static bool has_chain(const std::string& name);

    const std::vector<NatRule>& rules() const { return rules_; }
    // 0, or the errno the kernel refuses the rule with.
    int append(const NatRule& rule);
    // Removes the first rule equal to `rule`; 0, or the errno the kernel refuses with.
    int remove(const NatRule& rule);

    // Where a packet goes after the chain's first matching rule (nullopt: no rule matched).
    std::optional<uint32_t> output_destination(uint32_t dst) const { return translate("OUTPUT", false, dst); }
    std::optional<uint32_t> prerouting_destination(uint32_t dst) const
    {
        return translate("PREROUTING", false, dst);
    }
    std::optional<uint32_t> postrouting_source(uint32_t src) const { return translate("POSTROUTING", true, src); }

    // The chains' policies and the rules, in the form `iptables -t nat -S` prints.
    std::string listing() const;

private:
    std::optional<uint32_t> translate(const std::string& chain, bool source, uint32_t address) const;
    std::vector<NatRule> rules_;
};

} // namespace kmb::sim

#include "sim/userland/iptables.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include "sim/kernel/net/eth0.h"

namespace kmb::sim {

namespace {

constexpr const char* kVersion = "iptables v1.8.9 (legacy): ";
constexpr int kStatusOther = 1;
constexpr int kStatusParameter = 2;
// A command line of the card is short; a longer one is not one the diagnostic made.
constexpr std::size_t kMaxWords = 32;

const char* const kNatChains[] = {"PREROUTING", "INPUT", "OUTPUT", "POSTROUTING"};

bool nat_chain(const std::string& name)
{
    for (const char* c : kNatChains) {
        if (name == c) {
            return true;
        }
    }
    return false;
}

int parameter_problem(ShellStreams& io, const std::string& text)
{
    io.err.write(kVersion + text + "\nTry `iptables -h' or 'iptables --help' for more information.\n");
    return kStatusParameter;
}

// An address as iptables takes one for -d, -s and the NAT targets: dotted decimal, nothing else
// (the card has no name service to ask).
std::optional<uint32_t> parse_address(const std::string& text)
{
    in_addr a{};
    if (text.empty() || text.size() > 15 || inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return std::nullopt;
    }
    return ntohl(a.s_addr);
}

struct Parsed {
    std::string table = "filter";
    char command = 0; // 'A', 'D' or 'S'
    std::string chain;
    std::optional<uint32_t> source;
    std::optional<uint32_t> destination;
    std::string target;
    std::optional<uint32_t> to_destination;
    std::optional<uint32_t> to_source;
};

} // namespace

bool NatTable::remove(const NatRule& rule)
{
    for (auto it = rules_.begin(); it != rules_.end(); ++it) {
        if (*it == rule) {
            rules_.erase(it);
            return true;
        }
    }
    return false;
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

int run_iptables(const ProgramArgs& args, ShellStreams& io, NatTable& table)
{
    if (args.size() > kMaxWords) {
        return parameter_problem(io, "too many arguments");
    }
    Parsed p;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool has_value = i + 1 < args.size();
        auto value_for = [&](const std::string& option) -> const std::string* {
            if (!has_value) {
                parameter_problem(io, "option \"" + option + "\" requires an argument");
                return nullptr;
            }
            return &args[++i];
        };
        if (a == "-t" || a == "--table") {
            const std::string* v = value_for(a);
            if (v == nullptr) {
                return kStatusParameter;
            }
            p.table = *v;
        } else if (a == "-A" || a == "--append" || a == "-D" || a == "--delete") {
            const char command = (a == "-A" || a == "--append") ? 'A' : 'D';
            if (p.command != 0) {
                return parameter_problem(io, std::string("Cannot use -") + command + " with -" + p.command);
            }
            const std::string* v = value_for(a);
            if (v == nullptr) {
                return kStatusParameter;
            }
            p.command = command;
            p.chain = *v;
        } else if (a == "-S" || a == "--list-rules") {
            if (p.command != 0) {
                return parameter_problem(io, std::string("Cannot use -S with -") + p.command);
            }
            p.command = 'S';
        } else if (a == "-d" || a == "--destination" || a == "-s" || a == "--source") {
            const std::string* v = value_for(a);
            if (v == nullptr) {
                return kStatusParameter;
            }
            std::string text = *v;
            if (text.size() > 3 && text.compare(text.size() - 3, 3, "/32") == 0) {
                text.resize(text.size() - 3);
            }
            const std::optional<uint32_t> addr = parse_address(text);
            if (!addr) {
                return parameter_problem(io, "host/network `" + *v + "' not found");
            }
            (a[1] == 'd' || a == "--destination" ? p.destination : p.source) = addr;
        } else if (a == "-j" || a == "--jump") {
            const std::string* v = value_for(a);
            if (v == nullptr) {
                return kStatusParameter;
            }
            p.target = *v;
        } else if (a == "--to-destination" || a == "--to-source") {
            const bool dnat_option = a == "--to-destination";
            if ((dnat_option && p.target != "DNAT") || (!dnat_option && p.target != "SNAT")) {
                return parameter_problem(io, "unknown option \"" + a + "\"");
            }
            const std::string* v = value_for(a);
            if (v == nullptr) {
                return kStatusParameter;
            }
            const std::optional<uint32_t> addr = parse_address(*v);
            if (!addr) {
                return parameter_problem(io, "Bad IP address \"" + *v + "\"");
            }
            (dnat_option ? p.to_destination : p.to_source) = addr;
        } else {
            return parameter_problem(io, "unknown option \"" + a + "\"");
        }
    }
    if (p.command == 0) {
        return parameter_problem(io, "no command specified");
    }
    if (p.table != "nat") {
        // The card's kernel has the nat table only among those the diagnostic could name.
        if (p.table == "filter" || p.table == "mangle" || p.table == "raw") {
            io.err.write("iptables: No chain/target/match by that name.\n");
            return kStatusOther;
        }
        io.err.write("iptables v1.8.9 (legacy): can't initialize iptables table `" + p.table +
                     "': Table does not exist (do you need to insmod?)\n"
                     "Perhaps iptables or your kernel needs to be upgraded.\n");
        return 3;
    }
    if (p.command == 'S') {
        io.out.write(table.listing());
        return 0;
    }
    if (!nat_chain(p.chain)) {
        io.err.write("iptables: No chain/target/match by that name.\n");
        return kStatusOther;
    }
    if (p.target != "DNAT" && p.target != "SNAT") {
        // A rule without these targets is not one this card's diagnostic makes.
        return parameter_problem(io, p.target.empty() ? "a rule needs a target (-j DNAT or -j SNAT)"
                                                      : "Couldn't load target `" + p.target + "'");
    }
    const bool snat = p.target == "SNAT";
    const std::optional<uint32_t>& to = snat ? p.to_source : p.to_destination;
    if (!to) {
        return parameter_problem(io, std::string("You must specify ") + (snat ? "--to-source" : "--to-destination"));
    }
    if (p.source.has_value() == p.destination.has_value()) {
        return parameter_problem(io, "a rule matches exactly one address here (-s or -d)");
    }
    // The targets are bound to the hooks where the address they rewrite is still open.
    const bool dnat_chain = p.chain == "PREROUTING" || p.chain == "OUTPUT";
    const bool snat_chain = p.chain == "POSTROUTING" || p.chain == "INPUT";
    if ((snat && !snat_chain) || (!snat && !dnat_chain)) {
        io.err.write("iptables: Invalid argument. Run `dmesg' for more information.\n");
        return kStatusOther;
    }
    const NatRule rule{p.chain, p.source.has_value(), p.source ? *p.source : *p.destination, snat, *to};
    if (p.command == 'A') {
        table.append(rule);
        return 0;
    }
    if (!table.remove(rule)) {
        io.err.write("iptables: Bad rule (does a matching rule exist in that chain?).\n");
        return kStatusOther;
    }
    return 0;
}

} // namespace kmb::sim

#include "sim/userland/iptables.h"

#include <arpa/inet.h>
#include <cerrno>
#include <netinet/in.h>

namespace kmb::sim {

namespace {

// Every step below prints its own message and returns 0 to go on, or the exit status.
constexpr const char* kVersion = "iptables v1.8.9 (legacy): ";
constexpr int kStatusOther = 1;
constexpr int kStatusParameter = 2;
constexpr int kStatusNoTable = 3;
// A command line of the card is short; a longer one is not one the diagnostic made.
constexpr std::size_t kMaxWords = 32;

int parameter_problem(ShellStreams& io, const std::string& text)
{
    io.err.write(kVersion + text + "\nTry `iptables -h' or 'iptables --help' for more information.\n");
    return kStatusParameter;
}

int other_problem(ShellStreams& io, const char* text)
{
    io.err.write(text);
    return kStatusOther;
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

// The words after the command's name, one option at a time.
struct Words {
    const ProgramArgs& args;
    ShellStreams& io;
    std::size_t at = 1;

    const std::string& option() const { return args[at]; }
    // Takes the option's value into `value`; 0, or the status after iptables' complaint.
    int value(std::string& value)
    {
        if (at + 1 >= args.size()) {
            return parameter_problem(io, "option \"" + option() + "\" requires an argument");
        }
        value = args[++at];
        return 0;
    }
};

int take_table(Words& w, Parsed& p) { return w.value(p.table); }

int take_edit(Words& w, Parsed& p)
{
    const std::string& a = w.option();
    const char command = (a == "-A" || a == "--append") ? 'A' : 'D';
    if (p.command != 0) {
        return parameter_problem(w.io, std::string("Cannot use -") + command + " with -" + p.command);
    }
    if (const int status = w.value(p.chain); status != 0) {
        return status;
    }
    p.command = command;
    return 0;
}

int take_list(Words& w, Parsed& p)
{
    if (p.command != 0) {
        return parameter_problem(w.io, std::string("Cannot use -S with -") + p.command);
    }
    p.command = 'S';
    return 0;
}

int take_match(Words& w, Parsed& p)
{
    const std::string a = w.option();
    std::string given;
    if (const int status = w.value(given); status != 0) {
        return status;
    }
    std::string text = given;
    if (text.size() > 3 && text.compare(text.size() - 3, 3, "/32") == 0) {
        text.resize(text.size() - 3);
    }
    const std::optional<uint32_t> addr = parse_address(text);
    if (!addr) {
        return parameter_problem(w.io, "host/network `" + given + "' not found");
    }
    (a == "-d" || a == "--destination" ? p.destination : p.source) = addr;
    return 0;
}

int take_jump(Words& w, Parsed& p) { return w.value(p.target); }

// --to-destination and --to-source: options of the DNAT and SNAT targets, known only after them.
int take_nat_to(Words& w, Parsed& p)
{
    const std::string a = w.option();
    const bool dnat_option = a == "--to-destination";
    if ((dnat_option && p.target != "DNAT") || (!dnat_option && p.target != "SNAT")) {
        return parameter_problem(w.io, "unknown option \"" + a + "\"");
    }
    std::string given;
    if (const int status = w.value(given); status != 0) {
        return status;
    }
    const std::optional<uint32_t> addr = parse_address(given);
    if (!addr) {
        return parameter_problem(w.io, "Bad IP address \"" + given + "\"");
    }
    (dnat_option ? p.to_destination : p.to_source) = addr;
    return 0;
}

struct OptionTaker {
    const char* short_name;
    const char* long_name;
    int (*take)(Words& w, Parsed& p);
};

constexpr OptionTaker kOptions[] = {
    {"-t", "--table", take_table},
    {"-A", "--append", take_edit},
    {"-D", "--delete", take_edit},
    {"-S", "--list-rules", take_list},
    {"-d", "--destination", take_match},
    {"-s", "--source", take_match},
    {"-j", "--jump", take_jump},
    {nullptr, "--to-destination", take_nat_to},
    {nullptr, "--to-source", take_nat_to},
};

int parse_words(const ProgramArgs& args, ShellStreams& io, Parsed& p)
{
    for (Words w{args, io}; w.at < args.size(); ++w.at) {
        const std::string& a = w.option();
        const OptionTaker* taker = nullptr;
        for (const OptionTaker& o : kOptions) {
            if ((o.short_name != nullptr && a == o.short_name) || a == o.long_name) {
                taker = &o;
            }
        }
        if (taker == nullptr) {
            return parameter_problem(io, "unknown option \"" + a + "\"");
        }
        if (const int status = taker->take(w, p); status != 0) {
            return status;
        }
    }
    if (p.command == 0) {
        return parameter_problem(io, "no command specified");
    }
    return 0;
}

int check_table(const Parsed& p, ShellStreams& io)
{
    if (p.table == "nat") {
        return 0;
    }
    // The card's kernel has the nat table only among those the diagnostic could name.
    if (p.table == "filter" || p.table == "mangle" || p.table == "raw") {
        return other_problem(io, "iptables: No chain/target/match by that name.\n");
    }
    io.err.write(kVersion + std::string("can't initialize iptables table `") + p.table +
                 "': Table does not exist (do you need to insmod?)\n"
                 "Perhaps iptables or your kernel needs to be upgraded.\n");
    return kStatusNoTable;
}

// The rule the words of -A or -D describe, into `rule`.
int make_rule(const Parsed& p, ShellStreams& io, NatRule& rule)
{
    if (!NatTable::has_chain(p.chain)) {
        return other_problem(io, "iptables: No chain/target/match by that name.\n");
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
    rule = NatRule{p.chain, p.source.has_value(), p.source ? *p.source : *p.destination, snat, *to};
    return 0;
}

// Hands the rule to the kernel and tells its refusal as iptables does.
int edit_table(char command, const NatRule& rule, NatTable& table, ShellStreams& io)
{
    const int error = command == 'A' ? table.append(rule) : table.remove(rule);
    if (error == EINVAL) {
        return other_problem(io, "iptables: Invalid argument. Run `dmesg' for more information.\n");
    }
    if (error != 0) {
        return other_problem(io, "iptables: Bad rule (does a matching rule exist in that chain?).\n");
    }
    return 0;
}

} // namespace

int run_iptables(const ProgramArgs& args, ShellStreams& io, NatTable& table)
{
    if (args.size() > kMaxWords) {
        return parameter_problem(io, "too many arguments");
    }
    Parsed p;
    if (const int status = parse_words(args, io, p); status != 0) {
        return status;
    }
    if (const int status = check_table(p, io); status != 0) {
        return status;
    }
    if (p.command == 'S') {
        io.out.write(table.listing());
        return 0;
    }
    NatRule rule{};
    if (const int status = make_rule(p, io, rule); status != 0) {
        return status;
    }
    return edit_table(p.command, rule, table, io);
}

} // namespace kmb::sim

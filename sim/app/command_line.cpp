#include "sim/app/command_line.h"

#include <cstdlib>
#include <ctime>
#include <getopt.h>
#include <string>
#include <string_view>
#include <vector>

#include "sim/app/listings.h"
#include "sim/app/nearest_names.h"
#include "sim/app/options.h"

namespace kmb::sim {

namespace {

constexpr const char* kProgram = "kmbdiag-sim";

// getopt_long's value for a long option without a letter: past every letter.
constexpr int kFirstLongValue = 256;

// '+': stop at the first word that is no option, so that a stray argument is an error and
// nothing is reordered; ':': a missing value comes back as ':' rather than '?'.
constexpr const char* kShortPrefix = "+:";

struct GetoptTables {
    std::string short_options = kShortPrefix;
    std::vector<option> long_options;
};

GetoptTables getopt_tables()
{
    GetoptTables t;
    const std::span<const OptionInfo> options = sim_options();
    for (std::size_t i = 0; i < options.size(); ++i) {
        const OptionInfo& o = options[i];
        const int has_arg = o.value != nullptr ? required_argument : no_argument;
        t.long_options.push_back({o.name, has_arg, nullptr, kFirstLongValue + static_cast<int>(i)});
        if (o.short_name != '\0') {
            t.short_options += o.short_name;
            t.short_options += o.value != nullptr ? ":" : "";
        }
    }
    t.long_options.push_back({nullptr, 0, nullptr, 0});
    return t;
}

// The option getopt_long's value stands for, or nullptr.
const OptionInfo* option_of(int value)
{
    const std::span<const OptionInfo> options = sim_options();
    if (value >= kFirstLongValue && value - kFirstLongValue < static_cast<int>(options.size())) {
        return &options[static_cast<std::size_t>(value - kFirstLongValue)];
    }
    for (const OptionInfo& o : options) {
        if (value != 0 && o.short_name == value) {
            return &o;
        }
    }
    return nullptr;
}

void hint(FILE* err) { std::fprintf(err, "Try '%s --help' for more information.\n", kProgram); }

int bad_line(FILE* err)
{
    hint(err);
    return kBadArgument;
}

std::vector<std::string> option_names()
{
    std::vector<std::string> names;
    for (const OptionInfo& o : sim_options()) {
        names.emplace_back(o.name);
    }
    return names;
}

// An argument that begins with "--" and names no option, or several.
int unknown_long_option(std::string_view word, FILE* err)
{
    const std::string name(word.substr(2, word.find('=') == std::string_view::npos ? word.npos : word.find('=') - 2));
    const std::vector<std::string> names = option_names();
    std::vector<std::string> begun;
    for (const std::string& n : names) {
        if (!name.empty() && n.starts_with(name)) {
            begun.push_back(n);
        }
    }
    if (begun.size() > 1) {
        std::string list;
        for (const std::string& n : begun) {
            list += " '--" + n + "'";
        }
        std::fprintf(err, "%s: option '--%s' is ambiguous; possibilities:%s\n", kProgram, name.c_str(), list.c_str());
        return bad_line(err);
    }
    const std::vector<std::string> near = nearest_names(name, names);
    std::fprintf(err, "%s: unrecognized option '--%s'", kProgram, name.c_str());
    if (!near.empty()) {
        std::fprintf(err, " (did you mean %s?)", quoted_choice(near, "--").c_str());
    }
    std::fputc('\n', err);
    return bad_line(err);
}

// A letter that is no option: "-s", or one letter of a cluster such as "-hx". A word typed
// with one dash for two ("-speed") is answered with the long options it may have meant.
int unknown_short_option(std::string_view word, int letter, FILE* err)
{
    if (word.size() == 2) {
        std::fprintf(err, "%s: unrecognized option '%s'", kProgram, std::string(word).c_str());
    } else {
        std::fprintf(err, "%s: unrecognized option '-%c' in '%s'", kProgram, letter, std::string(word).c_str());
    }
    const std::vector<std::string> near = nearest_names(word.substr(1), option_names());
    if (!near.empty()) {
        std::fprintf(err, " (did you mean %s?)", quoted_choice(near, "--").c_str());
    }
    std::fputc('\n', err);
    return bad_line(err);
}

// getopt_long's '?' and ':' answers, told in words. `word` is the argument it was reading.
int refuse_option(int answer, std::string_view word, FILE* err)
{
    const OptionInfo* o = option_of(optopt);
    const bool long_form = word.starts_with("--");
    if (answer == ':' && o != nullptr) {
        std::fprintf(err, "%s: option '%s%s' requires a value (%s)\n", kProgram, long_form ? "--" : "-",
                     long_form ? o->name : std::string(1, o->short_name).c_str(), o->value);
        return bad_line(err);
    }
    if (long_form && o != nullptr) {
        std::fprintf(err, "%s: option '--%s' doesn't allow a value\n", kProgram, o->name);
        return bad_line(err);
    }
    if (long_form) {
        return unknown_long_option(word, err);
    }
    return unknown_short_option(word, optopt, err);
}

std::string default_state_dir()
{
    // A relative XDG_STATE_HOME is to be ignored, as the base-directory convention says.
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        return std::string(xdg) + "/kmbdiag-sim/card";
    }
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] != '\0') {
        return std::string(home) + "/.local/state/kmbdiag-sim/card";
    }
    return {};
}

// The arguments up to the first null pointer, for a caller whose argc says more.
int counted_arguments(int argc, const char* const* argv)
{
    int n = 0;
    while (argv != nullptr && n < argc && argv[n] != nullptr) {
        ++n;
    }
    return n;
}

// Reads every option into `config` and `asked`: kGoOn, or kBadArgument after saying why.
int read_options(int argc, const char* const* argv, SimConfig& config, Asked& asked, FILE* err)
{
    const GetoptTables tables = getopt_tables();
    // getopt_long keeps its place in globals: 0 starts it afresh (the daemons and the tests
    // read several command lines in one process). With '+' it never reorders argv, so the
    // cast away from const writes nothing.
    char* const* args = const_cast<char* const*>(argv);
    optind = 0;
    opterr = 0;
    for (;;) {
        const int reading = optind < 1 ? 1 : optind;
        const int answer = getopt_long(argc, args, tables.short_options.c_str(), tables.long_options.data(), nullptr);
        if (answer == -1) {
            break;
        }
        const std::string_view word = reading < argc ? argv[reading] : "";
        const OptionInfo* o = option_of(answer);
        if (answer == '?' || answer == ':' || o == nullptr) {
            return refuse_option(answer, word, err);
        }
        const std::string value = optarg != nullptr ? optarg : "";
        if (o->apply({std::string("--") + o->name, value, config, asked, err}) != kGoOn) {
            return kBadArgument;
        }
    }
    if (optind < argc) {
        std::fprintf(err, "%s: unexpected argument '%s'\n", kProgram, argv[optind]);
        return bad_line(err);
    }
    return kGoOn;
}

} // namespace

int parse_command_line(int argc, const char* const* argv, SimConfig& config, FILE* out, FILE* err)
{
    Asked asked;
    const int n = counted_arguments(argc, argv);
    if (n > 0 && read_options(n, argv, config, asked, err) != kGoOn) {
        return kBadArgument;
    }
    switch (asked.request) {
    case Request::Help:
        print_help(out);
        return 0;
    case Request::Version:
        std::fprintf(out, "%s %s\n", kProgram, kDiagnosticRelease);
        return 0;
    case Request::ListFaults:
        list_faults(out);
        return 0;
    case Request::Run:
        break;
    }
    if (config.state_dir.empty()) {
        config.state_dir = default_state_dir();
        if (config.state_dir.empty()) {
            std::fprintf(err, "%s: no folder for the card's state: neither XDG_STATE_HOME nor HOME is set; give --state DIR\n",
                         kProgram);
            return kBadArgument;
        }
    }
    if (!asked.start_time) {
        config.start_time = std::time(nullptr);
    }
    return kGoOn;
}

} // namespace kmb::sim

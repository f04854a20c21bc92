#include "sim/app/run_options.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

#include "sim/app/option_value.h"
#include "sim/core/temperature_profile.h"

namespace kmb::sim {

namespace {

constexpr const char* kProgram = "kmbdiag-sim";
// A fault's window lies within the card seconds a scripted Ctrl-C may have.
constexpr double kLatestFaultSecond = 1e9;

int set_path(const OptionUse& u, std::string& path, const char* what)
{
    if (u.value.empty()) {
        std::fprintf(u.err, "%s: %s needs a file name for the %s, not an empty one\n", kProgram, u.option.c_str(), what);
        return kBadArgument;
    }
    path = u.value;
    return kGoOn;
}

// The whole file, at most `limit` bytes; nullopt with errno set (EFBIG when it is larger).
std::optional<std::string> read_bounded(const std::string& path, std::size_t limit)
{
    FILE* f = std::fopen(path.c_str(), "re");
    if (f == nullptr) {
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0 && text.size() <= limit) {
        text.append(buffer, n);
    }
    const bool failed = std::ferror(f) != 0;
    const int error = errno;
    std::fclose(f);
    if (failed) {
        errno = error;
        return std::nullopt;
    }
    if (text.size() > limit) {
        errno = EFBIG;
        return std::nullopt;
    }
    return text;
}

std::optional<int64_t> card_us(const std::string& text)
{
    const std::optional<double> seconds = decimal_in_range(text, 0, kLatestFaultSecond);
    if (!seconds) {
        return std::nullopt;
    }
    return std::llround(*seconds * 1e6);
}

} // namespace

int apply_trace(const OptionUse& u) { return set_path(u, u.config.trace_path, "trace"); }
int apply_vcd(const OptionUse& u) { return set_path(u, u.config.vcd_path, "waveform"); }
int apply_report(const OptionUse& u) { return set_path(u, u.config.report_path, "report"); }
int apply_console_log(const OptionUse& u) { return set_path(u, u.config.console_log_path, "console log"); }

int apply_temp_profile(const OptionUse& u)
{
    const std::optional<std::string> text = read_bounded(u.value, kMaxProfileBytes);
    if (!text) {
        std::fprintf(u.err, "%s: cannot read the temperature profile '%s': %s\n", kProgram, u.value.c_str(),
                     errno == EFBIG ? "larger than 1 MiB" : std::strerror(errno));
        return kBadArgument;
    }
    std::string error;
    std::optional<std::vector<TemperaturePoint>> points = parse_temperature_profile(*text, error);
    if (!points) {
        std::fprintf(u.err, "%s: invalid temperature profile '%s': %s\n", kProgram, u.value.c_str(), error.c_str());
        return kBadArgument;
    }
    u.config.temperature_profile = std::move(*points);
    return kGoOn;
}

std::optional<FaultRequest> split_fault_request(const std::string& option, const std::string& value, FILE* err)
{
    const std::size_t at = value.find('@');
    if (at == std::string::npos) {
        return FaultRequest{value, std::nullopt};
    }
    const std::string when = value.substr(at + 1);
    const std::size_t dash = when.find('-');
    const std::optional<int64_t> from = card_us(when.substr(0, dash));
    const std::optional<int64_t> to = dash == std::string::npos ? FaultWindow::kForever : card_us(when.substr(dash + 1));
    if (!from || !to || *to <= *from) {
        refuse_value(err, option, value,
                     "NAME, NAME@SECONDS or NAME@FROM-TO, card seconds from 0 to 1000000000 with FROM before TO");
        return std::nullopt;
    }
    return FaultRequest{value.substr(0, at), FaultWindow{*from, *to}};
}

} // namespace kmb::sim

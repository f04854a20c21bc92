#include "sim/core/trace.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "sim/core/clock.h"

namespace kmb::sim {

int64_t Trace::now_us() const { return clock_ != nullptr ? clock_->now_us() : 0; }

void Trace::add_sink(TraceSink* sink)
{
    if (sink == nullptr || std::find(sinks_.begin(), sinks_.end(), sink) != sinks_.end()) {
        return;
    }
    sinks_.push_back(sink);
    const int64_t now = now_us();
    for (const WireInfo& info : wire_catalogue()) {
        if (const int64_t known = level(info.wire); known >= 0) {
            sink->wire(now, info.wire, static_cast<uint32_t>(known));
        }
    }
}

void Trace::remove_sink(TraceSink* sink) { sinks_.erase(std::remove(sinks_.begin(), sinks_.end(), sink), sinks_.end()); }

void Trace::note(std::string line)
{
    if (!sinks_.empty()) {
        const int64_t now = now_us();
        for (TraceSink* sink : sinks_) {
            sink->line(now, line);
        }
    }
    if (on_) {
        lines_.push_back(std::move(line));
    }
}

void Trace::note_on_bus(std::string line, std::string_view bus)
{
    if (!sinks_.empty()) {
        const std::string named = line + " on " + std::string(bus);
        const int64_t now = now_us();
        for (TraceSink* sink : sinks_) {
            sink->line(now, named);
        }
    }
    if (on_) {
        lines_.push_back(std::move(line));
    }
}

void Trace::wire(Wire wire, uint32_t level)
{
    int64_t& known = levels_[static_cast<std::size_t>(wire)];
    if (known == static_cast<int64_t>(level)) {
        return;
    }
    known = level;
    if (!enabled()) {
        return;
    }
    const WireInfo& info = wire_info(wire);
    char text[96];
    std::snprintf(text, sizeof text, info.width == 1 ? "wire %s.%s %" PRIu32 : "wire %s.%s 0x%02" PRIx32, info.scope,
                  info.name, level);
    const int64_t now = now_us();
    for (TraceSink* sink : sinks_) {
        sink->wire(now, wire, level);
    }
    note(text);
}

void Trace::i2c(const I2cTransfer& transfer)
{
    for (TraceSink* sink : sinks_) {
        sink->i2c(transfer);
    }
}

std::string card_seconds(int64_t us)
{
    char text[32];
    const char* sign = us < 0 ? "-" : "";
    const uint64_t magnitude = us < 0 ? static_cast<uint64_t>(-(us + 1)) + 1 : static_cast<uint64_t>(us);
    std::snprintf(text, sizeof text, "%s%" PRIu64 ".%06" PRIu64, sign, magnitude / 1000000, magnitude % 1000000);
    return text;
}

} // namespace kmb::sim

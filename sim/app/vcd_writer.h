// The card's and the fixture's lines as a Value Change Dump (IEEE 1364), in card time with a
// microsecond timescale, for the waveform viewers engineers already use (GTKWave, PulseView).
// The I2C bus is drawn as its SCL and SDA lines at 100 kHz, start to stop, so that a viewer's
// I2C decoder reads the transfers back, with the byte on the wire beside them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "sim/core/trace.h"

namespace kmb::sim {

class VcdWriter final : public TraceSink {
public:
    // Writes the header to `out`, which stays the caller's; `start_epoch` dates the dump.
    VcdWriter(FILE* out, time_t start_epoch);
    // Writes what is still held back.
    ~VcdWriter() override;
    VcdWriter(const VcdWriter&) = delete;
    VcdWriter& operator=(const VcdWriter&) = delete;

    void wire(int64_t us, Wire wire, uint32_t level) override;
    void i2c(const I2cTransfer& transfer) override;
    // Everything held back goes out (the run has ended).
    void finish();
    bool failed() const { return failed_; }

private:
    // The bus's own variables after the catalogue's wires.
    enum Extra : std::size_t { kScl = kWireCount, kSda, kByte, kVariables };
    struct Change {
        std::size_t variable;
        uint32_t value;
    };
    void header(time_t start_epoch);
    void change(int64_t us, std::size_t variable, uint32_t value);
    // Changes are held back until no event can come before them: the bus tells a transfer
    // when it has ended, after what its bytes caused.
    void write_until(int64_t us);
    void put(const std::string& text);

    FILE* out_;
    std::multimap<int64_t, Change> pending_;
    std::vector<std::string> codes_;
    std::vector<int> widths_;
    std::vector<int64_t> last_; // last value written of each variable; -1: none yet
    int64_t written_us_ = -1;
    bool failed_ = false;
};

} // namespace kmb::sim

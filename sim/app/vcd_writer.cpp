#include "sim/app/vcd_writer.h"

#include <ctime>

#include "sim/core/config.h"

namespace kmb::sim {

namespace {

// The longest transfer i2c-dev passes (8192 bytes and the address at nine clocks of 10 us,
// with start and stop): no event comes from further back than this.
constexpr int64_t kLongestTransferUs = (8192 + 1) * 90 + 10;
constexpr int64_t kHalfBitUs = 5;
constexpr int64_t kBitUs = 10;

// Identifier codes: printable ASCII from '!' on, as many characters as it takes.
std::string code_of(std::size_t n)
{
    std::string code;
    do {
        code += static_cast<char>('!' + n % 94);
        n /= 94;
    } while (n > 0);
    return code;
}

struct Scope {
    std::map<std::string, Scope> children;
    std::vector<std::size_t> variables;
};

} // namespace

VcdWriter::VcdWriter(FILE* out, time_t start_epoch) : out_(out), last_(kVariables, -1)
{
    for (std::size_t i = 0; i < kVariables; ++i) {
        codes_.push_back(code_of(i));
        widths_.push_back(i < kWireCount ? wire_info(static_cast<Wire>(i)).width : i == kByte ? 8 : 1);
    }
    header(start_epoch);
}

VcdWriter::~VcdWriter() { finish(); }

void VcdWriter::header(time_t start_epoch)
{
    tm parts{};
    char date[40] = "";
    if (gmtime_r(&start_epoch, &parts) != nullptr) {
        std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S UTC", &parts);
    }
    put(std::string("$date ") + date + " $end\n$version kmbdiag-sim " + kDiagnosticRelease + " $end\n$timescale 1 us $end\n");

    Scope top;
    auto scope_of = [&top](const std::string& path) -> Scope& {
        Scope* s = &top;
        std::size_t from = 0;
        while (from <= path.size()) {
            const std::size_t dot = path.find('.', from);
            s = &s->children[path.substr(from, dot == std::string::npos ? std::string::npos : dot - from)];
            if (dot == std::string::npos) {
                break;
            }
            from = dot + 1;
        }
        return *s;
    };
    for (const WireInfo& info : wire_catalogue()) {
        scope_of(info.scope).variables.push_back(static_cast<std::size_t>(info.wire));
    }
    for (std::size_t v : {kScl, kSda, kByte}) {
        scope_of("card.i2c").variables.push_back(v);
    }
    const char* const extra_names[] = {"scl", "sda", "byte"};
    std::string text;
    auto walk = [&](auto& self, const std::string& name, const Scope& scope) -> void {
        text += "$scope module " + name + " $end\n";
        for (std::size_t v : scope.variables) {
            const char* var = v < kWireCount ? wire_info(static_cast<Wire>(v)).name : extra_names[v - kWireCount];
            text += "$var wire " + std::to_string(widths_[v]) + " " + codes_[v] + " " + var +
                    (widths_[v] > 1 ? " [" + std::to_string(widths_[v] - 1) + ":0]" : "") + " $end\n";
        }
        for (const auto& [child, inner] : scope.children) {
            self(self, child, inner);
        }
        text += "$upscope $end\n";
    };
    for (const auto& [name, scope] : top.children) {
        walk(walk, name, scope);
    }
    text += "$enddefinitions $end\n#0\n$dumpvars\n";
    for (std::size_t v = 0; v < kVariables; ++v) {
        text += (widths_[v] == 1 ? "x" : "bx ") + codes_[v] + "\n";
    }
    text += "$end\n";
    written_us_ = 0;
    put(text);
    // The bus idles high; everything else is unknown until the card tells it.
    change(0, kScl, 1);
    change(0, kSda, 1);
}

void VcdWriter::change(int64_t us, std::size_t variable, uint32_t value)
{
    pending_.emplace(us, Change{variable, value});
}

void VcdWriter::wire(int64_t us, Wire wire, uint32_t level)
{
    change(us, static_cast<std::size_t>(wire), level);
    write_until(us - kLongestTransferUs);
}

void VcdWriter::i2c(const I2cTransfer& t)
{
    // Start: SDA falls while SCL is high. Then nine clocks a byte (eight bits, most
    // significant first, and the acknowledge), SDA moving only while SCL is low. Stop: SDA
    // rises while SCL is high.
    int64_t at = t.start_us;
    change(at, kSda, 0);
    change(at + kHalfBitUs, kScl, 0);
    const std::size_t bytes = t.count + 1;
    for (std::size_t k = 0; k < bytes; ++k) {
        const uint8_t byte = k == 0 ? static_cast<uint8_t>((t.address << 1) | (t.read ? 1 : 0)) : t.data[k - 1];
        bool nack = false;
        if (k == 0) {
            nack = !t.address_acked;
        } else if (t.read) {
            nack = k == t.count; // the master takes the last byte without acknowledging it
        } else {
            nack = !t.acked && k == t.count;
        }
        for (int bit = 0; bit < 9; ++bit) {
            const int64_t base = t.start_us + kHalfBitUs + static_cast<int64_t>(k * 9 + static_cast<std::size_t>(bit)) * kBitUs;
            if (bit == 0) {
                change(base, kByte, byte);
            }
            change(base + 1, kSda, bit < 8 ? (byte >> (7 - bit)) & 1 : (nack ? 1 : 0));
            change(base + kHalfBitUs, kScl, 1);
            change(base + kBitUs, kScl, 0);
        }
    }
    at = t.start_us + kHalfBitUs + static_cast<int64_t>(bytes * 9) * kBitUs;
    change(at + 1, kSda, 0);
    change(at + 3, kScl, 1);
    change(at + kHalfBitUs, kSda, 1);
    write_until(at + kHalfBitUs - kLongestTransferUs);
}

void VcdWriter::write_until(int64_t us)
{
    std::string text;
    while (!pending_.empty() && pending_.begin()->first <= us) {
        const auto [when, c] = *pending_.begin();
        pending_.erase(pending_.begin());
        if (last_[c.variable] == static_cast<int64_t>(c.value)) {
            continue;
        }
        last_[c.variable] = c.value;
        if (when != written_us_) {
            text += "#" + std::to_string(when) + "\n";
            written_us_ = when;
        }
        if (widths_[c.variable] == 1) {
            text += (c.value != 0 ? "1" : "0") + codes_[c.variable] + "\n";
        } else {
            text += "b";
            for (int bit = widths_[c.variable] - 1; bit >= 0; --bit) {
                text += ((c.value >> bit) & 1) != 0 ? '1' : '0';
            }
            text += " " + codes_[c.variable] + "\n";
        }
    }
    put(text);
}

void VcdWriter::finish()
{
    write_until(INT64_MAX);
    if (!failed_ && std::fflush(out_) != 0) {
        failed_ = true;
    }
}

void VcdWriter::put(const std::string& text)
{
    if (!failed_ && !text.empty() && std::fwrite(text.data(), 1, text.size(), out_) != text.size()) {
        failed_ = true;
    }
}

} // namespace kmb::sim

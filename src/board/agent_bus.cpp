#include "board/agent_bus.h"

#include <cstdint>
#include <cstdio>

#include "board/interrupts.h"
#include "devices/agentdrv.h"
#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/io_port.h"
#include "diag/indications.h"
#include "diag/result_line.h"
#include "os/os.h"

namespace kmb {

namespace {

struct AgentLine {
    int line;
    int position; // in IrqCounts
    uint8_t pin;  // the expander's output that drives the line, low asserted
    const char* stuck_low;
    const char* stuck_high;
    const char* label;
};

constexpr AgentLine kIrq = {IRQ_AGENT,           IRQ_POS_AGENT,
                            IOX_AGENT_IRQ,       "IRQ stuck LOW\n",
                            "IRQ line may stuck HIGH\n", "Agent IRQ test ........................."};
constexpr AgentLine kIirq = {IRQ_AGENT_IIRQ,       IRQ_POS_AGENT_IIRQ,
                             IOX_AGENT_IIRQ,       "IIRQ stuck LOW\n",
                             "IIRQ line may stuck HIGH\n", "Agent IIRQ test ........................"};

// One pulse on the line: asserted, then at once released. No pulse when the expander cannot
// be read; the count check then fails.
void pulse(int fd, uint8_t pin)
{
    uint8_t value = REG_OUTPUT;
    if (expander_read_reg(fd, &value) != 0) {
        return;
    }
    io_port_write_reg(fd, REG_OUTPUT, static_cast<uint8_t>(value & ~pin));
    io_port_write_reg(fd, REG_OUTPUT, value);
}

// A quiet line first (a count while nothing drives it means the line is held asserted), then
// exactly one count for one pulse.
int agent_line_test(const AgentLine& l)
{
    indicate_clear();
    int failed = 1;
    int fd = -1;
    bool opened = false;
    IrqCounts counts{};
    agentdrv_irq_enable(l.line);
    if (read_irq_counts(&counts) == 0) {
        const int32_t base = counts.count[l.position];
        os::sleep(1);
        agentdrv_irq_enable(l.line);
        if (read_irq_counts(&counts) != 0) {
            // the reader has said why
        } else if (counts.count[l.position] != base) {
            std::printf("%s", l.stuck_low);
        } else {
            opened = i2c_dev_open(&fd, IOX_ADDRESS) == ERR_NONE;
            if (opened) {
                pulse(fd, l.pin);
            }
            if (read_irq_counts(&counts) == 0) {
                if (counts.count[l.position] == irq_count_after(base)) {
                    failed = 0;
                } else {
                    std::printf("Expected agent interrupt didn't happen\n");
                    std::printf("%s", l.stuck_high);
                }
            }
        }
    }
    if (opened) {
        os::close(fd);
    }
    return report_result(l.label, failed);
}

} // namespace

int agent_irq_test() { return agent_line_test(kIrq); }

int agent_iirq_test() { return agent_line_test(kIirq); }

int agent_i2c_bus_test()
{
    indicate_clear();
    int failed = 1;
    int fd = -1;
    if (i2c_dev_open(&fd, IOX_ADDRESS) == ERR_NONE) {
        io_port_write_reg(fd, REG_POLARITY, 0x00);
        os::sleep(1);
        // A failed read leaves the register number in the byte, which fails the check.
        uint8_t byte = REG_POLARITY;
        os::write(fd, &byte, 1);
        os::read(fd, &byte, 1);
        failed = byte != 0x00;
        os::close(fd);
    }
    return report_result("Agent i2c bus test .....................", failed);
}

} // namespace kmb

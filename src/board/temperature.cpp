#include "board/temperature.h"

#include <cstdio>

#include "board/interrupts.h"
#include "devices/agentdrv.h"
#include "devices/error_codes.h"
#include "devices/i2c.h"
#include "devices/lm77.h"
#include "diag/indications.h"
#include "diag/options.h"
#include "diag/result_line.h"
#include "os/os.h"

namespace kmb {

namespace {

constexpr int kTempCheckFailed = 1;
constexpr int kTempIrqMissed = 5;
constexpr int kTempCritIrqMissed = 6;
constexpr int kTempOutOfRange = 7;

// The range the card must read in the factory: the start-up T_LOW and T_HIGH.
constexpr int kTempRangeLow = LM77_START_TLOW;
constexpr int kTempRangeHigh = LM77_START_THIGH;
// How far each limit is moved past the temperature.
constexpr int kTempTriggerOffset = 10;

// The waits of the checks, fixed whatever the interrupts do.
constexpr unsigned kArmSettleSeconds = 2;
constexpr unsigned kQuietSeconds = 3;
constexpr unsigned kTriggerSeconds = 3;

constexpr const char* kHints[] = {"** Check CPU and LM77 chip           **\n"};

// The temperature in whole degrees; a failed read stores -1 and so reads as -1 degree.
int read_temperature(int fd)
{
    int value = -1;
    lm77_read_reg(fd, LM77_REG_TEMP, &value);
    return lm77_to_celsius(value & 0xFFFF);
}

void print_line(const char* text) { std::printf("%s\n", text); }

// The count of line 27 or 28 after a read of /proc/interrupts whose result is not examined:
// a failed read leaves the counts as they were.
int32_t count_of(IrqCounts& counts, int position)
{
    read_irq_counts(&counts);
    return counts.count[position];
}

// Arms `line`, lets it settle and keeps its count as `c0`, then watches the line stay quiet
// while nothing has moved a limit; `counts` holds the last counts read. The limit check arms
// again after the quiet wait, the critical check before it.
enum class Quiet { Yes, NoCounts, Fired };
Quiet untriggered_line_is_quiet(int line, int position, bool rearm_before_wait, IrqCounts& counts, int32_t& c0)
{
    agentdrv_irq_enable(line);
    os::sleep(kArmSettleSeconds);
    if (read_irq_counts(&counts) != 0) {
        return Quiet::NoCounts;
    }
    c0 = counts.count[position];
    if (rearm_before_wait) {
        agentdrv_irq_enable(line);
    }
    os::sleep(kQuietSeconds);
    if (!rearm_before_wait) {
        agentdrv_irq_enable(line);
    }
    if (read_irq_counts(&counts) != 0) {
        return Quiet::NoCounts;
    }
    return counts.count[position] == c0 ? Quiet::Yes : Quiet::Fired;
}

} // namespace

int lm77_limit_irq_test(int fd, int reg)
{
    const bool high = reg == LM77_REG_THIGH;
    const int t = read_temperature(fd);
    agentdrv_get_status();
    IrqCounts counts{};
    int32_t c0 = 0;
    const Quiet quiet = untriggered_line_is_quiet(IRQ_LM77_TEMP, IRQ_POS_LM77_TEMP, false, counts, c0);
    if (quiet == Quiet::NoCounts) {
        return kTempCheckFailed;
    }
    if (quiet == Quiet::Fired) {
        print_line("interrupt happenes without trigger");
        print_line("you may have temperature interrupt line stuck LOW");
        return kTempCheckFailed;
    }

    const int trigger = high ? t - kTempTriggerOffset : t + kTempTriggerOffset;
    if (lm77_write_reg(fd, reg, lm77_from_celsius(trigger)) != ERR_NONE) {
        print_line("Error write to high reg");
        return kTempCheckFailed;
    }
    os::sleep(kTriggerSeconds);
    agentdrv_get_status();
    const int32_t c1 = count_of(counts, IRQ_POS_LM77_TEMP);
    if (c1 != irq_count_after(c0)) {
        print_line("Expected LM77 interrupt didn't happen");
        print_line("temperature interrupt line may stuck HIGH");
        return kTempIrqMissed;
    }

    // The read lets go of INT; putting the limit back is the next event.
    read_temperature(fd);
    agentdrv_irq_enable(IRQ_LM77_TEMP);
    os::sleep(kTriggerSeconds);
    const int restore = high ? LM77_START_THIGH : LM77_START_TLOW;
    if (lm77_write_reg(fd, reg, lm77_from_celsius(restore)) != ERR_NONE) {
        print_line("Error write to high reg");
        return kTempCheckFailed;
    }
    os::sleep(kTriggerSeconds);
    agentdrv_get_status();
    if (count_of(counts, IRQ_POS_LM77_TEMP) != irq_count_after(c1)) {
        print_line("Expected LM77 interrupt didn't happen");
        print_line("temperature interrupt line may stuck HIGH");
        return kTempIrqMissed;
    }
    read_temperature(fd);
    return 0;
}

int lm77_crit_irq_test(int fd)
{
    const int t = read_temperature(fd);
    agentdrv_get_status();
    IrqCounts counts{};
    int32_t c0 = 0;
    const Quiet quiet = untriggered_line_is_quiet(IRQ_LM77_CRIT, IRQ_POS_LM77_CRIT, true, counts, c0);
    if (quiet == Quiet::NoCounts) {
        return kTempCheckFailed;
    }
    if (quiet == Quiet::Fired) {
        print_line("critical interrupt happenes without trigger");
        print_line("critical interrupt line may stuck LOW");
        return kTempCheckFailed;
    }

    if (lm77_write_reg(fd, LM77_REG_TCRIT, lm77_from_celsius(t - kTempTriggerOffset)) != ERR_NONE) {
        print_line("Error write to critical high reg");
        return kTempCheckFailed;
    }
    os::sleep(kTriggerSeconds);
    // T_CRIT_A stays asserted while the temperature is above T_CRIT: the line is let go of
    // before it is put back.
    agentdrv_irq_disable(IRQ_LM77_CRIT);
    agentdrv_get_status();
    if (count_of(counts, IRQ_POS_LM77_CRIT) != irq_count_after(c0)) {
        print_line("Expected LM77 critical interrupt didn't happen");
        print_line("critical interrupt line may stuck HIGH");
        return kTempCritIrqMissed;
    }
    read_temperature(fd);
    os::sleep(kTriggerSeconds);
    if (lm77_write_reg(fd, LM77_REG_TCRIT, lm77_from_celsius(LM77_START_TCRIT)) != ERR_NONE) {
        print_line("Error write to critical high reg");
        return kTempCheckFailed;
    }
    os::sleep(kTriggerSeconds);
    agentdrv_get_status();
    read_temperature(fd);
    return 0;
}

int temperature_checks()
{
    int fd = -1;
    if (i2c_dev_open(&fd, LM77_ADDRESS) != ERR_NONE) {
        std::perror("Error open i2c device");
        return kTempCheckFailed;
    }
    const int t = read_temperature(fd);
    std::printf("Current temperature %d C\n", t);
    int code = 0;
    if (t < kTempRangeLow || t > kTempRangeHigh) {
        print_line("Current temperature is out of range, ");
        print_line("check your enviroment, or LM77 chip");
        code = kTempOutOfRange;
    } else {
        spinner_step();
        code = lm77_limit_irq_test(fd, LM77_REG_THIGH);
        if (code == 0) {
            spinner_step();
            code = lm77_limit_irq_test(fd, LM77_REG_TLOW);
        }
        if (code == 0) {
            spinner_step();
            code = lm77_crit_irq_test(fd);
        }
    }
    if (os::close(fd) != 0) {
        std::perror("Error closing 2c device");
        return kTempCheckFailed;
    }
    return code;
}

int temperature_sensor_test()
{
    indicate_clear();
    const int code = temperature_checks();
    report_result("Temperature sensor test ................", code, kHints);
    return code;
}

int temperature_reading_check()
{
    int fd = -1;
    if (i2c_dev_open(&fd, LM77_ADDRESS) != ERR_NONE) {
        std::perror("Error open i2c device");
        return 1;
    }
    std::printf("Current temperature %d C\n", read_temperature(fd));
    if (os::close(fd) != 0) {
        std::perror("Error closing 2c device");
        return 1;
    }
    indicate_pass();
    return 0;
}

} // namespace kmb

// The kernel's counts of the card's four interrupt lines, read from /proc/interrupts.
#pragma once

#include <cstdint>

namespace kmb {

// Positions in IrqCounts.
inline constexpr int IRQ_POS_LM77_TEMP = 0;  // line 27
inline constexpr int IRQ_POS_LM77_CRIT = 1;  // line 28
inline constexpr int IRQ_POS_AGENT = 2;      // line 25
inline constexpr int IRQ_POS_AGENT_IIRQ = 3; // line 26

struct IrqCounts {
    int32_t count[4];
};

// The longest count text kept; a longer one keeps its last digits: the count modulo 10^7.
inline constexpr int IRQ_COUNT_TEXT_MAX = 7;

// The count as read after one more interrupt than `count`. The kept digits wrap from 9999999
// to 0, so a count passing seven digits still reads as a rise of one, not as a fall.
inline constexpr int32_t irq_count_after(int32_t count) { return count == 9999999 ? 0 : count + 1; }

// The first CPU column's count of each line; a line that the file does not list reads 0.
// 1 when /proc/interrupts cannot be opened (reported with perror, `counts` unchanged), else 0.
int read_irq_counts(IrqCounts* counts);

} // namespace kmb

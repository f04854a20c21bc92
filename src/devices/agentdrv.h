// The card's agent driver, /dev/agentdrv: arms and disarms the interrupt lines of the host
// agent and the LM77 and reads the interrupt status word. Each request opens the device,
// issues one ioctl and closes it again.
#pragma once

namespace kmb {

// Interrupt lines, numbered as /proc/interrupts lists them.
inline constexpr int IRQ_AGENT = 25;
inline constexpr int IRQ_AGENT_IIRQ = 26;
inline constexpr int IRQ_LM77_TEMP = 27;
inline constexpr int IRQ_LM77_CRIT = 28;

// Status word bit: the host agent's event FIFO holds data.
inline constexpr int AGENTDRV_STATUS_AGENT_EVENT = 0x40;

// The driver's own request numbers: plain integers, not _IO() codes.
inline constexpr unsigned long AGENTDRV_IRQ_ENABLE = 0;
inline constexpr unsigned long AGENTDRV_IRQ_DISABLE = 1;
inline constexpr unsigned long AGENTDRV_GET_STATUS = 2;
inline constexpr unsigned long AGENTDRV_REQUEST3 = 3;

// Opens /dev/agentdrv; ERR_NONE, or ERR_DRIVER (logged).
int agentdrv_open(int* fd);

// ERR_NONE once the request was issued (its own result is the driver's), ERR_DRIVER when the
// device could not be opened.
int agentdrv_irq_enable(int line);
int agentdrv_irq_disable(int line);
// The driver's answer; 0 (nothing pending) when the device could not be opened.
int agentdrv_get_status();
int agentdrv_request3();

} // namespace kmb

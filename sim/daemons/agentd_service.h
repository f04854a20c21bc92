// The agent daemon, as small as the card's libraries need it: it serves queue 4, hands agent
// commands (class 3) to the agent API service and LM77 operations (class 4) to the LM77
// service, and runs the event handlers when it is told that an interrupt fired.
#pragma once

#include <csignal>
#include <cstdint>

#include "ipc/msg_header.h"

namespace kmb {

// A notice on the daemon's queue: interrupt line `word2` fired (25 the host agent, 27 and 28
// the LM77). Whoever watches the card's interrupt lines sends it.
inline constexpr int32_t MSG_CLASS_INTERRUPT = 5;

struct InterruptNotice {
    MsgHeader head; // mtype 1, class 5, word 2 the line, word 3 zero, length 16
};
inline constexpr int kInterruptNoticeLength = 16;

// Handles one message received on queue 4, `n` bytes after mtype. Returns the result of what
// it ran, or -1 for a message it could not take (logged).
int agentd_dispatch(const void* msg, int n);

// The card's interrupt lines asserted now, bit `line` for each; how the daemon learns of an
// interrupt where no notice tells it.
using AssertedLines = uint32_t (*)();

// Runs the handler of interrupt line `line`; -1 for a line without one.
int agentd_interrupt(int line);

// agent_init and lm77_init, then serves queue 4 until `stop` is set (a signal); 0, or 1 when
// the queue is lost. With `asserted`, the lines are looked at before each message: a line that
// has become asserted runs its handler, again while it stays asserted and the handler gets on.
int agentd_run(const volatile sig_atomic_t* stop, AssertedLines asserted = nullptr);

} // namespace kmb

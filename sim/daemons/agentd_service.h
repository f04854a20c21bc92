// The agent daemon, as small as the card's libraries need it: it serves queue 4, hands agent
// commands (class 3) to the agent API service and LM77 operations (class 4) to the LM77
// service, and runs the event handlers when it is told that an interrupt fired.
#pragma once

#include <csignal>
#include <cstdint>

#include "ipc/msg_header.h"

namespace kmb {

// A notice on the daemon's queue: interrupt line `word2` fired (25 the host agent, 27 and 28
// the LM77). The queue is open to every process, so a notice only asks the daemon to look: the
// agent's handler runs only while the agent driver shows the agent's interrupt, and the LM77's
// handler reads the sensor itself and reports a zone change only when there is one.
inline constexpr int32_t MSG_CLASS_INTERRUPT = 5;

struct InterruptNotice {
    MsgHeader head; // mtype 1, class 5, word 2 the line, word 3 zero, length 16
};
inline constexpr int kInterruptNoticeLength = 16;

// The room the daemon receives into, after mtype: more than any message it takes, on every
// build, so that a message longer than its kind shows as such (the card's `long` is 4 bytes,
// a workstation's 8: a room measured by a struct would differ).
inline constexpr int AGENTD_RECEIVE_ROOM = 64;
// How long an answer waits for room on a full reply queue before it is dropped, in card time.
inline constexpr int AGENTD_ANSWER_PATIENCE_MS = 2000;
// Where the serving daemon keeps its process ID on the card.
inline constexpr const char* AGENTD_PID_FILE = "/var/run/agentd.pid";

// A message as the daemon takes it off its queue.
struct AgentdMessage {
    long mtype;
    uint8_t text[AGENTD_RECEIVE_ROOM];
};

// Handles one message received on queue 4, `n` bytes after mtype (at most the room). Every
// request whose head names its requester and a reply queue is answered, a malformed one with
// the checksum error. Returns the result of what it ran, or -1 for a message it could not
// take (logged).
int agentd_dispatch(const AgentdMessage* msg, int n);

// The card's interrupt lines asserted now, bit `line` for each; how the daemon learns of an
// interrupt where no notice tells it.
using AssertedLines = uint32_t (*)();

// Runs the handler of interrupt line `line`; -1 for a line without one.
int agentd_interrupt(int line);

// agent_init and lm77_init, then serves queue 4 until `stop` is set (a signal); 0, or 1 when
// another daemon serves the queue already or the queue cannot be had (said on standard error
// and in the log). A queue removed under it is made again. With `asserted`, the lines are looked at before each message: a line that
// has become asserted runs its handler, again while it stays asserted and the handler gets on.
int agentd_run(const volatile sig_atomic_t* stop, AssertedLines asserted = nullptr);

} // namespace kmb

// The LM77's service in the card's agent daemon and its clients: the handler that runs when
// the sensor's interrupt fires (it re-reads the temperature, retunes the limits around the
// critical zone and reports zone changes to the event log), the handler of LM77 requests that
// other processes send through the agent daemon's queue, and the clients' side of them.
#pragma once

#include "agent/agent_api.h"
#include "devices/lm77.h"

namespace kmb {

// An LM77 answer's payload is the cached state as it stands.
static_assert(sizeof(Lm77State) == AGENT_API_LM77_PAYLOAD);

// Operations of an LM77 request.
inline constexpr int LM77_OP_READ = 0;
inline constexpr int LM77_OP_WRITE = 1;
inline constexpr int LM77_OP_QUERY = 2;
inline constexpr int LM77_OP_READ_TEMP = 3;

// Kinds of limit test: the limit moved past the temperature, and the zone that must follow.
inline constexpr int LM77_TEST_CRIT = 4;
inline constexpr int LM77_TEST_HIGH = 5;
inline constexpr int LM77_TEST_LOW = 6;

// 0; 9 the sensor cannot be opened; 4 its temperature cannot be read; 3 a limit write failed.
int lm77_event_handler();
// One zone record of the cached state to the event log; 0, or 6.
int lm77_report_zone();
// Serves one class-4 request and answers it with the cached state; the result it sent.
int lm77_request_handler(const AgentApiRequest* request);

// A request to the agent daemon; the answer's result, or 6 when it could not be had.
int lm77_request(int op, int reg, int value, int reply_key);
// The same, with the daemon's cached state copied to `state`.
int lm77_query(int op, int reg, Lm77State* state, int reply_key);
// Moves one limit past the temperature and waits for the zone to follow: 0, 7 it did not,
// 11 the zone was not normal to begin with, or a request's code.
int lm77_limit_test(int kind, int reply_key);

} // namespace kmb

// The agent daemon's message service: other processes send it agent commands (class 3) and
// LM77 operations (class 4) on its queue (4) and wait for the answer on a queue of their own,
// named by their reply key. Requests carry the requester's process ID and a checksum.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ipc/msg_header.h"

namespace kmb {

struct AgentApiRequest {
    MsgHeader head; // mtype 1, class 3 or 4, word 2 the process ID, word 3 the reply key, length 20
    uint8_t bytes[3]; // class 3: command, parameter bits 15-8, 7-0; class 4: operation, register, value
    uint8_t checksum; // makes the four bytes sum to 0 modulo 256
};
static_assert(offsetof(AgentApiRequest, bytes) - sizeof(long) == 16);
static_assert(sizeof(long) != 4 || sizeof(AgentApiRequest) == 24, "the card's request is 24 bytes");
inline constexpr int AGENT_API_REQUEST_LENGTH = 20;
// What follows mtype is the length the queue is handed, on the card and on a workstation alike.
static_assert(offsetof(AgentApiRequest, checksum) + 1 - sizeof(long) == AGENT_API_REQUEST_LENGTH);

inline constexpr int AGENT_API_PAYLOAD = 512;

struct AgentApiResponse {
    MsgHeader head; // mtype 1, the request's class, word 2 the requester's ID, word 3 zero, length 532
    uint8_t result; // error code
    uint8_t status; // command status, or the entry count of a dump_state answer
    uint8_t pad[2];
    uint8_t payload[AGENT_API_PAYLOAD];
};
static_assert(offsetof(AgentApiResponse, result) - sizeof(long) == 16);
static_assert(offsetof(AgentApiResponse, payload) - sizeof(long) == 20);
static_assert(sizeof(long) != 4 || sizeof(AgentApiResponse) == 536, "the card's response is 536 bytes");
inline constexpr int AGENT_API_RESPONSE_LENGTH = 532;
static_assert(offsetof(AgentApiResponse, payload) + AGENT_API_PAYLOAD - sizeof(long) == AGENT_API_RESPONSE_LENGTH);

// Bytes of an LM77 answer's payload: five 32-bit words.
inline constexpr int AGENT_API_LM77_PAYLOAD = 20;

// The sum of `n` bytes modulo 256, negated; 0 for no bytes.
uint8_t agent_checksum(const uint8_t* bytes, int n);
// Whether `key` names a queue an answer may go to: a daemon's number (1 to 22), never the agent
// daemon's own queue, and never 0, which is IPC_PRIVATE to the kernel and a queue of its own
// to each side.
bool agent_api_reply_key_ok(int key);
// Whether a command's status is reported after it ran (the power, supply, reset and NMI ones).
bool agent_cmd_needs_status(int cmd);

int agent_api_send_request(long mtype, int msg_class, uint8_t b0, uint8_t b1, uint8_t b2, int reply_key, int pid);
int agent_api_wait_response(int reply_key, int pid, uint8_t* status, uint8_t* payload);
int agent_api_write(int cmd, int param, int reply_key, uint8_t* status);
int agent_api_read(int cmd, int param, uint8_t* payload, int reply_key, uint8_t* status);

// The daemon's side of a class-3 request; the result it also sent back.
int agent_api_handle_request(const AgentApiRequest* request);
// Builds and sends an answer to the queue of `reply_key`. The payload follows the request:
// dump_state and rd_info come from the agent module, the other class-3 answers from `data`,
// and a class-4 answer is the first 20 bytes of `data`. 0, or 6 when it cannot be sent.
int agent_api_respond(int cmd, long mtype, int msg_class, int reply_key, int pid, int result, const uint8_t* data,
                      int data_len, int status);

} // namespace kmb

// The head of every message on the card's daemon queues. The words are 32 bits in the
// machine's own byte order; only `mtype` is a long, as System V wants it: 4 bytes on the card,
// 8 on a 64-bit workstation. What follows `mtype` is laid out the same on both, and every size
// handed to a queue counts the bytes after `mtype`.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kmb {

// Message classes of the card's daemons.
inline constexpr int32_t MSG_CLASS_PACKET = 2;    // generic packet
inline constexpr int32_t MSG_CLASS_AGENT_CMD = 3; // agent command request and response
inline constexpr int32_t MSG_CLASS_LM77 = 4;      // LM77 operation request and response
inline constexpr int32_t MSG_CLASS_SEL = 6;       // system event log request

struct MsgHeader {
    long mtype;
    int32_t msg_class;
    int32_t word2;  // class-specific: the requester's process ID for the agent daemon
    int32_t word3;  // class-specific: the reply key for the agent daemon
    int32_t length; // bytes after mtype: the size sent, or the room to receive into
};

static_assert(offsetof(MsgHeader, msg_class) == sizeof(long));
static_assert(offsetof(MsgHeader, length) - sizeof(long) == 12);
// The bytes of the head that follow mtype, in every message of every class.
inline constexpr std::size_t MSG_HEAD_AFTER_TYPE = 16;

} // namespace kmb

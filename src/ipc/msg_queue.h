// The card's daemons talk over System V message queues, one queue per daemon, keyed by the
// daemon's number (1 to 22). This is the queue side: a per-process cache of queue IDs, raw
// send and receive, and a queue's attributes. Results are as the daemons expect them: -1 for a
// missing queue or a failed call, nothing logged.
#pragma once

#include <cstdint>

#include "ipc/msg_header.h"

namespace kmb {

inline constexpr int IPC_MAX_KEY = 22;
inline constexpr int IPC_KEY_RELAY = 1;  // every generic packet goes through the relay daemon
inline constexpr int IPC_KEY_AGENTD = 4; // the agent daemon
inline constexpr int IPC_KEY_SELD = 7;   // the system event log daemon

// The queue ID of `key` (0 to 22), from the cache or from msgget(key, flags); flags 0 creates
// the queue, readable and writable by all. -1 when the key is out of range or msgget fails.
int ipc_queue_id(int key, int flags);

// msgsnd of `msg` with msg->length as the size; 0 or -1.
int kmb_sendmsgq(int id, MsgHeader* msg, int flags);
// msgrcv into `msg` with msg->length as the room; the bytes received after mtype, or -1.
int kmb_readmsgq(int id, MsgHeader* msg, long type, int flags);
// Sends a complete message to the queue of `key`, waiting while it is full: 0, -1 when the
// queue cannot be had, -2 when the send fails. A queue that has gone since it was looked up
// (removed, or made again under the same key) is looked up once more. How long the send waits
// for a full queue is the process's send patience.
int ipc_send_to(int key, MsgHeader* msg);

// How long, in milliseconds of card time, a send waits for room on a full queue; negative
// waits for as long as it takes, which is where every process starts. A daemon that serves
// others sets it, so that a queue nobody reads stops only the answers that go to it.
void ipc_set_send_patience(int milliseconds);
int ipc_send_patience();

// Drops the cached ID of `key`, so that its next lookup asks the kernel again; for a queue
// that has gone (EIDRM, EINVAL).
void ipc_queue_forget(int key);
// Whether a failed call's errno says the queue it named is no more.
bool ipc_queue_gone(int err);

// Takes every waiting message off the queue of `key` without waiting: 0 once it is empty,
// else the failed receive's result.
int ipc_queue_drain(int key);
// Removes the queue and forgets every cached key that named it.
int ipc_queue_remove(int id);
int ipc_queue_set_mode(int id, int mode);
int ipc_queue_set_max_bytes(int id, int bytes);
int ipc_queue_max_bytes(int id);
int ipc_queue_bytes(int id);
int ipc_queue_count(int id);
// Low 16 bits of the permission mode, 0xFFFF when the queue cannot be read.
int ipc_queue_mode(int id);
// Prints the queue's limits and fill on stdout; 0, or -1 with nothing printed.
int ipc_queue_print_info(int id);

// Forgets every cached ID, for a process that has moved to another IPC namespace, where the
// old IDs name other queues or none.
void ipc_queue_cache_reset();

// The name of daemon `number`, "unknown" outside 1 to 22.
const char* ipc_daemon_name(int number);

} // namespace kmb

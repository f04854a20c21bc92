// The fuzzers that reach the card's daemon queues run in an IPC namespace of their own where
// they can (as root), and empty every daemon queue after each input so that no input sees
// another's messages and no send waits on a full queue.
#pragma once

namespace kmb::fuzz {

void enter_private_ipc();
void drain_daemon_queues();

} // namespace kmb::fuzz

// One daemon per queue: each of the card's daemons keeps its process ID in a file under
// /var/run while it serves, and a second one started on the same card refuses, naming the
// first. A file left by a process that is gone is taken over.
#pragma once

#include <sys/types.h>

namespace kmb {

// The process ID written in `path` (a decimal number, a line end after it), or 0 when the file
// is missing, empty or holds something else.
pid_t pid_file_holder(const char* path);
// Whether process `pid` still runs.
bool process_alive(pid_t pid);

// Writes our ID to `path`: 0 done; the holder's ID when a live process holds it; -1 when the
// file cannot be written (errno says why).
pid_t pid_file_claim(const char* path);
// Removes `path` when it still names us.
void pid_file_release(const char* path);

} // namespace kmb

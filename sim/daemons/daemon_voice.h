// How one of the card's daemons speaks: its log lines carry its own name, and what stops it or
// keeps it from serving goes both to the log and to standard error, where whoever started it
// sees it.
#pragma once

namespace kmb {

// Logs under `name` from now on ("agentd", "seld").
void daemon_voice_open(const char* name);
// One line to the log at `priority` and, with the daemon's name in front, to standard error.
void daemon_say(int priority, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A daemon's start on queue `key`: it speaks as `name` and claims `pid_file`. False, said
// both ways, when another daemon serves the queue already or the file cannot be written.
bool daemon_start(const char* name, int key, const char* pid_file);

} // namespace kmb

// The card's shell as far as the diagnostic uses it: one command line with its words and its
// redirections of standard output and standard error, and the few programs the diagnostic
// runs (the table in shell_programs.cpp). A program the card does not have is "not found"
// with status 127, as sh reports it.
#pragma once

#include <string>

namespace kmb::sim {

class BootEnv;
class CardFs;
class KernelModules;
class Trace;

class Shell {
public:
    Shell(CardFs& fs, BootEnv& env, Trace& trace) : fs_(fs), env_(env), trace_(trace) {}

    // Runs one command line; returns a wait status as system(3) does (exit code << 8).
    // Standard output goes to the console (stdout) unless redirected, errors to stderr.
    int run(const char* command_line);
    // The kernel's modules, for rmmod.
    void set_modules(KernelModules* modules) { modules_ = modules; }

private:
    CardFs& fs_;
    BootEnv& env_;
    Trace& trace_;
    KernelModules* modules_ = nullptr;
};

} // namespace kmb::sim

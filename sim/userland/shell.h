// The card's shell as far as the diagnostic uses it: one command line with its words and its
// redirections of standard output and standard error, and the few programs the diagnostic
// runs (the table in shell_programs.cpp). A program the card does not have is "not found"
// with status 127, as sh reports it.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "sim/userland/shell_programs.h"

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

    // A program that a model of the card provides, at its full path: its exit code, or nullopt
    // when the card has no such program after all.
    using ModelProgram = std::function<std::optional<int>(const ProgramArgs& args, ShellStreams& io)>;
    void add_program(const std::string& path, ModelProgram program) { model_programs_[path] = std::move(program); }

private:
    const ModelProgram* model_program(const std::string& name) const;

    CardFs& fs_;
    BootEnv& env_;
    Trace& trace_;
    KernelModules* modules_ = nullptr;
    std::map<std::string, ModelProgram> model_programs_;
};

} // namespace kmb::sim

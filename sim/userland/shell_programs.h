// The programs of the card that the diagnostic runs through the shell, each a function from
// its words to its exit code, found by name in one table.
#pragma once

#include <string>
#include <vector>

#include "sim/userland/shell_io.h"

namespace kmb::sim {

class BootEnv;
class CardFs;
class KernelModules;

// What a program of the card can reach: the card's files, the boot loader's environment and
// the streams the shell set up for it.
struct ProgramContext {
    CardFs& fs;
    BootEnv& env;
    ShellStreams& io;
    KernelModules* modules = nullptr; // none: a card whose kernel has no modules loaded
};

using ProgramArgs = std::vector<std::string>; // the command's words, its name first
using ProgramMain = int (*)(const ProgramArgs& args, ProgramContext& ctx);

// The program a command's first word names, by its full path or, as every folder of the
// card's programs is on the search path, by its bare name; nullptr when the card has none.
ProgramMain find_program(const std::string& name);

} // namespace kmb::sim

#include "sim/userland/shell.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>

#include "sim/core/open_file.h"
#include "sim/core/trace.h"
#include "sim/storage/card_fs.h"
#include "sim/userland/shell_io.h"
#include "sim/userland/shell_programs.h"
#include "sim/userland/shell_words.h"

namespace kmb::sim {

namespace {

constexpr int kStatusSyntax = 2;
constexpr int kStatusNotFound = 127;

int wait_status(int exit_code) { return (exit_code & 0xff) << 8; }

} // namespace

const Shell::ModelProgram* Shell::model_program(const std::string& name) const
{
    // By its full path, or by its bare name as its folder is on the search path.
    const bool has_folder = name.find('/') != std::string::npos;
    for (const auto& [path, program] : model_programs_) {
        if (has_folder ? name == path : name == path.substr(path.rfind('/') + 1)) {
            return &program;
        }
    }
    return nullptr;
}

int Shell::run(const char* command_line)
{
    if (command_line == nullptr) {
        return 1; // as system(NULL): a shell is there
    }
    const std::string_view line(command_line);
    trace_.note(line.size() > kMaxShellLine ? "sh " + std::string(line.substr(0, kMaxShellLine)) + "..."
                                            : "sh " + std::string(line));

    ShellCommand command;
    std::string error;
    if (!parse_shell_line(line, command, error)) {
        std::fprintf(stderr, "sh: %s\n", error.c_str());
        return wait_status(kStatusSyntax);
    }

    // The shell sets up the redirections, in order, before it looks for the program: the
    // file exists afterwards even when the program does not.
    ShellStreams io{ShellSink(stdout), ShellSink(stderr)};
    for (const ShellRedirection& r : command.redirections) {
        ShellSink& sink = r.fd == 1 ? io.out : io.err;
        if (r.same_as >= 0) {
            sink = r.same_as == 1 ? io.out : io.err;
            continue;
        }
        const std::string path = shell_card_path(r.target);
        if (path == "/dev/null") {
            sink.discard();
            continue;
        }
        const int flags = O_WRONLY | O_CREAT | (r.append ? O_APPEND : O_TRUNC);
        std::shared_ptr<OpenFile> file = fs_.open(path, flags, 0666);
        if (file == nullptr) {
            // The shell's own complaint, on its own standard error.
            std::fprintf(stderr, "sh: cannot create %s: %s\n", r.target.c_str(), std::strerror(errno));
            return wait_status(kStatusSyntax);
        }
        sink.redirect(std::move(file));
    }
    if (command.words.empty()) {
        return 0;
    }
    if (const ModelProgram* model = model_program(command.words.front())) {
        if (const std::optional<int> status = (*model)(command.words, io)) {
            return wait_status(*status);
        }
        io.err.write("sh: " + command.words.front() + ": not found\n");
        return wait_status(kStatusNotFound);
    }
    const ProgramMain program = find_program(command.words.front());
    if (program == nullptr) {
        io.err.write("sh: " + command.words.front() + ": not found\n");
        return wait_status(kStatusNotFound);
    }
    ProgramContext ctx{fs_, env_, io, modules_};
    return wait_status(program(command.words, ctx));
}

} // namespace kmb::sim

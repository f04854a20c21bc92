#include "sim/userland/shell_programs.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string_view>

#include "sim/core/config.h"
#include "sim/core/open_file.h"
#include "sim/kernel/kernel_modules.h"
#include "sim/storage/card_fs.h"
#include "sim/userland/boot_env.h"

namespace kmb::sim {

namespace {

constexpr std::string_view kReleaseFile = "/etc/version";
// The version script reads only the start of the release file; a release is a short word.
constexpr std::size_t kMaxReleaseRead = 4096;

int rm(const ProgramArgs& args, ProgramContext& ctx)
{
    bool force = false;
    bool options = true;
    std::vector<std::string> files;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (options && a == "--") {
            options = false;
        } else if (options && a.size() > 1 && a[0] == '-') {
            for (std::size_t k = 1; k < a.size(); ++k) {
                if (a[k] != 'f') {
                    ctx.io.err.write(std::string("rm: invalid option -- '") + a[k] +
                                     "'\nTry 'rm --help' for more information.\n");
                    return 1;
                }
            }
            force = true;
        } else {
            files.push_back(a);
        }
    }
    if (files.empty()) {
        if (force) {
            return 0;
        }
        ctx.io.err.write("rm: missing operand\nTry 'rm --help' for more information.\n");
        return 1;
    }
    int status = 0;
    for (const std::string& f : files) {
        if (ctx.fs.remove(shell_card_path(f)) == 0) {
            continue;
        }
        const int error = errno;
        if (force && error == ENOENT) {
            continue;
        }
        ctx.io.err.write("rm: cannot remove '" + f + "': " + std::strerror(error) + "\n");
        status = 1;
    }
    return status;
}

// The first line of the release file as stored, line end included; false with errno set
// when the file cannot be read.
bool read_release(CardFs& fs, std::string& line)
{
    std::unique_ptr<OpenFile> file = fs.open(std::string(kReleaseFile), O_RDONLY, 0);
    if (file == nullptr) {
        return false;
    }
    line.clear();
    char buf[256];
    while (line.size() < kMaxReleaseRead) {
        const ssize_t n = file->read(buf, sizeof buf);
        if (n < 0) {
            return false;
        }
        if (n == 0) {
            break;
        }
        line.append(buf, static_cast<std::size_t>(n));
        const std::size_t nl = line.find('\n');
        if (nl != std::string::npos) {
            line.resize(nl + 1);
            break;
        }
    }
    if (line.size() > kMaxReleaseRead) {
        line.resize(kMaxReleaseRead);
    }
    return true;
}

int version_script(const ProgramArgs& args, ProgramContext& ctx)
{
    bool e = false;
    bool r = false;
    bool bad = false;
    for (std::size_t i = 1; i < args.size() && !bad; ++i) {
        const std::string& a = args[i];
        bad = a.size() < 2 || a[0] != '-';
        for (std::size_t k = 1; k < a.size() && !bad; ++k) {
            if (a[k] == 'e') {
                e = true;
            } else if (a[k] == 'r') {
                r = true;
            } else {
                bad = true;
            }
        }
    }
    if (bad || !e || !r) {
        ctx.io.err.write("usage: version.sh -e -r\n");
        return 2;
    }
    std::string line;
    if (!read_release(ctx.fs, line)) {
        ctx.io.err.write(std::string("version.sh: ") + std::string(kReleaseFile) + ": " + std::strerror(errno) + "\n");
        return 1;
    }
    ctx.io.out.write(line);
    return 0;
}

int fw_printenv(const ProgramArgs& args, ProgramContext& ctx)
{
    bool value_only = false;
    std::size_t first = 1;
    if (args.size() > 1 && args[1] == "-n") {
        value_only = true;
        first = 2;
    }
    if (first < args.size() && args[first].size() > 1 && args[first][0] == '-') {
        ctx.io.err.write("fw_printenv: invalid option '" + args[first] + "'\n");
        return 1;
    }
    const std::size_t names = args.size() - first;
    if (value_only && names != 1) {
        ctx.io.err.write("## Error: `-n' option requires exactly one argument\n");
        return 1;
    }
    if (names == 0) {
        for (const auto& [name, value] : ctx.env.all()) {
            ctx.io.out.write(name + "=" + value + "\n");
        }
        return 0;
    }
    int status = 0;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::optional<std::string> value = ctx.env.get(args[i]);
        if (!value) {
            ctx.io.err.write("## Error: \"" + args[i] + "\" not defined\n");
            status = 1;
        } else {
            ctx.io.out.write(value_only ? *value + "\n" : args[i] + "=" + *value + "\n");
        }
    }
    return status;
}

// The card's summary of what it runs, for the operator.
int version(const ProgramArgs&, ProgramContext& ctx)
{
    std::string release;
    if (read_release(ctx.fs, release)) {
        while (!release.empty() && (release.back() == '\n' || release.back() == '\r')) {
            release.pop_back();
        }
    }
    if (release.empty()) {
        release = "unknown";
    }
    ctx.io.out.write("KMB firmware release " + release + "\n");
    ctx.io.out.write("Running image: primary\n");
    ctx.io.out.write(std::string("Diagnostic build: kmbdiag ") + kDiagnosticRelease + "\n");
    return 0;
}

int rmmod(const ProgramArgs& args, ProgramContext& ctx)
{
    if (args.size() < 2) {
        ctx.io.err.write("Usage: rmmod modulename ...\n");
        return 1;
    }
    int status = 0;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (name.size() > 1 && name[0] == '-') {
            ctx.io.err.write("rmmod: ERROR: unknown option '" + name + "'\n");
            return 1;
        }
        if (ctx.modules == nullptr || !ctx.modules->unload(name)) {
            ctx.io.err.write("rmmod: ERROR: Module " + name + " is not currently loaded\n");
            status = 1;
        }
    }
    return status;
}

struct Program {
    std::string_view path;
    ProgramMain main;
};

// Every folder below is on the shell's search path, so a bare name finds these too. A program
// the card gains is one function above and one row here.
constexpr Program kPrograms[] = {
    {"/bin/rm", rm},
    {"/usr/local/bin/version.sh", version_script},
    {"/usr/local/bin/fw_printenv", fw_printenv},
    {"/usr/local/bin/version", version},
    {"/sbin/rmmod", rmmod},
};

} // namespace

ProgramMain find_program(const std::string& name)
{
    const bool has_folder = name.find('/') != std::string::npos;
    for (const Program& p : kPrograms) {
        const std::string_view base = p.path.substr(p.path.rfind('/') + 1);
        if (has_folder ? name == p.path : name == base) {
            return p.main;
        }
    }
    return nullptr;
}

} // namespace kmb::sim

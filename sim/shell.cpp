#include "sim/shell.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sim/boot_env.h"
#include "sim/card_fs.h"
#include "sim/config.h"
#include "sim/open_file.h"
#include "sim/trace.h"

namespace kmb::sim {

namespace {

// Longer lines than this are refused whole: the diagnostic's own commands are a few dozen
// characters, and anything near this size is a runaway buffer, not a command.
constexpr std::size_t kMaxLine = 4096;

// The card's shell runs the diagnostic's commands from the root folder.
constexpr std::string_view kWorkingFolder = "/";

constexpr std::string_view kReleaseFile = "/etc/version";
// The version script reads only the start of the release file; a release is a short word.
constexpr std::size_t kMaxReleaseRead = 4096;

// The build of the diagnostic that this card image carries.

constexpr int kStatusSyntax = 2;
constexpr int kStatusNotFound = 127;

int wait_status(int exit_code) { return (exit_code & 0xff) << 8; }

// Where one of a command's standard streams ends up: the console's stdio stream, so that its
// text keeps its place among what the program printed, a file of the card, or nowhere.
class Sink {
public:
    explicit Sink(FILE* console) : console_(console) {}

    void redirect(std::shared_ptr<OpenFile> file)
    {
        file_ = std::move(file);
        discard_ = false;
    }
    void discard()
    {
        file_.reset();
        discard_ = true;
    }

    void write(std::string_view text)
    {
        if (discard_) {
            return;
        }
        if (file_ == nullptr) {
            std::fwrite(text.data(), 1, text.size(), console_);
            return;
        }
        while (!text.empty()) {
            const ssize_t n = file_->write(text.data(), text.size());
            if (n <= 0) {
                return; // a full card file system loses the rest, as it would on the card
            }
            text.remove_prefix(static_cast<std::size_t>(n));
        }
    }

private:
    FILE* console_;
    std::shared_ptr<OpenFile> file_; // shared by both streams after "2>&1"
    bool discard_ = false;
};

struct Streams {
    Sink out;
    Sink err;
};

// ---- The command line, as sh reads it ----------------------------------------------------

struct Redirection {
    int fd;           // 1 or 2
    bool append;      // ">>" rather than ">"
    int same_as;      // ">&1", "2>&1": the descriptor to share, or -1 for a file
    std::string target;
};

struct Command {
    std::vector<std::string> words;
    std::vector<Redirection> redirections;
};

class Parser {
public:
    explicit Parser(std::string_view line) : line_(line) {}

    // Fills `command`; on a line the card's shell would refuse, returns false with `error`
    // holding the message without its "sh: " prefix.
    bool parse(Command& command, std::string& error)
    {
        while (pos_ < line_.size()) {
            const char c = line_[pos_];
            if (c == ' ' || c == '\t') {
                if (!end_word(command, error)) {
                    return false;
                }
                ++pos_;
            } else if (c == '#' && !in_word_) {
                break; // a comment runs to the end of the line
            } else if (c == '\'' || c == '"') {
                if (!quoted(c, error)) {
                    return false;
                }
            } else if (c == '\\') {
                if (pos_ + 1 >= line_.size()) {
                    error = "syntax error: line continuation is not supported";
                    return false;
                }
                start_word();
                word_quoted_ = true;
                word_ += line_[pos_ + 1];
                pos_ += 2;
            } else if (c == '>') {
                if (!redirection(command, error)) {
                    return false;
                }
            } else if (const char* what = unsupported(c); what != nullptr) {
                error = std::string(what) + " is not supported by this shell";
                return false;
            } else {
                start_word();
                word_ += c;
                ++pos_;
            }
        }
        if (!end_word(command, error)) {
            return false;
        }
        if (pending_ != nullptr) {
            error = "syntax error: newline unexpected";
            return false;
        }
        return true;
    }

private:
    static const char* unsupported(char c)
    {
        switch (c) {
        case '|': return "a pipe ('|')";
        case ';': return "a command list (';')";
        case '&': return "'&'";
        case '<': return "input redirection ('<')";
        case '(':
        case ')': return "a subshell ('(')";
        case '`': return "command substitution ('`')";
        case '$': return "expansion ('$')";
        case '*':
        case '?':
        case '[': return "a file name pattern";
        case '\n': return "a command list (newline)";
        default: return nullptr;
        }
    }

    void start_word()
    {
        if (!in_word_) {
            in_word_ = true;
            word_quoted_ = false;
            word_.clear();
        }
    }

    bool quoted(char quote, std::string& error)
    {
        start_word();
        word_quoted_ = true;
        ++pos_;
        while (pos_ < line_.size() && line_[pos_] != quote) {
            char c = line_[pos_];
            if (quote == '"') {
                if (c == '$' || c == '`') {
                    error = std::string(unsupported(c)) + " is not supported by this shell";
                    return false;
                }
                // Inside double quotes a backslash escapes only the characters sh gives a
                // meaning there; before any other it stays.
                if (c == '\\' && pos_ + 1 < line_.size() &&
                    std::strchr("\"\\$`", line_[pos_ + 1]) != nullptr) {
                    c = line_[++pos_];
                }
            }
            word_ += c;
            ++pos_;
        }
        if (pos_ >= line_.size()) {
            error = "syntax error: unterminated quoted string";
            return false;
        }
        ++pos_; // the closing quote
        return true;
    }

    bool redirection(Command& command, std::string& error)
    {
        int fd = 1;
        // A lone unquoted digit right before '>' names the descriptor ("2>file"); anywhere
        // else a digit is part of a word.
        if (in_word_ && !word_quoted_ && word_.size() == 1 && word_[0] >= '0' && word_[0] <= '9') {
            fd = word_[0] - '0';
            in_word_ = false;
            if (fd != 1 && fd != 2) {
                error = "redirection of descriptor " + std::to_string(fd) + " is not supported by this shell";
                return false;
            }
        } else if (!end_word(command, error)) {
            return false;
        }
        if (pending_ != nullptr) {
            error = "syntax error: \">\" unexpected";
            return false;
        }
        ++pos_;
        bool append = false;
        if (pos_ < line_.size() && line_[pos_] == '>') {
            append = true;
            ++pos_;
        }
        if (!append && pos_ + 1 < line_.size() && line_[pos_] == '&' && (line_[pos_ + 1] == '1' || line_[pos_ + 1] == '2') &&
            (pos_ + 2 == line_.size() || line_[pos_ + 2] == ' ' || line_[pos_ + 2] == '\t')) {
            command.redirections.push_back({fd, false, line_[pos_ + 1] - '0', {}});
            pos_ += 2;
            return true;
        }
        if (pos_ < line_.size() && (line_[pos_] == '&' || line_[pos_] == '|' || line_[pos_] == '>')) {
            error = std::string("redirection '>") + (append ? ">" : "") + line_[pos_] +
                    "' is not supported by this shell";
            return false;
        }
        command.redirections.push_back({fd, append, -1, {}});
        pending_ = &command.redirections.back();
        return true;
    }

    bool end_word(Command& command, std::string& error)
    {
        if (!in_word_) {
            return true;
        }
        in_word_ = false;
        if (pending_ != nullptr) {
            pending_->target = word_;
            pending_ = nullptr;
            return true;
        }
        if (command.words.empty() && !word_quoted_ && is_assignment(word_)) {
            error = "variable assignment ('" + word_ + "') is not supported by this shell";
            return false;
        }
        command.words.push_back(word_);
        return true;
    }

    static bool is_assignment(const std::string& word)
    {
        const std::size_t eq = word.find('=');
        if (eq == std::string::npos || eq == 0) {
            return false;
        }
        for (std::size_t i = 0; i < eq; ++i) {
            const char c = word[i];
            const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
            if (!letter && !(i > 0 && c >= '0' && c <= '9')) {
                return false;
            }
        }
        return true;
    }

    std::string_view line_;
    std::size_t pos_ = 0;
    std::string word_;
    bool in_word_ = false;
    bool word_quoted_ = false;
    Redirection* pending_ = nullptr; // a redirection still waiting for its file name
};

std::string card_path(const std::string& path)
{
    if (path.empty() || path.front() == '/') {
        return path;
    }
    return std::string(kWorkingFolder) + path;
}

// ---- The programs of the card that the diagnostic runs -----------------------------------

using Args = std::vector<std::string>;

struct Context {
    CardFs& fs;
    BootEnv& env;
    Streams& io;
};

int rm(const Args& args, Context& ctx)
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
        if (ctx.fs.remove(card_path(f)) == 0) {
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

int version_script(const Args& args, Context& ctx)
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

int fw_printenv(const Args& args, Context& ctx)
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
int version(const Args&, Context& ctx)
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

struct Program {
    std::string_view path;
    int (*main)(const Args&, Context&);
};

// Every folder below is on the shell's search path, so a bare name finds these too.
constexpr Program kPrograms[] = {
    {"/bin/rm", rm},
    {"/usr/local/bin/version.sh", version_script},
    {"/usr/local/bin/fw_printenv", fw_printenv},
    {"/usr/local/bin/version", version},
};

const Program* find_program(const std::string& name)
{
    const bool has_folder = name.find('/') != std::string::npos;
    for (const Program& p : kPrograms) {
        const std::string_view base = p.path.substr(p.path.rfind('/') + 1);
        if (has_folder ? name == p.path : name == base) {
            return &p;
        }
    }
    return nullptr;
}

} // namespace

int Shell::run(const char* command_line)
{
    if (command_line == nullptr) {
        return 1; // as system(NULL): a shell is there
    }
    const std::string_view line(command_line);
    if (line.size() > kMaxLine) {
        trace_.note("sh " + std::string(line.substr(0, kMaxLine)) + "...");
        std::fputs("sh: command line too long\n", stderr);
        return wait_status(kStatusSyntax);
    }
    trace_.note("sh " + std::string(line));

    Command command;
    std::string error;
    if (!Parser(line).parse(command, error)) {
        std::fprintf(stderr, "sh: %s\n", error.c_str());
        return wait_status(kStatusSyntax);
    }

    // The shell sets up the redirections, in order, before it looks for the program: the
    // file exists afterwards even when the program does not.
    Streams io{Sink(stdout), Sink(stderr)};
    for (const Redirection& r : command.redirections) {
        Sink& sink = r.fd == 1 ? io.out : io.err;
        if (r.same_as >= 0) {
            sink = r.same_as == 1 ? io.out : io.err;
            continue;
        }
        const std::string path = card_path(r.target);
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
    const Program* program = find_program(command.words.front());
    if (program == nullptr) {
        io.err.write("sh: " + command.words.front() + ": not found\n");
        return wait_status(kStatusNotFound);
    }
    Context ctx{fs_, env_, io};
    return wait_status(program->main(command.words, ctx));
}

} // namespace kmb::sim

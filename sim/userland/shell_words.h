// One command line of the card's shell, read as sh reads it: words with their quotes and
// backslashes, a comment, and redirections of standard output and standard error. Whatever sh
// would do that this shell does not (pipes, lists, expansions, patterns, assignments) is
// refused whole, so that nothing runs half of a line.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kmb::sim {

// Longer lines than this are refused whole: the diagnostic's own commands are a few dozen
// characters, and anything near this size is a runaway buffer, not a command.
inline constexpr std::size_t kMaxShellLine = 4096;

struct ShellRedirection {
    int fd;             // 1 or 2
    bool append;        // ">>" rather than ">"
    int same_as;        // ">&1", "2>&1": the descriptor to share, or -1 for a file
    std::string target; // the file, as written
};

struct ShellCommand {
    std::vector<std::string> words;
    std::vector<ShellRedirection> redirections; // in the order sh applies them
};

// Fills `command` from `line`; on a line the card's shell would refuse, returns false with
// `error` holding the message without its "sh: " prefix.
bool parse_shell_line(std::string_view line, ShellCommand& command, std::string& error);

} // namespace kmb::sim

#include "sim/userland/shell_words.h"

#include <cstring>

namespace kmb::sim {

namespace {

class Parser {
public:
    explicit Parser(std::string_view line) : line_(line) {}

    bool parse(ShellCommand& command, std::string& error)
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

    bool redirection(ShellCommand& command, std::string& error)
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

    bool end_word(ShellCommand& command, std::string& error)
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
    // A redirection still waiting for its file name. The vector does not grow while one
    // waits: a second '>' before the name is refused.
    ShellRedirection* pending_ = nullptr;
};

} // namespace

bool parse_shell_line(std::string_view line, ShellCommand& command, std::string& error)
{
    if (line.size() > kMaxShellLine) {
        error = "command line too long";
        return false;
    }
    return Parser(line).parse(command, error);
}

} // namespace kmb::sim

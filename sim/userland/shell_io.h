// Where a command of the card's shell reads and writes: its two output streams, each the
// console, a file of the card or nowhere, and the folder its relative paths start from.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "sim/core/open_file.h"

namespace kmb::sim {

// One of a command's standard output streams. The console is the process's stdio stream, so
// that the text keeps its place among what the program around the shell printed.
class ShellSink {
public:
    explicit ShellSink(FILE* console) : console_(console) {}

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
    void write(std::string_view text);

private:
    FILE* console_;
    std::shared_ptr<OpenFile> file_; // shared by both streams after "2>&1"
    bool discard_ = false;
};

struct ShellStreams {
    ShellSink out;
    ShellSink err;
};

// The card path of a path a command names, relative ones taken from the working folder.
std::string shell_card_path(const std::string& path);

} // namespace kmb::sim

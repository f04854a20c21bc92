// Captures what the code under test writes to the process's standard output and standard
// error, at the descriptor level, so that printf, fwrite, perror and anything written to
// descriptors 1 and 2 directly all land in the capture, in the order each stream got them.
#pragma once

#include <cstdio>
#include <string>

namespace kmb::test {

// A FILE* that writes into memory, for code that prints on a stream it is given.
class MemoryFile {
public:
    MemoryFile();
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    FILE* file() { return file_; }
    // What was written so far.
    std::string text();

private:
    char* data_ = nullptr;
    std::size_t size_ = 0;
    FILE* file_;
};

class CapturedOutput {
public:
    // Starts capturing at once.
    CapturedOutput();
    ~CapturedOutput();
    CapturedOutput(const CapturedOutput&) = delete;
    CapturedOutput& operator=(const CapturedOutput&) = delete;

    // Puts descriptors 1 and 2 back and collects the text; later calls do nothing. Stop before
    // asserting: a failing assertion prints on standard output and would land in the capture.
    void stop();

    // The captured text; each stops the capture first.
    const std::string& out();
    const std::string& err();

private:
    struct Stream {
        int fd = -1;        // 1 or 2
        int saved = -1;     // the descriptor it had before
        int file = -1;      // the temporary file that takes its place
        std::string text;
    };
    static void begin(Stream& s, int fd);
    static void end(Stream& s);

    Stream out_;
    Stream err_;
    bool active_ = false;
};

} // namespace kmb::test

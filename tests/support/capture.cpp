#include "support/capture.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace kmb::test {

namespace {

int temporary_file()
{
    const char* dir = std::getenv("TMPDIR");
    std::string path = std::string(dir != nullptr && dir[0] != '\0' ? dir : "/tmp") + "/kmb-capture-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
        throw std::runtime_error("CapturedOutput: cannot create a temporary file in " + path);
    }
    ::unlink(path.c_str()); // gone with its last descriptor
    return fd;
}

} // namespace

MemoryFile::MemoryFile() : file_(open_memstream(&data_, &size_)) {}

MemoryFile::~MemoryFile()
{
    std::fclose(file_);
    std::free(data_);
}

std::string MemoryFile::text()
{
    std::fflush(file_);
    return std::string(data_, size_);
}

CapturedOutput::CapturedOutput()
{
    std::fflush(stdout);
    std::fflush(stderr);
    begin(out_, STDOUT_FILENO);
    try {
        begin(err_, STDERR_FILENO);
    } catch (...) {
        end(out_);
        throw;
    }
    active_ = true;
}

CapturedOutput::~CapturedOutput() { stop(); }

void CapturedOutput::begin(Stream& s, int fd)
{
    s.fd = fd;
    s.file = temporary_file();
    s.saved = ::dup(fd);
    if (s.saved < 0 || ::dup2(s.file, fd) < 0) {
        if (s.saved >= 0) {
            ::close(s.saved);
        }
        ::close(s.file);
        s.saved = s.file = -1;
        throw std::runtime_error("CapturedOutput: cannot redirect a standard descriptor");
    }
}

void CapturedOutput::end(Stream& s)
{
    ::dup2(s.saved, s.fd);
    ::close(s.saved);
    s.saved = -1;
    s.text.clear();
    char buf[4096];
    off_t at = 0;
    for (;;) {
        const ssize_t n = ::pread(s.file, buf, sizeof buf, at);
        if (n <= 0) {
            break;
        }
        s.text.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
    ::close(s.file);
    s.file = -1;
}

void CapturedOutput::stop()
{
    if (!active_) {
        return;
    }
    active_ = false;
    std::fflush(stdout);
    std::fflush(stderr);
    end(out_);
    end(err_);
}

const std::string& CapturedOutput::out()
{
    stop();
    return out_.text;
}

const std::string& CapturedOutput::err()
{
    stop();
    return err_.text;
}

} // namespace kmb::test

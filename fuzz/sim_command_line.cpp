// kmbdiag-sim's command line: the input is the argument vector, one argument per
// NUL-separated piece, after the program's name.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sim/app/command_line.h"
#include "sim/core/config.h"

namespace {

constexpr std::size_t kMaxArgs = 64;

FILE* sink()
{
    static FILE* null = std::fopen("/dev/null", "w");
    return null;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    std::vector<std::string> words = {"kmbdiag-sim"};
    std::string word;
    for (std::size_t i = 0; i < size && words.size() < kMaxArgs; ++i) {
        if (data[i] == '\0') {
            words.push_back(word);
            word.clear();
        } else {
            word += static_cast<char>(data[i]);
        }
    }
    if (!word.empty() && words.size() < kMaxArgs) {
        words.push_back(word);
    }
    std::vector<const char*> argv;
    for (const std::string& w : words) {
        argv.push_back(w.c_str());
    }
    argv.push_back(nullptr);
    kmb::sim::SimConfig config;
    kmb::sim::parse_command_line(static_cast<int>(words.size()), argv.data(), config, sink(), sink());
    return 0;
}

#include "fuzz/support/fuzz_card.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <string>
#include <system_error>

#include "sim/storage/scratch_folder.h"

namespace kmb::fuzz {

namespace {

// 2026-12-06 08:00:00 UTC, the clock the test suite's cards start with too.
constexpr time_t kStartEpoch = 1796544000;
// The memory test sizes its block by probing in steps of 4 MiB up to all the card has and
// then writes a quarter of it, pass after pass: on a 64 MiB card that is some 400 MiB of
// zeroed probes and most of an input's time, though no input can change the card's size. A
// smaller card takes every path of the test (its block still reaches the dead address line).
constexpr unsigned kFuzzRamMib = 16;

// Where the per-process folders go: KMB_FUZZ_STATE_PARENT (scripts/fuzz.sh sets it and removes
// it afterwards, since libFuzzer ends a run with _Exit and no exit handler runs then), else
// memory when the machine has /dev/shm: the card's state files are rewritten for every input,
// and a disk would make that the slowest part of a run.
std::filesystem::path state_parent()
{
    const char* given = std::getenv("KMB_FUZZ_STATE_PARENT");
    if (given != nullptr && given[0] != '\0') {
        return given;
    }
    std::error_code ec;
    return std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm" : std::filesystem::temp_directory_path();
}

// The process's own state folder, made at the first input and removed when the process exits.
const sim::ScratchFolder& state_folder()
{
    static const sim::ScratchFolder folder(state_parent(), "kmb-fuzz");
    return folder;
}

} // namespace

FuzzCard::FuzzCard(std::vector<sim::Fault> faults, std::vector<std::pair<std::string, std::string>> env)
    : host_descriptors_(host_descriptor_count())
{
    // Power off and wipe: the card starts as a new one, whatever the last input wrote.
    state_folder().wipe();
    sim::SimConfig config;
    config.state_dir = state_folder().path().string();
    config.speed = 0;
    config.start_time = kStartEpoch;
    config.ram_mib = kFuzzRamMib;
    config.faults = std::move(faults);
    config.env = std::move(env);
    installed_.emplace(config);
}

FuzzCard::~FuzzCard()
{
    // A reset takes what the program held with it; otherwise nothing may be left open.
    if (!card().clock().halted() && os().open_descriptor_count() != 0) {
        std::fprintf(stderr, "kmb fuzz: the diagnostic left open: %s\n", os().open_descriptor_names().c_str());
        std::abort();
    }
    installed_.reset();
    const int now = host_descriptor_count();
    if (now > host_descriptors_) {
        std::fprintf(stderr, "kmb fuzz: the simulated card leaked %d host descriptor(s)\n", now - host_descriptors_);
        std::abort();
    }
}

std::vector<sim::Fault> faults_from_header(const uint8_t* data, std::size_t size, std::size_t& used)
{
    std::vector<sim::Fault> faults;
    used = 0;
    if (size == 0) {
        return faults;
    }
    const auto catalogue = sim::fault_catalogue();
    const std::size_t count = std::min<std::size_t>(data[0] % (kMaxFaults + 1), size - 1);
    used = 1 + count;
    for (std::size_t i = 1; i <= count && !catalogue.empty(); ++i) {
        const sim::Fault f = catalogue[data[i] % catalogue.size()].fault;
        if (std::find(faults.begin(), faults.end(), f) == faults.end()) {
            faults.push_back(f);
        }
    }
    return faults;
}

void silence_stdout()
{
    if (std::freopen("/dev/null", "w", stdout) == nullptr) {
        std::perror("kmb fuzz: cannot silence standard output");
    }
}

int host_descriptor_count()
{
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return 0;
    }
    int count = 0;
    while (const dirent* entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(dir);
    return count - 1; // the listing's own
}

std::string c_text(const uint8_t* data, std::size_t size, std::size_t max)
{
    const std::size_t n = size < max ? size : max;
    std::string text(reinterpret_cast<const char*>(data), n);
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        text.resize(nul);
    }
    return text;
}

} // namespace kmb::fuzz

// What a run of kmbdiag-sim writes for the engineer besides the console: the trace, the
// waveform, the console log and the report. Each file is opened before the card starts, so a
// path that cannot be written is refused before anything runs.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "sim/app/run_report.h"
#include "sim/app/terminal_lines.h"
#include "sim/app/vcd_writer.h"
#include "sim/card/card.h"
#include "sim/core/config.h"
#include "sim/core/trace_file.h"

namespace kmb::sim {

class RunOutputs {
public:
    // Throws std::runtime_error naming the file that cannot be opened.
    explicit RunOutputs(const SimConfig& config);
    ~RunOutputs();
    RunOutputs(const RunOutputs&) = delete;
    RunOutputs& operator=(const RunOutputs&) = delete;

    // The card is up: its trace goes to the files from now on, until finish(), which comes
    // before the card goes.
    void attach(Card& card);
    // Bytes the program put on the console line at card time `us`.
    void console(int64_t us, const char* data, std::size_t size);
    // The run ended with `status`: the report is written and every file closed. False, with
    // the reason on `err`, when a file could not be written in full.
    bool finish(Card& card, int status, FILE* err);

private:
    struct File {
        FILE* stream = nullptr;
        bool own = true; // standard error is not closed
        const char* what = "";
        std::string path;
    };
    File open(const std::string& path, const char* what);
    bool close(File& file, bool write_failed, FILE* err);
    void console_line(int64_t us, std::string_view line);

    const SimConfig& config_;
    File trace_, vcd_, report_, console_log_;
    std::unique_ptr<TraceFile> trace_file_;
    std::unique_ptr<VcdWriter> vcd_writer_;
    TerminalLines terminal_;
    std::vector<Verdict> verdicts_;
    bool console_log_failed_ = false;
};

} // namespace kmb::sim

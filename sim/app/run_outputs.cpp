#include "sim/app/run_outputs.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

namespace kmb::sim {

RunOutputs::RunOutputs(const SimConfig& config)
    : config_(config), terminal_([this](int64_t us, std::string_view line) { console_line(us, line); })
{
    try {
        trace_ = open(config.trace_path, "trace");
        vcd_ = open(config.vcd_path, "waveform");
        report_ = open(config.report_path, "report");
        console_log_ = open(config.console_log_path, "console log");
    } catch (...) {
        for (File* f : {&trace_, &vcd_, &report_, &console_log_}) {
            close(*f, false, nullptr);
        }
        throw;
    }
    if (trace_.stream != nullptr) {
        trace_file_ = std::make_unique<TraceFile>(trace_.stream);
    }
    if (vcd_.stream != nullptr) {
        vcd_writer_ = std::make_unique<VcdWriter>(vcd_.stream, config.start_time);
    }
}

RunOutputs::~RunOutputs()
{
    // A run that ended without finish() (the card could not be built) keeps what was written.
    vcd_writer_.reset();
    for (File* f : {&trace_, &vcd_, &report_, &console_log_}) {
        close(*f, false, nullptr);
    }
}

RunOutputs::File RunOutputs::open(const std::string& path, const char* what)
{
    File file;
    file.what = what;
    file.path = path;
    if (path.empty()) {
        return file;
    }
    if (path == "-" && std::strcmp(what, "trace") == 0) {
        file.stream = stderr;
        file.own = false;
        return file;
    }
    file.stream = std::fopen(path.c_str(), "we");
    if (file.stream == nullptr) {
        throw std::runtime_error(std::string("cannot write the ") + what + " to '" + path + "': " + std::strerror(errno));
    }
    return file;
}

bool RunOutputs::close(File& file, bool write_failed, FILE* err)
{
    if (file.stream == nullptr) {
        return true;
    }
    const bool flushed = std::fflush(file.stream) == 0 && std::ferror(file.stream) == 0;
    const bool closed = !file.own || std::fclose(file.stream) == 0;
    const int error = errno;
    file.stream = nullptr;
    const bool ok = flushed && closed && !write_failed;
    if (!ok && err != nullptr) {
        std::fprintf(err, "kmbdiag-sim: the %s in '%s' is incomplete: %s\n", file.what, file.path.c_str(),
                     std::strerror(write_failed ? EIO : error));
    }
    return ok;
}

void RunOutputs::attach(Card& card)
{
    card.trace().add_sink(trace_file_.get());
    card.trace().add_sink(vcd_writer_.get());
}

void RunOutputs::console(int64_t us, const char* data, std::size_t size)
{
    if (report_.stream != nullptr || console_log_.stream != nullptr) {
        terminal_.feed(us, std::string_view(data, size));
    }
}

void RunOutputs::console_line(int64_t us, std::string_view line)
{
    if (console_log_.stream != nullptr && !console_log_failed_) {
        console_log_failed_ = std::fwrite(line.data(), 1, line.size(), console_log_.stream) != line.size() ||
                              std::fputc('\n', console_log_.stream) == EOF;
    }
    if (report_.stream != nullptr) {
        if (std::optional<Verdict> verdict = verdict_of(line, us)) {
            verdicts_.push_back(std::move(*verdict));
        }
    }
}

bool RunOutputs::finish(Card& card, int status, FILE* err)
{
    const int64_t now = card.clock().now_us();
    terminal_.finish(now);
    card.trace().remove_sink(trace_file_.get());
    card.trace().remove_sink(vcd_writer_.get());
    bool ok = true;
    if (vcd_writer_) {
        vcd_writer_->finish();
    }
    if (report_.stream != nullptr) {
        RunRecord record;
        record.version = kDiagnosticRelease;
        record.start_time = config_.start_time;
        record.card_us = now;
        record.exit_status = status;
        record.verdicts = verdicts_;
        record.fail_lamp = card.fixture().fail_lamp();
        record.pass_lamp = card.fixture().pass_lamp();
        const Faults& faults = card.faults();
        for (Fault f : config_.faults) {
            record.faults.push_back({f, std::nullopt, faults.fired(f), faults.first_fired_us(f)});
        }
        for (const TimedFault& timed : config_.timed_faults) {
            record.faults.push_back({timed.fault, timed.window, faults.fired(timed.fault), faults.first_fired_us(timed.fault)});
        }
        const std::string json = run_report_json(record);
        const bool written = std::fwrite(json.data(), 1, json.size(), report_.stream) == json.size();
        ok = close(report_, !written, err) && ok;
    }
    ok = close(trace_, trace_file_ && trace_file_->failed(), err) && ok;
    ok = close(vcd_, vcd_writer_ && vcd_writer_->failed(), err) && ok;
    ok = close(console_log_, console_log_failed_, err) && ok;
    return ok;
}

} // namespace kmb::sim

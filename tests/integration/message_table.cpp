#include "integration/message_table.h"

#include <sstream>

#include "integration/diagnostic_messages.h"
#include "integration/message_scan.h"

namespace kmb::test {
namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The verdict's hint lines must follow it wherever it failed.
void check_hints(const Verdict& v, const RunOutput& r, const std::string& shown, std::vector<std::string>& problems)
{
    const std::vector<std::string> lines = lines_of(shown);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!printed(lines[i], v.failed_line)) {
            continue;
        }
        for (std::size_t h = 0; h < v.hints.size(); ++h) {
            const std::string want = v.hints[h].substr(0, v.hints[h].size() - 1);
            if (i + 1 + h >= lines.size() || lines[i + 1 + h] != want) {
                problems.push_back(r.fault + ", " + r.run + ": " + v.failed_line + " is not followed by " + want);
            }
        }
    }
}

std::string code_span(std::string text)
{
    while (!text.empty() && text.front() == '\n') {
        text.erase(0, 1);
    }
    std::string escaped;
    for (char c : text) {
        escaped += c == '\n' ? std::string("\\n") : c == '|' ? std::string("\\|") : std::string(1, c);
    }
    return "`" + escaped + "`";
}

std::string provoked_by(const std::set<std::string>& faults, const char* why_none)
{
    if (faults.empty()) {
        return std::string("none: ") + why_none;
    }
    std::string cell;
    for (const std::string& f : faults) {
        cell += (cell.empty() ? "" : ", ") + ("`" + f + "`");
    }
    return cell;
}

} // namespace

Provokers find_provokers(const std::vector<RunOutput>& runs)
{
    Provokers p;
    p.messages.resize(diagnostic_messages().size());
    p.verdicts.resize(diagnostic_verdicts().size());
    for (const RunOutput& r : runs) {
        const std::string shown = as_shown(r.out) + "\n" + as_shown(r.err);
        const auto seen = [&](const std::string& format, std::set<std::string>& faults) {
            if (!printed(shown, format)) {
                return;
            }
            if (r.fault.empty()) {
                p.problems.push_back("the healthy card printed " + format + " in " + r.run);
            } else {
                faults.insert(r.fault);
            }
        };
        for (std::size_t i = 0; i < diagnostic_messages().size(); ++i) {
            const Message& m = diagnostic_messages()[i];
            seen(*m.shown != '\0' ? m.shown : m.text, p.messages[i]);
        }
        for (std::size_t i = 0; i < diagnostic_verdicts().size(); ++i) {
            seen(diagnostic_verdicts()[i].failed_line, p.verdicts[i]);
            check_hints(diagnostic_verdicts()[i], r, shown, p.problems);
        }
    }
    return p;
}

std::string message_table(const Provokers& provokers)
{
    std::ostringstream md;
    md << "| Verdict, with its hint lines | Faults that make the card print it |\n|---|---|\n";
    for (std::size_t i = 0; i < diagnostic_verdicts().size(); ++i) {
        const Verdict& v = diagnostic_verdicts()[i];
        md << "| " << code_span(v.failed_line);
        for (const std::string& hint : v.hints) {
            md << "<br>" << code_span(hint.substr(0, hint.size() - 1));
        }
        md << " | " << provoked_by(provokers.verdicts[i], v.why_none) << " |\n";
    }
    md << "\n| Message (as the code prints it) | Faults that make the card print it |\n|---|---|\n";
    for (std::size_t i = 0; i < diagnostic_messages().size(); ++i) {
        const Message& m = diagnostic_messages()[i];
        md << "| " << code_span(m.text);
        if (*m.shown != '\0') {
            md << " as " << code_span(m.shown);
        }
        md << " | " << provoked_by(provokers.messages[i], m.why_none) << " |\n";
    }
    return md.str();
}

} // namespace kmb::test

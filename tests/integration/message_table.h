// Which faults make the card print each failure message and verdict of the diagnostic: read
// from what the coverage runs printed, and written as the report's second table.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace kmb::test {

// What one run printed: a fault's, or the healthy card's when `fault` is empty.
struct RunOutput {
    std::string fault;
    std::string run;
    std::string out;
    std::string err;
};

struct Provokers {
    std::vector<std::set<std::string>> messages; // by row of diagnostic_messages()
    std::vector<std::set<std::string>> verdicts; // by row of diagnostic_verdicts()
    // A failed verdict not followed by its hint lines, or a failure printed on a healthy card.
    std::vector<std::string> problems;
};

Provokers find_provokers(const std::vector<RunOutput>& runs);

std::string message_table(const Provokers& provokers);

} // namespace kmb::test

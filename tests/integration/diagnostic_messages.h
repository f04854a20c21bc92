// Every failure message and verdict the diagnostic can print, as the card's code has it, with
// what must provoke it: a fault of the simulated card's catalogue, or a reason why none can.
// The fault-coverage test reads the texts out of src/ and fails when one has no row here, and
// runs every fault to find which of them make the card print each row.
#pragma once

#include <string>
#include <vector>

namespace kmb::test {

struct Message {
    // The text as the code hands it to printf or perror: a printf format, or perror's text
    // without the ": error" that follows it.
    const char* text;
    // Empty when some fault must provoke it; otherwise why no simulated fault can, and how sure.
    const char* why_none = "";
    // What is looked for instead of `text`, when the format alone also fits a healthy card's line.
    const char* shown = "";
};

// A test's failing verdict, and the hint lines that must follow it.
struct Verdict {
    const char* label;        // as the code has it (the Ethernet runs compose theirs around it)
    const char* failed_line;  // the verdict line as a printf format
    std::vector<std::string> hints;
    const char* why_none = "";
};

// Texts the scan of src/ finds that are no failure: prompts, progress and what goes elsewhere.
struct NotAFailure {
    const char* text;
    const char* why;
};

const std::vector<Message>& diagnostic_messages();
const std::vector<Verdict>& diagnostic_verdicts();
const std::vector<NotAFailure>& not_failures();

} // namespace kmb::test

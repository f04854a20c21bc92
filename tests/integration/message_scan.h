// The failure texts of the card's code, read out of its source, and whether a run printed one.
#pragma once

#include <string>
#include <vector>

namespace kmb::test {

struct SourceText {
    std::string text; // the literal with its escapes resolved
    std::string file; // as "src/board/memory.cpp"
};

// The string literals of src/ that the program prints as it fails or judges: those handed to
// printf, perror, fprintf, fputs and the card's own printing helpers, the texts of its tables
// (a line ending in a newline) and the verdicts' labels (a text ending in dots). Menus, the
// option listing and the result line's generic words are left out by file.
std::vector<SourceText> scan_source_texts();

// Whether some line of `output` starts with `format` (a printf format: each conversion takes
// any text; a leading newline is left out, and only the first line of the text is looked for).
bool printed(const std::string& output, const std::string& format);

// `output` as the operator's screen shows it: a backspace takes back the character before it.
std::string as_shown(const std::string& output);

} // namespace kmb::test

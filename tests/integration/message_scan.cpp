#include "integration/message_scan.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

namespace kmb::test {
namespace {

namespace fs = std::filesystem;

fs::path source_root()
{
    // This file sits in tests/integration/ of the source tree.
    return fs::path(__FILE__).parent_path().parent_path().parent_path();
}

// Files that print the menus, the option settings and the bare PASSED or FAILED word.
const std::set<std::string> kQuietFiles = {"src/menu/kmb_menu.cpp", "src/menu/top_menu.cpp", "src/diag/options.cpp",
                                           "src/diag/result_line.cpp"};

// A printf conversion: %d, %02x, %lld, %s.
const std::regex& conversion()
{
    static const std::regex pattern(R"(%[-+ #0]*[0-9]*(\.[0-9]+)?(hh|h|ll|l)?[diouxXcsp])");
    return pattern;
}

std::string unescape(const std::string& literal)
{
    std::string text;
    for (std::size_t i = 0; i < literal.size(); ++i) {
        if (literal[i] != '\\' || i + 1 == literal.size()) {
            text += literal[i];
            continue;
        }
        const char c = literal[++i];
        text += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return text;
}

// A format made only of conversions and line ends ("%s\n") prints texts that have rows of their own.
bool has_letter(const std::string& text)
{
    const std::string words = std::regex_replace(text, conversion(), "");
    return std::any_of(words.begin(), words.end(), [](unsigned char c) { return std::isalpha(c) != 0; });
}

void scan_line(const std::string& line, const std::string& file, std::vector<SourceText>& found)
{
    static const std::regex literal(R"re("((?:[^"\\]|\\.)*)")re");
    static const std::regex printing(R"re(\b(printf|perror|fprintf|fputs|print_line|failed_errno|failed_message)\s*\()re");
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line.compare(first, 2, "//") == 0 || line[first] == '#') {
        return;
    }
    for (auto it = std::sregex_iterator(line.begin(), line.end(), literal); it != std::sregex_iterator(); ++it) {
        const std::string raw = (*it)[1].str();
        const std::string before = line.substr(0, static_cast<std::size_t>(it->position()));
        const bool printed_here = std::regex_search(before, printing);
        const bool table_line = raw.size() >= 2 && raw.compare(raw.size() - 2, 2, "\\n") == 0;
        const bool label = raw.size() >= 4 && raw.compare(raw.size() - 4, 4, "....") == 0;
        const std::string text = unescape(raw);
        if ((printed_here || table_line || label) && has_letter(text)) {
            found.push_back({text, file});
        }
    }
}

std::string first_line(const std::string& format)
{
    const std::size_t start = format.find_first_not_of('\n');
    if (start == std::string::npos) {
        return {};
    }
    return format.substr(start, format.find('\n', start) - start);
}

std::regex line_pattern(const std::string& format)
{
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    std::string pattern = "^";
    const std::string line = first_line(format);
    std::size_t at = 0;
    for (auto it = std::sregex_iterator(line.begin(), line.end(), conversion()); it != std::sregex_iterator(); ++it) {
        const std::size_t pos = static_cast<std::size_t>(it->position());
        pattern += std::regex_replace(line.substr(at, pos - at), special, R"(\$&)") + ".*";
        at = pos + static_cast<std::size_t>(it->length());
    }
    pattern += std::regex_replace(line.substr(at), special, R"(\$&)");
    return std::regex(pattern);
}

} // namespace

std::vector<SourceText> scan_source_texts()
{
    std::vector<SourceText> found;
    const fs::path root = source_root();
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(root / "src")) {
        if (entry.path().extension() == ".cpp") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path& path : files) {
        const std::string file = fs::relative(path, root).generic_string();
        // The daemons' libraries report through return codes and the event log, not the console.
        if (kQuietFiles.count(file) != 0 || file.rfind("src/agent/", 0) == 0 || file.rfind("src/ipc/", 0) == 0 ||
            file.rfind("src/os/", 0) == 0) {
            continue;
        }
        std::ifstream in(path);
        for (std::string line; std::getline(in, line);) {
            scan_line(line, file, found);
        }
    }
    return found;
}

std::string as_shown(const std::string& output)
{
    std::string shown;
    for (char c : output) {
        if (c != '\b') {
            shown += c;
        } else if (!shown.empty() && shown.back() != '\n') {
            shown.pop_back();
        }
    }
    return shown;
}

bool printed(const std::string& output, const std::string& format)
{
    const std::regex pattern = line_pattern(format);
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (std::regex_search(line, pattern, std::regex_constants::match_continuous)) {
            return true;
        }
    }
    return false;
}

} // namespace kmb::test

// Whole files as text, for tests that lay out or read back a card's state folder.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace kmb::test {

// The file's bytes; "" when it cannot be read.
std::string read_text(const std::filesystem::path& path);
// Every regular file below `folder` (links not followed) with its text: a state folder's
// contents, to compare before and after a run.
std::map<std::filesystem::path, std::string> files_under(const std::filesystem::path& folder);
// Replaces the file with `text`, making its folders first.
void write_text(const std::filesystem::path& path, const std::string& text);

} // namespace kmb::test

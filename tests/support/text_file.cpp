#include "support/text_file.h"

#include <fstream>
#include <iterator>

namespace kmb::test {

std::string read_text(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::map<std::filesystem::path, std::string> files_under(const std::filesystem::path& folder)
{
    std::map<std::filesystem::path, std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        if (e.is_regular_file() && !e.is_symlink()) {
            files[e.path()] = read_text(e.path());
        }
    }
    return files;
}

void write_text(const std::filesystem::path& path, const std::string& text)
{
    if (path.has_parent_path()) {
        std::filesystem::create_directories(path.parent_path());
    }
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

} // namespace kmb::test

#include "sim/storage/scratch_folder.h"

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace kmb::sim {

ScratchFolder::ScratchFolder(const std::filesystem::path& parent, const std::string& prefix)
{
    std::string pattern = (parent / (prefix + "-XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::system_error(errno, std::generic_category(), "cannot create a state folder under '" + parent.string() + "'");
    }
    path_ = pattern;
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void ScratchFolder::wipe() const
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
        std::filesystem::remove_all(entry.path(), ec);
    }
}

} // namespace kmb::sim

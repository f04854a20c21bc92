// The boot loader's environment file of a state folder, as someone's editor or a damaged disk
// leaves it. Reading it either gives variables that the card's sector holds, or a refusal; what
// was read is saved and read back the same.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>

#include "sim/userland/boot_env.h"

namespace {

const std::filesystem::path& folder()
{
    static const std::filesystem::path made = [] {
        const char* parent = std::getenv("KMB_FUZZ_STATE_PARENT");
        std::string pattern = std::string(parent != nullptr && parent[0] != '\0' ? parent : "/tmp") +
                              "/kmb-fuzz-env-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("kmb fuzz: cannot create a folder for the environment");
            std::abort();
        }
        return std::filesystem::path(pattern);
    }();
    return made;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::filesystem::path file = folder() / "fw_env";
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                  static_cast<std::streamsize>(size));
    try {
        const kmb::sim::BootEnv env(file);
        if (env.used() > kmb::sim::BootEnv::kCapacity) {
            std::abort();
        }
        if (!env.save()) {
            std::abort();
        }
        if (kmb::sim::BootEnv(file).all() != env.all()) {
            std::abort();
        }
    } catch (const std::runtime_error&) {
        // A refusal that names the file is the answer to a damaged one.
    }
    return 0;
}

#include "integration/card_session.h"

#include <filesystem>
#include <system_error>

#include "menu/kmb_main.h"
#include "sim/card/installed_card.h"
#include "support/capture.h"

namespace kmb::test {

Session run_diagnostic(SimCard& card, const std::string& console)
{
    card.os().set_console_input(console);
    char name[] = "kmbdiag";
    char* argv[] = {name, nullptr};
    Session session;
    CapturedOutput capture;
    session.exit_status = sim::run_until_reset([&] { return kmb_main(1, argv); });
    session.out = capture.out();
    session.err = capture.err();
    return session;
}

std::set<std::string> card_files(SimCard& card)
{
    std::set<std::string> files;
    const std::filesystem::path& root = card.card().fs().root();
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_regular_file(ec)) {
            files.insert((std::filesystem::path("/") / it->path().lexically_relative(root)).string());
        }
    }
    return files;
}

} // namespace kmb::test

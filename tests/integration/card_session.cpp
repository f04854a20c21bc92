#include "integration/card_session.h"

#include <filesystem>
#include <system_error>

#include "diag/options.h"
#include "menu/kmb_main.h"
#include "sim/card/installed_card.h"
#include "support/capture.h"

namespace kmb::test {
namespace {

// The spinner's phase is a static of the program: a new process starts it at "|", a run in
// this process where the last run left it. One step, unseen, tells the phase; as many more
// as bring it round to "|" leave it where a new process has it.
void spinner_to_start()
{
    std::size_t phase = 0;
    {
        CapturedOutput unseen;
        spinner_step();
        const std::string& shown = unseen.out();
        phase = shown.empty() ? 0 : std::string("|/-\\").find(shown.front()) % 4;
    }
    CapturedOutput unseen;
    for (std::size_t i = phase; i % 4 != 0; ++i) {
        spinner_step();
    }
}

} // namespace

Session run_diagnostic(SimCard& card, const std::string& console)
{
    card.os().set_console_input(console);
    char name[] = "kmbdiag";
    char* argv[] = {name, nullptr};
    spinner_to_start();
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

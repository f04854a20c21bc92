// The yes/no words of Loop, Stop and the mode switches. Besides not crashing, the answer must
// come from the first three characters alone: the words are matched on a fixed number of
// leading characters, and a parse that looked further would read past short arguments.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "diag/options.h"
#include "fuzz/support/fuzz_card.h"
#include "menu/top_menu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    // An argument is at most what is left of a menu line after its keyword.
    const std::string text = kmb::fuzz::c_text(data, size, kmb::MENU_LINE_SIZE - 1);
    const int answer = kmb::parse_yes_no(text.c_str());
    if (answer < 0 || answer > 2) {
        std::abort();
    }
    if (kmb::parse_yes_no(text.substr(0, 3).c_str()) != answer) {
        std::abort();
    }
    return 0;
}

#include "menu/top_menu.h"

#include <cstdio>
#include <strings.h>

#include "diag/input.h"
#include "diag/options.h"
#include "menu/card_version.h"
#include "menu/kmb_menu.h"
#include "menu/sequences.h"
#include "os/os.h"

namespace kmb {

namespace {

// Keywords match on a fixed number of leading characters, in any case.
bool begins_with(const char* line, const char* keyword, std::size_t chars)
{
    return strncasecmp(line, keyword, chars) == 0;
}

void print_top_menu(const char* version)
{
    std::printf("\n\nKMB diagnostic menu (version %s)\n", version);
    std::printf("---------------------------\n");
    std::printf("all     Run all KMB diagnostics\n");
    std::printf("kmb     Enter kmb diagnostic menu\n\n");
    std::printf("Commands:\n");
    std::printf("Default (restore all options to default settings)\n");
    std::printf("Exit    (exit diagnostic)\n");
    std::printf("Help    (print this commands list)\n");
    std::printf("Options (print current option settings)\n");
    std::printf("Version (print the diagnostic version)\n\n");
    std::printf("Options:\n");
    std::printf("Count   <number> (loop selected diagnostic (number) of passes)\n");
    std::printf("Loop    <yes|no> (loop selected diagnostic)\n");
    std::printf("Stop    <yes|no> (stop-on-error / keep running)\n\n");
}

void print_option_summary()
{
    std::printf("Diagnostic looping ");
    print_enabled(diag_options.loop);
    std::printf("Stop on error ");
    print_enabled(diag_options.stop_on_error);
    std::printf("Factory mode ");
    print_enabled(diag_options.mode & MODE_FACTORY);
    std::printf("Manufacturing mode ");
    print_enabled(diag_options.mode & MODE_MANUFACTURING);
}

// Loop and Stop: yes or no from `argument` sets the flag and says so; neither leaves it.
void set_flag(int32_t& flag, const char* argument, const char* name)
{
    switch (parse_yes_no(argument)) {
    case 1:
        flag = 1;
        std::printf("[Enabled] ");
        break;
    case 2:
        flag = 0;
        std::printf("[Disabled] ");
        break;
    default:
        break;
    }
    std::printf("%s\n", name);
}

// The hidden switches: factory mode brings manufacturing mode with it, and takes it away.
void switch_mode(const char* argument, int32_t bits, int32_t shown, const char* name)
{
    switch (parse_yes_no(argument)) {
    case 1:
        diag_options.mode |= bits;
        break;
    case 2:
        diag_options.mode &= ~bits;
        break;
    default:
        break;
    }
    print_enabled(diag_options.mode & shown);
    std::printf("%s\n", name);
}

} // namespace

void do_command(const char* line)
{
    if (begins_with(line, "default", 7)) {
        diag_options.count = 0;
        diag_options.loop = 0;
        diag_options.stop_on_error = 1;
    }
    if (begins_with(line, "version", 7)) {
        os::system("version");
    }
    if (begins_with(line, "options", 7)) {
        print_option_summary();
    }
}

void do_option(const char* line)
{
    if (begins_with(line, "loop", 4)) {
        set_flag(diag_options.loop, text_from(line, 5), "Diagnostic looping");
    }
    if (begins_with(line, "stop", 4)) {
        set_flag(diag_options.stop_on_error, text_from(line, 5), "Stop on error");
    }
    if (begins_with(line, "count", 5)) {
        diag_options.count = parse_number(text_from(line, 6));
        std::printf("Count = %d\n", diag_options.count);
    }
}

bool top_menu_dispatch(const char* line)
{
    if (begins_with(line, "exit", 4)) {
        return false;
    }
    do_command(line);
    do_option(line);
    if (begins_with(line, "kmb", 3)) {
        save_options();
        kmb_test_menu();
        restore_options();
    }
    if (begins_with(line, "all", 3)) {
        run_comprehensive();
    }
    if (begins_with(line, "fvt", 3)) {
        run_fvt();
    }
    if (begins_with(line, "ess", 3)) {
        run_ess();
    }
    if (begins_with(line, "pxwud", 5)) {
        switch_mode(text_from(line, 6), MODE_FACTORY | MODE_MANUFACTURING, MODE_FACTORY, "Factory mode");
    }
    if (begins_with(line, "jtk", 3)) {
        switch_mode(text_from(line, 4), MODE_MANUFACTURING, MODE_MANUFACTURING, "Manufacturing mode");
    }
    return true;
}

void top_menu_loop(const char* version)
{
    char line[MENU_LINE_SIZE];
    while (true) {
        print_top_menu(version);
        check_board_revision();
        std::printf("Enter Diag, Command or Option : ");
        // The end of input ends the program as Exit does: there is no operator left.
        if (os::read_line(line, sizeof line) == nullptr || !top_menu_dispatch(line)) {
            return;
        }
    }
}

} // namespace kmb

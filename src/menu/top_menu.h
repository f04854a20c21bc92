// The top-level menu: its commands, options and the hidden mode switches.
#pragma once

namespace kmb {

inline constexpr int MENU_LINE_SIZE = 80;

// Default, Version, Options; acts only on a line that begins with one of them.
void do_command(const char* line);
// Loop, Stop, Count; acts only on a line that begins with one of them.
void do_option(const char* line);
// Acts on one line of the menu; false when the line asks to leave (Exit).
bool top_menu_dispatch(const char* line);
// Serves the menu until Exit or the end of input.
void top_menu_loop(const char* version);

} // namespace kmb

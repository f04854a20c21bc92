// The numbered KMB test menu.
#pragma once

namespace kmb {

// Serves the menu until 99 (or the end of input); returns 0.
int kmb_test_menu();

} // namespace kmb

// The fixture's I/O expander at 0x18: its configuration at start-up.
#pragma once

namespace kmb {

// Configures the expander's pins; 1 when it cannot be opened (nothing written), else 0.
int io_expander_init();

} // namespace kmb

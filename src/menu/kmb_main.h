// The diagnostic program, the same on the card and on the simulated card: start-up, then the
// top-level menu until Exit. Returns the exit status (1 on both ways out).
#pragma once

namespace kmb {

int kmb_main(int argc, char** argv);

} // namespace kmb

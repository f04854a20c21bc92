// kmbdiag: the diagnostic on the card, reaching the real kernel.
#include "menu/kmb_main.h"

int main(int argc, char** argv) { return kmb::kmb_main(argc, argv); }

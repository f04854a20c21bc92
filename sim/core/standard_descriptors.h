// Descriptors 0 to 2 of a program started with one of them closed (`kmbdiag-sim >&-`): the
// first file it opened would take the free number, and the console's text would land in the
// state folder's lock, or its input be read from a state file. Each closed one is held open on
// /dev/null before anything else is opened.
#pragma once

namespace kmb::sim {

// Returns false (with errno set) when a closed one could not be held open.
bool hold_standard_descriptors();

} // namespace kmb::sim

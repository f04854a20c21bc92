// The names nearest to what an engineer typed, for "did you mean" in an error message: a fault
// name or an option misremembered, misspelt or given in part.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kmb::sim {

// Up to `most` of `names`, best first, ranked by what was typed: names that begin with it,
// then names that share the most of its words (a word may be typed in part: "pin7", "crit"),
// then names a few keystrokes away. Case, '_' and blanks are not told apart from '-'. Only
// names as good as the best are given; none when nothing is near.
std::vector<std::string> nearest_names(std::string_view typed, std::span<const std::string> names,
                                       std::size_t most = 3);

// "'a'", "'a' or 'b'", "'a', 'b' or 'c'", each name behind `prefix` ("--" for options).
std::string quoted_choice(const std::vector<std::string>& names, std::string_view prefix = "");

} // namespace kmb::sim

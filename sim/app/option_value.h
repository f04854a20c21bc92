// The numbers that kmbdiag-sim's options take, read one way for every option: plain decimal,
// as an engineer types them and as the help and the man page write them. No hexadecimal, no
// exponent, no '+', no blanks, no infinity or "nan": a text that is not plainly a number in
// range is refused with one clear line, exit status 2, rather than read as something else.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace kmb::sim {

// Decimal digits with an optional fraction after a point ("0.5", ".5", "12."), a leading '-'
// only when `min` is negative. nullopt when `text` is no such number or lies outside [min, max].
std::optional<double> decimal_in_range(const std::string& text, double min, double max);

// Decimal digits, a leading '-' only when `min` is negative. nullopt when `text` is no such
// number or lies outside [min, max].
std::optional<long long> whole_in_range(const std::string& text, long long min, long long max);

// Prints "kmbdiag-sim: invalid value 'TEXT' for OPTION: expected EXPECTED" on `err` and returns
// 2, the exit status of a bad argument.
int refuse_value(FILE* err, const std::string& option, const std::string& text, const char* expected);

} // namespace kmb::sim

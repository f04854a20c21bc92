// The numbers that kmbdiag-sim's options take. The whole text is the number, and it lies within
// what the card's model can hold; anything else is refused with one clear line, exit status 2.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace kmb::sim {

// A number as strtod reads it (a fraction, an exponent, 0x hexadecimal), but no leading blank or
// '+', no infinity and no "nan". nullopt when `text` is no such number or lies outside [min, max].
std::optional<double> real_in_range(const std::string& text, double min, double max);

// A whole number, decimal or 0x hexadecimal, with a leading '-' only when `min` is negative.
// nullopt when `text` is no such number or lies outside [min, max].
std::optional<long long> integer_in_range(const std::string& text, long long min, long long max);

// Prints "kmbdiag-sim: invalid value 'TEXT' for OPTION: expected EXPECTED" on `err` and returns
// 2, the exit status of a bad argument.
int refuse_value(FILE* err, const std::string& option, const std::string& text, const char* expected);

} // namespace kmb::sim

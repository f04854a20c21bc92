// The LM77's die temperature over card time, as a test engineer gives it to reproduce a card
// that heats up through a run: points of card seconds and degrees, linear between them and
// held after the last (and before the first).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/core/config.h"

namespace kmb::sim {

// What the die is at `us`, in the LM77's half degrees (rounded to the nearest).
int profile_half_degrees(std::span<const TemperaturePoint> profile, int64_t us);

// The card time after `us` at which the profile next reaches another half degree, or -1 when it
// stays where it is from `us` on.
int64_t profile_next_change_us(std::span<const TemperaturePoint> profile, int64_t us);

// Reads a profile file's text: one point a line, "SECONDS DEGREES" (decimals allowed, seconds
// strictly rising, degrees within the LM77's range), blank lines and '#' comments skipped.
// nullopt with `error` naming the line and what is wrong with it.
inline constexpr std::size_t kMaxProfileBytes = 1 << 20;
inline constexpr std::size_t kMaxProfilePoints = 10000;
std::optional<std::vector<TemperaturePoint>> parse_temperature_profile(std::string_view text, std::string& error);

} // namespace kmb::sim

// The name a live CAD session gives the selection set it picks into: a random number
// as the host's own macro language writes a single-precision value, so that two
// conversions in one drawing never reuse a set.
#pragma once

#include <cstdint>
#include <string>

namespace varnolt {

// The shortest decimal text that reads back as `r` (r in [0, 1)), without the zero
// before the point: 0.7055475f gives ".7055475", 0 gives "0".
std::string SelectionSetName(float r);

// A number in [0, 1) drawn from a generator seeded with `seed` (the system timer).
float SelectionSetDraw(uint64_t seed);

}  // namespace varnolt

#include "cad/selection_name.h"

#include <charconv>
#include <random>

namespace varnolt {

std::string SelectionSetName(float r) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, r);
  std::string text(buffer, result.ptr);
  if (text.size() > 2 && text[0] == '0' && text[1] == '.') text.erase(0, 1);
  return text;
}

float SelectionSetDraw(uint64_t seed) {
  std::mt19937 generator(static_cast<std::mt19937::result_type>(seed ^ (seed >> 32)));
  // 24 random bits: every value a float holds exactly, never 1.
  return static_cast<float>(generator() >> 8) * (1.0f / 16777216.0f);
}

}  // namespace varnolt

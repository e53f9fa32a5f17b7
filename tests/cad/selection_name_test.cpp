#include "cad/selection_name.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cstdio>
#include <string>

namespace varnolt {
namespace {

TEST(SelectionSetName, ShortestTextWithoutLeadingZero) {
  EXPECT_EQ(SelectionSetName(0.7055475f), ".7055475");
  EXPECT_EQ(SelectionSetName(0.5f), ".5");
  EXPECT_EQ(SelectionSetName(0.0f), "0");
  EXPECT_EQ(SelectionSetName(0.1f), ".1");
}

// For draws from many seeds: the value is in [0, 1), its name reads back as the same
// float, and no shorter rounding of it (fewer significant digits, as printf gives
// them) reads back as it: the text is the shortest.
TEST(SelectionSetName, DrawsReadBackFromTheirShortestName) {
  for (uint64_t seed = 1; seed < 20000; seed += 7) {
    const float r = SelectionSetDraw(seed * 2654435761u);
    ASSERT_GE(r, 0.0f);
    ASSERT_LT(r, 1.0f);
    const std::string name = SelectionSetName(r);
    ASSERT_FALSE(name.empty());
    ASSERT_TRUE(name == "0" || name[0] != '0') << name;
    const std::string text = name[0] == '.' ? "0" + name : name;
    float back = -1;
    std::from_chars(text.data(), text.data() + text.size(), back);
    ASSERT_EQ(back, r) << name;
    for (int precision = 1; precision < 9; ++precision) {
      char shorter[32];
      std::snprintf(shorter, sizeof shorter, "%.*g", precision, static_cast<double>(r));
      float reread = -1;
      std::from_chars(shorter, shorter + std::char_traits<char>::length(shorter), reread);
      if (reread == r) {
        // The first precision that reads back is as long as the name's digits.
        size_t significant = 0;
        bool started = false;
        for (char c : name) {
          if (c == 'e') break;
          if (c >= '1' && c <= '9') started = true;
          if (started && c >= '0' && c <= '9') ++significant;
        }
        ASSERT_EQ(significant, static_cast<size_t>(precision)) << name << " vs " << shorter;
        break;
      }
    }
  }
}

}  // namespace
}  // namespace varnolt

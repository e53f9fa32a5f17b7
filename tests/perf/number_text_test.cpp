// The integer fast path of the number text against the standard library's
// scientific text with 14 decimals, which the texts are defined by: the same
// digits, the same rounding (ties to even), the same read-back value.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "text/numtext.h"

namespace varnolt {
namespace {

// The texts as defined: 15 significant digits from to_chars, trailing zeros dropped,
// laid out in fixed form from 1E-04 to below 1E+15 and in exponent form elsewhere.
std::string Reference(double value, bool bare) {
  if (value == 0) return "0";
  char buf[64];
  const auto res =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  std::string s(buf, res.ptr);
  std::string sign;
  if (s[0] == '-') {
    sign = "-";
    s.erase(0, 1);
  }
  const size_t e = s.find('e');
  const int exp = std::stoi(s.substr(e + 1));
  std::string digits = s.substr(0, 1) + s.substr(2, e - 2);
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  if (exp < -4 || exp >= 15) {
    std::string out = sign + digits.substr(0, 1);
    if (digits.size() > 1) out += "." + digits.substr(1);
    const int a = exp < 0 ? -exp : exp;
    return out + "E" + (exp < 0 ? "-" : "+") + (a < 10 ? "0" : "") + std::to_string(a);
  }
  if (exp >= 0) {
    std::string whole = digits.substr(0, std::min<size_t>(digits.size(), exp + 1));
    whole.append(static_cast<size_t>(exp + 1) - whole.size(), '0');
    std::string frac = digits.size() > static_cast<size_t>(exp + 1) ? digits.substr(exp + 1) : "";
    return sign + whole + (frac.empty() ? "" : "." + frac);
  }
  return sign + (bare ? "" : "0") + "." + std::string(static_cast<size_t>(-exp - 1), '0') +
         digits;
}

double ReferenceRound15(double value) {
  char buf[64];
  const auto res =
      std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  double v = 0;
  const auto read = std::from_chars(buf, res.ptr, v);
  // Read back, the text of the largest doubles (1.79769313486232E+308) overflows.
  if (read.ec == std::errc::result_out_of_range && std::fabs(value) > 1) {
    return std::copysign(std::numeric_limits<double>::infinity(), value);
  }
  return v;
}

void ExpectSame(double v) {
  ASSERT_EQ(GeneralText(v), Reference(v, false)) << std::hexfloat << v;
  ASSERT_EQ(BareText(v), Reference(v, true)) << std::hexfloat << v;
  const double r = Round15(v), ref = ReferenceRound15(v);
  ASSERT_EQ(std::memcmp(&r, &ref, sizeof r), 0) << std::hexfloat << v;
}

TEST(NumberTextFastPath, AgreesWithTheStandardTextOnRandomValuesOfEveryMagnitude) {
  std::mt19937_64 rng(20240607);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  for (int exp = -12; exp <= 18; ++exp) {
    for (int i = 0; i < 20000; ++i) {
      const double v = mantissa(rng) * std::pow(10.0, exp);
      ExpectSame(v);
      ExpectSame(-v);
    }
  }
}

TEST(NumberTextFastPath, AgreesOnRandomBitPatterns) {
  std::mt19937_64 rng(7);
  for (int i = 0; i < 500000; ++i) {
    uint64_t bits = rng();
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    ExpectSame(v);
  }
}

TEST(NumberTextFastPath, AgreesOnCoordinatesAndTheirNeighbours) {
  // Longitudes, latitudes and altitudes as the converters write them, and the
  // doubles next to them, where the 15th digit is closest to rounding the other way.
  std::mt19937_64 rng(11);
  std::uniform_real_distribution<double> lon(73.0, 135.0), lat(18.0, 54.0), alt(-50, 9000);
  for (int i = 0; i < 200000; ++i) {
    for (double v : {lon(rng), lat(rng), alt(rng)}) {
      ExpectSame(v);
      ExpectSame(std::nextafter(v, 0.0));
      ExpectSame(std::nextafter(v, 1e300));
    }
  }
}

TEST(NumberTextFastPath, RoundsExactTiesToEven) {
  // 16 significant digits ending in 5, exactly representable: a tie at the 15th.
  for (double v : {281474976710655.5, 281474976710654.5, 1000000000000005.0,
                   1000000000000015.0, 0.000244140625 /* 2^-12 */, 1.5, 2.5, 999999999999999.5,
                   99999999999999.95, 0.0001, 0.00009999999999999999, 1e15, 999999999999999.9}) {
    ExpectSame(v);
    ExpectSame(-v);
  }
  EXPECT_EQ(GeneralText(281474976710655.5), "281474976710656");
  EXPECT_EQ(GeneralText(281474976710654.5), "281474976710654");
}

TEST(NumberTextFastPath, AgreesAtTheEdgesOfTheFixedForm) {
  for (int k = -330; k <= 310; ++k) {
    const double p = std::pow(10.0, k);
    if (!std::isfinite(p) || p == 0) continue;
    for (double v : {p, std::nextafter(p, 0.0), std::nextafter(p, 1e308), p * 9.99999999999999,
                     p * 9.999999999999995, p * 5}) {
      if (std::isfinite(v) && v != 0) ExpectSame(v);
    }
  }
  ExpectSame(5e-324);
  ExpectSame(2.2250738585072014e-308);
  ExpectSame(1.7976931348623157e308);
}

// Round15Each rounds two at a time: every value must come out as Round15 gives it
// alone, whatever its neighbour is (a tie, a zero, a value outside the usual case).
TEST(NumberTextFastPath, RoundingSeveralAtOnceGivesTheBitsOfOneAtATime) {
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> lon(73.0, 135.0), lat(18.0, 54.0);
  std::vector<double> values;
  for (int i = 0; i < 20000; ++i) {
    values.push_back(lon(rng));
    values.push_back(lat(rng));
  }
  const double odd[] = {0.0, -0.0, 1.5, 281474976710655.5, 0.5, -30.25, 1e15, 1e-300,
                        std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(), 999999999999999.5,
                        -114.123456789012345, 5e-324, 1.7976931348623157e308};
  for (double a : odd) {
    for (double b : odd) {
      values.push_back(a);
      values.push_back(b);
    }
    values.push_back(a);  // and shifted by one, so that each meets the other lane too
  }
  for (int i = 0; i < 100000; ++i) {
    uint64_t bits = rng();
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    values.push_back(v);
  }
  for (size_t count : {values.size(), values.size() - 1, size_t{1}, size_t{0}}) {
    std::vector<double> each(values.begin(), values.begin() + static_cast<long>(count));
    Round15Each(each.data(), each.size());
    for (size_t i = 0; i < count; ++i) {
      const double one = Round15(values[i]);
      ASSERT_EQ(std::memcmp(&each[i], &one, sizeof one), 0)
          << "value " << i << " of " << count << ": " << std::hexfloat << values[i];
    }
  }
}

// The writers into a buffer give the texts of GeneralText and BareText, alone and
// two at a time, special values included, and stay inside the room they are promised.
TEST(NumberTextFastPath, BufferWritersAgreeWithTheStringForms) {
  std::mt19937_64 rng(9);
  std::vector<double> values = {0.0,    -0.0,    0.5,   -0.5,  3.0,   1e-5, -1e-5, 1e15,
                                -1e300, 5e-324, 123.0, 100.0, 1e14,  0.1,  0.0001,
                                // a tie at the 15th digit; a carry into 10^15
                                281474976710655.5, 999999999999999.5, 999999999999999.75,
                                99.99999999999999, 114.5, -30.25};
  values.push_back(std::numeric_limits<double>::quiet_NaN());
  values.push_back(std::numeric_limits<double>::infinity());
  values.push_back(-std::numeric_limits<double>::infinity());
  values.push_back(-1.7976931348623157e308);
  for (int i = 0; i < 100000; ++i) {
    uint64_t bits = rng();
    double v = 0;
    std::memcpy(&v, &bits, sizeof v);
    values.push_back(v);
  }
  // Pairs: every value beside its neighbours in the list, both ways round.
  char pair[2 * kMaxNumberText + 1 + 8];
  for (size_t i = 0; i + 1 < values.size(); ++i) {
    for (const auto& [a, b] : {std::pair{values[i], values[i + 1]},
                               std::pair{values[i + 1], values[i]}}) {
      std::memset(pair, '#', sizeof pair);
      char* end = WriteGeneralTexts(pair, a, ',', b);
      ASSERT_EQ(std::string(pair, end), GeneralText(a) + "," + GeneralText(b))
          << std::hexfloat << a << " " << b;
      for (size_t k = 2 * kMaxNumberText + 1; k < sizeof pair; ++k) ASSERT_EQ(pair[k], '#');
    }
  }
  char buf[kMaxNumberText + 8];
  for (double v : values) {
    std::memset(buf, '#', sizeof buf);
    char* end = WriteGeneralText(buf, v);
    ASSERT_EQ(std::string(buf, end), GeneralText(v)) << std::hexfloat << v;
    for (size_t i = kMaxNumberText; i < sizeof buf; ++i) ASSERT_EQ(buf[i], '#') << v;
    std::memset(buf, '#', sizeof buf);
    end = WriteBareText(buf, v);
    ASSERT_EQ(std::string(buf, end), BareText(v)) << std::hexfloat << v;
    for (size_t i = kMaxNumberText; i < sizeof buf; ++i) ASSERT_EQ(buf[i], '#') << v;
  }
}

}  // namespace
}  // namespace varnolt

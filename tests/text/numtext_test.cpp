#include "text/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace varnolt {
namespace {

TEST(NumberText, GeneralTextFixedForm) {
  EXPECT_EQ(GeneralText(0.5), "0.5");
  EXPECT_EQ(GeneralText(-0.5), "-0.5");
  EXPECT_EQ(GeneralText(3), "3");
  EXPECT_EQ(GeneralText(30.5), "30.5");
  EXPECT_EQ(GeneralText(114.5), "114.5");
  EXPECT_EQ(GeneralText(0.0001), "0.0001");
  EXPECT_EQ(GeneralText(100), "100");
  EXPECT_EQ(GeneralText(999999999999999.0), "999999999999999");
  EXPECT_EQ(GeneralText(0.1 + 0.2), "0.3");  // 15 digits hide the binary residue
  EXPECT_EQ(GeneralText(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(GeneralText(-1234.5678), "-1234.5678");
}

TEST(NumberText, ExponentFormBelow1EMinus4AndFrom1E15) {
  EXPECT_EQ(GeneralText(0.00001), "1E-05");
  EXPECT_EQ(GeneralText(-0.000015), "-1.5E-05");
  EXPECT_EQ(GeneralText(0.0000999), "9.99E-05");
  EXPECT_EQ(GeneralText(1e15), "1E+15");
  EXPECT_EQ(GeneralText(1234567890123456.0), "1.23456789012346E+15");
  EXPECT_EQ(GeneralText(1e-300), "1E-300");
  EXPECT_EQ(GeneralText(1.5e100), "1.5E+100");
  // Rounding to 15 digits can carry into the next power of ten.
  EXPECT_EQ(GeneralText(999999999999999.9), "1E+15");
}

TEST(NumberText, NegativeZeroIsZero) {
  EXPECT_EQ(GeneralText(-0.0), "0");
  EXPECT_EQ(BareText(-0.0), "0");
}

TEST(NumberText, BareTextDropsTheLeadingZero) {
  EXPECT_EQ(BareText(0.5), ".5");
  EXPECT_EQ(BareText(-0.5), "-.5");
  EXPECT_EQ(BareText(3), "3");
  EXPECT_EQ(BareText(0), "0");
  EXPECT_EQ(BareText(0.0001), ".0001");
  EXPECT_EQ(BareText(12.25), "12.25");
  EXPECT_EQ(BareText(0.00001), "1E-05");
}

TEST(NumberText, Round15IsTheTextReadBack) {
  for (double v : {0.1 + 0.2, 2.0 / 3.0, 114.5 * 3.14159 / 180, -1e-7 / 3, 12345.678901234567}) {
    double back = 0;
    ASSERT_TRUE(ParseNumber(GeneralText(v), back));
    EXPECT_EQ(Round15(v), back) << v;
    ASSERT_TRUE(ParseNumber(BareText(v), back));
    EXPECT_EQ(Round15(v), back) << v;
  }
}

TEST(LeadingNumber, ReadsTheNumberAtTheStart) {
  EXPECT_EQ(ReadLeadingNumber("10"), 10);
  EXPECT_EQ(ReadLeadingNumber(" 1 0"), 10);
  EXPECT_EQ(ReadLeadingNumber("\t1\t2 .5"), 12.5);
  EXPECT_EQ(ReadLeadingNumber("-0.0335abc"), -0.0335);
  EXPECT_EQ(ReadLeadingNumber("114.3"), 114.3);
  EXPECT_EQ(ReadLeadingNumber(".5"), 0.5);
  EXPECT_EQ(ReadLeadingNumber("-.5"), -0.5);
  EXPECT_EQ(ReadLeadingNumber("+7"), 7);
  EXPECT_EQ(ReadLeadingNumber("1E+15"), 1e15);
  EXPECT_EQ(ReadLeadingNumber("2.5e-3m"), 0.0025);
  EXPECT_EQ(ReadLeadingNumber("3e"), 3);     // an exponent needs digits
  EXPECT_EQ(ReadLeadingNumber("1.2.3"), 1.2);
  EXPECT_EQ(ReadLeadingNumber("1,5"), 1);    // the comma is no decimal separator
  EXPECT_EQ(ReadLeadingNumber("5-3"), 5);
}

TEST(LeadingNumber, TextWithoutANumberReadsZero) {
  EXPECT_EQ(ReadLeadingNumber(""), 0);
  EXPECT_EQ(ReadLeadingNumber("abc"), 0);
  EXPECT_EQ(ReadLeadingNumber("   "), 0);
  EXPECT_EQ(ReadLeadingNumber("."), 0);
  EXPECT_EQ(ReadLeadingNumber("-"), 0);
  EXPECT_EQ(ReadLeadingNumber("--5"), 0);
  EXPECT_EQ(ReadLeadingNumber("x10"), 0);
}

TEST(LeadingNumber, OutOfRangeSaturates) {
  EXPECT_EQ(ReadLeadingNumber("1e999"), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ReadLeadingNumber("-1e999"), -std::numeric_limits<double>::infinity());
  EXPECT_EQ(ReadLeadingNumber("1e-999"), 0);
  EXPECT_EQ(ReadLeadingNumber(std::string(400, '9')), std::numeric_limits<double>::infinity());
  EXPECT_EQ(ReadLeadingNumber("0." + std::string(400, '0') + "1"), 0);
}

TEST(LeadingNumber, VeryLongTextIsReadWhole) {
  std::string s = "1" + std::string(200, ' ') + "2";
  EXPECT_EQ(ReadLeadingNumber(s), 12);
  std::string digits = "0." + std::string(150, '0') + "5";
  EXPECT_EQ(ReadLeadingNumber(digits), 5e-151);
}

TEST(StrictNumber, WholeFieldMustBeANumber) {
  double v = 0;
  EXPECT_TRUE(ParseNumber("3380000", v));
  EXPECT_EQ(v, 3380000);
  EXPECT_TRUE(ParseNumber(" -.5\t", v));
  EXPECT_EQ(v, -0.5);
  EXPECT_TRUE(ParseNumber("1E-05", v));
  EXPECT_EQ(v, 1e-5);
  for (const char* bad : {"", " ", ".", "12a", "a12", "1 2", "1e", "--1", "1e999", "nan", "inf"}) {
    EXPECT_FALSE(ParseNumber(bad, v)) << bad;
  }
}

TEST(FixedText, FiveDecimals) {
  EXPECT_EQ(FixedText(0, 5), "0.00000");
  EXPECT_EQ(FixedText(-0.0, 5), "0.00000");
  EXPECT_EQ(FixedText(-0.0335, 5), "-0.03350");
  EXPECT_EQ(FixedText(0.039, 5), "0.03900");
  EXPECT_EQ(FixedText(12.3456789, 5), "12.34568");
  EXPECT_EQ(FixedText(-0.000001, 5), "-0.00000");
}

}  // namespace
}  // namespace varnolt

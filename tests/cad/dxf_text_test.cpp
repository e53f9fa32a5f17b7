// Code pages, escapes and object coordinate systems of DXF files.
#include <gtest/gtest.h>

#include "cad/dxf_text.h"
#include "cad/ocs.h"

namespace varnolt {
namespace {

TEST(DxfCodepage, NamesAutoCadWrites) {
  EXPECT_STREQ(IconvNameOfDwgCodepage("ANSI_936"), "GB18030");
  EXPECT_STREQ(IconvNameOfDwgCodepage("ansi_1252"), "CP1252");
  EXPECT_STREQ(IconvNameOfDwgCodepage("ANSI_932"), "CP932");
  EXPECT_STREQ(IconvNameOfDwgCodepage("dos932"), "CP932");
  EXPECT_STREQ(IconvNameOfDwgCodepage("GB2312"), "GB18030");
  EXPECT_EQ(IconvNameOfDwgCodepage("ASCII"), nullptr);
  EXPECT_EQ(IconvNameOfDwgCodepage(""), nullptr);
  EXPECT_EQ(IconvNameOfDwgCodepage("ANSI_99999"), nullptr);
}

TEST(DxfCodepage, VersionDecidesBeforeCodepage) {
  EXPECT_TRUE(ChooseDxfCodec("AC1021", "ANSI_936").utf8);
  EXPECT_TRUE(ChooseDxfCodec("AC1032", "").utf8);
  const DxfTextCodec r2004 = ChooseDxfCodec("AC1018", "ANSI_936");
  EXPECT_FALSE(r2004.utf8);
  EXPECT_EQ(r2004.codepage, "GB18030");
  const DxfTextCodec unknown = ChooseDxfCodec("AC1015", "ASCII");
  EXPECT_FALSE(unknown.utf8);
  EXPECT_TRUE(unknown.codepage.empty());
}

TEST(DxfText, DecodesByCodepage) {
  const DxfTextCodec gbk = ChooseDxfCodec("AC1015", "ANSI_936");
  EXPECT_EQ(DecodeDxfText("\xD6\xD0\xCE\xC4 K12+300", gbk), "中文 K12+300");
  const DxfTextCodec latin = ChooseDxfCodec("AC1015", "ANSI_1252");
  EXPECT_EQ(DecodeDxfText("caf\xE9", latin), "café");
  const DxfTextCodec utf8 = ChooseDxfCodec("AC1032", "ANSI_1252");
  EXPECT_EQ(DecodeDxfText("caf\xC3\xA9", utf8), "café");
  EXPECT_EQ(DecodeDxfText("bad \xC3", utf8), "bad \xEF\xBF\xBD");
}

// Without a known code page: valid UTF-8 stays, anything else is CP1252.
TEST(DxfText, GuessesWithoutCodepage) {
  const DxfTextCodec none = ChooseDxfCodec("", "ASCII");
  EXPECT_EQ(DecodeDxfText("\xE2\x89\x88 \xCE\x94", none), "≈ Δ");
  EXPECT_EQ(DecodeDxfText("\xE9t\xE9", none), "été");
}

TEST(DxfText, UnicodeEscapes) {
  const DxfTextCodec c = ChooseDxfCodec("AC1015", "ANSI_1252");
  EXPECT_EQ(DecodeDxfText("\\U+03BB=\\U+4e2d\\U+6587", c), "λ=中文");
  EXPECT_EQ(DecodeDxfText("\\U+D83D\\U+DE00", c), "\xF0\x9F\x98\x80");  // one pair
  EXPECT_EQ(DecodeDxfText("\\U+DE00", c), "\xEF\xBF\xBD");             // lone low half
  // Not an escape: too few hex digits, or not hex.
  EXPECT_EQ(DecodeDxfText("\\U+12", c), "\\U+12");
  EXPECT_EQ(DecodeDxfText("\\U+12G4", c), "\\U+12G4");
  // A double-byte character of GB2312 (N = 5): D6D0 is 中.
  EXPECT_EQ(DecodeDxfText("\\M+5D6D0", c), "中");
  // MTEXT formatting codes are not escapes.
  EXPECT_EQ(DecodeDxfText("{\\fSimHei|b0;A}\\P", c), "{\\fSimHei|b0;A}\\P");
}

TEST(Ocs, WorldZIsIdentityAndMinusZIsExact) {
  const Point3 p{500123.456789, 3400567.891234, 12.5};
  EXPECT_EQ(OcsToWcs(p, {0, 0, 1}), p);
  EXPECT_EQ(OcsToWcs(p, {0, 0, 3}), p);
  EXPECT_EQ(OcsToWcs(p, {0, 0, -1}), (Point3{-500123.456789, 3400567.891234, -12.5}));
  EXPECT_EQ(OcsToWcs(p, {0, 0, 0}), p);
}

// N = (0, 1, 0): x axis Wz x N = (-1, 0, 0), y axis N x Ax = (0, 0, 1).
TEST(Ocs, AxisAlignedExtrusion) {
  EXPECT_EQ(OcsToWcs({1, 2, 3}, {0, 1, 0}), (Point3{-1, 3, 2}));
}

// Reference values: ezdxf.math.OCS(n).to_wcs(p), printed with %.17g.
TEST(Ocs, ArbitraryAxisAgreesWithAnIndependentImplementation) {
  struct Case {
    Point3 n, p, expected;
  };
  const Case cases[] = {
      {{1, 1, 1}, {1, 2, 3}, {0.20844744545460392, 1.6226610078276991, 3.3650439694243302}},
      // Within 1/64 of world z: the x axis comes from Wy x N.
      {{0.01, 0.002, 1}, {100, 200, 3}, {100.02099922304879, 200.00559972922008, 1.599934804255283}},
      {{0, 0.5, -2}, {10, -20, 30}, {-10, -12.12678125181665, -33.954987505086613}},
  };
  for (const Case& c : cases) {
    const Point3 w = OcsToWcs(c.p, c.n);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(w[k], c.expected[k], 1e-12) << k;
  }
}

TEST(Ocs, HugeExtrusionIsNormalisedWithoutOverflow) {
  const Point3 w = OcsToWcs({1, 2, 3}, {1e300, 1e300, 1e300});
  EXPECT_NEAR(w[0], 0.20844744545460392, 1e-12);
  EXPECT_NEAR(w[2], 3.3650439694243302, 1e-12);
}

}  // namespace
}  // namespace varnolt

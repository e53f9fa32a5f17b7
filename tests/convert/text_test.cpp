#include <gtest/gtest.h>

#include "convert/convert.h"
#include "convert_testing.h"

namespace varnolt::testing {
namespace {

struct TextTest : ConverterTest {
  std::string LonLatText(double easting, double northing) const {
    const std::string line = Expected(easting, northing, "");
    // qstab, three TABs, "lon,lat,", CR LF
    return line.substr(5, line.size() - 5 - 3);
  }
};

TEST_F(TextTest, WholePlacemarkWithLookAt) {
  MText e;
  e.insertion = {500100, 3400200, 12};
  e.textstring = "K12+300";
  std::string out;
  EXPECT_EQ(tomtext(e, Context(), kQ, e.textstring, "#m_colorFF0000FF_width6", out), 1);
  const std::string ll = LonLatText(500100, 3400200);
  const std::string lon = ll.substr(0, ll.find(','));
  const std::string lat = ll.substr(ll.find(',') + 1);
  EXPECT_EQ(out,
            "\t\t<Placemark>\r\n"
            "\r\n"
            "\t\t\t<name>K12+300</name>\r\n"
            "\t\t\t<styleUrl>#m_colorFF0000FF_width6</styleUrl>\r\n"
            "\t\t\t<LookAt>\r\n"
            "\t\t\t\t<longitude>" + lon + "</longitude>\r\n"
            "\t\t\t\t<latitude>" + lat + "</latitude>\r\n"
            "\t\t\t\t<altitude>0</altitude>\r\n"
            "\t\t\t\t<range>1000.0</range>\r\n"
            "\t\t\t\t<tilt>0.0</tilt>\r\n"
            "\t\t\t\t<heading>0.0</heading>\r\n"
            "\t\t\t</LookAt>\r\n"
            "\t\t\t<Point>\r\n"
            "\t\t\t\t<altitudeMode>relativeToGround</altitudeMode>\r\n"
            "\t\t\t\t<coordinates>\r\n"
            "\t\t\t\t\t" + lon + "," + lat + ",12\r\n"
            "\t\t\t\t</coordinates>\r\n"
            "\t\t\t</Point>\r\n"
            "\r\n"
            "\t\t</Placemark>\r\n"
            "\r\n");
}

TEST_F(TextTest, AnchorIsAlignmentPointUnlessBothXAndYAreZero) {
  Text e;
  e.insertion = {500100, 3400200, 0};
  std::string out;

  // Left-aligned: no alignment point, so the insertion point.
  e.alignment = {0, 0, 0};
  totext(e, Context(), kQ, "t", "#s", out);
  EXPECT_NE(out.find(LonLatText(500100, 3400200) + ",0\r\n"), std::string::npos) << out;

  // Centred: the alignment point.
  out.clear();
  e.alignment = {500150, 3400200, 0};
  totext(e, Context(), kQ, "t", "#s", out);
  EXPECT_NE(out.find(LonLatText(500150, 3400200) + ",0\r\n"), std::string::npos) << out;

  // Only one component zero: still the alignment point.
  out.clear();
  e.alignment = {0, 3400200, 0};
  totext(e, Context(), kQ, "t", "#s", out);
  EXPECT_NE(out.find(LonLatText(0, 3400200) + ",0\r\n"), std::string::npos) << out;

  // The insertion point's z comes with it.
  out.clear();
  e.alignment = {0, 0, 9};
  e.insertion = {500100, 3400200, 4.5};
  totext(e, Context(), kQ, "t", "#s", out);
  EXPECT_NE(out.find(LonLatText(500100, 3400200) + ",4.5\r\n"), std::string::npos) << out;
}

TEST_F(TextTest, MultilineTextUsesInsertionPointAndKeepsCodes) {
  MText e;
  e.insertion = {500100, 3400200, 0};
  std::string out;
  tomtext(e, Context(), kQ, "\\A1;桩号\\P K1", "#s", out);
  EXPECT_NE(out.find(LonLatText(500100, 3400200)), std::string::npos);
  EXPECT_NE(out.find("<name>\\A1;桩号\\P K1</name>"), std::string::npos);
}

TEST_F(TextTest, NameIsEscaped) {
  Text e;
  e.insertion = {500100, 3400200, 0};
  std::string out;
  totext(e, Context(), kQ, "A&B <1>\x01", "#s", out);
  EXPECT_NE(out.find("\t<name>A&amp;B &lt;1&gt;</name>\r\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace varnolt::testing

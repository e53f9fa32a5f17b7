#include "kml/style.h"

#include <gtest/gtest.h>

#include <string>

#include "base/error.h"

namespace varnolt {
namespace {

TEST(Hexjs, PaletteColoursInBlueGreenRedOrder) {
  EXPECT_EQ(hexjs(1), "FF0000FF");
  EXPECT_EQ(hexjs(3), "FF00FF00");
  EXPECT_EQ(hexjs(5), "FFFF0000");
  EXPECT_EQ(hexjs(7), "FFFFFFFF");
  EXPECT_EQ(hexjs(8), "FF808080");
  // Leading zeros kept: always eight digits.
  EXPECT_EQ(hexjs(108), "FF0F4800");
  EXPECT_EQ(hexjs(248), "FF0F004F");
  // Rows of the system's own table, first to last.
  EXPECT_EQ(hexjs(10), "FF0000FF");
  EXPECT_EQ(hexjs(11), "FF7078FF");   // 255,120,112
  EXPECT_EQ(hexjs(56), "FF009890");   // 144,152,0
  EXPECT_EQ(hexjs(173), "FFC0605F");  // 95,96,192
  EXPECT_EQ(hexjs(250), "FF2F2F2F");
  EXPECT_EQ(hexjs(254), "FFD0D7D0");  // 208,215,208
  EXPECT_EQ(hexjs(255), "FFFFFFFF");
}

TEST(Hexjs, EveryColourIsEightUpperCaseDigits) {
  for (int aci = 1; aci <= 255; ++aci) {
    const std::string text = hexjs(aci);
    ASSERT_EQ(text.size(), 8u) << aci;
    EXPECT_EQ(text.substr(0, 2), "FF") << aci;
    for (char c : text) {
      EXPECT_TRUE((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')) << aci << " " << text;
    }
  }
}

TEST(Hexjs, OutsideThePaletteFails) {
  for (int aci : {0, 256, -1, 257}) {
    try {
      hexjs(aci);
      FAIL() << aci;
    } catch (const Error& e) {
      EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
    }
  }
}

TEST(Colchuli, ByBlockAndByLayerResolved) {
  const LayerColors layers = BuildLayerColors({{"0", 7}, {"road", 3}, {"Road", 5}});
  Entity ent;
  ent.layer = "road";
  ent.color = 0;
  EXPECT_EQ(colchuli(ent, layers), 8);
  ent.color = 256;
  EXPECT_EQ(colchuli(ent, layers), 3);
  ent.layer = "Road";  // exact, case-sensitive names
  EXPECT_EQ(colchuli(ent, layers), 5);
  ent.color = 42;
  EXPECT_EQ(colchuli(ent, layers), 42);
  // A missing layer leaves ByLayer for the caller to report.
  ent.color = 256;
  ent.layer = "nowhere";
  EXPECT_EQ(colchuli(ent, layers), 256);
}

TEST(Colchuli, SourceVersionAndDuplicateLayerNames) {
  // A walk over every layer ends on the last match.
  MemorySource source({{"a", 1}, {"a", 2}}, {});
  Entity ent;
  ent.layer = "a";
  EXPECT_EQ(colchuli(ent, source), 2);
}

TEST(StyleReference, KeyFromColourAndWidth) {
  EXPECT_EQ(StyleReference("FF0000FF", WidthText(6)), "#m_colorFF0000FF_width6");
  EXPECT_EQ(StyleReference("FF00FF00", WidthText(0.5)), "#m_colorFF00FF00_width.5");
  EXPECT_EQ(WidthText(6.0), "6");
  EXPECT_EQ(WidthText(0), "0");
  EXPECT_EQ(WidthText(-0.25), "-.25");
}

TEST(Tostyle, ThirtyNineLinesExactly) {
  const std::string expected =
      "\t<Style id=\"s_colorFF0000FF_width6\">\r\n"
      "\r\n"
      "\t\t<IconStyle>\r\n"
      "\t\t\t<scale>1.0</scale>\r\n"
      "\t\t\t<Icon>\r\n"
      "\t\t\t</Icon>\r\n"
      "\t\t\t<hotSpot x=\"20\" y=\"2\" xunits=\"pixels\" yunits=\"pixels\"/>\r\n"
      "\t\t</IconStyle>\r\n"
      "\r\n"
      "\t\t<LabelStyle>\r\n"
      "\t\t\t<color>FF0000FF</color>\r\n"
      "\t\t</LabelStyle>\r\n"
      "\r\n"
      "\t\t<LineStyle>\r\n"
      "\t\t\t<color>FF0000FF</color>\r\n"
      "\t\t\t<width>6</width>\r\n"
      "\t\t</LineStyle>\r\n"
      "\r\n"
      "\t\t<PolyStyle>\r\n"
      "\t\t\t<color>FF0000FF</color>\r\n"
      "\t\t</PolyStyle>\r\n"
      "\r\n"
      "\t</Style>\r\n"
      "\r\n"
      "\r\n"
      "\t<StyleMap id=\"m_colorFF0000FF_width6\">\r\n"
      "\r\n"
      "\t\t<Pair>\r\n"
      "\t\t\t<key>normal</key>\r\n"
      "\t\t\t<styleUrl>#s_colorFF0000FF_width6</styleUrl>\r\n"
      "\t\t</Pair>\r\n"
      "\r\n"
      "\t\t<Pair>\r\n"
      "\t\t\t<key>highlight</key>\r\n"
      "\t\t\t<styleUrl>#s_colorFF0000FF_width6</styleUrl>\r\n"
      "\t\t</Pair>\r\n"
      "\r\n"
      "\t</StyleMap>\r\n"
      "\r\n";
  const std::string text = tostyle("\t", "FF0000FF", 6);
  EXPECT_EQ(text, expected);
  size_t lines = 0;
  for (size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", p + 2)) {
    ++lines;
  }
  EXPECT_EQ(lines, 39u);
}

TEST(Tostyle, HalfWidthIsBareText) {
  const std::string text = tostyle("\t", "FF00FF00", 0.5);
  EXPECT_NE(text.find("<Style id=\"s_colorFF00FF00_width.5\">"), std::string::npos);
  EXPECT_NE(text.find("<StyleMap id=\"m_colorFF00FF00_width.5\">"), std::string::npos);
  EXPECT_NE(text.find("\t\t\t<width>.5</width>\r\n"), std::string::npos);
  EXPECT_EQ(text.find("0.5"), std::string::npos);
}


// The polygon style: its reference names its StyleMap, whose pairs name its Style;
// the outline is the line style's, the fill the colour at alpha 80.
TEST(Topolystyle, HalfOpaqueFillWithTheLineStylesOutline) {
  const std::string text = topolystyle("\t", "FF00FF00", 0.5);
  const std::string ref = PolygonStyleReference("FF00FF00", WidthText(0.5));
  EXPECT_EQ(ref, "#m_polyFF00FF00_width.5");
  EXPECT_NE(text.find("\t<StyleMap id=\"" + ref.substr(1) + "\">\r\n"), std::string::npos);
  const std::string style = "s_polyFF00FF00_width.5";
  EXPECT_NE(text.find("\t<Style id=\"" + style + "\">\r\n"), std::string::npos);
  size_t pairs = 0;
  for (size_t p = text.find("<styleUrl>#" + style + "</styleUrl>"); p != std::string::npos;
       p = text.find("<styleUrl>#" + style + "</styleUrl>", p + 1)) {
    ++pairs;
  }
  EXPECT_EQ(pairs, 2u);
  const std::string line = tostyle("\t", "FF00FF00", 0.5);
  const auto block = [](const std::string& t, const std::string& tag) {
    const size_t b = t.find("<" + tag + ">");
    return t.substr(b, t.find("</" + tag + ">") - b);
  };
  EXPECT_EQ(block(text, "LineStyle"), block(line, "LineStyle"));
  EXPECT_NE(block(text, "PolyStyle").find("<color>8000FF00</color>"), std::string::npos);
  EXPECT_EQ(text.find("s_color"), std::string::npos);
  EXPECT_EQ(text.find("m_color"), std::string::npos);
}

}  // namespace
}  // namespace varnolt

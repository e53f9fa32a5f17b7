#include "kml/document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/error.h"

namespace varnolt {
namespace {

std::vector<std::string> SplitCrLf(const std::string& text) {
  std::vector<std::string> lines;
  size_t pos = 0;
  for (;;) {
    size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) break;
    lines.push_back(text.substr(pos, end - pos));
    pos = end + 2;
  }
  EXPECT_EQ(pos, text.size()) << "text does not end with CR LF";
  return lines;
}

TEST(Tobegin, EightLinesWithTheNameOnTheFifth) {
  const std::string text = tobegin("road");
  EXPECT_EQ(text,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
            "<kml xmlns=\"http://earth.google.com/kml/2.1\">\r\n"
            "<Document>\r\n"
            "\r\n"
            "\t<name>road</name>\r\n"
            "\t<Folder>\r\n"
            "\t\t<name>From AutoCAD</name>\r\n"
            "\t\t<open>1</open>\r\n");
  EXPECT_EQ(SplitCrLf(text).size(), 8u);
}

TEST(Tobegin, NameIsEscapedAndMadeWellFormed) {
  EXPECT_NE(tobegin("a&b<c>").find("\t<name>a&amp;b&lt;c&gt;</name>\r\n"),
            std::string::npos);
  // Non-ASCII names pass through as UTF-8.
  EXPECT_NE(tobegin("道路").find("\t<name>道路</name>\r\n"), std::string::npos);
}

TEST(XmlText, EscapesMarkupAndDropsForbiddenCharacters) {
  EXPECT_EQ(XmlText("K12+300"), "K12+300");
  EXPECT_EQ(XmlText("A&B"), "A&amp;B");
  EXPECT_EQ(XmlText("<x>"), "&lt;x&gt;");
  EXPECT_EQ(XmlText("\"quoted\" 'single'"), "\"quoted\" 'single'");
  // C0 controls other than TAB, LF and CR cannot appear in XML 1.0.
  EXPECT_EQ(XmlText(std::string("a\x01" "b\x1f" "c\0d", 7)), "abcd");
  EXPECT_EQ(XmlText("a\tb\nc\rd"), "a\tb\nc\rd");
  // Neither can U+FFFE and U+FFFF; U+FFFD and DEL can.
  EXPECT_EQ(XmlText("x\xEF\xBF\xBEy\xEF\xBF\xBFz\xEF\xBF\xBD\x7F"), "xyz\xEF\xBF\xBD\x7F");
  // Invalid UTF-8 (a GBK byte pair) becomes replacement characters, not raw bytes.
  const std::string cleaned = XmlText("\xB5\xC0");
  EXPECT_EQ(cleaned.find('\xB5'), std::string::npos);
  EXPECT_NE(cleaned.find("\xEF\xBF\xBD"), std::string::npos);
}

TEST(GetStrP, PositionOfTheLastSeparator) {
  EXPECT_EQ(GetStrP("C:\\a\\b.kml", "\\"), "5");
  EXPECT_EQ(GetStrP("b.kml", "\\"), "0");
  EXPECT_EQ(GetStrP("", "\\"), "0");
  EXPECT_EQ(GetStrP("/out/road.kml", "/"), "5");
  EXPECT_EQ(GetStrP("/", "/"), "1");
  // Case-sensitive, and counted in characters, not bytes.
  EXPECT_EQ(GetStrP("aAa", "A"), "2");
  EXPECT_EQ(GetStrP("/数据/图.kml", "/"), "4");
}

TEST(DocumentName, FileNameLessItsLastFourCharacters) {
  EXPECT_EQ(DocumentName("/out/road.kml"), "road");
  EXPECT_EQ(DocumentName("/out/ab.kml"), "ab");
  EXPECT_EQ(DocumentName("road.kml"), "road");
  EXPECT_EQ(DocumentName("/out/site.kmz"), "site");
  EXPECT_EQ(DocumentName("/数据/道路图.kml"), "道路图");
  EXPECT_EQ(DocumentName("/out/.kml"), "");
  // Always four characters, whatever they are.
  EXPECT_EQ(DocumentName("/out/points"), "po");
}

TEST(DocumentName, ShortFileNameFails) {
  try {
    DocumentName("/out/abc");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.kind(), ErrorKind::kGeneral);
    EXPECT_NE(std::string(e.what()).find("'abc'"), std::string::npos) << e.what();
  }
  EXPECT_THROW(DocumentName("/out/"), Error);
  EXPECT_THROW(DocumentName(""), Error);
}

TEST(LineStringFrame, OpeningAndClosingLines) {
  std::string out;
  AppendLineStringOpen(out, "\t\t", "line1", "#m_colorFF0000FF_width6");
  out += "POINTS\r\n";
  AppendLineStringClose(out, "\t\t");
  EXPECT_EQ(out,
            "\t\t<Placemark>\r\n"
            "\r\n"
            "\t\t\t<name>line1</name>\r\n"
            "\t\t\t<styleUrl>#m_colorFF0000FF_width6</styleUrl>\r\n"
            "\t\t\t<LineString>\r\n"
            "\t\t\t\t<tessellate>1</tessellate>\r\n"
            "\t\t\t\t<altitudeMode>relativeToGround</altitudeMode>\r\n"
            "\t\t\t\t<coordinates>\r\n"
            "POINTS\r\n"
            "\t\t\t\t</coordinates>\r\n"
            "\t\t\t</LineString>\r\n"
            "\r\n"
            "\t\t</Placemark>\r\n"
            "\r\n");
}

TEST(LineStringFrame, NameIsEscaped) {
  std::string out;
  AppendLineStringOpen(out, "", "a<b", "#s");
  EXPECT_NE(out.find("\t<name>a&lt;b</name>\r\n"), std::string::npos);
}

TEST(DocumentClose, EndsWithBlankAndCrLf) {
  EXPECT_EQ(std::string(kFolderClose), "\t</Folder>\r\n\r\n");
  const std::string close(kDocumentClose);
  EXPECT_EQ(close, "</Document>\r\n\r\n</kml>\r\n\r\n \r\n");
}

}  // namespace
}  // namespace varnolt

// A document read in pieces on several threads tells its handler exactly what one
// parser over the whole document tells it, and fails with the same message, wherever
// the pieces begin: in text, beside comments, CDATA and processing instructions that
// hold markup, under namespaces declared on the way, inside mixed content.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "base/error.h"
#include "golden_cases.h"
#include "import/xml.h"

namespace varnolt {
namespace {

// Every call written down; an element named "boom" throws, as a handler does for a
// value it cannot take.
class Log : public XmlHandler {
 public:
  void Start(std::string_view name, const char** attributes) override {
    if (name == "boom") throw std::runtime_error("a boom");
    text += "<" + std::string(name);
    for (size_t k = 0; attributes[k] != nullptr; k += 2) {
      text += std::string(" ") + attributes[k] + "=" + attributes[k + 1];
    }
    text += ">";
  }
  void End(std::string_view name, std::string_view value) override {
    text += "</" + std::string(name) + ">[" + std::string(value) + "]";
  }
  bool WantsText(std::string_view name) const override { return name != "seg"; }
  std::string text;
};

std::string Whole(const std::string& bytes) {
  Log log;
  try {
    ParseXml(bytes, "doc", log);
  } catch (const Error& e) {
    log.text += std::string("!") + e.what();
  }
  return log.text;
}

// What the handler heard, and how many pieces were read apart.
std::pair<std::string, size_t> InPieces(const std::string& bytes, unsigned threads) {
  std::unique_ptr<Log> log;
  size_t pieces = 0;
  auto fresh = [&]() -> XmlHandler& {
    log = std::make_unique<Log>();
    return *log;
  };
  try {
    pieces = ParseXmlInPieces(bytes, "doc", fresh, XmlPieces{threads, 1});
  } catch (const Error& e) {
    log->text += std::string("!") + e.what();
  }
  return {log->text, pieces};
}

// A track with everything a quick scan for '<' could stumble over.
std::string Awkward(size_t lead) {
  std::string s = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!--" +
                  std::string(lead, 'x') +
                  " <gpx> -->\r\n<gpx xmlns=\"urn:a\" xmlns:b=\"urn:b\" note='a > b'>\r\n";
  for (int seg = 0; seg < 12; ++seg) {
    s += "<trk><name>t" + std::to_string(seg) + " &amp; &#x4E2D;</name><seg>\n";
    for (int k = 0; k < 9; ++k) {
      s += "  <pt lat=\"30." + std::to_string(seg * 10 + k) + "\" b:lon='114.5' q=\"'>'\">";
      switch (k % 5) {
        case 0: s += "<ele>1<!-- <ele>2</ele> -->3</ele>"; break;
        case 1: s += "<desc><![CDATA[<pt lat=\"0\"> ]] > ]]]]><![CDATA[>]]></desc>"; break;
        case 2: s += "<?pi <pt/> ?><c:x xmlns:c=\"urn:c\" c:y=\"1\"/>"; break;
        case 3: s += "<p>mixed <b>bold</b> tail</p><名称>井</名称>"; break;
        default: s += "<empty/><ele>\r\n 7.5 </ele>"; break;
      }
      s += "</pt>\n";
    }
    s += "</seg></trk>\n";
  }
  return s + "</gpx>\r\n<!-- the end -->\n";
}

TEST(XmlPieces, EveryPieceBoundaryTellsTheHandlerWhatOneParserTells) {
  for (size_t lead = 0; lead < 40; lead += 3) {
    const std::string doc = Awkward(lead);
    const std::string whole = Whole(doc);
    ASSERT_EQ(whole.find('!'), std::string::npos) << whole.substr(whole.rfind('!'));
    for (unsigned threads = 2; threads <= 8; ++threads) {
      const auto [heard, pieces] = InPieces(doc, threads);
      ASSERT_EQ(heard, whole) << "lead " << lead << ", " << threads << " threads";
      EXPECT_EQ(pieces, threads) << "lead " << lead << ": read whole, not in pieces";
    }
  }
}

TEST(XmlPieces, GoldenDocumentsReadInPiecesAsWhole) {
  for (const std::string& name : testing::GoldenCases()) {
    const std::string doc = testing::ReadBytes(testing::GoldenDir() / name / "expected.kml");
    for (unsigned threads : {2u, 3u, 7u}) {
      const auto [heard, pieces] = InPieces(doc, threads);
      EXPECT_EQ(heard, Whole(doc)) << name << ", " << threads << " threads";
      EXPECT_EQ(pieces, threads) << name;
    }
  }
}

// A failure in a later piece is the one message the whole document's parser gives,
// with its line; so is what the pieces cannot read apart.
TEST(XmlPieces, FailuresAndWhatCannotBeSplitComeOutAsFromOneParser) {
  const std::string good = Awkward(0);
  const size_t late = good.size() * 4 / 5;
  const size_t at = good.find("<pt ", late);
  ASSERT_NE(at, std::string::npos);
  enum Outcome { kFails, kApart, kWhole };
  struct Case {
    const char* what;
    std::string doc;
    Outcome outcome;
  };
  const Case cases[] = {
      {"mismatched tag", std::string(good).insert(at, "<a></b>"), kFails},
      {"handler throws", std::string(good).insert(at, "<boom/>"), kFails},
      {"unbound prefix", std::string(good).insert(at, "<z:a/>"), kFails},
      {"truncated", good.substr(0, late), kFails},
      {"entity declared",
       "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY e \"x\">]>" + good.substr(good.find("<gpx xmlns")),
       kFails},
      {"Latin-1", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><gpx><name>caf\xE9</name>" +
                      std::string(3000, ' ') + "<name>\xE9t\xE9</name></gpx>",
       kApart},
      {"UTF-16", std::string("<\0g\0p\0x\0/\0>\0", 12), kWhole},
      // Records longer than the piece's bytes: the record grows as it goes.
      {"tiny elements", "<r>" + [] {
         std::string s;
         for (int k = 0; k < 100000; ++k) s += "<a/>";
         return s;
       }() + "</r>", kApart},
      {"DOCTYPE", "<!DOCTYPE gpx>" + good.substr(good.find("<gpx xmlns")), kWhole},
  };
  for (const Case& c : cases) {
    const std::string whole = Whole(c.doc);
    EXPECT_EQ(whole.find('!') != std::string::npos, c.outcome == kFails) << c.what << ": " << whole.substr(0, 200);
    for (unsigned threads = 2; threads <= 5; ++threads) {
      const auto [heard, pieces] = InPieces(c.doc, threads);
      EXPECT_EQ(heard, whole) << c.what << ", " << threads << " threads";
      if (c.outcome != kFails) {
        EXPECT_EQ(pieces, c.outcome == kApart ? threads : 1u) << c.what << ", " << threads;
      }
    }
  }
}

}  // namespace
}  // namespace varnolt

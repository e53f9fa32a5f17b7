// Texts as CAD displays them, against ezdxf's plain text of the corpus's texts and of
// our own (data/make_plain_text.py wrote what ezdxf makes of each). Where the corpus
// is at hand (../shared/testdata/dxf, or the folder VARNOLT_CORPUS names), each of
// its texts is first checked to read as ezdxf read it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "base/error.h"
#include "cad/dxf.h"
#include "cad/plain_text.h"

namespace varnolt {
namespace {

namespace fs = std::filesystem;

std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    const char c = s[++i];
    out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
  }
  return out;
}

struct Case {
  std::string file, handle, kind, text, plain;
};

std::vector<Case> Cases() {
  std::ifstream in(fs::path(VARNOLT_SOURCE_DIR) / "tests" / "cad" / "data" /
                   "plain_text_expected.txt");
  std::vector<Case> cases;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> f;
    for (size_t at = 0;;) {
      const size_t tab = line.find('\t', at);
      f.push_back(line.substr(at, tab == std::string::npos ? tab : tab - at));
      if (tab == std::string::npos) break;
      at = tab + 1;
    }
    if (f.size() == 5) cases.push_back({f[0], f[1], f[2], Unescape(f[3]), Unescape(f[4])});
  }
  return cases;
}

fs::path Corpus() {
  if (const char* dir = std::getenv("VARNOLT_CORPUS")) return dir;
  return fs::path(VARNOLT_SOURCE_DIR) / ".." / "shared" / "testdata" / "dxf";
}

TEST(PlainText, AsEzdxfMakesIt) {
  const std::vector<Case> cases = Cases();
  ASSERT_GT(cases.size(), 100u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + " " + c.handle + ": " + c.text.substr(0, 60));
    EXPECT_EQ(c.kind == "MTEXT" ? PlainMText(c.text) : PlainText(c.text), c.plain);
  }
}

TEST(PlainText, CorpusTextsReadAsEzdxfReadsThem) {
  if (!fs::is_directory(Corpus())) GTEST_SKIP() << "no DXF corpus at " << Corpus();
  std::map<std::string, std::map<std::string, std::string>> texts;  // file -> handle -> text
  DxfLimits blocks;
  blocks.include = kIncludeBlocks;
  size_t checked = 0;
  for (const Case& c : Cases()) {
    if (c.file == "-") continue;
    if (!texts.count(c.file)) {
      for (const Entity& e : ReadDxfFile(Corpus() / c.file, blocks).entities) {
        if (!e.handle.empty()) texts[c.file].emplace(e.handle, std::string(TextOf(e)));
      }
    }
    const auto found = texts[c.file].find(c.handle);
    if (found == texts[c.file].end()) continue;  // in a block no reference places
    EXPECT_EQ(found->second, c.text) << c.file << " " << c.handle;
    ++checked;
  }
  EXPECT_GT(checked, 100u);
}

}  // namespace
}  // namespace varnolt

// Small DXF drawings written in tests as code/value pairs, and the Placemark names a
// document holds, so that a test reads as the drawing and the document do.
#pragma once

#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace varnolt::test {

using Groups = std::vector<std::pair<int, std::string>>;

// DXF text from code/value pairs.
inline std::string Dxf(const Groups& groups) {
  std::string s;
  for (const auto& [c, v] : groups) s += std::to_string(c) + "\n" + v + "\n";
  return s;
}

inline Groups Cat(std::initializer_list<Groups> parts) {
  Groups all;
  for (const Groups& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// A drawing of a BLOCKS section and an ENTITIES section.
inline std::string Drawing(const Groups& blocks, const Groups& entities) {
  Groups g{{0, "SECTION"}, {2, "BLOCKS"}};
  g.insert(g.end(), blocks.begin(), blocks.end());
  g.insert(g.end(), {{0, "ENDSEC"}, {0, "SECTION"}, {2, "ENTITIES"}});
  g.insert(g.end(), entities.begin(), entities.end());
  g.insert(g.end(), {{0, "ENDSEC"}, {0, "EOF"}});
  return Dxf(g);
}

// The Placemark names of a document in its order (each Placemark's <name> line, two
// TABs in).
inline std::vector<std::string> PlacemarkNames(const std::string& doc) {
  std::vector<std::string> names;
  const std::string open = "\t\t\t<name>";
  for (size_t p = doc.find(open); p != std::string::npos; p = doc.find(open, p + 1)) {
    const size_t start = p + open.size();
    names.push_back(doc.substr(start, doc.find("</name>", start) - start));
  }
  return names;
}

}  // namespace varnolt::test

// The entities an ASCII DXF file's ENTITIES section holds at its top level (what a
// CAD host lets the user pick: a POLYLINE with its vertices, an INSERT with its
// attributes are one each), read by a scan of group pairs of its own, independent of
// the reader under test: their kind, handle and space, in file order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varnolt::testing {

struct TopEntity {
  std::string kind;    // "LINE", "INSERT", ...
  std::string handle;  // group 5; empty when the entity has none
  bool paper = false;  // group 67 = 1
};

inline std::vector<TopEntity> TopEntities(std::string_view dxf) {
  std::vector<std::string_view> lines;
  for (size_t at = 0; at < dxf.size();) {
    size_t nl = dxf.find('\n', at);
    if (nl == std::string_view::npos) nl = dxf.size();
    std::string_view line = dxf.substr(at, nl - at);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
    while (!line.empty() && line.front() == ' ') line.remove_prefix(1);
    lines.push_back(line);
    at = nl + 1;
  }
  std::vector<TopEntity> out;
  bool inEntities = false, own = false;
  for (size_t k = 0; k + 1 < lines.size(); k += 2) {
    const std::string_view code = lines[k], value = lines[k + 1];
    if (code == "0" && value == "SECTION") {
      inEntities = k + 3 < lines.size() && lines[k + 2] == "2" && lines[k + 3] == "ENTITIES";
      own = false;
      continue;
    }
    if (!inEntities) continue;
    if (code == "0") {
      own = value != "ENDSEC" && value != "VERTEX" && value != "SEQEND" && value != "ATTRIB";
      if (own) out.push_back({std::string(value), "", false});
      if (value == "ENDSEC") inEntities = false;
    } else if (own && code == "5" && out.back().handle.empty()) {
      out.back().handle = std::string(value);
    } else if (own && code == "67") {
      out.back().paper = value == "1";
    }
  }
  return out;
}

}  // namespace varnolt::testing

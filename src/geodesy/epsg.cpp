#include "geodesy/epsg.h"

#include <charconv>

namespace varnolt {
namespace {

constexpr GaussKruegerCrs kTable[] = {
#include "geodesy/epsg_table.inc"
};

}  // namespace

const char* const kGaussKruegerCrsRanges =
    "Beijing 1954: EPSG:2401-2442, 21413-21423, 21453-21463; Xi'an 1980: EPSG:2327-2390; "
    "CGCS2000: EPSG:4491-4554";

std::optional<GaussKruegerCrs> FindGaussKruegerCrs(std::string_view text) {
  if (text.size() > 5 && (text.substr(0, 5) == "EPSG:" || text.substr(0, 5) == "epsg:")) {
    text.remove_prefix(5);
  }
  int code = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), code);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  for (const GaussKruegerCrs& row : kTable) {
    if (row.code == code) return row;
  }
  return std::nullopt;
}

const GaussKruegerCrs* GaussKruegerCrsTable(size_t& count) {
  count = sizeof kTable / sizeof kTable[0];
  return kTable;
}

}  // namespace varnolt

// Helpers shared by the converters (not part of the interface).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "convert/convert.h"

namespace varnolt::convert_detail {

// qstab, three TABs, "lon,lat", ",", altitude text, CR LF.
inline void AppendPointLine(std::string& out, const ConvertContext& ctx,
                            std::string_view qstab, double easting, double northing,
                            std::string_view altitude) {
  out += qstab;
  out += "\t\t\t";
  ctx.projector.AppendLonLat(out, northing, easting);
  out += ',';
  out += altitude;
  out += "\r\n";
}

// Pieces of a straight stretch of length d cut every Text1 metres:
// floor(d / L + 0.0001) + 1, never below 0. A Text1 of 0 and a count that is not a
// finite number throw.
int64_t PieceCount(double d, const ConvertContext& ctx);

// The points a stretch of n pieces writes besides its start and end: the points at
// j L for j = 1 .. n - 1, less the one that would fall exactly on the end.
inline int64_t InnerPoints(int64_t n, double d, double L) {
  if (n <= 1) return 0;
  return static_cast<double>(n - 1) * L == d ? n - 2 : n - 1;
}

// Throws when `total` points exceed the limit of one Placemark.
void CheckPointCount(double total);

}  // namespace varnolt::convert_detail

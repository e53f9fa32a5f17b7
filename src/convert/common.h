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
// finite number throw; so does a count beyond the point limit (with `alreadyWritten`
// points of the entity before it).
int64_t PieceCount(double d, const ConvertContext& ctx, int64_t alreadyWritten);

// Throws when `total` points exceed the limit of one Placemark.
void CheckPointCount(double total);

}  // namespace varnolt::convert_detail

// The Chinese Gauss-Krueger coordinate systems by EPSG code: Beijing 1954 (2401-2442,
// 21413-21423, 21453-21463), Xi'an 1980 (2327-2390), CGCS2000 (4491-4554).
#pragma once

#include <optional>
#include <string_view>

#include "geodesy/datum.h"

namespace varnolt {

struct GaussKruegerCrs {
  int code = 0;
  Datum datum = Datum::kBeijing1954;
  int meridian = 0;  // central meridian, whole degrees
  int zone = 0;      // the zone number the eastings carry in front, 0 for none
};

// "EPSG:4526", "epsg:4526" or "4526". Empty for any other code.
std::optional<GaussKruegerCrs> FindGaussKruegerCrs(std::string_view text);

// Every row of the table, for the test that checks them.
const GaussKruegerCrs* GaussKruegerCrsTable(size_t& count);

// "Beijing 1954: EPSG:2401-2442, 21413-21423, 21453-21463; ...", for messages.
extern const char* const kGaussKruegerCrsRanges;

}  // namespace varnolt

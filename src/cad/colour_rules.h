// Colour numbers as a drawing gives them, whether from a DXF file or a live host:
// values no CAD host keeps are read as the default, never refused.
#pragma once

#include <cstdint>

#include "cad/entity.h"

namespace varnolt {

// An entity's colour: 0 ByBlock, 1..255, 256 ByLayer; anything else reads as ByLayer.
inline int EntityColorAsRead(std::int64_t c) {
  return (c >= 0 && c <= 256) ? static_cast<int>(c) : kColorByLayer;
}

// A layer's colour: negative marks a layer that is off, whose colour is the absolute
// value; 0 and values beyond 255 are no layer colours and read as the default 7.
inline int LayerColorAsRead(std::int64_t c) {
  if (c >= -255 && c <= -1) return static_cast<int>(-c);  // the range first: INT64_MIN has no -c
  return (c >= 1 && c <= 255) ? static_cast<int>(c) : 7;
}

}  // namespace varnolt

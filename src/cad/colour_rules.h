// Colour numbers as a CAD host keeps them, whatever source they are read from.
#pragma once

#include <cstdint>

#include "cad/entity.h"

namespace varnolt {

// An entity's colour: 0 ByBlock, 1..255, 256 ByLayer. Anything else is no colour a
// host keeps on an entity; it is read as ByLayer.
inline int EntityColourNumber(int64_t c) {
  return (c >= 0 && c <= 256) ? static_cast<int>(c) : kColorByLayer;
}

// A layer's colour: a negative number marks a layer that is off, its colour being the
// absolute value; 0 and values beyond 255 are no layer colours and read as 7, as a
// missing one does.
inline int LayerColourNumber(int64_t c) {
  if (c < 0) c = -c;
  return (c >= 1 && c <= 255) ? static_cast<int>(c) : 7;
}

}  // namespace varnolt

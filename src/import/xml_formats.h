// The two XML formats behind ReadXmlDocument: each a handler that collects the
// features as expat hands over the elements. Internal to import/.
#pragma once

#include <memory>

#include "import/geo_reader.h"
#include "import/xml.h"

namespace varnolt {

class GeoXmlHandler : public XmlHandler {
 public:
  // The document, once the parse has ended.
  virtual GeoDocument Finish() = 0;
};

std::unique_ptr<GeoXmlHandler> MakeKmlHandler();
std::unique_ptr<GeoXmlHandler> MakeGpxHandler();

// Appends the positions of a KML coordinates text ("lon,lat[,alt]" tuples separated by
// blanks; blanks beside the commas allowed) or, with `blanks`, of a gx:coord
// ("lon lat [alt]"). Throws Error(kGeneral) for a value that is not a number or a
// position out of range.
void ReadKmlCoordinates(std::string_view text, std::vector<GeoPosition>& out,
                        bool blanks = false);

}  // namespace varnolt

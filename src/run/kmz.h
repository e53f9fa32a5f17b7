// Packing a KML document as a KMZ: a zip archive whose one entry is doc.kml.
#pragma once

#include <string>
#include <string_view>

namespace varnolt {

// The bytes of a zip archive holding `kml` as "doc.kml" (deflated). Throws
// Error(kGeneral) when the archive cannot be built.
std::string ZipKmz(std::string_view kml);

}  // namespace varnolt

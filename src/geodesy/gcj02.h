// GCJ-02, the obfuscated system of Chinese web maps (高德, 腾讯 and others): the
// openly published approximation of WGS 84 -> GCJ-02, an offset of a few hundred
// metres that varies irregularly. For those maps only: Google Earth's imagery over
// China is on WGS 84.
#pragma once

namespace varnolt {

// WGS 84 longitude and latitude (decimal degrees) to GCJ-02. Positions outside the
// box around China that the algorithm covers are returned unchanged.
void Wgs84ToGcj02(double lon, double lat, double& gcjLon, double& gcjLat);

// The way back, by fixed-point iteration on Wgs84ToGcj02: the WGS 84 position whose
// GCJ-02 is the given one. The offset changes by less than a thousandth of a degree
// per degree, so each pass gains three digits; the result's GCJ-02 agrees with the
// input to 1e-12 degrees (0.1 micrometre). Outside the box: unchanged.
void Gcj02ToWgs84(double gcjLon, double gcjLat, double& lon, double& lat);

}  // namespace varnolt

// The bodies of the fuzz targets, shared by the libFuzzer programs (fuzz_*.cpp) and
// by the test that replays every committed crash file with the normal build.
//
// Each takes one input and returns 0. A failure the program reports with
// varnolt::Error is an ordinary outcome; anything else (another exception, a broken
// invariant, a sanitizer report) is a finding: the body aborts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace varnolt::fuzz {

// DXF bytes read as a drawing and converted whole, KML written to a scratch folder
// in memory (/dev/shm when present).
int DxfConvert(const uint8_t* data, size_t size);

// Settings-file bytes loaded as the window and command line load them, then a small
// drawing converted with those settings.
int SettingsFile(const uint8_t* data, size_t size);

// Control-point file bytes parsed and the corrections computed.
int ControlPoints(const uint8_t* data, size_t size);

// Leading-number reading, strict number reading and the number texts.
int LeadingNumber(const uint8_t* data, size_t size);

// KML, KMZ, GPX or GeoJSON bytes imported onto the plane, written as DXF and read
// back: the same entities.
int GeoImport(const uint8_t* data, size_t size);

// The targets by name, for scripts/fuzz and the replay test.
struct Target {
  std::string_view name;
  int (*run)(const uint8_t*, size_t);
};
inline constexpr Target kTargets[] = {
    {"dxf_convert", DxfConvert},
    {"settings", SettingsFile},
    {"control_points", ControlPoints},
    {"leading_number", LeadingNumber},
    {"geo_import", GeoImport},
};

}  // namespace varnolt::fuzz

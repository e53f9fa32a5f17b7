// libFuzzer entry of the geo_import target (see targets.h).
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return varnolt::fuzz::GeoImport(data, size);
}

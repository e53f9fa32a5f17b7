// libFuzzer entry of the dxf_convert target (see targets.h).
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return varnolt::fuzz::DxfConvert(data, size);
}

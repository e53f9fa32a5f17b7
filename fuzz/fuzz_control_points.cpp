// libFuzzer entry of the control_points target (see targets.h).
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return varnolt::fuzz::ControlPoints(data, size);
}

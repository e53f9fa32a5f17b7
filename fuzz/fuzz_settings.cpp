// libFuzzer entry of the settings target (see targets.h).
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return varnolt::fuzz::SettingsFile(data, size);
}

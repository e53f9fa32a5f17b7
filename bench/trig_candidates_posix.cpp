#include "trig_study.h"

namespace varnolt::bench {

// Linux: the C library's own, the reference.
std::vector<TrigCandidate> TrigCandidates() {
  return {{"glibc (the C library)", LibrarySin, LibraryCos, LibraryTan, LibraryAtan}};
}

}  // namespace varnolt::bench

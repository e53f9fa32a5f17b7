// PROJ as the tests' independent reference: one context, and PROJ strings or CRS pairs
// made into transformations (null when PROJ refuses the definition). Include only
// where PROJ is built in (VARNOLT_HAVE_PROJ).
#pragma once

#include <proj.h>

#include <string>

namespace varnolt::testing {

class ProjSession {
 public:
  ProjSession() : ctx_(proj_context_create()) {}
  ~ProjSession() { proj_context_destroy(ctx_); }
  ProjSession(const ProjSession&) = delete;
  ProjSession& operator=(const ProjSession&) = delete;

  PJ* Create(const std::string& def) { return proj_create(ctx_, def.c_str()); }

  // From one CRS to another, longitude before latitude in degrees.
  PJ* CrsToCrs(const std::string& from, const std::string& to) {
    PJ* p = proj_create_crs_to_crs(ctx_, from.c_str(), to.c_str(), nullptr);
    if (p == nullptr) return p;
    PJ* n = proj_normalize_for_visualization(ctx_, p);
    proj_destroy(p);
    return n;
  }

 private:
  PJ_CONTEXT* ctx_;
};

}  // namespace varnolt::testing

// Angle units: packed degrees-minutes-seconds (ddd.mmss...), radians and decimal
// degrees. Both procedures hand back text; the caller reads it back as a number,
// and that 15-digit round trip decides the last digits of every output.
#pragma once

#include <string>

namespace varnolt {

// pi as the system computes it: 4 * atan(1) in double precision.
double SystemPi();

// Packed DMS angle to radians, as general text. 114.3 is 114 deg 30 min; 140.022866
// is 140 deg 02 min 28.66 sec. Minutes and seconds are not checked against 60
// (114.6 reads as 115 deg). A packed value whose degrees leave -32767..32767 throws
// Error(kGeneral).
std::string D_R(double DFM, double pi);

// Radians to decimal degrees, as bare text (0.5 deg -> ".5").
std::string R_D1(double R, double pi);

// The numbers of those texts, for callers that compute on with them.
double D_R_Value(double DFM, double pi);
double R_D1_Value(double R, double pi);

}  // namespace varnolt

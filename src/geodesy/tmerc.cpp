#include "geodesy/tmerc.h"

#include <cmath>

namespace varnolt {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180;

// tan of the conformal latitude from tan of the geodetic latitude.
double ConformalTan(double tau, double e) {
  const double root = std::hypot(1.0, tau);
  const double sigma = std::sinh(e * std::atanh(e * tau / root));
  return tau * std::hypot(1.0, sigma) - sigma * root;
}

}  // namespace

TransverseMercator::TransverseMercator(EllipsoidShape ellipsoid, double lon0, double falseEasting)
    : lon0_(lon0), falseEasting_(falseEasting) {
  const double f = 1 / ellipsoid.invf;
  e2_ = f * (2 - f);
  e_ = std::sqrt(e2_);
  const double n = f / (2 - f);
  const double n2 = n * n, n3 = n2 * n, n4 = n3 * n, n5 = n4 * n, n6 = n5 * n;
  radius_ = ellipsoid.a / (1 + n) * (1 + n2 / 4 + n4 / 64 + n6 / 256);
  alpha_[0] = beta_[0] = 0;
  alpha_[1] = n / 2 - 2 * n2 / 3 + 5 * n3 / 16 + 41 * n4 / 180 - 127 * n5 / 288 +
              7891 * n6 / 37800;
  alpha_[2] = 13 * n2 / 48 - 3 * n3 / 5 + 557 * n4 / 1440 + 281 * n5 / 630 -
              1983433 * n6 / 1935360;
  alpha_[3] = 61 * n3 / 240 - 103 * n4 / 140 + 15061 * n5 / 26880 + 167603 * n6 / 181440;
  alpha_[4] = 49561 * n4 / 161280 - 179 * n5 / 168 + 6601661 * n6 / 7257600;
  alpha_[5] = 34729 * n5 / 80640 - 3418889 * n6 / 1995840;
  alpha_[6] = 212378941 * n6 / 319334400;
  beta_[1] = n / 2 - 2 * n2 / 3 + 37 * n3 / 96 - n4 / 360 - 81 * n5 / 512 + 96199 * n6 / 604800;
  beta_[2] = n2 / 48 + n3 / 15 - 437 * n4 / 1440 + 46 * n5 / 105 - 1118711 * n6 / 3870720;
  beta_[3] = 17 * n3 / 480 - 37 * n4 / 840 - 209 * n5 / 4480 + 5569 * n6 / 90720;
  beta_[4] = 4397 * n4 / 161280 - 11 * n5 / 504 - 830251 * n6 / 7257600;
  beta_[5] = 4583 * n5 / 161280 - 108847 * n6 / 3991680;
  beta_[6] = 20648693 * n6 / 638668800;
}

void TransverseMercator::Forward(double lon, double lat, double& easting,
                                 double& northing) const {
  const double lambda = (lon - lon0_) * kDeg;
  const double tauPrime = ConformalTan(std::tan(lat * kDeg), e_);
  const double xiPrime = std::atan2(tauPrime, std::cos(lambda));
  const double etaPrime =
      std::asinh(std::sin(lambda) / std::hypot(tauPrime, std::cos(lambda)));
  double xi = xiPrime, eta = etaPrime;
  for (int j = 1; j <= 6; ++j) {
    xi += alpha_[j] * std::sin(2 * j * xiPrime) * std::cosh(2 * j * etaPrime);
    eta += alpha_[j] * std::cos(2 * j * xiPrime) * std::sinh(2 * j * etaPrime);
  }
  easting = falseEasting_ + radius_ * eta;
  northing = radius_ * xi;
}

void TransverseMercator::Inverse(double easting, double northing, double& lon,
                                 double& lat) const {
  const double xi = northing / radius_;
  const double eta = (easting - falseEasting_) / radius_;
  double xiPrime = xi, etaPrime = eta;
  for (int j = 1; j <= 6; ++j) {
    xiPrime -= beta_[j] * std::sin(2 * j * xi) * std::cosh(2 * j * eta);
    etaPrime -= beta_[j] * std::cos(2 * j * xi) * std::sinh(2 * j * eta);
  }
  const double sinhEta = std::sinh(etaPrime);
  const double cosXi = std::cos(xiPrime);
  const double tauPrime = std::sin(xiPrime) / std::hypot(sinhEta, cosXi);
  lon = lon0_ + std::atan2(sinhEta, cosXi) / kDeg;
  // tan of the geodetic latitude from the conformal one by Newton's method.
  double tau = tauPrime / (1 - e2_);
  for (int pass = 0; pass < 10; ++pass) {
    const double t = ConformalTan(tau, e_);
    const double step = (tauPrime - t) / std::hypot(1.0, t) * (1 + (1 - e2_) * tau * tau) /
                        ((1 - e2_) * std::hypot(1.0, tau));
    tau += step;
    if (std::fabs(step) < 1e-15 * std::fmax(1.0, std::fabs(tau))) break;
  }
  lat = std::atan(tau) / kDeg;
}

}  // namespace varnolt

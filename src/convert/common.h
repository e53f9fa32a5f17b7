// Helpers shared by the converters (not part of the interface).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "convert/convert.h"
#include "text/numtext.h"

namespace varnolt::convert_detail {

// The point lines of one Placemark, in the order the points are added: qstab, three
// TABs, "lon,lat", ",", altitude text, CR LF. A converter gets one only from Write,
// which writes the points still queued when the converter's function returns, so
// that no point can be left unwritten. Points wait in a small queue and are
// projected together when it fills: projecting several points at once lets the CPU
// overlap their footpoint iterations. A point that cannot be projected throws its
// error once the lines of the points before it are written, as point-by-point
// writing would.
class PointLines {
 public:
  // Calls addPoints(lines), which Adds the Placemark's points, then writes the last.
  template <class AddPoints>
  static void Write(const ConvertContext& ctx, std::string_view qstab, std::string& out,
                    AddPoints&& addPoints) {
    PointLines lines(ctx, qstab, out);
    addPoints(lines);
    lines.WriteQueued();
  }

  PointLines(const PointLines&) = delete;
  PointLines& operator=(const PointLines&) = delete;

  void Add(double easting, double northing, double z) {
    X_[queued_] = northing;
    Y_[queued_] = easting;
    Z_[queued_] = z;
    if (++queued_ == kQueue) WriteQueued();
  }

 private:
  PointLines(const ConvertContext& ctx, std::string_view qstab, std::string& out)
      : ctx_(ctx), out_(out), head_(qstab) {
    head_ += "\t\t\t";
  }

  // Projects the queued points and appends their lines.
  void WriteQueued();

  static constexpr size_t kQueue = 8 * Projector::kBatch;
  const ConvertContext& ctx_;
  std::string& out_;
  std::string head_;  // qstab and three TABs
  double X_[kQueue];
  double Y_[kQueue];
  double Z_[kQueue];
  size_t queued_ = 0;
  // Most Placemarks write one altitude throughout: its line end (",", altitude
  // text, CR LF) is made once. The text is written with the room a writer needs.
  char tail_[1 + kMaxNumberText + 2];
  size_t tailSize_ = 0;
  double altitudeOf_ = 0;
  bool haveAltitude_ = false;
};

// Pieces of a straight stretch of length d cut every Text1 metres:
// floor(d / L + 0.0001) + 1, never below 0. A Text1 of 0 and a count that is not a
// finite number throw.
int64_t PieceCount(double d, const ConvertContext& ctx);

// The points a stretch of n pieces writes besides its start and end: the points at
// j L for j = 1 .. n - 1, less the one that would fall exactly on the end.
inline int64_t InnerPoints(int64_t n, double d, double L) {
  if (n <= 1) return 0;
  return static_cast<double>(n - 1) * L == d ? n - 2 : n - 1;
}

// Throws when `total` points exceed the limit of one Placemark.
void CheckPointCount(double total);

}  // namespace varnolt::convert_detail

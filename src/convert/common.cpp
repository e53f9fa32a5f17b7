#include "convert/common.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "base/error.h"
#include "convert/methods_settings.h"
#include "geodesy/datum.h"
#include "text/numtext.h"

namespace varnolt {

namespace convert_detail {
namespace {

std::string CountText(double count) {
  if (count < 1e18) return std::to_string(static_cast<long long>(count));
  return GeneralText(count);
}

}  // namespace

void CheckPointCount(double total) {
  if (total > static_cast<double>(kMaxPointsPerEntity)) {
    throw Error(ErrorKind::kGeneral,
                "would produce " + CountText(total) + " points, more than the " +
                    std::to_string(kMaxPointsPerEntity) +
                    " one Placemark may hold; raise 直线最小分段长度 (Text1)");
  }
}

namespace {

// Copies exactly n bytes and returns the end. Heads and tails are a few bytes (TABs;
// ",0" CR LF), for which a call of memcpy with a size known only at run time costs
// more than the copy: up to 16 bytes are two overlapping copies of a fixed size.
inline char* CopyShort(char* to, const char* from, size_t n) {
  if (n > 16) {
    std::memcpy(to, from, n);
  } else if (n >= 8) {
    uint64_t first = 0, last = 0;
    std::memcpy(&first, from, 8);
    std::memcpy(&last, from + n - 8, 8);
    std::memcpy(to, &first, 8);
    std::memcpy(to + n - 8, &last, 8);
  } else if (n >= 4) {
    uint32_t first = 0, last = 0;
    std::memcpy(&first, from, 4);
    std::memcpy(&last, from + n - 4, 4);
    std::memcpy(to, &first, 4);
    std::memcpy(to + n - 4, &last, 4);
  } else {
    for (size_t i = 0; i < n; ++i) to[i] = from[i];
  }
  return to + n;
}

}  // namespace

void PointLines::WriteQueued() {
  double lon[kQueue];
  double lat[kQueue];
  const Projector::Projected done = ctx_.projector.Degrees(X_, Y_, queued_, lon, lat, Z_);
  // The lines are put together in a buffer on the stack and appended in one go. A
  // line takes at most `longest` bytes: the head, the two texts with their comma
  // (WriteGeneralTexts needs that room) and the longest tail. Before each line the
  // buffer is emptied when that much room is not left.
  char buffer[8192];
  const size_t longest = head_.size() + (2 * kMaxNumberText + 1) + sizeof tail_;
  char* p = buffer;
  for (size_t i = 0; i < done.count; ++i) {
    // Equal altitudes have equal text (0 and -0 alike); NaN is simply written anew.
    if (!haveAltitude_ || Z_[i] != altitudeOf_) {
      tail_[0] = ',';
      char* end = WriteBareText(tail_ + 1, Z_[i]);
      end[0] = '\r';
      end[1] = '\n';
      tailSize_ = static_cast<size_t>(end + 2 - tail_);
      altitudeOf_ = Z_[i];
      haveAltitude_ = true;
    }
    if (static_cast<size_t>(buffer + sizeof buffer - p) < longest) {
      out_.append(buffer, static_cast<size_t>(p - buffer));
      p = buffer;
      if (sizeof buffer < longest) {
        // A nesting too deep for the buffer: string appends, line by line.
        out_ += head_;
        AppendGeneralText(out_, lon[i]);
        out_ += ',';
        AppendGeneralText(out_, lat[i]);
        out_.append(tail_, tailSize_);
        continue;
      }
    }
    p = CopyShort(p, head_.data(), head_.size());
    p = WriteGeneralTexts(p, lon[i], ',', lat[i]);
    p = CopyShort(p, tail_, tailSize_);
  }
  out_.append(buffer, static_cast<size_t>(p - buffer));
  queued_ = 0;
  if (done.failure != ProjectionFailure::kNone) {
    // The failing point's line is begun, as writing point by point leaves it.
    out_ += head_;
    ThrowProjectionFailure(done.failure, X_[done.count], Y_[done.count]);
  }
}

int64_t PieceCount(double d, const ConvertContext& ctx) {
  const double L = ctx.segmentLength;
  if (L == 0) {
    throw Error(ErrorKind::kGeneral,
                "直线最小分段长度 (Text1) is 0 (text \"" + ctx.segmentLengthText +
                    "\"): straight segments cannot be cut into pieces of that length; "
                    "enter a length in metres, such as 10");
  }
  const double q = d / L + 0.0001;
  if (!std::isfinite(q)) {
    throw Error(ErrorKind::kGeneral,
                "a straight segment of length " + GeneralText(d) +
                    " m cut every 直线最小分段长度 (Text1) = " + GeneralText(L) +
                    " m gives no finite number of pieces");
  }
  const double n = std::floor(q) + 1;
  if (n <= 0) return 0;
  // Far beyond any count that passes CheckPointCount, and still an exact integer.
  if (n > 1e15) return static_cast<int64_t>(1e15);
  return static_cast<int64_t>(n);
}

}  // namespace convert_detail

ConvertContext MakeConvertContext(const Settings& settings) {
  const DatumParameters datum = DatumParametersOfSettings(settings);
  ConvertContext ctx{
      Projector(datum, ReadLeadingNumber(settings.Text2), ReadLeadingNumber(settings.Text5),
                ReadLeadingNumber(settings.Text6)),
      ReadLeadingNumber(settings.Text1),
      settings.Text1,
      ReadLeadingNumber(settings.Text7),
      // Only an unchecked box straightens the bulges: a greyed one (2, from a
      // settings file) honours them as a checked one does.
      settings.Check1 != 0,
      datum.pi,
  };
  if (auto methods = MethodsOfSettings(settings)) ctx.projector.UseMethods(std::move(methods));
  return ctx;
}

std::string DescribeEntity(const Entity& ent, std::string_view sourceName) {
  std::string text(NamesOf(ent.type()).english);
  std::string where;
  if (!ent.handle.empty()) where += "handle " + ent.handle;
  if (ent.sourceLine > 0) {
    if (!where.empty()) where += ", ";
    where += "line " + std::to_string(ent.sourceLine);
    if (!sourceName.empty()) {
      where += " of ";
      where += sourceName;
    }
  } else if (!sourceName.empty()) {
    if (!where.empty()) where += ", ";
    where += "in ";
    where += sourceName;
  }
  if (!where.empty()) text += " (" + where + ")";
  return text;
}

}  // namespace varnolt

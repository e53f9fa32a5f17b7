#include "text/numtext.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>

#include "base/lanes.h"
#include "text/ascii.h"

namespace varnolt {
namespace {

// The 15 significant digits of a finite non-zero value and its decimal exponent:
// value ~ d.dddddddddddddd * 10^exp. Trailing zeros are dropped from `digits`.
struct Decimal15 {
  char digits[16];
  int count = 0;
  int exp = 0;
  bool negative = false;
};

// The slow, general way: the standard library's shortest-free scientific text.
Decimal15 ToDecimal15Text(double value) {
  // "-d.ddddddddddddddde-308" fits in 32 characters.
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  Decimal15 d;
  const char* p = buf;
  if (*p == '-') {
    d.negative = true;
    ++p;
  }
  d.digits[d.count++] = *p++;
  if (*p == '.') {
    ++p;
    while (*p != 'e') d.digits[d.count++] = *p++;
  }
  ++p;  // 'e'
  int e = 0;
  std::from_chars(*p == '+' ? p + 1 : p, res.ptr, e);
  d.exp = e;
  while (d.count > 1 && d.digits[d.count - 1] == '0') --d.count;
  return d;
}

// GCC's 128-bit integer; __extension__ keeps -Wpedantic quiet about it.
__extension__ typedef unsigned __int128 Uint128;

constexpr uint64_t kPow10[20] = {1ULL,
                                 10ULL,
                                 100ULL,
                                 1000ULL,
                                 10000ULL,
                                 100000ULL,
                                 1000000ULL,
                                 10000000ULL,
                                 100000000ULL,
                                 1000000000ULL,
                                 10000000000ULL,
                                 100000000000ULL,
                                 1000000000000ULL,
                                 10000000000000ULL,
                                 100000000000000ULL,
                                 1000000000000000ULL,
                                 10000000000000000ULL,
                                 100000000000000000ULL,
                                 1000000000000000000ULL,
                                 10000000000000000000ULL};

// Powers of ten that are exact doubles (up to 10^22).
constexpr double kPow10Double[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The rounding error of the product of a and b, exactly: Dekker's product, each
// factor split into halves of 26 bits whose products are exact (no fused
// multiply-add: the build keeps every product rounded on its own).
double ProductError(double a, double b, double product) {
  const double ca = 134217729.0 * a, ah = ca - (ca - a), al = a - ah;
  const double cb = 134217729.0 * b, bh = cb - (cb - b), bl = b - bh;
  return ((ah * bh - product) + ah * bl + al * bh) + al * bl;
}

// The decimal exponent E of 1 <= a < 10^15 (10^E <= a < 10^(E + 1)); false for any
// other a.
[[gnu::always_inline]] inline bool QuickExponent(double a, int& E) {
  if (!(a >= 1 && a < 1e15)) return false;
  uint64_t bits = 0;
  std::memcpy(&bits, &a, sizeof bits);
  const int e2 = static_cast<int>(bits >> 52) - 1023;  // 2^e2 <= a < 2^(e2 + 1)
  // floor(log10 2^e2) is E or E - 1; the exact power 10^(E + 1) settles which.
  E = (e2 * 1233) >> 12;
  if (a >= kPow10Double[E + 1]) ++E;
  return true;
}

// The 15 significant digits of the magnitudes in both lanes of `a`, the usual way,
// in floating point. For 1 <= a < 10^15 with first digit at 10^E, scale =
// 10^(14 - E) is an exact double, and p = a scale lies below 2^50, where every
// half-integer is a double. So p, the product rounded, never lies on the other side
// of a half-integer from the exact product, and both round to the same integer,
// unless p is a half-integer itself: then the product's rounding error says on
// which side the exact product lies. `digits` gets each lane's 15 digits as an
// integer-valued double, 10^15 when the rounding carries into a new first digit
// (see Carry); digits / scale is the value rounded to 15 digits either way. False
// when either lane lies outside 1 <= a < 10^15.
// The one rounding of every writer and of Round15: a lone value goes through in
// both lanes, so that one value and two side by side round alike by construction.
[[gnu::always_inline]] inline bool QuickDigits15(Pair a, Pair& digits, Pair& scale, int E[2]) {
  if (!QuickExponent(a[0], E[0]) || !QuickExponent(a[1], E[1])) return false;
  scale = Pair{kPow10Double[14 - E[0]], kPow10Double[14 - E[1]]};
  const Pair p = a * scale;
  // Adding and taking away 2^52 rounds p (< 2^50) to an integer, ties to even.
  digits = (p + 0x1p52) - 0x1p52;
  const Pair gap = p - digits;
  for (int i = 0; i < 2; ++i) {
    if (std::fabs(gap[i]) == 0.5) [[unlikely]] {
      const double error = ProductError(a[i], scale[i], p[i]);
      if (error > 0) digits[i] = p[i] + 0.5;
      if (error < 0) digits[i] = p[i] - 0.5;
    }
  }
  return true;
}

// Digits that rounded up into a 16th digit (10^15) are 10^14 one place up.
[[gnu::always_inline]] inline void Carry(uint64_t& m, int& exp10) {
  if (m == kPow10[15]) {
    m = kPow10[14];
    ++exp10;
  }
}

// The 15 significant digits of |value| as an integer m (10^14 <= m < 10^15) and the
// decimal exponent of its first digit, rounded to nearest with ties to even, exactly
// as the standard library's scientific text with 14 decimals rounds. The quick
// floating way above takes 1 <= |value| < 1e15, all that coordinates take; below
// that, down to 1e-5, integers: |value| = f 2^e exactly, and m is f 10^k 2^e
// rounded, with k = 14 - exponent (f 10^k fits in 128 bits). False elsewhere (the
// caller takes the slow way).
[[gnu::always_inline]] inline bool FastDecimal15(double value, uint64_t& m, int& exp10) {
  const double a = std::fabs(value);
  Pair quick, scale;
  int quickExp[2];
  if (QuickDigits15(Pair{a, a}, quick, scale, quickExp)) {
    m = static_cast<uint64_t>(quick[0]);
    exp10 = quickExp[0];
    Carry(m, exp10);
    return true;
  }
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  const int biased = static_cast<int>((bits >> 52) & 0x7ff);
  if (biased == 0 || biased == 0x7ff) return false;  // subnormal, infinite, NaN
  const uint64_t f = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const int e = biased - 1075;  // |value| = f * 2^e
  if (e >= 0) return false;     // |value| >= 2^52: beyond the exponent-free range
  const int shift = -e;
  if (shift >= 120) return false;
  // floor(log10(2^(e + 52))), the exponent of |value| or one below it; the exact
  // powers of ten settle which for |value| >= 1.
  int E = ((e + 52) * 1233) >> 12;
  if (E >= 0 && E < 22 && std::fabs(value) >= kPow10Double[E + 1]) ++E;
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int k = 14 - E;
    if (k < 0 || k > 19) return false;
    const Uint128 n = static_cast<Uint128>(f) * kPow10[k];
    const Uint128 q = n >> shift;
    if (q >= kPow10[15]) {
      ++E;
      continue;
    }
    if (q < kPow10[14]) {
      --E;
      continue;
    }
    const Uint128 r = n - (q << shift);
    const Uint128 half = static_cast<Uint128>(1) << (shift - 1);
    uint64_t digits = static_cast<uint64_t>(q);
    if (r > half || (r == half && (digits & 1) != 0)) ++digits;
    Carry(digits, E);
    m = digits;
    exp10 = E;
    return true;
  }
  return false;
}

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes v < 10^4 as exactly four digits.
[[gnu::always_inline]] inline void WriteFourDigits(char* p, uint32_t v) {
  std::memcpy(p, kDigitPairs + 2 * (v / 100), 2);
  std::memcpy(p + 2, kDigitPairs + 2 * (v % 100), 2);
}

// Writes m < 10^15 as exactly 15 digits (leading zeros kept) and returns the end.
// Cut into blocks first, so that the blocks' digits are found side by side rather
// than in one chain of divisions.
[[gnu::always_inline]] inline char* WriteFifteenDigits(char* p, uint64_t m) {
  const auto high = static_cast<uint32_t>(m / 100000000);  // 7 digits
  const auto low = static_cast<uint32_t>(m % 100000000);   // 8 digits
  const uint32_t top = high / 1000000;
  const uint32_t rest = high % 1000000;
  p[0] = static_cast<char>('0' + top);
  std::memcpy(p + 1, kDigitPairs + 2 * (rest / 10000), 2);
  WriteFourDigits(p + 3, rest % 10000);
  WriteFourDigits(p + 7, low / 10000);
  WriteFourDigits(p + 11, low % 10000);
  return p + 15;
}

// The text of a value whose 15 digits are known in `d` (the slow way's layout).
char* WriteDecimal15(char* p, const Decimal15& d, bool bare) {
  if (d.negative) *p++ = '-';
  if (d.exp < -4 || d.exp >= 15) {
    *p++ = d.digits[0];
    if (d.count > 1) {
      *p++ = '.';
      std::memcpy(p, d.digits + 1, static_cast<size_t>(d.count - 1));
      p += d.count - 1;
    }
    *p++ = 'E';
    *p++ = d.exp < 0 ? '-' : '+';
    const int e = d.exp < 0 ? -d.exp : d.exp;
    if (e < 10) *p++ = '0';
    return std::to_chars(p, p + 8, e).ptr;
  }
  if (d.exp >= 0) {
    const int intDigits = d.exp + 1;
    for (int i = 0; i < intDigits; ++i) *p++ = i < d.count ? d.digits[i] : '0';
    if (d.count > intDigits) {
      *p++ = '.';
      std::memcpy(p, d.digits + intDigits, static_cast<size_t>(d.count - intDigits));
      p += d.count - intDigits;
    }
    return p;
  }
  if (!bare) *p++ = '0';
  *p++ = '.';
  for (int i = 0; i < -d.exp - 1; ++i) *p++ = '0';
  std::memcpy(p, d.digits, static_cast<size_t>(d.count));
  return p + d.count;
}

// Lays out the text of a value with 15 digits m and first-digit exponent E,
// -4 <= E < 15, in fixed form at `p`, and returns its end.
[[gnu::always_inline]] inline char* WriteFixed(char* p, bool negative, uint64_t m, int E,
                                               bool bare) {
  if (negative) *p++ = '-';
  if (E >= 0) {
    // All 15 digits one place to the right, then the whole part moved back in
    // front of the point: no division by a power of ten that is not a constant.
    WriteFifteenDigits(p + 1, m);
    for (int i = 0; i <= E; ++i) p[i] = p[i + 1];
    p[E + 1] = '.';
    char* end = p + 16;
    while (end[-1] == '0') --end;
    if (end[-1] == '.') --end;
    return end;
  }
  if (!bare) *p++ = '0';
  *p++ = '.';
  for (int i = 0; i < -E - 1; ++i) *p++ = '0';
  char* end = WriteFifteenDigits(p, m);
  while (end[-1] == '0') --end;  // m has a leading digit other than 0
  return end;
}

// Writes the text of a finite non-zero value at `p` (at most 32 characters) and
// returns its end. The usual magnitudes (1E-04 up to 1E+15, all that coordinates
// and altitudes take) are laid out straight from the integer of their 15 digits.
[[gnu::always_inline]] inline char* WriteNumberText(char* p, double value, bool bare) {
  uint64_t m = 0;
  int E = 0;
  if (!FastDecimal15(value, m, E) || E < -4 || E >= 15) {
    return WriteDecimal15(p, ToDecimal15Text(value), bare);
  }
  return WriteFixed(p, value < 0, m, E, bare);
}

// Any value: zero (negative zero too), NaN and the infinities first.
[[gnu::always_inline]] inline char* WriteAnyNumberText(char* p, double value, bool bare) {
  if (value == 0) {
    *p = '0';
    return p + 1;
  }
  if (!std::isfinite(value)) {
    const char* text = std::isnan(value) ? "NaN" : value < 0 ? "-Infinity" : "Infinity";
    const size_t size = std::strlen(text);
    std::memcpy(p, text, size);
    return p + size;
  }
  return WriteNumberText(p, value, bare);
}

void AppendNumberText(std::string& out, double value, bool bare) {
  // Written in place: building the text elsewhere and copying it in costs more
  // than the digits themselves.
  const size_t old = out.size();
  out.resize(old + kMaxNumberText);
  char* begin = out.data() + old;
  out.resize(old + static_cast<size_t>(WriteAnyNumberText(begin, value, bare) - begin));
}

// Parses [sign] digits [. digits] [(E|e) [sign] digits] from `s` (no blanks inside).
// Returns the number of characters that form the number (0 when none) and its value.
size_t ScanNumber(std::string_view s, double& value) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  size_t mantissaStart = i;
  size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return 0;
  size_t mantissaEnd = i;
  if (i < s.size() && (s[i] == 'E' || s[i] == 'e')) {
    size_t j = i + 1;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    size_t expDigits = 0;
    while (j < s.size() && s[j] >= '0' && s[j] <= '9') ++j, ++expDigits;
    if (expDigits > 0) i = j;
  }
  std::string_view num = s.substr(mantissaStart, i - mantissaStart);
  double v = 0;
  auto res = std::from_chars(num.data(), num.data() + num.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: decide which from the decimal magnitude.
    long magnitude = 0;
    std::string_view mant = s.substr(mantissaStart, mantissaEnd - mantissaStart);
    size_t k = 0;
    while (k < mant.size() && (mant[k] == '0')) ++k;
    if (k < mant.size() && mant[k] != '.') {
      while (k < mant.size() && mant[k] != '.') ++k, ++magnitude;
    } else {
      if (k < mant.size()) ++k;  // the point
      while (k < mant.size() && mant[k] == '0') ++k, --magnitude;
    }
    if (i > mantissaEnd) {
      long e = 0;
      std::string_view es = s.substr(mantissaEnd + 1, i - mantissaEnd - 1);
      bool eneg = !es.empty() && es[0] == '-';
      if (!es.empty() && (es[0] == '-' || es[0] == '+')) es.remove_prefix(1);
      for (char c : es) e = e > 100000 ? e : e * 10 + (c - '0');
      magnitude += eneg ? -e : e;
    }
    v = magnitude > 0 ? std::numeric_limits<double>::infinity() : 0.0;
  }
  value = negative ? -v : v;
  return i;
}

}  // namespace

std::string GeneralText(double value) {
  std::string s;
  AppendNumberText(s, value, false);
  return s;
}

void AppendGeneralText(std::string& out, double value) { AppendNumberText(out, value, false); }

char* WriteGeneralText(char* p, double value) { return WriteAnyNumberText(p, value, false); }

char* WriteGeneralTexts(char* p, double first, char separator, double second) {
  // Coordinates, side by side: the 15 digits of both found at once; anything
  // outside the quick range one by one.
  Pair digits, scale;
  int E[2];
  if (QuickDigits15(Pair{std::fabs(first), std::fabs(second)}, digits, scale, E)) {
    uint64_t m0 = static_cast<uint64_t>(digits[0]), m1 = static_cast<uint64_t>(digits[1]);
    Carry(m0, E[0]);
    Carry(m1, E[1]);
    // A carry up to 10^15 takes the exponent form, which the general way writes.
    if (E[0] < 15 && E[1] < 15) {
      p = WriteFixed(p, first < 0, m0, E[0], false);
      *p++ = separator;
      return WriteFixed(p, second < 0, m1, E[1], false);
    }
  }
  p = WriteAnyNumberText(p, first, false);
  *p++ = separator;
  return WriteAnyNumberText(p, second, false);
}

std::string BareText(double value) {
  std::string s;
  AppendNumberText(s, value, true);
  return s;
}

void AppendBareText(std::string& out, double value) { AppendNumberText(out, value, true); }

char* WriteBareText(char* p, double value) { return WriteAnyNumberText(p, value, true); }

double Round15(double value) {
  if (!std::isfinite(value) || value == 0) return value;
  // digits / 10^(14 - E) is what the text reads back as, as below; a carry into
  // 10^15 gives the same double as 10^14 / 10^(13 - E).
  const double a = std::fabs(value);
  Pair digits, scale;
  int E[2];
  if (QuickDigits15(Pair{a, a}, digits, scale, E)) {
    const double v = digits[0] / scale[0];
    return value < 0 ? -v : v;
  }
  // m 10^(exp - 14) with m < 2^53 and the power of ten exact: one correctly rounded
  // division or product, the same double that reading the 15-digit text gives.
  uint64_t m = 0;
  int exp10 = 0;
  if (FastDecimal15(value, m, exp10)) {
    const int k = 14 - exp10;
    const double digits = static_cast<double>(m);
    const double v = k >= 0 ? digits / kPow10Double[k] : digits * kPow10Double[-k];
    return value < 0 ? -v : v;
  }
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  double v = 0;
  const auto read = std::from_chars(buf, res.ptr, v);
  // The 15-digit text of the largest doubles (1.79769313486232E+308) lies past the
  // range: read back, it is an infinity, not the 0 left in v.
  if (read.ec == std::errc::result_out_of_range && std::fabs(value) > 1) {
    return value < 0 ? -std::numeric_limits<double>::infinity()
                     : std::numeric_limits<double>::infinity();
  }
  return v;
}

void Round15Each(double* values, size_t n) {
  // Two values at a time, side by side, rounded as Round15 rounds one; anything
  // outside the quick range goes through Round15 one by one.
  size_t i = 0;
  for (; i + 1 < n; i += 2) {
    Pair digits, scale;
    int E[2];
    if (QuickDigits15(Pair{std::fabs(values[i]), std::fabs(values[i + 1])}, digits, scale, E)) {
      const Pair v = digits / scale;
      values[i] = values[i] < 0 ? -v[0] : v[0];
      values[i + 1] = values[i + 1] < 0 ? -v[1] : v[1];
      continue;
    }
    values[i] = Round15(values[i]);
    values[i + 1] = Round15(values[i + 1]);
  }
  for (; i < n; ++i) values[i] = Round15(values[i]);
}

double ReadLeadingNumber(std::string_view text) {
  // Blanks and tabs do not end the number; they are simply skipped.
  char buf[128];
  std::string longer;
  size_t n = 0;
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    bool part = (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'E' ||
                c == 'e';
    if (!part) break;
    if (n < sizeof buf) {
      buf[n++] = c;
    } else {
      if (longer.empty()) longer.assign(buf, n);
      longer += c;
    }
  }
  std::string_view s = longer.empty() ? std::string_view(buf, n) : std::string_view(longer);
  double value = 0;
  if (ScanNumber(s, value) == 0) return 0;
  return value;
}

bool ParseNumber(std::string_view text, double& value) {
  text = TrimBlanks(text);
  double v = 0;
  size_t used = ScanNumber(text, v);
  if (used == 0 || used != text.size() || !std::isfinite(v)) return false;
  value = v;
  return true;
}

std::string FixedText(double value, int decimals) {
  if (value == 0) value = 0;  // negative zero has no sign
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (res.ec != std::errc()) return GeneralText(value);
  return std::string(buf, res.ptr);
}

}  // namespace varnolt

#include "text/numtext.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

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

Decimal15 ToDecimal15(double value) {
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

void AppendNumberText(std::string& out, double value, bool bare) {
  if (value == 0) {  // also negative zero
    out += '0';
    return;
  }
  if (std::isnan(value)) {
    out += "NaN";
    return;
  }
  if (std::isinf(value)) {
    out += value < 0 ? "-Infinity" : "Infinity";
    return;
  }
  Decimal15 d = ToDecimal15(value);
  if (d.negative) out += '-';
  if (d.exp < -4 || d.exp >= 15) {
    out += d.digits[0];
    if (d.count > 1) {
      out += '.';
      out.append(d.digits + 1, static_cast<size_t>(d.count - 1));
    }
    out += 'E';
    out += d.exp < 0 ? '-' : '+';
    int e = d.exp < 0 ? -d.exp : d.exp;
    if (e < 10) out += '0';
    char eb[8];
    auto r = std::to_chars(eb, eb + sizeof eb, e);
    out.append(eb, r.ptr);
    return;
  }
  if (d.exp >= 0) {
    int intDigits = d.exp + 1;
    for (int i = 0; i < intDigits; ++i) out += i < d.count ? d.digits[i] : '0';
    if (d.count > intDigits) {
      out += '.';
      out.append(d.digits + intDigits, static_cast<size_t>(d.count - intDigits));
    }
    return;
  }
  if (!bare) out += '0';
  out += '.';
  out.append(static_cast<size_t>(-d.exp - 1), '0');
  out.append(d.digits, static_cast<size_t>(d.count));
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

std::string BareText(double value) {
  std::string s;
  AppendNumberText(s, value, true);
  return s;
}

void AppendBareText(std::string& out, double value) { AppendNumberText(out, value, true); }

double Round15(double value) {
  if (!std::isfinite(value) || value == 0) return value;
  char buf[40];
  auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
  double v = 0;
  std::from_chars(buf, res.ptr, v);
  return v;
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
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
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

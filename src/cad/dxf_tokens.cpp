#include "cad/dxf_tokens.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "base/error.h"
#include "text/ascii.h"

namespace varnolt {
namespace {

constexpr std::string_view kBinarySentinel{"AutoCAD Binary DXF\r\n\x1a\0", 22};
constexpr std::string_view kBlanks = " \t\r";

bool IsBlank(std::string_view s) {
  return s.find_first_not_of(" \t\r\n") == std::string_view::npos;
}


// A value quoted in a message: printable ASCII only, cut short, so that a binary
// file or a huge line cannot make the message unreadable.
std::string Shown(std::string_view s) {
  constexpr size_t kMax = 40;
  std::string out;
  for (size_t i = 0; i < s.size() && i < kMax; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    out += (c >= 0x20 && c < 0x7f) ? static_cast<char>(c) : '?';
  }
  if (s.size() > kMax) out += "...";
  return out;
}

[[noreturn]] void Fail(const std::string& name, bool binary, int64_t where,
                       const std::string& what) {
  throw Error(ErrorKind::kGeneral, name + ", " + DxfWhere(binary, where) + ": " + what);
}

// Parses a group code line: an integer, blanks around it allowed.
bool ParseCode(std::string_view line, int& code) {
  std::string_view s = Trim(line, kBlanks);
  if (s.empty()) return false;
  if (s.front() == '+') s.remove_prefix(1);
  int value = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (ec != std::errc() || ptr != s.data() + s.size()) return false;
  if (value < -32768 || value > 65535) return false;
  code = value;
  return true;
}

bool IsDwg(std::string_view bytes) {
  // DWG files start with their version: "AC1015", or "AC1.50" / "AC2.10" in the
  // oldest releases. No DXF file can start like that (it starts with a group code).
  return bytes.substr(0, 4) == "AC10" || bytes.substr(0, 4) == "AC1." ||
         bytes.substr(0, 4) == "AC2.";
}

DxfTokens TokenizeAscii(std::string_view bytes, const std::string& name) {
  DxfTokens out;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  // One token per two lines: reserved once, so that the array never holds twice
  // its size while it grows.
  out.tokens.reserve(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) / 2 + 1);
  size_t pos = 0;
  int64_t line = 0;
  auto nextLine = [&]() {
    const size_t nl = bytes.find('\n', pos);
    std::string_view l = bytes.substr(pos, nl == std::string_view::npos ? nl : nl - pos);
    pos = nl == std::string_view::npos ? bytes.size() : nl + 1;
    ++line;
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    return l;
  };
  while (pos < bytes.size()) {
    const size_t linePos = pos;
    const std::string_view codeLine = nextLine();
    const int64_t codeAt = line;
    int code = 0;
    if (!ParseCode(codeLine, code)) {
      if (IsBlank(bytes.substr(linePos))) break;  // blank lines at the very end
      if (out.tokens.empty()) {
        throw Error(ErrorKind::kGeneral,
                    name + " is not a DXF file (line 1 is not a group code).");
      }
      Fail(name, false, codeAt,
           "a group code was expected, but the line reads \"" + Shown(codeLine) + "\".");
    }
    if (pos >= bytes.size()) {
      Fail(name, false, codeAt + 1,
           "unexpected end of file (group " + std::to_string(code) + " has no value); "
           "the file is incomplete.");
    }
    const std::string_view value = nextLine();
    if (code == 999) continue;
    DxfToken t;
    t.code = code;
    t.text = value;
    t.where = codeAt;
    out.tokens.push_back(t);
    if (code == 0 && Trim(value, kBlanks) == "EOF") {
      out.sawEof = true;
      break;
    }
  }
  out.endWhere = line + 1;
  return out;
}

// Value types of binary DXF, by group code range.
enum class BinType { kString, kDouble, kInt16, kInt32, kInt64, kByte, kChunk };

BinType BinaryType(int c) {
  auto in = [c](int lo, int hi) { return c >= lo && c <= hi; };
  if (in(10, 59) || in(110, 149) || in(210, 239) || in(460, 469) || in(1010, 1059)) {
    return BinType::kDouble;
  }
  if (in(60, 79) || in(170, 179) || in(270, 289) || in(370, 389) || in(400, 409) ||
      in(1060, 1070)) {
    return BinType::kInt16;
  }
  if (in(90, 99) || in(420, 429) || in(440, 459) || c == 1071) return BinType::kInt32;
  if (in(160, 169)) return BinType::kInt64;
  if (in(290, 299)) return BinType::kByte;
  if (in(310, 319) || c == 1004) return BinType::kChunk;
  return BinType::kString;
}

uint64_t LittleEndian(std::string_view bytes, size_t pos, size_t n) {
  uint64_t v = 0;
  for (size_t i = 0; i < n; ++i) {
    v |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[pos + i])) << (8 * i);
  }
  return v;
}

DxfTokens TokenizeBinary(std::string_view bytes, const std::string& name) {
  DxfTokens out;
  out.binary = true;
  size_t pos = kBinarySentinel.size();
  // The first group is "0 SECTION". R12 writes group codes as one byte (255 then
  // two bytes for larger codes), R13 and later as two bytes: the byte after the
  // first code byte tells which.
  if (bytes.size() < pos + 2) {
    Fail(name, true, static_cast<int64_t>(bytes.size()),
         "unexpected end of file right after the binary DXF header.");
  }
  if (bytes[pos] != '\0') {
    Fail(name, true, static_cast<int64_t>(pos), "the binary DXF does not begin with a section.");
  }
  const bool twoByteCodes = bytes[pos + 1] == '\0';
  auto truncated = [&](int64_t where, int code) {
    Fail(name, true, where,
         "unexpected end of file (group " + std::to_string(code) +
             " has no complete value); the file is incomplete.");
  };
  while (pos < bytes.size()) {
    const int64_t where = static_cast<int64_t>(pos);
    int code = 0;
    if (twoByteCodes) {
      if (bytes.size() - pos < 2) truncated(where, -1);
      code = static_cast<int16_t>(LittleEndian(bytes, pos, 2));
      pos += 2;
    } else {
      code = static_cast<unsigned char>(bytes[pos]);
      ++pos;
      if (code == 255) {
        if (bytes.size() - pos < 2) truncated(where, 255);
        code = static_cast<int16_t>(LittleEndian(bytes, pos, 2));
        pos += 2;
      }
    }
    DxfToken t;
    t.code = code;
    t.where = where;
    const size_t left = bytes.size() - pos;
    auto need = [&](size_t n) {
      if (left < n) truncated(where, code);
    };
    switch (BinaryType(code)) {
      case BinType::kString: {
        const size_t nul = bytes.find('\0', pos);
        if (nul == std::string_view::npos) truncated(where, code);
        t.text = bytes.substr(pos, nul - pos);
        pos = nul + 1;
        break;
      }
      case BinType::kChunk: {
        need(1);
        const size_t n = static_cast<unsigned char>(bytes[pos]);
        need(1 + n);
        t.kind = DxfToken::Kind::kBytes;
        t.text = bytes.substr(pos + 1, n);
        pos += 1 + n;
        break;
      }
      case BinType::kDouble: {
        need(8);
        t.kind = DxfToken::Kind::kReal;
        const uint64_t bits = LittleEndian(bytes, pos, 8);
        std::memcpy(&t.real, &bits, sizeof bits);
        pos += 8;
        break;
      }
      case BinType::kInt16:
        need(2);
        t.kind = DxfToken::Kind::kInteger;
        t.integer = static_cast<int16_t>(LittleEndian(bytes, pos, 2));
        pos += 2;
        break;
      case BinType::kInt32:
        need(4);
        t.kind = DxfToken::Kind::kInteger;
        t.integer = static_cast<int32_t>(LittleEndian(bytes, pos, 4));
        pos += 4;
        break;
      case BinType::kInt64:
        need(8);
        t.kind = DxfToken::Kind::kInteger;
        t.integer = static_cast<int64_t>(LittleEndian(bytes, pos, 8));
        pos += 8;
        break;
      case BinType::kByte:
        need(1);
        t.kind = DxfToken::Kind::kInteger;
        t.integer = static_cast<unsigned char>(bytes[pos]);
        pos += 1;
        break;
    }
    if (code == 999) continue;
    out.tokens.push_back(t);
    if (code == 0 && t.text == "EOF") {
      out.sawEof = true;
      break;
    }
  }
  out.endWhere = static_cast<int64_t>(pos);
  return out;
}

}  // namespace

std::string DxfWhere(bool binary, int64_t where) {
  return (binary ? "byte " : "line ") + std::to_string(where);
}

DxfTokens TokenizeDxf(std::string_view bytes, const std::string& name) {
  if (IsBlank(bytes)) {
    throw Error(ErrorKind::kGeneral, name + " is empty; it holds no drawing.");
  }
  if (IsDwg(bytes)) {
    throw Error(ErrorKind::kGeneral,
                name + ": DWG is not supported; save the drawing as DXF.");
  }
  if (bytes.substr(0, kBinarySentinel.size()) == kBinarySentinel) {
    return TokenizeBinary(bytes, name);
  }
  if (bytes.substr(0, 18) == kBinarySentinel.substr(0, 18)) {
    throw Error(ErrorKind::kGeneral,
                name + " has a damaged binary DXF header (line ends changed in transfer?).");
  }
  return TokenizeAscii(bytes, name);
}

double DxfReal(const DxfToken& t, bool binary, const std::string& name) {
  double v = 0;
  if (t.kind == DxfToken::Kind::kReal) {
    v = t.real;
  } else if (t.kind == DxfToken::Kind::kInteger) {
    v = static_cast<double>(t.integer);
  } else if (t.kind == DxfToken::Kind::kText) {
    std::string_view s = Trim(t.text, kBlanks);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (s.empty() || ec != std::errc() || ptr != s.data() + s.size()) {
      Fail(name, binary, t.where,
           "the value of group " + std::to_string(t.code) + " is not a number: \"" +
               Shown(t.text) + "\".");
    }
  } else {
    Fail(name, binary, t.where,
         "group " + std::to_string(t.code) + " holds binary data where a number belongs.");
  }
  if (!std::isfinite(v)) {
    Fail(name, binary, t.where,
         "the value of group " + std::to_string(t.code) + " is not a finite number.");
  }
  return v;
}

int64_t DxfInteger(const DxfToken& t, bool binary, const std::string& name) {
  if (t.kind == DxfToken::Kind::kInteger) return t.integer;
  if (t.kind != DxfToken::Kind::kText) {
    Fail(name, binary, t.where,
         "group " + std::to_string(t.code) + " holds no whole number.");
  }
  std::string_view s = Trim(t.text, kBlanks);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int64_t v = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec == std::errc::result_out_of_range) {
    Fail(name, binary, t.where,
         "the value of group " + std::to_string(t.code) + " is out of range: \"" +
             Shown(t.text) + "\".");
  }
  if (ec != std::errc() || ptr == s.data()) {
    Fail(name, binary, t.where,
         "the value of group " + std::to_string(t.code) + " is not a whole number: \"" +
             Shown(t.text) + "\".");
  }
  return v;
}

std::string_view DxfRawText(const DxfToken& t, bool binary, const std::string& name) {
  if (t.kind != DxfToken::Kind::kText) {
    Fail(name, binary, t.where,
         "group " + std::to_string(t.code) + " holds a number where text belongs.");
  }
  return t.text;
}

std::string_view DxfName(const DxfToken& t) {
  return t.kind == DxfToken::Kind::kText ? Trim(t.text, kBlanks) : std::string_view{};
}

}  // namespace varnolt

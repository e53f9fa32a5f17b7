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

}  // namespace

AsciiScan ScanAscii(std::string_view bytes, size_t pos, size_t end, int64_t line,
                    std::vector<DxfToken>& out) {
  AsciiScan scan;
  auto nextLine = [&]() {
    const size_t nl = bytes.find('\n', pos);
    std::string_view l = bytes.substr(pos, nl == std::string_view::npos ? nl : nl - pos);
    pos = nl == std::string_view::npos ? bytes.size() : nl + 1;
    ++line;
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    return l;
  };
  while (pos < end) {
    const size_t linePos = pos;
    const std::string_view codeLine = nextLine();
    int code = 0;
    if (!ParseCode(codeLine, code)) {
      scan.stop = AsciiScan::Stop::kBadCode;
      scan.pos = linePos;
      scan.line = line;
      return scan;
    }
    if (pos >= bytes.size()) {
      scan.stop = AsciiScan::Stop::kNoValue;
      scan.pos = linePos;
      scan.line = line;
      scan.code = code;
      return scan;
    }
    const std::string_view value = nextLine();
    if (code == 999) continue;
    DxfToken t;
    t.code = code;
    t.text = value;
    t.where = line - 1;
    out.push_back(t);
    if (code == 0 && Trim(value, kBlanks) == "EOF") {
      scan.stop = AsciiScan::Stop::kEof;
      break;
    }
  }
  scan.pos = pos;
  scan.line = line;
  return scan;
}

namespace {

DxfTokens TokenizeAscii(std::string_view bytes, const std::string& name) {
  DxfTokens out;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  // One token per two lines: reserved once, so that the array never holds twice
  // its size while it grows.
  out.tokens.reserve(static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) / 2 + 1);
  const AsciiScan scan = ScanAscii(bytes, 0, bytes.size(), 0, out.tokens);
  if (scan.stop == AsciiScan::Stop::kBadCode && !IsBlank(bytes.substr(scan.pos))) {
    if (out.tokens.empty()) {
      throw Error(ErrorKind::kGeneral,
                  name + " is not a DXF file (line 1 is not a group code).");
    }
    std::string_view codeLine = bytes.substr(scan.pos);
    codeLine = codeLine.substr(0, codeLine.find('\n'));
    if (!codeLine.empty() && codeLine.back() == '\r') codeLine.remove_suffix(1);
    Fail(name, false, scan.line,
         "a group code was expected, but the line reads \"" + Shown(codeLine) + "\".");
  }
  if (scan.stop == AsciiScan::Stop::kNoValue) {
    Fail(name, false, scan.line + 1,
         "unexpected end of file (group " + std::to_string(scan.code) + " has no value); "
         "the file is incomplete.");
  }
  out.sawEof = scan.stop == AsciiScan::Stop::kEof;
  out.endWhere = scan.line + 1;
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

// Cuts a binary DXF into tokens, one group at a time. Every read first checks that
// its bytes are there: a file cut short fails with "incomplete", at the offset of
// the group it cut.
class BinaryTokenizer {
 public:
  BinaryTokenizer(std::string_view bytes, const std::string& name) : bytes_(bytes), name_(name) {}

  DxfTokens Run() {
    DxfTokens out;
    out.binary = true;
    pos_ = kBinarySentinel.size();
    twoByteCodes_ = FirstGroupHasTwoByteCode();
    while (pos_ < bytes_.size()) {
      DxfToken t;
      t.where = static_cast<int64_t>(pos_);
      t.code = ReadCode(t.where);
      ReadValue(t);
      if (t.code == 999) continue;
      out.tokens.push_back(t);
      if (t.code == 0 && t.text == "EOF") {
        out.sawEof = true;
        break;
      }
    }
    out.endWhere = static_cast<int64_t>(pos_);
    return out;
  }

 private:
  // The first group is "0 SECTION". R12 writes group codes as one byte (255 then
  // two bytes for larger codes), R13 and later as two bytes: the byte after the
  // first code byte tells which.
  bool FirstGroupHasTwoByteCode() const {
    if (bytes_.size() < pos_ + 2) {
      Fail(name_, true, static_cast<int64_t>(bytes_.size()),
           "unexpected end of file right after the binary DXF header.");
    }
    if (bytes_[pos_] != '\0') {
      Fail(name_, true, static_cast<int64_t>(pos_),
           "the binary DXF does not begin with a section.");
    }
    return bytes_[pos_ + 1] == '\0';
  }

  [[noreturn]] void Truncated(int64_t where, int code) const {
    Fail(name_, true, where,
         "unexpected end of file (group " + std::to_string(code) +
             " has no complete value); the file is incomplete.");
  }

  // `n` more bytes must be left, or the group at `where` is cut short.
  void Need(size_t n, int64_t where, int code) const {
    if (bytes_.size() - pos_ < n) Truncated(where, code);
  }

  // The next `n` bytes as a little-endian number; the caller has checked they are there.
  uint64_t TakeLittleEndian(size_t n) {
    const uint64_t v = LittleEndian(bytes_, pos_, n);
    pos_ += n;
    return v;
  }

  // A code cut short is named -1 (two-byte codes) or 255 (the one-byte escape), since
  // its own number is unknown. The loop has checked that one byte is left.
  int ReadCode(int64_t where) {
    if (twoByteCodes_) {
      Need(2, where, -1);
      return static_cast<int16_t>(TakeLittleEndian(2));
    }
    const int code = static_cast<unsigned char>(bytes_[pos_]);
    ++pos_;
    if (code != 255) return code;
    Need(2, where, 255);
    return static_cast<int16_t>(TakeLittleEndian(2));
  }

  void ReadValue(DxfToken& t) {
    switch (BinaryType(t.code)) {
      case BinType::kString:
        ReadString(t);
        break;
      case BinType::kChunk:
        ReadChunk(t);
        break;
      case BinType::kDouble:
        ReadReal(t);
        break;
      case BinType::kInt16:
        SetInteger(t, static_cast<int16_t>(ReadFixed(t, 2)));
        break;
      case BinType::kInt32:
        SetInteger(t, static_cast<int32_t>(ReadFixed(t, 4)));
        break;
      case BinType::kInt64:
        SetInteger(t, static_cast<int64_t>(ReadFixed(t, 8)));
        break;
      case BinType::kByte:  // unsigned: 0 to 255
        SetInteger(t, static_cast<unsigned char>(ReadFixed(t, 1)));
        break;
    }
  }

  // Text up to its NUL, which must be in the file.
  void ReadString(DxfToken& t) {
    const size_t nul = bytes_.find('\0', pos_);
    if (nul == std::string_view::npos) Truncated(t.where, t.code);
    t.text = bytes_.substr(pos_, nul - pos_);
    pos_ = nul + 1;
  }

  // A length byte, then that many bytes.
  void ReadChunk(DxfToken& t) {
    Need(1, t.where, t.code);
    const size_t n = static_cast<unsigned char>(bytes_[pos_]);
    Need(1 + n, t.where, t.code);
    t.kind = DxfToken::Kind::kBytes;
    t.text = bytes_.substr(pos_ + 1, n);
    pos_ += 1 + n;
  }

  // Eight bytes, copied bit for bit into the double.
  void ReadReal(DxfToken& t) {
    Need(8, t.where, t.code);
    t.kind = DxfToken::Kind::kReal;
    const uint64_t bits = TakeLittleEndian(8);
    std::memcpy(&t.real, &bits, sizeof bits);
  }

  // An integer value of `n` bytes, as read; the caller gives it its sign.
  uint64_t ReadFixed(const DxfToken& t, size_t n) {
    Need(n, t.where, t.code);
    return TakeLittleEndian(n);
  }

  static void SetInteger(DxfToken& t, int64_t value) {
    t.kind = DxfToken::Kind::kInteger;
    t.integer = value;
  }

  const std::string_view bytes_;
  const std::string& name_;
  size_t pos_ = 0;
  bool twoByteCodes_ = false;
};

DxfTokens TokenizeBinary(std::string_view bytes, const std::string& name) {
  return BinaryTokenizer(bytes, name).Run();
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

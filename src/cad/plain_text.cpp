#include "cad/plain_text.h"

#include <cstddef>
#include <vector>

namespace varnolt {
namespace {

// %%c, %%d, %%p (any case): the diameter, degree and plus-minus signs; nullptr for
// any other letter.
const char* SpecialCharacter(char code) {
  switch (code) {
    case 'c': case 'C': return "\u2300";
    case 'd': case 'D': return "\u00B0";
    case 'p': case 'P': return "\u00B1";
    default: return nullptr;
  }
}

// Caret notation: ^@ to ^_ are the control characters, "^ " a caret. Other ASCII
// after a caret is decoded by the same rule ((c - 64) mod 126), as ezdxf reads it;
// a caret before anything else, or at the end, stays.
std::string CaretDecode(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    const auto next = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0u;
    if (s[i] == '^' && next >= 0x20 && next < 0x7F) {
      out += static_cast<char>((static_cast<int>(next) - 64 + 126) % 126);
      ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads the MTEXT codes of one text; `s` is caret-decoded.
class MTextReader {
 public:
  explicit MTextReader(std::string_view s) : s_(s) {}

  std::string Read() {
    while (i_ < s_.size()) Step();
    if (any_) paragraphs_.push_back(std::move(current_));
    std::string out;
    for (size_t k = 0; k < paragraphs_.size(); ++k) {
      if (k > 0) out += '\n';
      out += paragraphs_[k];
    }
    return out;
  }

 private:
  char Peek(size_t ahead = 0) const { return i_ + ahead < s_.size() ? s_[i_ + ahead] : '\0'; }
  bool More(size_t ahead = 0) const { return i_ + ahead < s_.size(); }

  void Add(std::string_view text) {
    current_ += text;
    any_ = true;
  }
  void NewParagraph() {
    paragraphs_.push_back(std::move(current_));
    current_.clear();
    any_ = false;
  }

  void Step() {
    const char c = s_[i_];
    if (c == '\\') {
      Code();
      return;
    }
    ++i_;
    if (static_cast<unsigned char>(c) < 0x20) {
      if (c == '\t') {
        Add("    ");
      } else if (c == '\n') {
        NewParagraph();
      } else {
        Add(" ");
      }
    } else if (c == '%' && Peek() == '%' && SpecialCharacter(Peek(1)) != nullptr) {
      Add(SpecialCharacter(Peek(1)));
      i_ += 2;
    } else if (c != '{' && c != '}') {  // braces only group codes
      current_ += c;
      any_ = true;
    }
  }

  // A backslash and what follows it.
  void Code() {
    ++i_;
    if (!More()) {
      Add(" ");  // a lone backslash at the end reads as a blank
      return;
    }
    const char cmd = s_[i_++];
    switch (cmd) {
      case '\\': case '{': case '}': Add(std::string_view(&cmd, 1)); return;
      case '~': Add(" "); return;
      case 'P': case 'N': NewParagraph(); return;
      case 'X': return;  // a break at a dimension line
      case 'S': Stack(); return;
      case 'L': case 'l': case 'O': case 'o': case 'K': case 'k': return;
      case 'A':
        SkipCharacter();
        Terminator();
        return;
      case 'C': case 'c':
        while (IsDigit(Peek())) ++i_;
        Terminator();
        return;
      case 'H': case 'W': case 'T':
        Number(true);
        Terminator();
        return;
      case 'Q':
        Number(false);
        Terminator();
        return;
      case 'p': case 'f': case 'F':
        Expression(false);
        return;
      default:
        // Not a code: written as it stands.
        current_ += '\\';
        current_ += cmd;
        any_ = true;
        return;
    }
  }

  void SkipCharacter() {
    if (!More()) return;
    ++i_;
    while (More() && (static_cast<unsigned char>(Peek()) & 0xC0) == 0x80) ++i_;
  }
  void Terminator() {
    if (Peek() == ';') ++i_;
  }

  // A number: sign, digits, a fraction, an exponent and, for a relative value, "x".
  // Without a digit nothing is taken.
  void Number(bool relative) {
    size_t k = i_;
    if (k < s_.size() && (s_[k] == '+' || s_[k] == '-')) ++k;
    if (k >= s_.size() || !IsDigit(s_[k])) return;
    while (k < s_.size() && IsDigit(s_[k])) ++k;
    if (k < s_.size() && s_[k] == '.') {
      ++k;
      while (k < s_.size() && IsDigit(s_[k])) ++k;
    }
    if (k < s_.size() && (s_[k] == 'e' || s_[k] == 'E')) {
      size_t e = k + 1;
      if (e < s_.size() && (s_[e] == '+' || s_[e] == '-')) ++e;
      if (e < s_.size() && IsDigit(s_[e])) {
        while (e < s_.size() && IsDigit(s_[e])) ++e;
        k = e;
      }
    }
    if (relative && k < s_.size() && s_[k] == 'x') ++k;
    i_ = k;
  }

  // The text up to the next ";" (not counting "\;" when `escaped`), which is passed.
  std::string_view Expression(bool escaped) {
    size_t k = i_;
    while (k < s_.size() && s_[k] != ';') k += escaped && s_[k] == '\\' && k + 1 < s_.size() &&
                                                       s_[k + 1] == ';'
                                                   ? 2
                                                   : 1;
    const std::string_view expr = s_.substr(i_, k - i_);
    i_ = k < s_.size() ? k + 1 : k;
    return expr;
  }

  // \Snumerator^denominator; with ^, / or # between: "numerator/denominator".
  void Stack() {
    const std::string_view expr = Expression(true);
    std::string part[2];
    int side = 0;
    for (size_t k = 0; k < expr.size(); ++k) {
      char c = expr[k];
      bool escape = false;
      if (c == '\\') {
        if (++k >= expr.size()) break;
        c = expr[k];
        escape = true;
      }
      if (static_cast<unsigned char>(c) < 0x20) c = ' ';
      if (side == 0 && !escape && (c == '^' || c == '/' || c == '#')) {
        side = 1;
        continue;
      }
      part[side] += c;
    }
    Add(part[0]);
    if (side == 1) {
      current_ += '/';
      current_ += part[1];
    }
  }

  std::string_view s_;
  size_t i_ = 0;
  std::vector<std::string> paragraphs_;
  std::string current_;
  bool any_ = false;  // the current paragraph has content, be it empty text
};

}  // namespace

std::string PlainMText(std::string_view text) {
  const std::string decoded = CaretDecode(text);
  return MTextReader(decoded).Read();
}

std::string PlainText(std::string_view text) {
  std::string s = CaretDecode(text);
  std::string kept;
  for (char c : s) {
    if (c != '\n' && c != '\r') kept += c;
  }
  while (!kept.empty() && kept.back() == '^') kept.pop_back();
  std::string out;
  for (size_t i = 0; i < kept.size(); ++i) {
    if (kept[i] == '%' && i + 1 < kept.size() && kept[i + 1] == '%') {
      const char code = i + 2 < kept.size() ? kept[i + 2] : '\0';
      if (const char* special = SpecialCharacter(code)) {
        out += special;
        i += 2;
        continue;
      }
      // Strokes on or off (and a "%%" that ends the text) draw nothing.
      if (code == '\0' || code == 'k' || code == 'K' || code == 'o' || code == 'O' ||
          code == 'u' || code == 'U') {
        i += 2;
        continue;
      }
    }
    out += kept[i];
  }
  return out;
}

}  // namespace varnolt

// The group-code level of a DXF file: the whole file cut into (group code, value)
// pairs in memory, ASCII or binary alike. Nothing here knows about sections or
// entities; values are only checked when they are read as numbers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt {

struct DxfToken {
  enum class Kind : uint8_t {
    kText,     // ASCII value line (any code), or a binary string value
    kReal,     // binary double
    kInteger,  // binary 8-, 16-, 32- or 64-bit integer
    kBytes,    // binary chunk (310-319, 1004)
  };

  int code = 0;
  Kind kind = Kind::kText;
  std::string_view text;  // kText, kBytes: the raw value bytes (a view into the file)
  // kReal: real; kInteger: integer. One of the two, so that the token array of a
  // large drawing takes less memory.
  union {
    double real = 0;
    int64_t integer;
  };
  int64_t where = 0;  // ASCII: 1-based line of the group code; binary: its byte offset
};

struct DxfTokens {
  bool binary = false;
  std::vector<DxfToken> tokens;  // 999 comments dropped; stops after "0 EOF"
  bool sawEof = false;           // the file has its "0 EOF" marker
  int64_t endWhere = 0;          // line (ASCII) or byte offset (binary) just past the end
};

// Cuts `bytes` into tokens. `name` is the file name for messages. Throws
// Error(kGeneral) for an empty file, a DWG file, a file that is not DXF, a group code
// that is not a number, and a file that ends between a group code and its value.
DxfTokens TokenizeDxf(std::string_view bytes, const std::string& name);

// Cuts the ASCII DXF `bytes` into tokens from `pos` on, appending to `out`, until a
// group starts at or after `end`, the "0 EOF" group has been read, or a line cannot
// be read; lines are counted on from `line` (the lines before `pos`). A group that
// starts before `end` is read whole, so the scan stops past `end` when `end` is not
// where a group starts. Comments (999) are dropped, as TokenizeDxf drops them.
struct AsciiScan {
  enum class Stop {
    kEnd,      // reached `end`, or the end of the bytes
    kEof,      // read the "0 EOF" group
    kBadCode,  // the line at `pos` is no group code
    kNoValue,  // the group code at `pos` is the last line
  };
  Stop stop = Stop::kEnd;
  size_t pos = 0;    // past the last group read; at the line that stopped the scan
  int64_t line = 0;  // lines read; for kBadCode and kNoValue, the number of the line at pos
  int code = 0;      // kNoValue: the code without a value
};
AsciiScan ScanAscii(std::string_view bytes, size_t pos, size_t end, int64_t line,
                    std::vector<DxfToken>& out);

// Where a token stands, for messages: "line 12" or "byte 3456".
std::string DxfWhere(bool binary, int64_t where);

// Value readers. Each throws Error(kGeneral) naming the file, the place and the
// group when the value cannot be read as asked.
//
// A real must be one finite number, blanks and tabs around it allowed: a misread
// coordinate would move geometry without a word, so junk is an error.
double DxfReal(const DxfToken& t, bool binary, const std::string& name);
// An integer is read from the start of the value: files from some writers carry
// trailing junk in colour and flag groups ("256QSW"), and every common reader takes
// the leading number there. A value without a leading number is an error.
int64_t DxfInteger(const DxfToken& t, bool binary, const std::string& name);
// The value as bytes, still in the file's code page. ASCII values are taken whole
// (blanks kept) without their line end; a binary number gives an error.
std::string_view DxfRawText(const DxfToken& t, bool binary, const std::string& name);
// A structural name (section, table or entity kind): the text with blanks and tabs
// around it dropped; a binary number gives the empty name.
std::string_view DxfName(const DxfToken& t);

}  // namespace varnolt

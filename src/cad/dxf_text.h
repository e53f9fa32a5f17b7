// Strings of a DXF file into UTF-8. Drawings of AutoCAD 2007 (AC1021) and later
// store UTF-8; older ones store the code page named by $DWGCODEPAGE. Characters
// outside that code page are written as \U+XXXX (any code point of the BMP) or
// \M+NXXXX (a double-byte character of an East Asian code page), both decoded here.
#pragma once

#include <string>
#include <string_view>

namespace varnolt {

struct DxfTextCodec {
  // The iconv name of the file's code page; empty when the file is UTF-8 (utf8) or
  // names no code page we know (then each string is taken as UTF-8 when it is valid
  // UTF-8, else as CP1252, the code page of most such files).
  std::string codepage;
  bool utf8 = false;
};

// The codec for a drawing with these $ACADVER and $DWGCODEPAGE values (either may be
// empty when the header lacks it).
DxfTextCodec ChooseDxfCodec(std::string_view acadver, std::string_view dwgcodepage);

// The iconv name for a $DWGCODEPAGE value ("ANSI_936" -> "GB18030", "dos932" ->
// "CP932"; case does not matter); nullptr for a name we do not know, for "ASCII"
// and for an empty one.
const char* IconvNameOfDwgCodepage(std::string_view dwgcodepage);

// A string of the file as UTF-8: decoded from the codec's code page, \U+XXXX and
// \M+NXXXX escapes decoded, anything ill-formed replaced by U+FFFD.
std::string DecodeDxfText(std::string_view raw, const DxfTextCodec& codec);

}  // namespace varnolt

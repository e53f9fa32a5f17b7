// Text encodings. Everything inside the program is UTF-8; text from files is
// turned into UTF-8 at the edge.
#pragma once

#include <string>
#include <string_view>

namespace varnolt {

// U+FFFD, what a byte that cannot be decoded becomes.
inline constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

// True when `bytes` is well-formed UTF-8 (no overlongs, no surrogates).
bool IsValidUtf8(std::string_view bytes);

// Drops a leading UTF-8 byte-order mark.
std::string_view StripUtf8Bom(std::string_view bytes);

// Converts `bytes` from the named code page (iconv's names: "GB18030", "CP936",
// "CP1252", "ISO-8859-5", "JOHAB", "MACINTOSH", "UTF-8") to UTF-8. Bytes that cannot
// be decoded become U+FFFD; an unknown code page name throws Error(kGeneral). One
// implementation per platform: iconv (encoding_iconv.cpp), Windows' own code pages
// (encoding_win.cpp).
std::string DecodeToUtf8(std::string_view bytes, const char* codepage);

// UTF-8 text in the named code page (the names DecodeToUtf8 takes); each character the
// code page lacks is replaced by what `missing` returns for its code point. Throws
// Error(kGeneral) for an unknown code page name (when the text needs it: ASCII is
// the same in every code page we write). Ill-formed UTF-8 must be sanitized
// first (SanitizeUtf8).
std::string EncodeFromUtf8(std::string_view utf8, const char* codepage,
                           std::string (*missing)(char32_t codePoint));

// Hand-edited text files (settings, control points): UTF-8 with or without a
// byte-order mark is taken as it is; anything that is not valid UTF-8 is read as
// GB18030, the code page Chinese Windows writes.
std::string DecodeUserText(std::string_view bytes);

// Replaces every ill-formed UTF-8 sequence by U+FFFD.
std::string SanitizeUtf8(std::string_view bytes);

// Number of code points in well-formed UTF-8 (for "last four characters" rules).
size_t CountCodePoints(std::string_view utf8);

// Drops the last `n` code points of a UTF-8 text (all of it when it is shorter).
std::string DropLastCodePoints(std::string_view utf8, size_t n);

}  // namespace varnolt

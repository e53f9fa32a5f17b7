// A drawing's text as CAD programs display it, without its formatting codes: what a
// Placemark is named after with --plain-text, and what the picking view writes.
//
// Both take the text as the reader decoded it (UTF-8, \U+ escapes already decoded)
// and keep every character they do not know as a code.
#pragma once

#include <string>
#include <string_view>

namespace varnolt {

// A multiline text's content: caret notation decoded (^I a tab, ^J a line break,
// "^ " a caret); fonts, heights, widths, tracking, obliquing, colours, alignment,
// paragraph settings and over-, under- and strike-through lines dropped; braces
// dropped unless escaped (\{ \} \\ stand for themselves); \P and \N become a line
// break ("\n") and \~ a blank; a tab becomes four blanks; a stack \Sa^ b; (any of
// the dividers ^, / and #) becomes "a/b"; %%c, %%d and %%p become the diameter sign
// U+2300, the degree sign and the plus-minus sign. An unknown code keeps its
// backslash. Paragraphs are joined by "\n", a last empty one dropped.
std::string PlainMText(std::string_view text);

// A single-line text's content: caret notation decoded, line breaks dropped;
// %%c, %%d and %%p as above, %%k, %%o and %%u (strike-through, over- and underline
// on or off) dropped; anything else as it stands.
std::string PlainText(std::string_view text);

}  // namespace varnolt

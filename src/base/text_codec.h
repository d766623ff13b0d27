#pragma once
// Hex digits, percent escapes and Latin-1 text: the one decoder that file lists, settings keys and the board
// monitor share. Pure functions, any thread.

#include <string>
#include <string_view>

// 0..15 for '0'..'9', 'a'..'f', 'A'..'F'; -1 for anything else.
int HexDigitValue(char c);

// The byte two hex digits spell (high digit first), or -1 if either is not a hex digit.
int HexPairValue(char high, char low);

// Replaces each '%' followed by two hex digits with the byte they spell. Anything else, a '%'
// without two digits after it and '+' included, stays as it is, except that a backslash not
// spelled as an escape becomes backslashAs (settings keys store '/' as '\').
std::string PercentDecode(std::string_view text, char backslashAs = '\\');

// The bytes read as Latin-1, in UTF-8 (a port's or a reason's odd byte keeps a line valid UTF-8).
std::string Latin1ToUtf8(std::string_view bytes);

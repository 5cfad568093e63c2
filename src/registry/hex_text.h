// Binary registry data as hex text and back. Binary data travel as a
// string of one character per byte.
#pragma once

#include <string>

namespace nfy::registry {

// Hex text to bytes: blanks removed (sBin is rewritten), two digits per
// byte from the left, half the length rounded to even pieces taken (three
// digits give two bytes, five give two, seven give four); a piece ends at its
// first character that is no hex digit.
std::string strToBin(std::string& sBin);

// Bytes to hex text: each byte as two upper-case digits, separated by
// blanks ("41 42").
std::string binToStr(const std::string& sStr);

// True when the text, blanks removed, is not empty and holds hex digits only.
bool isBinValid(const std::string& sBin);

}  // namespace nfy::registry

#pragma once
// Numbers in the window's lists, as Format("%<width>.<decimals>f") writes them:
// the value taken to 17 significant digits, then rounded at the last decimal
// with halves away from zero; a result that is all zeros has no minus sign;
// padded on the left with blanks to the width. Never uses the locale.

#include <string>

namespace wave {

std::string FormatFixed(double value, int width, int decimals);

}  // namespace wave

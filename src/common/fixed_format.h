// SPDX-License-Identifier: GPL-3.0-or-later
// Fixed-point text of a double, exactly as printf("%.Nf") gives it in the C
// locale, for the hot paths that write numbers by the million (recording and
// replaying data files). Most values are written from the value scaled to a
// whole number of its last decimal; a value whose scaled product falls
// exactly on a half (where that rounding is in doubt), or too large to
// scale, is written by std::to_chars (correctly rounded, as printf).
#pragma once

#include <cstddef>
#include <string>

namespace sondrix {

// Decimals FormatFixed takes.
inline constexpr int kMaxFixedDecimals = 9;
// The most characters FormatFixed writes (sign, 309 digits of the largest
// double, point and decimals).
inline constexpr std::size_t kFixedTextMax = 1 + 309 + 1 + kMaxFixedDecimals;

// Writes `value` with `decimals` (0 to kMaxFixedDecimals; others are taken
// as the nearest of them) digits after the point at `out`, which has room
// for kFixedTextMax characters, and returns the end of what it wrote (no
// terminating null). "-0.00000" for negative zero and for negative values
// that round to zero, as printf; "inf", "-inf", "nan" as std::to_chars.
char* FormatFixed(char* out, double value, int decimals);

// The same text appended to `out`: the one way every text output of the
// program (data files, replays, the exports) writes a fixed-point number.
void AppendFixed(std::string& out, double value, int decimals);

}  // namespace sondrix

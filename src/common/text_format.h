// SPDX-License-Identifier: GPL-3.0-or-later
// printf-style formatting into a std::string with a decimal point whatever
// the user's locale (the messages and read-outs of the program).
#pragma once

#include <cstdint>
#include <string>

namespace sondrix {

// The text `format` makes of the arguments, cut at 1023 characters.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "2026-12-09T18:03:07.250Z" (with milliseconds) or "2026-12-09T18:03:07Z"
// for `utcMs` milliseconds since 1970-01-01T00:00:00Z.
std::string IsoUtc(std::int64_t utcMs, bool milliseconds = true);

}  // namespace sondrix

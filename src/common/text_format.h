// SPDX-License-Identifier: GPL-3.0-or-later
// printf-style formatting into a std::string with a decimal point whatever
// the user's locale (the messages and read-outs of the program).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sondrix {

// The text `format` makes of the arguments, cut at 1023 characters.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "2026-12-09T18:03:07.250Z" (with milliseconds) or "2026-12-09T18:03:07Z"
// for `utcMs` milliseconds since 1970-01-01T00:00:00Z.
std::string IsoUtc(std::int64_t utcMs, bool milliseconds = true);

// An ISO 8601 date and time as milliseconds since 1970-01-01T00:00:00Z:
// "YYYY-MM-DDThh:mm:ss", optionally with a fraction of a second (rounded to
// the millisecond), then "Z" or an offset "+hh:mm" / "-hh:mm" (none: UTC).
// Years 1970 ... 9999, a real calendar day (no 31 February), hours below
// 24, minutes below 60, seconds up to 60 (a leap second reads as the next
// second's start). Empty for anything else.
std::optional<std::int64_t> ParseIsoUtc(std::string_view text);

}  // namespace sondrix
